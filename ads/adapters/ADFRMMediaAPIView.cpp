#include "ads/adapters/ADFRMMediaAPIView.h"

#include "ads/adapters/ADFRAdNetworkUtil.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRMessageDigestUtil.h"
#include "ads/settings/ADFRData.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "ads/settings/ADFRManager.h"

ADFRMMediaAPIView::ADFRMMediaAPIView(plat::Rect frame)
    : ZIZRadWebView(frame), ipManager_(ADFRIpApiManager::sharedManager()) {}

void ADFRMMediaAPIView::setting(const ZividedirAdapterSettings& settings) {
    ZIZRadWebView::setting(settings);
    entity_ = settings.entity;
}

std::string ADFRMMediaAPIView::md5WithString(const std::string& text) {
    return ADFRMessageDigestUtil::md5WithString(text);
}

std::string ADFRMMediaAPIView::sha1WithString(const std::string& text) {
    return ADFRMessageDigestUtil::sha1WithString(text);
}

void ADFRMMediaAPIView::loadAd() {
    if (loadCheckFlg_) return;
    htmlTag_.clear();
    loadCheckFlg_ = true;
    ADFRAdNetworkUtil::askIpManager(*ipManager_, *this);
}

std::string ADFRMMediaAPIView::requestPath(const std::string& apid, const std::string& advertisingId,
                                           const std::string& ua, const std::string& ip) {
    // The placement id and the address go in as they are.
    return std::string(kPath) + "?apid=" + apid + "&ate=true&mmdid=mmh_" + md5WithString(advertisingId) +
           "_" + sha1WithString(advertisingId) + "&ua=" + ADFRAdNetworkUtil::percentEscaped(ua) +
           "&uip=" + ip;
}

std::string ADFRMMediaAPIView::page(const std::string& markup) {
    return ADFRAdNetworkUtil::adPage(markup);
}

void ADFRMMediaAPIView::finishIpManager(ADFRIpApiManager& manager) {
    if (!manager.errorStr().empty()) {
        finishLoad();
        return;
    }
    // No placement id, or an address that reads "(null)": nothing is sent and nothing reported; a banner
    // moves on at its next turn, a popup's time limit ends a popup that waits.
    if (!entity_ || !entity_->placementApid()) return;
    if (ADFRAdNetworkUtil::isNullText(manager.ip()) || ADFRAdNetworkUtil::isNullText(manager.ua())) return;
    const auto advertisingId = ADFRManager::stringAdvertisingId();
    if (!advertisingId) {
        finishLoad();
        return;
    }
    plat::URLRequest request(ADFREndpoints::url(ADFREndpoints::Kind::Millennial,
                                                requestPath(*entity_->placementApid(), *advertisingId,
                                                            manager.ua(), manager.ip())),
                             plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTimeoutSeconds);
    // Methods are case-sensitive: a lower-case "get" is refused by servers.
    request.setHTTPMethod("GET");
    getAdConnection_ =
        ADFRAdNetworkUtil::fetchPage(request, *this, [](ADFRMMediaAPIView& self, const plat::Bytes& body) {
            // Bytes that are not UTF-8 give no markup: the empty template page.
            self.htmlTag_ = page(ADFRAdNetworkUtil::utf8Text(body).value_or(""));
            self.finishLoad();
        });
}

void ADFRMMediaAPIView::finishLoad() {
    setLoadHtml(htmlTag_);
    ZIZRadWebView::loadAd();
}
