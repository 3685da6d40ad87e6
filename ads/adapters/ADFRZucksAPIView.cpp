#include "ads/adapters/ADFRZucksAPIView.h"

#include "ads/adapters/ADFRAdNetworkUtil.h"
#include "ads/adapters/ADFRGamefeatView.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/settings/ADFRData.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "platform/base/Json.h"

ADFRZucksAPIView::ADFRZucksAPIView(plat::Rect frame)
    : ZIZRadWebView(frame), ipManager_(ADFRIpApiManager::sharedManager()) {}

void ADFRZucksAPIView::setting(const ZividedirAdapterSettings& settings) {
    ZIZRadWebView::setting(settings);
    entity_ = settings.entity;
}

void ADFRZucksAPIView::loadAd() {
    if (!entity_ || entity_->wallType() != "2") {
        ZIZRadWebView::loadAd();
        return;
    }
    if (loadCheckFlg_) return;
    loadCheckFlg_ = true;
    ADFRAdNetworkUtil::askIpManager(*ipManager_, *this);
}

void ADFRZucksAPIView::finishIpManager(ADFRIpApiManager& manager) {
    if (!manager.errorStr().empty() || !entity_ || ADFRAdNetworkUtil::isNullText(manager.ip()) ||
        ADFRAdNetworkUtil::isNullText(manager.ua())) {
        finishLoad();
        return;
    }
    // The frame id as text; a number or a string in the settings, nothing else.
    const plat::Value* frameId = entity_->param() ? entity_->param()->find("frame_id") : nullptr;
    if (!frameId || !(frameId->isString() || frameId->isNumber())) {
        finishLoad();
        return;
    }
    // The address must be known before asking, though it is not sent.
    plat::URLRequest request(ADFREndpoints::url(ADFREndpoints::Kind::Zucks,
                                                std::string(kPath) + "?frameid=" + frameId->toString()),
                             plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTimeoutSeconds);
    request.setValue(manager.ua(), "User-Agent");
    getAdConnection_ = ADFRAdNetworkUtil::fetchPage(
        request, *this, [](ADFRZucksAPIView& self, const plat::Bytes& body) { self.showAnswer(body); });
}

std::optional<ADFRZucksAPIView::Answer> ADFRZucksAPIView::parseAnswer(const plat::Bytes& bytes) {
    auto value = plat::Json::parse(bytes.data(), bytes.size());
    const auto* object = value ? value->dictionaryIf() : nullptr;
    if (!object) return std::nullopt;
    Answer answer;
    auto copy = [object](const char* key, std::optional<std::string>& into) {
        const plat::Value* member = object->find(key);
        if (const std::string* s = member ? member->stringIf() : nullptr) into = *s;
    };
    copy("landing_url", answer.landingUrl);
    copy("imp_url", answer.impUrl);
    copy("alt_text", answer.altText);
    copy("status", answer.status);
    copy("type", answer.type);
    copy("img_src", answer.imgSrc);
    copy("html", answer.htmlSrc);
    return answer;
}

std::optional<std::string> ADFRZucksAPIView::pageOf(const Answer& answer) {
    if (answer.status != "ok") return std::nullopt;
    if (answer.type == "html") return answer.htmlSrc;
    if (answer.type == "img")
        return ADFRGamefeatView::page(answer.landingUrl.value_or(""), answer.imgSrc.value_or(""));
    return std::nullopt;
}

void ADFRZucksAPIView::showAnswer(const plat::Bytes& body) {
    htmlTag_.reset();
    if (!body.empty()) {
        if (auto parsed = parseAnswer(body)) {
            // Members the answer leaves out keep what an earlier answer gave.
            auto merge = [](std::optional<std::string>& into, const std::optional<std::string>& from) {
                if (from) into = from;
            };
            merge(answer_.landingUrl, parsed->landingUrl);
            merge(answer_.impUrl, parsed->impUrl);
            merge(answer_.altText, parsed->altText);
            merge(answer_.status, parsed->status);
            merge(answer_.type, parsed->type);
            merge(answer_.imgSrc, parsed->imgSrc);
            merge(answer_.htmlSrc, parsed->htmlSrc);
        }
    }
    if (answer_.status == "ok") htmlTag_ = pageOf(answer_);
    finishLoad();
}

void ADFRZucksAPIView::finishLoad() {
    loadCheckFlg_ = false;
    if (getAdConnection_) {
        getAdConnection_->cancel();
        getAdConnection_.reset();
    }
    if (htmlTag_ && !htmlTag_->empty()) {
        displayFlg_ = true;
        setLoadHtml(*htmlTag_);
        ZIZRadWebView::loadAd();
    }
}

void ADFRZucksAPIView::postAdDisplayed() {
    if (answer_.impUrl && !answer_.impUrl->empty()) {
        sendReport(plat::URLRequest(*answer_.impUrl,
                                    plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                                    kImpressionTimeoutSeconds));
    }
    ZIZRadWebView::postAdDisplayed();
}
