#include "ads/adapters/ADFRTjkAdnetworkView.h"

#include "ads/adapters/ADFRAdNetworkUtil.h"

#include "ads/base/ADFRBaseRecURLReformer.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRMessageDigestUtil.h"
#include "ads/base/ADFRWorkQueues.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "ads/settings/ADFRManager.h"
#include "platform/base/Clock.h"
#include "platform/base/Json.h"
#include "platform/base/Log.h"
#include "platform/net/URLConnection.h"
#include "platform/ui/Device.h"

namespace {

// An item value: text only; anything else counts as absent.
void take(const plat::Value& item, std::string_view key, std::string& into) {
    if (const auto* text = item[key].stringIf()) into = *text;
}

}  // namespace

ADFRTjkAdnetworkView::ADFRTjkAdnetworkView(plat::Rect frame)
    : ZIZRadWebView(frame), ipManager_(ADFRIpApiManager::sharedManager()) {}

ADFRTjkAdnetworkView::~ADFRTjkAdnetworkView() {
    if (getAdConnection_) getAdConnection_->cancel();
}

void ADFRTjkAdnetworkView::setting(const ZividedirAdapterSettings& settings) {
    ZIZRadWebView::setting(settings);
    entity_ = settings.entity;
}

bool ADFRTjkAdnetworkView::loadedFlg() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loadedFlg_;
}

std::string ADFRTjkAdnetworkView::impUrl() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return impUrl_;
}

std::string ADFRTjkAdnetworkView::getadURL(const std::string& appId) {
    // The values go in as they are: the house network reads them unescaped.
    return ADFREndpoints::url(ADFREndpoints::Kind::HouseNetwork, kGetadPath) + "?aid=" + appId +
           "&sdk=" + ADFRManager::kSdkVersion + "&lang=" + ADFRManager::stringCurrentLocaleIdentifier() +
           "&mode=2&lim=1";
}

void ADFRTjkAdnetworkView::loadAd() {
    if (loadCheckFlg_) return;
    htmlTag_.clear();
    item_ = Item{};
    clkUrl_.clear();
    loadCheckFlg_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        loadedFlg_ = false;
        impUrl_.clear();
    }
    plat::URLRequest request(getadURL(appId()), plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                             kGetadTimeoutSeconds);
    request.setValue("adfsdk;os ios;osv " + plat::Device::current().systemVersion() + ";", "User-Agent");
    request.setMaxBodyBytes(kMaxAnswerBytes);
    getAdConnection_ = ADFRAdNetworkUtil::fetchPage(
        request, *this, [](ADFRTjkAdnetworkView& self, const plat::Bytes& body) { self.showAnswer(body); },
        [](ADFRTjkAdnetworkView& self, int status) {
            self.errorStr_ = "Error Status:" + std::to_string(status);
        });
}

std::optional<ADFRTjkAdnetworkView::Item> ADFRTjkAdnetworkView::parseAnswer(const void* data, size_t size) {
    if (!data || size == 0) return std::nullopt;
    auto json = plat::Json::parse(data, size);
    if (!json || !json->isDictionary()) return std::nullopt;
    const auto* items = (*json)["item"].arrayIf();
    if (!items || items->empty()) return std::nullopt;
    const plat::Value& first = (*items)[0];
    Item item;
    take(first, "id", item.prAdId);
    take(first, "url", item.url);
    take(first, "bnr_url", item.bnrUrl);
    take(first, "mov_url", item.movUrl);
    take(first, "strt_dt", item.strtDate);
    take(first, "end_dt", item.endDate);
    take(first, "imp_url", item.impUrl);
    const plat::Value& movFlg = first["mov_flg"];
    if (movFlg.isInteger() || movFlg.isReal() || movFlg.isString())
        item.movFlg = std::to_string(movFlg.toInt64());
    return item;
}

std::string ADFRTjkAdnetworkView::pageHtml(const std::string& link, const std::string& image) {
    return ADFRAdNetworkUtil::adPage(ADFRAdNetworkUtil::pictureLink(link, image, false));
}

void ADFRTjkAdnetworkView::showAnswer(const plat::Bytes& answer) {
    auto item = parseAnswer(answer.data(), answer.size());
    if (!item) {
        finishLoad();
        return;
    }
    item_ = std::move(*item);
    const std::optional<std::string> idfa = ADFRManager::stringAdvertisingId();
    if (!item_.url.empty()) item_.url = addAdfktoURL(item_.url, idfa, false);
    clkUrl_ = ZIZRadWebView::clickURL(appId(), userAdId().value_or(""), idfa.value_or(""),
                                      ADFRManager::stringCurrentContryCode());
    htmlTag_ = pageHtml(item_.url, item_.movFlg == "1" ? item_.movUrl : item_.bnrUrl);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        impUrl_ = item_.impUrl;
        loadedFlg_ = true;
    }
    changed_.notify_all();
    finishLoad();
}

void ADFRTjkAdnetworkView::finishLoad() {
    loadCheckFlg_ = false;
    if (auto connection = std::move(getAdConnection_)) connection->cancel();
    if (ipManager_) {
        ipManager_->cancel(this);
        ipManager_.reset();
    }
    setLoadHtml(htmlTag_);
    ZIZRadWebView::loadAd();
}

void ADFRTjkAdnetworkView::cancel() {
    if (ipManager_) ipManager_->cancel(this);
}

std::string ADFRTjkAdnetworkView::addAdfktoURL(const std::string& url, const std::optional<std::string>& idfa,
                                               bool pathInfo) const {
    if (!idfa) return url;
    const std::string adfk = ADFRMessageDigestUtil::md5WithString(item_.prAdId + "_" + appId() + "_" + *idfa);
    ADFRRecClickURLReformer reformer;
    reformer.addQureyStringKeyValue("adfk", adfk);
    reformer.addQureyStringKeyValue("aid", appId());
    reformer.addQureyStringKeyValue("paid", item_.prAdId);
    reformer.addQureyStringKeyValue("uid", *idfa);
    if (pathInfo) reformer.change_toPathInfo();
    return reformer.getReformedRecURL(url);
}

void ADFRTjkAdnetworkView::postAdDisplayed() {
    // Read here, on the main thread, where the provider lives; the worker only waits and sends.
    const std::optional<std::string> idfa = ADFRManager::stringAdvertisingId();
    const int64_t since = plat::Clock::shared().monotonicMicros();
    auto self = std::static_pointer_cast<ADFRTjkAdnetworkView>(shared_from_this());
    workQueues_.global([self, idfa, since]() mutable {
        self->waitPostAdDisplayed(idfa, since);
        ADFRWorkQueues::releaseOnMain(std::move(self));
    });
}

void ADFRTjkAdnetworkView::waitPostAdDisplayed(const std::optional<std::string>& idfa, int64_t sinceMicros) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ADFRWorkQueues::waitForDisplay(lock, changed_, sinceMicros, [this] { return loadedFlg_; });
    }
    postAdDisplayedCall(idfa);
}

void ADFRTjkAdnetworkView::postAdDisplayedCall(const std::optional<std::string>& idfa) {
    if (!userAdId()) return;
    std::string url;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        impUrl_ = ADFRBaseRecURLReformer::replaceIDFA(impUrl_, idfa);
        url = impUrl_;
    }
    // An item without an impression URL reports nowhere.
    if (url.empty()) return;
    ADFRWorkQueues::get(plat::URLRequest(url, plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                                         kReportTimeoutSeconds));
}

void ADFRTjkAdnetworkView::postAdClicked() {
    ZividedirInterfaceView::postAdClicked();
    if (!userAdId()) return;
    const std::optional<std::string> idfa = ADFRManager::stringAdvertisingId();
    // Each click signs the load's click URL anew, so a second click sends the same URL as the first.
    const std::string unsigned_ = ADFRBaseRecURLReformer::replaceIDFA(clkUrl_, idfa);
    const std::string url = addAdfktoURL(unsigned_, idfa, ADFRRecClickURLReformer::isPathInfoURL(unsigned_));
    plat::URLRequest request(url, plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                             kReportTimeoutSeconds);
    const std::string& ua = ADFRIpApiManager::sharedManager()->ua();
    if (!ua.empty()) request.setValue(ua, "User-Agent");
    if (!ADFREndpoints::leadsNowhere(url)) plat::URLConnection::sendAndForget(request);
}
