#include "ads/adapters/ZIZRadWallWebView.h"

#include "ads/adapters/ADFRWallHtmlSrc.h"
#include "ads/adapters/ZIZRadWebView.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRRandom.h"
#include "ads/base/ZividedirBaseView.h"
#include "ads/settings/ADFRData.h"
#include "ads/settings/ADFRManager.h"
#include "platform/base/Locale.h"
#include "platform/base/Log.h"
#include "platform/net/FileURL.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Application.h"
#include "platform/ui/WebView.h"

void ZIZRadWallWebView::registerClasses() {
    ZividedirViewClass::registerAdapter<ZIZRadWallWebView>();
    ZividedirViewClass::registerAdapter<ZIZRadWallHTMView>();
    ZividedirViewClass::registerAdapter<ZIZRadWallRequest>();
    ZividedirViewClass::registerAdapter<ZIZRadWallAdCrops>();
}

ZIZRadWallWebView::ZIZRadWallWebView(plat::Rect frame)
    : ZividedirInterfaceView(frame),
      webView_(std::make_shared<plat::WebView>(plat::Rect{0, 0, frame.width, frame.height})),
      webDelegate_(std::make_shared<ZIZRadWebDelegate<ZIZRadWallWebView>>(this)) {
    webView_->setBackgroundColor(plat::Color::blackColor());
    webView_->setAutoresizingMask(plat::Autoresizing::kFlexibleWidth | plat::Autoresizing::kFlexibleHeight);
    webView_->setAutoresizesSubviews(true);
    webView_->setBounces(false);
    webView_->setDelegate(webDelegate_);
    addSubview(webView_);
}

ZIZRadWallWebView::~ZIZRadWallWebView() {
    ZIZRadWebView::letGo(webView_);
}

void ZIZRadWallWebView::setParentView(const std::shared_ptr<ZividedirBaseView>& parent) {
    parentView_ = std::dynamic_pointer_cast<ZividedirWallHost>(parent);
}

void ZIZRadWallWebView::setting(const ZividedirAdapterSettings& settings) {
    appId_ = settings.text("appId").value_or("");
    userAdId_ = settings.text("userAdId").value_or("");
    deviceId_ = settings.text("deviceId").value_or("");
    loadHtml_ = settings.text("loadHtml").value_or("");
    adnetworkKey_ = settings.text("adnetworkKey").value_or("");
}

void ZIZRadWallWebView::loadAd() {
    zividedirWallNotFound();
}

std::string ZIZRadWallWebView::resourceBaseURL() {
    std::string path = plat::Bundle::main().resourcePath().string();
    if (path.empty() || path.back() != '/') path += '/';
    return plat::fileURLFromPath(path);
}

void ZIZRadWallWebView::loadPage(const std::string& html, const std::string& baseURL) {
    ownPage_ = baseURL;
    if (webView_) webView_->loadHTMLString(html, baseURL);
}

void ZIZRadWallWebView::requestPage(const std::string& url) {
    ownPage_ = url;
    if (webView_) webView_->loadRequest(plat::URLRequest(url));
}

void ZIZRadWallWebView::zividedirWallNotFound() {
    loadPage(ADFRWallHtmlSrc::getNotfoundHtml(), resourceBaseURL());
}

void ZIZRadWallWebView::postAdDisplayed() {
    if (adnetworkKey_.empty()) return;
    ZIZRadWebView::sendReport(plat::URLRequest(
        ZIZRadWebView::impressionURL(appId_, userAdId_, deviceId_, ADFRManager::stringCurrentContryCode())));
}

void ZIZRadWallWebView::postAdClicked() {
    if (auto delegate = wallDelegate(); delegate && parentView())
        delegate->zividedirViewAdTapped(parentView()->wallView());
    ZIZRadWebView::sendReport(plat::URLRequest(
        ZIZRadWebView::clickURL(appId_, userAdId_, deviceId_, ADFRManager::stringCurrentContryCode()),
        plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kClickReportTimeoutSeconds));
}

std::string ZIZRadWallWebView::hostOf(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) return "";
    std::string authority = url.substr(scheme + 3, url.find_first_of("/?#", scheme + 3) - (scheme + 3));
    if (size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority.front() == '[') return authority.substr(0, authority.find(']') + 1);
    return authority.substr(0, authority.find(':'));
}

bool ZIZRadWallWebView::shouldStartLoad(const std::string& url, int navigationType) {
    if (url.find(ADFRWallHtmlSrc::kNotFoundScheme) != std::string::npos) {
        if (webView_) webView_->stopLoading();
        // Loaded on the next turn: the engine is still deciding on the refused navigation.
        std::weak_ptr<ZIZRadWallWebView> weak =
            std::static_pointer_cast<ZIZRadWallWebView>(shared_from_this());
        plat::RunLoop::main().post([weak] {
            if (auto adapter = weak.lock()) adapter->zividedirWallNotFound();
        });
        return false;
    }
    const std::string currentHost = webView_ ? hostOf(webView_->url()) : "";
    if (navigationType == static_cast<int>(plat::WebViewNavigationType::BackForward)) {
        if (currentHost == hostOf(url)) {
            ++shouldCnt_;
            return true;
        }
        if (auto wall = parentView()) wall->pushCloseButton();
        return false;
    }
    if (navigationType != static_cast<int>(plat::WebViewNavigationType::LinkClicked)) {
        // Without a tap a page goes nowhere but the wall's own page (and below it) and the ad server's.
        if (!ADFREndpoints::withinPage(url, ownPage_) && !ADFREndpoints::isAdServerPage(url)) {
            plat::logWarning("ZIZRadWallWebView: the wall page's navigation to %s without a tap is refused",
                             url.c_str());
            return false;
        }
        ++shouldCnt_;
        return true;
    }
    if (adnetworkKey_ == "1039" && currentHost == hostOf(url)) return true;
    postAdClicked();
    ZIZRadWebView::openOutside(url);
    return false;
}

void ZIZRadWallWebView::didFinishLoad() {
    if (webView_) webView_->setContentInset(0, 0, 0, 0);
    ++finishCnt_;
    auto wall = parentView();
    if (!wall || wall->htmlLoaded()) return;
    wall->stopIndicator();
    wall->setHtmlLoaded(true);
    wall->loadFinish();
}

void ZIZRadWallWebView::didFailLoad() {
    ++finishCnt_;
    auto wall = parentView();
    if (!wall) return;
    wall->stopIndicator();
    wall->closeAdView();
}

// ---- the setting's HTML

void ZIZRadWallHTMView::setting(const ZividedirAdapterSettings& settings) {
    ZIZRadWallWebView::setting(settings);
    entity_ = settings.entity;
}

void ZIZRadWallHTMView::loadAd() {
    if (!entity_) {
        zividedirWallNotFound();
        return;
    }
    loadPage(ZIZRadWebView::substitutePlaceholders(entity_->htmlString()), ADFREndpoints::pageBaseURL());
}

void ZIZRadWallRequest::loadAd() {
    if (!entity_) {
        zividedirWallNotFound();
        return;
    }
    setAdnetworkKey(entity_->adNetworkKey().value_or(""));
    requestPage(entity_->htmlString());
}

// ---- the ad crops offer list

namespace {

// The loader retains its delegate; the adapter holds the loader, so the loader's hold on the adapter is
// a weak one.
class CropsListener : public ZividedirWallJsonEntityDelegate {
  public:
    explicit CropsListener(std::weak_ptr<ZIZRadWallAdCrops> owner) : owner_(std::move(owner)) {}
    void zividedirCPIJsonFinish(ZividedirWallJsonEntity& loader) override {
        if (auto o = owner_.lock()) o->zividedirCPIJsonFinish(loader);
    }
    void zividedirCPIJsonFailed(ZividedirWallJsonEntity& loader) override {
        if (auto o = owner_.lock()) o->zividedirCPIJsonFailed(loader);
    }

  private:
    std::weak_ptr<ZIZRadWallAdCrops> owner_;
};

}  // namespace

ZIZRadWallAdCrops::~ZIZRadWallAdCrops() {
    if (jsonCpi_) jsonCpi_->cancelgetInfoRequest();
}

std::string ZIZRadWallAdCrops::listURL(const std::string& siteId) {
    const auto languages = plat::Locale::preferredLanguages();
    const std::string first = languages.empty() ? "" : languages.front();
    std::string language = first;
    std::string locale = plat::Locale::current().identifier();
    if (first == "ja") locale = "ja_JP";
    return ADFREndpoints::url(ADFREndpoints::Kind::AdCrops, kListPath) + "?_lang=" + language +
           "&_loc=1&_site=" + siteId + "&_page=&_count=40&_format=json&_locale=" + locale + "&_pl=&_i=";
}

void ZIZRadWallAdCrops::loadAd() {
    // The offer pages are built by their script library: without its host they would show nothing.
    if (!entity_ || !ADFREndpoints::isConfiguredOrSay(ADFREndpoints::Kind::Jquery)) {
        zividedirWallNotFound();
        return;
    }
    if (jsonCpi_) jsonCpi_->cancelgetInfoRequest();
    jsonCpi_ = ZividedirWallJsonEntity::create();
    jsonCpi_->loadCpiRequest(listURL(entity_->htmlString()));
    jsonCpi_->setDelegate(
        std::make_shared<CropsListener>(std::static_pointer_cast<ZIZRadWallAdCrops>(shared_from_this())));
}

void ZIZRadWallAdCrops::zividedirCPIJsonFinish(ZividedirWallJsonEntity& loader) {
    const bool listPage = ADFRRandom::arc4random() % 2 == 1;
    const std::string page =
        listPage ? ADFRWallHtmlSrc::getAdcropsListHtml() : ADFRWallHtmlSrc::getAdcropsHtml();
    loadPage(ADFRWallHtmlSrc::withListText(page, loader.jsonString().value_or("")), resourceBaseURL());
}

void ZIZRadWallAdCrops::zividedirCPIJsonFailed(ZividedirWallJsonEntity&) {
    zividedirWallNotFound();
}
