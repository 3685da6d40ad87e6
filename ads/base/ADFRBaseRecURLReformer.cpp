#include "ads/base/ADFRBaseRecURLReformer.h"

#include <algorithm>

#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRTextUtil.h"

namespace {

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// The staging host as a URL names it: "//host:port", or "//host/" (or the end) on the scheme's port.
bool namesStagingHost(const std::string& url) {
    plat::Endpoint staging = ADFREndpoints::endpoint(ADFREndpoints::Kind::Staging);
    if (staging.host.empty()) return false;
    if (contains(url, ("//" + staging.host + ":" + std::to_string(staging.port)).c_str())) return true;
    if (staging.port != (staging.scheme == "https" ? 443 : 80)) return false;
    std::string bare = "//" + staging.host;
    for (size_t at = url.find(bare); at != std::string::npos; at = url.find(bare, at + 1)) {
        size_t end = at + bare.size();
        if (end == url.size() || url[end] == '/' || url[end] == '?') return true;
    }
    return false;
}

}  // namespace

void ADFRBaseRecURLReformer::initializeVars() {
    params_.clear();
    protocol_ = "http:";
    separator_ = "&";
    equal_ = "=";
    start_ = "?";
}

void ADFRBaseRecURLReformer::addQureyStringKeyValue(const std::string& key, const std::string& value) {
    auto it = std::find_if(params_.begin(), params_.end(), [&](const auto& p) { return p.first == key; });
    if (it != params_.end())
        it->second = value;
    else
        params_.emplace_back(key, value);
}

std::optional<std::string> ADFRBaseRecURLReformer::getValue(const std::string& key) const {
    for (const auto& [k, v] : params_)
        if (k == key) return v;
    return std::nullopt;
}

std::string ADFRBaseRecURLReformer::getReformedRecURL(const std::string& url) {
    if (params_.empty()) return url;
    std::string joined;
    for (const auto& [key, value] : params_) {
        if (!joined.empty()) joined += separator_;
        joined += key + equal_ + value;
    }
    if (namesStagingHost(url)) protocol_ = "http:";
    std::string reformed = ADFRTextUtil::replaceAll(url, "http:", protocol_);
    const std::string& joiner =
        !contains(reformed, "?") && !isPathInfoURL_local(reformed) ? std::string("?") : separator_;
    return reformed + joiner + joined;
}

bool ADFRBaseRecURLReformer::isPathInfoURL(const std::string& url) {
    return !contains(url, getPathInfoPart());
}

std::string ADFRBaseRecURLReformer::replaceIDFA(const std::string& url,
                                                const std::optional<std::string>& idfa) {
    return ADFRTextUtil::replaceAll(url, kIdfaPlaceholder, idfa.value_or(""));
}

bool ADFRRecClickURLReformer::isPathInfoURL(const std::string& url) {
    return contains(url, getPathInfoPart());
}

bool ADFRRecImpressionURLReformer::isPathInfoURL(const std::string& url) {
    return !contains(url, getPathInfoPart());
}
