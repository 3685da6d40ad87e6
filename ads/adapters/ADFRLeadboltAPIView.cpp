#include "ads/adapters/ADFRLeadboltAPIView.h"

#include <cstdio>

#include "ads/adapters/ADFRAdNetworkUtil.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/settings/ADFRData.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "ads/settings/ADFRManager.h"
#include "platform/ui/Device.h"

ADFRLeadboltAPIView::ADFRLeadboltAPIView(plat::Rect frame)
    : ZIZRadWebView(frame), ipManager_(ADFRIpApiManager::sharedManager()) {}

void ADFRLeadboltAPIView::setting(const ZividedirAdapterSettings& settings) {
    ZIZRadWebView::setting(settings);
    entity_ = settings.entity;
}

void ADFRLeadboltAPIView::loadAd() {
    if (loadCheckFlg_) return;
    loadCheckFlg_ = true;
    ADFRAdNetworkUtil::askIpManager(*ipManager_, *this);
}

ADFRLeadboltAPIView::Pairs ADFRLeadboltAPIView::tagParameters(const std::string& tag) {
    Pairs pairs;
    for (const char* key : kTagKeys)
        if (auto value = ADFRAdNetworkUtil::tagValue(tag, key)) pairs.emplace_back(key, std::move(*value));
    return pairs;
}

std::optional<ADFRLeadboltAPIView::Pairs> ADFRLeadboltAPIView::requestPairs(const std::string& tag,
                                                                            const std::string& ip,
                                                                            const std::string& ua,
                                                                            bool* iconFlg) {
    char version[32];
    std::snprintf(version, sizeof version, "%.1f", plat::Device::current().systemVersionNumber());
    Pairs pairs{{"os_ver", version}, {"dev_mnf", "Apple"}, {"client_ip", ip}, {"user_agent", ua}};
    const Pairs fromTag = tagParameters(tag);
    auto find = [&fromTag](const char* key) -> const std::string* {
        for (const auto& [k, v] : fromTag)
            if (k == key) return &v;
        return nullptr;
    };
    const std::string* width = find("width");
    const std::string* height = find("height");
    if (!width || !height) return std::nullopt;
    pairs.insert(pairs.end(), fromTag.begin(), fromTag.end());
    const bool square = *width == *height;
    if (iconFlg) *iconFlg = square;
    pairs.emplace_back("format", square ? "json" : "xhtml");
    return pairs;
}

void ADFRLeadboltAPIView::finishIpManager(ADFRIpApiManager& manager) {
    if (!manager.errorStr().empty() || !entity_ || ADFRAdNetworkUtil::isNullText(manager.ip()) ||
        ADFRAdNetworkUtil::isNullText(manager.ua())) {
        finishLoad();
        return;
    }
    iconFlg_ = false;
    const auto pairs = requestPairs(entity_->htmlString(), manager.ip(), manager.ua(), &iconFlg_);
    if (!pairs) {
        finishLoad();
        return;
    }
    std::string path = std::string(kPath) + "?pf=1";
    for (const auto& [key, value] : *pairs)
        if (!value.empty()) path += "&" + key + "=" + ADFRAdNetworkUtil::percentEscaped(value);
    if (auto id = ADFRManager::stringAdvertisingId())
        path += "&devad_id=" + ADFRAdNetworkUtil::percentEscaped(*id);

    plat::URLRequest request(ADFREndpoints::url(ADFREndpoints::Kind::Leadbolt, path),
                             plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTimeoutSeconds);
    request.setValue("application/json", "Content-Type");
    getAdConnection_ =
        ADFRAdNetworkUtil::fetchPage(request, *this, [](ADFRLeadboltAPIView& self, const plat::Bytes& body) {
            // Bytes that are not UTF-8 give no text.
            self.htmlTag_ = ADFRAdNetworkUtil::utf8Text(body).value_or("");
            self.finishLoad();
        });
}

void ADFRLeadboltAPIView::finishLoad() {
    loadCheckFlg_ = false;
    if (getAdConnection_) {
        getAdConnection_->cancel();
        getAdConnection_.reset();
    }
    setLoadHtml(htmlTag_);
    ZIZRadWebView::loadAd();
}
