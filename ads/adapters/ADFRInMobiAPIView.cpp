#include "ads/adapters/ADFRInMobiAPIView.h"

#include "ads/adapters/ADFRAdNetworkUtil.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/settings/ADFRData.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "ads/settings/ADFRManager.h"

ADFRInMobiAPIView::ADFRInMobiAPIView(plat::Rect frame)
    : ZIZRadWebView(frame), ipManager_(ADFRIpApiManager::sharedManager()) {}

void ADFRInMobiAPIView::setting(const ZividedirAdapterSettings& settings) {
    ZIZRadWebView::setting(settings);
    entity_ = settings.entity;
}

void ADFRInMobiAPIView::loadAd() {
    if (loadCheckFlg_) return;
    htmlTag_.clear();
    loadCheckFlg_ = true;
    ADFRAdNetworkUtil::askIpManager(*ipManager_, *this);
}

std::optional<std::string> ADFRInMobiAPIView::siteIdOfTag(const std::string& html) {
    const plat::Endpoint script = ADFREndpoints::endpoint(ADFREndpoints::Kind::InMobiScript);
    bool loadsScript = html.find(script.url(kScriptPath)) != std::string::npos;
    // A tag names the default port by leaving it out.
    if (!loadsScript && script.port == 80)
        loadsScript = html.find("http://" + script.host + kScriptPath) != std::string::npos;
    if (!loadsScript) return std::nullopt;
    return ADFRAdNetworkUtil::tagValue(html, "siteid");
}

std::string ADFRInMobiAPIView::requestBody(int32_t adSize, const std::string& siteId, const std::string& ip,
                                           const std::string& ua,
                                           const std::optional<std::string>& advertisingId) {
    using U = ADFRAdNetworkUtil;
    // The address comes from a server and the user agent from the engine: neither may end the string.
    const std::string extra = advertisingId ? ",\"ida\":\"" + U::jsonEscaped(*advertisingId) + "\"" : "";
    return "{\"responseformat\":\"html\",\"imp\":[{\"displaymanager\":\"s_volentai\",\"ads\":1,\"banner\":{"
           "\"adsize\":" +
           std::to_string(adSize) + "}}],\"site\":{\"id\":\"" + U::jsonEscaped(siteId) +
           "\"},\"device\":{\"ip\":\"" + U::jsonEscaped(ip) + "\",\"ua\":\"" + U::jsonEscaped(ua) + "\"" +
           extra + "}}";
}

void ADFRInMobiAPIView::finishIpManager(ADFRIpApiManager& manager) {
    if (!manager.errorStr().empty()) {
        finishLoad();
        return;
    }
    // The cases below send nothing and report nothing: a banner moves on at its next turn, a popup's
    // time limit ends a popup that waits.
    if (!entity_) return;
    const auto siteId = siteIdOfTag(entity_->htmlString());
    if (!siteId) return;
    if (ADFRAdNetworkUtil::isNullText(manager.ip()) || ADFRAdNetworkUtil::isNullText(manager.ua())) return;

    plat::URLRequest request(ADFREndpoints::url(ADFREndpoints::Kind::InMobi, kPath),
                             plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTimeoutSeconds);
    request.setHTTPMethod("POST");
    request.setValue("application/json", "Content-Type");
    request.setHTTPBody(
        requestBody(adSize_, *siteId, manager.ip(), manager.ua(), ADFRManager::stringAdvertisingId()));
    getAdConnection_ =
        ADFRAdNetworkUtil::fetchPage(request, *this, [](ADFRInMobiAPIView& self, const plat::Bytes& body) {
            // Bytes that are not UTF-8 give no text, so an empty page.
            self.htmlTag_ = ADFRAdNetworkUtil::utf8Text(body).value_or("");
            if (!isNoAdAnswer(self.htmlTag_)) self.finishLoad();
        });
}

bool ADFRInMobiAPIView::isNoAdAnswer(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const size_t last = text.find_last_not_of(" \t");
    return std::string_view(text).substr(first, last - first + 1) == kNoAdComment;
}

void ADFRInMobiAPIView::finishLoad() {
    setLoadHtml(htmlTag_);
    ZIZRadWebView::loadAd();
}
