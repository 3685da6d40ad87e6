#include "ads/adapters/ADFRGamefeatView.h"

#include "ads/adapters/ADFRAdNetworkUtil.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRMessageDigestUtil.h"
#include "ads/settings/ADFRData.h"
#include "platform/base/Json.h"

ADFRGamefeatView::ADFRGamefeatView(plat::Rect frame) : ZIZRadWebView(frame) {}

void ADFRGamefeatView::setting(const ZividedirAdapterSettings& settings) {
    ZIZRadWebView::setting(settings);
    entity_ = settings.entity;
}

std::string ADFRGamefeatView::md5WithString(const std::string& text) {
    return ADFRMessageDigestUtil::md5WithString(text);
}

std::string ADFRGamefeatView::sha1WithString(const std::string& text) {
    return ADFRMessageDigestUtil::sha1WithString(text);
}

std::string ADFRGamefeatView::page(const std::string& link, const std::string& image) {
    return ADFRAdNetworkUtil::adPage(ADFRAdNetworkUtil::pictureLink(link, image, false));
}

std::pair<std::string, std::string> ADFRGamefeatView::linkAndImage(const plat::Bytes& answer) {
    auto value = plat::Json::parse(answer.data(), answer.size());
    const auto* object = value ? value->dictionaryIf() : nullptr;
    if (!object) return {};
    auto text = [object](const char* key) {
        const plat::Value* member = object->find(key);
        const std::string* s = member ? member->stringIf() : nullptr;
        return s ? *s : std::string();
    };
    return {text("url"), text("img")};
}

void ADFRGamefeatView::loadAd() {
    if (loadCheckFlg_ || !entity_ || !entity_->siteId()) return;
    loadCheckFlg_ = true;
    htmlTag_.clear();
    const std::string query = "?adid=" + std::to_string(ADFRAdNetworkUtil::intValue(*entity_->siteId())) +
                              "&adsize=" + std::to_string(adSize_) + "&os=ios";
    plat::URLRequest request(ADFREndpoints::url(ADFREndpoints::Kind::Gamefeat, kPath + query),
                             plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTimeoutSeconds);
    request.setValue(entity_->uaId(), "User-Agent");
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    getAdConnection_ =
        ADFRAdNetworkUtil::fetchPage(request, *this, [](ADFRGamefeatView& self, const plat::Bytes& body) {
            if (!body.empty()) {
                auto [link, image] = linkAndImage(body);
                self.htmlTag_ = page(link, image);
            }
            self.finishLoad();
        });
}

void ADFRGamefeatView::finishLoad() {
    setLoadHtml(htmlTag_);
    ZIZRadWebView::loadAd();
}
