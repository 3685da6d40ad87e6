#include "ads/adapters/ZIZRadWebView.h"

#include "ads/base/ADFRBaseRecURLReformer.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRTextUtil.h"
#include "ads/base/ZividedirBaseView.h"
#include "ads/settings/ADFRManager.h"
#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Application.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/WebView.h"

namespace {

// "failed" when the largest image of the page has no picture (it failed, or has no source).
constexpr const char* kMainPictureScript =
    "(function(){var main=null,area=-1;for(var i=0;i<document.images.length;i++){"
    "var r=document.images[i].getBoundingClientRect();if(r.width*r.height>area){area=r.width*r.height;"
    "main=document.images[i];}}return main&&main.complete&&main.naturalWidth===0?'failed':'ok';})()";

int64_t nowMicros() {
    return plat::Clock::shared().monotonicMicros();
}

}  // namespace

// The ad's web view, which tells its adapter how the touches it takes go on. The adapter hears first: the
// page acts on what the engine is passed, and a cancelled touch reaches the engine as a release, which may
// click what lies under the finger.
class ZIZRadWebView::TouchedWebView final : public plat::WebView {
  public:
    using plat::WebView::WebView;
    void touchesBegan(const plat::TouchSet& touches, const plat::Event& event) override {
        if (auto* ad = adapter()) ad->heardOfTouch(plat::Touch::Phase::Began);
        plat::WebView::touchesBegan(touches, event);
    }
    void touchesMoved(const plat::TouchSet& touches, const plat::Event& event) override {
        if (auto* ad = adapter()) ad->heardOfTouch(plat::Touch::Phase::Moved);
        plat::WebView::touchesMoved(touches, event);
    }
    void touchesEnded(const plat::TouchSet& touches, const plat::Event& event) override {
        if (auto* ad = adapter()) ad->heardOfTouch(plat::Touch::Phase::Ended);
        plat::WebView::touchesEnded(touches, event);
    }
    void touchesCancelled(const plat::TouchSet& touches, const plat::Event& event) override {
        if (auto* ad = adapter()) ad->heardOfTouch(plat::Touch::Phase::Cancelled);
        plat::WebView::touchesCancelled(touches, event);
    }

  private:
    // An adapter that has gone took its web view out first, so a touch that outlives it tells nobody.
    ZIZRadWebView* adapter() { return dynamic_cast<ZIZRadWebView*>(superview()); }
};

ZIZRadWebView::ZIZRadWebView(plat::Rect frame)
    : ZividedirInterfaceView(frame),
      webView_(std::make_shared<TouchedWebView>(plat::Rect{0, 0, frame.width, frame.height})),
      webDelegate_(std::make_shared<ZIZRadWebDelegate<ZIZRadWebView>>(this)) {
    webView_->setDelegate(webDelegate_);
    addSubview(webView_);
    setBackgroundColor(plat::Color::clearColor());
    setOpaque(false);
    webView_->setBackgroundColor(plat::Color::clearColor());
    webView_->setOpaque(false);
    webView_->setDataDetectorTypes(0);
    switchOffBouncing(*webView_);
}

ZIZRadWebView::~ZIZRadWebView() {
    letGo(webView_);
}

void ZIZRadWebView::letGo(std::shared_ptr<plat::WebView>& webView) {
    if (!webView) return;
    // Cleared first: stopping may report to the delegate, and the adapter is already going.
    webView->setDelegate({});
    webView->stopLoading();
    webView->removeFromSuperview();
    webView.reset();
}

void ZIZRadWebView::switchOffBouncing(plat::View& view) {
    // The engine scrolls inside the page; the web view itself stands for its scroll view.
    if (auto* web = dynamic_cast<plat::WebView*>(&view)) web->setBounces(false);
    for (const auto& sub : view.subviews())
        if (auto* web = dynamic_cast<plat::WebView*>(sub.get())) web->setBounces(false);
}

void ZIZRadWebView::setting(const ZividedirAdapterSettings& settings) {
    appId_ = settings.text("appId").value_or("");
    userAdId_ = settings.text("userAdId");
    deviceId_ = settings.text("deviceId");
    loadHtml_ = settings.text("loadHtml").value_or("");
    adnetworkKey_ = settings.text("adnetworkKey").value_or("");
}

std::string ZIZRadWebView::substitutePlaceholders(const std::string& html) {
    std::string out = ADFRBaseRecURLReformer::replaceIDFA(html, ADFRManager::stringAdvertisingId());
    return ADFRTextUtil::replaceAll(std::move(out), kPackagePlaceholder,
                                    plat::Bundle::main().bundleIdentifier());
}

void ZIZRadWebView::loadAd() {
    htmlLoaded_ = false;
    mainPictureFailed_ = false;
    mainPictureUnknown_ = false;
    ++loadSerial_;
    grant_ = {};
    if (!webView_) return;
    webView_->loadHTMLString(substitutePlaceholders(loadHtml_), ADFREndpoints::pageBaseURL());
}

std::string ZIZRadWebView::impressionURL(const std::string& appId, const std::string& userAdId,
                                         const std::string& uid, const std::string& locale) {
    return "http://" + ADFREndpoints::hostAndPort(ADFREndpoints::Kind::Impression) + kImpressionPath +
           "?app_id=" + appId + "&user_ad_id=" + userAdId + "&uid=" + uid + "&locale=" + locale;
}

std::string ZIZRadWebView::clickURL(const std::string& appId, const std::string& userAdId,
                                    const std::string& uid, const std::string& locale) {
    return "http://" + ADFREndpoints::hostAndPort(ADFREndpoints::Kind::ClickApi) + kClickPath + "/app_id/" +
           appId + "/user_ad_id/" + userAdId + "/uid/" + uid + "/locale/" + locale;
}

void ZIZRadWebView::openOutside(const std::string& url) {
    if (auto application = plat::Application::shared()) {
        application->openURL(url);
        return;
    }
    plat::Application().openURL(url);
}

void ZIZRadWebView::sendReport(const plat::URLRequest& request) {
    // Nobody reads the answer, and a failed report is dropped without a word.
    if (ADFREndpoints::leadsNowhere(request.url())) return;
    plat::URLConnection::create(request, std::make_shared<plat::URLConnectionDelegate>());
}

void ZIZRadWebView::sendReport(const std::string& url) const {
    sendReport(plat::URLRequest(url, plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                                kReportTimeoutSeconds));
}

void ZIZRadWebView::postAdDisplayed() {
    if (!userAdId_) return;
    ZividedirInterfaceView::postAdDisplayed();
    sendReport(
        impressionURL(appId_, *userAdId_, deviceId_.value_or(""), ADFRManager::stringCurrentContryCode()));
}

void ZIZRadWebView::postAdClicked() {
    ZividedirInterfaceView::postAdClicked();
    sendReport(clickURL(appId_, userAdId_.value_or(""), deviceId_.value_or(""),
                        ADFRManager::stringCurrentContryCode()));
}

// A touch that reaches the adapter itself (where its web view takes none) goes on up the responder chain.
void ZIZRadWebView::touchesBegan(const plat::TouchSet& touches, const plat::Event& event) {
    heardOfTouch(plat::Touch::Phase::Began);
    ZividedirInterfaceView::touchesBegan(touches, event);
}

void ZIZRadWebView::touchesMoved(const plat::TouchSet& touches, const plat::Event& event) {
    heardOfTouch(plat::Touch::Phase::Moved);
    ZividedirInterfaceView::touchesMoved(touches, event);
}

void ZIZRadWebView::touchesEnded(const plat::TouchSet& touches, const plat::Event& event) {
    heardOfTouch(plat::Touch::Phase::Ended);
    ZividedirInterfaceView::touchesEnded(touches, event);
}

void ZIZRadWebView::touchesCancelled(const plat::TouchSet& touches, const plat::Event& event) {
    heardOfTouch(plat::Touch::Phase::Cancelled);
    ZividedirInterfaceView::touchesCancelled(touches, event);
}

void ZIZRadWebView::heardOfTouch(plat::Touch::Phase phase) {
    const int64_t now = nowMicros();
    switch (phase) {
        case plat::Touch::Phase::Began:
            // A touch on a page that has not loaded grants nothing, even once the page has loaded.
            if (htmlLoaded_) grant_.touchBegan(now);
            break;
        case plat::Touch::Phase::Moved:
        case plat::Touch::Phase::Stationary:
            grant_.touchMoved(now);
            break;
        case plat::Touch::Phase::Ended:
            grant_.touchEnded(now);
            break;
        case plat::Touch::Phase::Cancelled:
            grant_.touchCancelled();
            break;
    }
}

bool ZIZRadWebView::needsPostAdClicked() const {
    return grant_.holds(nowMicros());
}

bool ZIZRadWebView::shouldStartLoad(const std::string& url, int navigationType) {
    const bool linkClicked = navigationType == static_cast<int>(plat::WebViewNavigationType::LinkClicked);
    const bool granted = grant_.holds(nowMicros());
    // A tap grants one way out: its click goes outside, or one move off the ad server loads here. Without
    // it the page's own script may only move within the ad server's pages.
    if (granted && (adnetworkKey_ == "1072" || adnetworkKey_ == "1060" || linkClicked)) {
        grant_.use();
        postAdClicked();
        openOutside(url);
        return false;
    }
    if (!ADFREndpoints::isAdServerPage(url)) {
        if (!granted) {
            plat::logWarning("ZIZRadWebView: the ad page's navigation to %s without a tap is refused",
                             url.c_str());
            return false;
        }
        grant_.use();
    }
    ++shouldCnt_;
    return true;
}

void ZIZRadWebView::didFinishLoad() {
    if (webView_) webView_->setContentInset(0, 0, 0, 0);
    htmlLoaded_ = true;
    setNeedsDisplay();
    ++finishCnt_;
    std::weak_ptr<ZIZRadWebView> self = std::static_pointer_cast<ZIZRadWebView>(shared_from_this());
    if (webView_) {
        // The page has loaded, so every image has loaded or failed by now.
        mainPictureUnknown_ = true;
        webView_->evaluateScript(kMainPictureScript, [self, serial = loadSerial_](const std::string& result) {
            auto adapter = self.lock();
            if (!adapter || adapter->loadSerial_ != serial) return;  // a later load asks again
            adapter->mainPictureUnknown_ = false;
            adapter->mainPictureFailed_ = result == "failed";
            if (adapter->mainPictureFailed_)
                plat::logInfo("ZIZRadWebView: the picture of ad %s did not load; the ad counts as blank",
                              adapter->userAdId_.value_or("").c_str());
        });
    }
    plat::RunLoop::main().post([self] {
        auto adapter = self.lock();
        if (!adapter) return;
        if (auto parent = adapter->parentView()) parent->loadFinish();
    });
}

void ZIZRadWebView::didFailLoad() {
    ++finishCnt_;
    std::weak_ptr<ZIZRadWebView> self = std::static_pointer_cast<ZIZRadWebView>(shared_from_this());
    plat::RunLoop::main().post([self] {
        auto adapter = self.lock();
        if (!adapter) return;
        if (auto parent = adapter->parentView()) parent->loadFailed();
    });
}

bool ZIZRadWebView::sampledRowHasContent(const uint8_t* pixels, int width, int height) {
    if (!pixels || width <= 1 || height <= 0) return false;
    // The middle row; for an odd height the row that holds the middle, not a point between two rows.
    const size_t row = static_cast<size_t>(height / 2) * static_cast<size_t>(width) * 4;
    const uint8_t* first = pixels + row + 4;
    for (int x = 7; x < width; x += 6) {
        const uint8_t* sample = pixels + row + static_cast<size_t>(x) * 4;
        if (sample[0] != first[0] || sample[1] != first[1] || sample[2] != first[2] || sample[3] != first[3])
            return true;
    }
    return false;
}

bool ZIZRadWebView::checkDisplayAd() {
    if (mainPictureFailed_ || mainPictureUnknown_) return false;
    auto image = snapshot(1);
    if (!image) return false;
    cairo_surface_t* surface = image->surface();
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    // The sampler reads rows of exactly 4 bytes a pixel, as ARGB32 surfaces have them.
    if (cairo_image_surface_get_stride(surface) != width * 4) {
        plat::logWarning("ZIZRadWebView: unexpected snapshot layout; the ad counts as blank");
        return false;
    }
    return sampledRowHasContent(cairo_image_surface_get_data(surface), width, height);
}

std::shared_ptr<plat::ImageView> ZIZRadWebView::getScreenImageView() {
    return snapshotImageView();
}

ZIZRadWebPopupView::ZIZRadWebPopupView(plat::Rect frame) : ZIZRadWebView(frame) {
    // Pages are shown at their own size (the engine never scales them to fit).
    if (webView_) webView_->setBackgroundColor(plat::Color::clearColor());
    switchOffBouncing(*this);
}
