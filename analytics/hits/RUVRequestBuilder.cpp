#include "analytics/hits/RUVRequestBuilder.h"

#include <algorithm>

#include "analytics/base/RUVCompressionUtil.h"
#include "analytics/base/RUVHitUtil.h"
#include "analytics/base/RUVStringUtil.h"
#include "analytics/base/RUVWorker.h"
#include "platform/base/Clock.h"

RUVRequestBuilder::RUVRequestBuilder() : userAgent_(RUVHitUtil::userAgentString()) {}

std::optional<std::string> RUVRequestBuilder::parameterValueToString(const plat::Value& value) {
    if (const std::string* s = value.stringIf()) return *s;
    if (value.isNumber()) return value.toString();
    return std::nullopt;
}

std::string RUVRequestBuilder::encodeParameter(const std::string& name, const std::string& value) const {
    std::string out = RUVStringUtil::percentEncode(RUVStringUtil::stripLeadingAmpersand(name));
    if (value.empty()) return out;
    return out + "=" + RUVStringUtil::percentEncode(value);
}

std::vector<std::string> RUVRequestBuilder::encodeParameters(
    const plat::Value::Dictionary& parameters) const {
    std::vector<std::string> items;
    for (const auto& [key, value] : parameters) {
        if (key == "&z") continue;
        if (auto text = parameterValueToString(value)) items.push_back(encodeParameter(key, *text));
    }
    return items;
}

std::string RUVRequestBuilder::parametersForHit(const plat::Value& hit) const {
    const plat::Value& parameters = hit["parameters"];
    std::vector<std::string> keys;
    if (const auto* dict = parameters.dictionaryIf()) {
        for (const auto& [key, value] : *dict)
            if (!key.empty() && key[0] == '&' && key != "&z") keys.push_back(key);
    }
    // Sorted, so the same hit always gives the same payload.
    std::sort(keys.begin(), keys.end());
    plat::Value::Dictionary selected;
    for (const std::string& key : keys) selected.set(key, parameters[key]);
    std::vector<std::string> items = encodeParameters(selected);

    const plat::Value::Date* stamp = hit["timestamp"].dateIf();
    const double stored = stamp ? stamp->secondsSince1970 : 0;
    items.push_back(encodeParameter("&ht", RUVStringUtil::intString(static_cast<int64_t>(stored * 1000))));
    const int64_t queued = RUVHitUtil::hasKnownAge(hit) ? RUVHitUtil::millisecondsElapsedFrom(
                                                              stored, plat::Clock::shared().nowSeconds())
                                                        : 0;
    if (queued >= 1)
        items.push_back(encodeParameter("&qt", RUVStringUtil::uintString(static_cast<uint64_t>(queued))));
    if (auto z = parameterValueToString(parameters["&z"])) items.push_back(encodeParameter("&z", *z));

    std::string payload;
    for (const std::string& item : items) {
        if (!payload.empty()) payload += '&';
        payload += item;
    }
    return payload;
}

plat::URLRequest RUVRequestBuilder::baseRequest() const {
    plat::URLRequest request;
    request.setValue("application/x-www-form-urlencoded; charset=UTF-8", "Content-Type");
    request.setValue(userAgent_, "User-Agent");
    request.setCachePolicy(plat::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData);
    return request;
}

plat::URLRequest RUVRequestBuilder::requestPostUrl(const std::string& url, const std::string& payload,
                                                   unsigned compression) const {
    RUV_LOG(RUVLogLevel::Verbose, "building URLRequest for %s", url.c_str());
    plat::URLRequest request = baseRequest();
    request.setURL(url);
    request.setHTTPMethod("POST");
    plat::Bytes body(payload.begin(), payload.end());
    if (compression == kGzip || compression == kDeflate) {
        auto packed = compression == kGzip ? RUVCompressionUtil::dataByGzipping(body)
                                           : RUVCompressionUtil::dataByDeflating(body);
        body = packed ? std::move(*packed) : plat::Bytes{};
        request.setValue(compression == kGzip ? "gzip" : "deflate", "Content-Encoding");
    }
    request.setValue(std::to_string(body.size()), "Content-Length");
    request.setHTTPBody(std::move(body));
    return request;
}

plat::URLRequest RUVRequestBuilder::requestGetUrl(const std::string& url, const std::string& payload) const {
    RUV_LOG(RUVLogLevel::Verbose, "building URLRequest for %s", url.c_str());
    plat::URLRequest request = baseRequest();
    request.setURL(url + "?" + payload);
    request.setHTTPMethod("GET");
    return request;
}
