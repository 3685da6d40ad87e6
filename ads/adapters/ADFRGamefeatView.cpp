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
    // The anchor is left open, as the network's own page has it.
    return "<html><head><base target=\"_blank\"><meta http-equiv='Content-Type' content='text/html; "
           "charset=utf-8' /></head><body "
           "style='text-align:center;padding:0;margin:0;overflow:hidden;background-color:#ffffff;'><div "
           "style=\"text-align:center;\"><a href=\"" +
           link + "\"><img src=\"" + image + "\" width=\"100%\"></div></body></html>";
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
    getAdConnection_ = ADFRAdNetworkUtil::startConnection(request, *this);
}

void ADFRGamefeatView::finishLoad() {
    setLoadHtml(htmlTag_);
    ZIZRadWebView::loadAd();
}

void ADFRGamefeatView::connectionDidReceiveResponse(plat::URLConnection& connection,
                                                    const plat::URLResponse& response) {
    if (&connection != getAdConnection_.get()) return;
    // The empty page at once; the body of the error answer is still read and shown when it ends.
    if (response.statusCode() != 200) finishLoad();
}

void ADFRGamefeatView::connectionDidReceiveData(plat::URLConnection& connection, const plat::Bytes& data) {
    if (&connection != getAdConnection_.get()) return;
    getAdReceivedData_.insert(getAdReceivedData_.end(), data.begin(), data.end());
}

void ADFRGamefeatView::connectionDidFailWithError(plat::URLConnection&, const plat::Error&) {
    finishLoad();
}

void ADFRGamefeatView::connectionDidFinishLoading(plat::URLConnection& connection) {
    if (&connection != getAdConnection_.get()) return;
    if (getAdReceivedData_.empty()) {
        finishLoad();
        return;
    }
    auto [link, image] = linkAndImage(getAdReceivedData_);
    htmlTag_ = page(link, image);
    getAdReceivedData_.clear();
    finishLoad();
}
