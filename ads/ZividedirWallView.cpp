#include "ads/ZividedirWallView.h"

#include "ads/adapters/ZIZRadWebView.h"
#include "ads/widgets/ADFRLoadingBox.h"
#include "platform/base/Log.h"
#include "platform/net/URLConnection.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

using plat::Rect;
namespace Mask = plat::Autoresizing;

namespace {

constexpr unsigned kFlexibleSize = Mask::kFlexibleWidth | Mask::kFlexibleHeight;
// Linear curve, touches allowed while it runs.
constexpr unsigned kAnimationOptions = 0x30002;

bool japanese() {
    return ADFRManager::stringCurrentContryCode() == "ja";
}

void takeOff(const std::shared_ptr<plat::View>& view) {
    if (view) view->removeFromSuperview();
}

}  // namespace

void ZividedirWallToolbar::drawRect(cairo_t* cr, const plat::Rect& rect) {
    plat::Toolbar::drawRect(cr, rect);
    if (auto bar = plat::Image::named(kBarImageName))
        bar->drawInRect(cr, {0, 0, frame().width, frame().height});
}

std::shared_ptr<ZividedirWallView> ZividedirWallView::create() {
    std::shared_ptr<ZividedirWallView> wall(new ZividedirWallView());
    wall->init();
    return wall;
}

ZividedirWallView::ZividedirWallView() : ZividedirBaseView(Rect{}) {}

std::shared_ptr<ZividedirWallView> ZividedirWallView::self() {
    return std::static_pointer_cast<ZividedirWallView>(shared_from_this());
}

void ZividedirWallView::init() {
    setAutoresizesSubviews(true);
    setBackgroundColor(plat::Color::clearColor());

    manager_ = ADFRManager::createFor(self());
    std::weak_ptr<ZividedirWallView> weak = self();
    manager_->setGetinfoTimeOut(kGetinfoTimeOutSeconds);

    adBaseView_ = std::make_shared<plat::View>(plat::Screen::main().bounds());
    adBaseView_->setBackgroundColor(plat::Color::clearColor());
    setAutoresizingMask(kFlexibleSize | Mask::kFlexibleTopMargin | Mask::kFlexibleBottomMargin);
    adBaseView_->setAutoresizingMask(kFlexibleSize);
    adBaseView_->setAutoresizesSubviews(true);
    adBaseView_->setContentMode(plat::ContentMode::Center);

    toolbar_ = std::make_shared<ZividedirWallToolbar>(Rect{0, 0, 320, kToolbarHeight});
    closeButton_ = plat::Button::buttonWithType(plat::Button::Type::Custom);
    auto closePicture = plat::Image::named(kCloseImageName);
    closeButton_->setImage(closePicture, plat::ControlState::kNormal);
    closeButton_->setImage(plat::Image::named(kCloseHighlightImageName), plat::ControlState::kHighlighted);
    closeButton_->addTarget(
        this,
        [weak](plat::Control&, const plat::Event*) {
            if (auto wall = weak.lock()) wall->pushCloseButton();
        },
        plat::ControlEvent::kTouchUpInside);
    const plat::Size pictureSize = closePicture ? closePicture->size() : plat::Size{};
    if (pictureSize.width == 0 && pictureSize.height == 0) {
        closeButton_->setFrame({0, 0, 60, 44});
        closeButton_->setTitle(japanese() ? "閉じる" : "Close", plat::ControlState::kNormal);
        closeButton_->setTitleColor(plat::Color::grayColor(), plat::ControlState::kNormal);
    } else {
        closeButton_->setFrame({0, 0, pictureSize.width, pictureSize.height});
    }
    toolbar_->setItems(
        {plat::BarButtonItem::flexibleSpace(), plat::BarButtonItem::withCustomView(closeButton_)});
    toolbar_->setAutoresizingMask(Mask::kFlexibleWidth);
    toolbar_->setAutoresizesSubviews(false);
}

ZividedirWallView::~ZividedirWallView() {
    ADFRManager::unregisterFetchNotification(this);
    ADFRManager::unregisterFetchFailedNotification(this);
    if (wallCheckTimer_) plat::RunLoop::main().cancelTimer(wallCheckTimer_);
    if (manager_) manager_->cancelRequest();
    if (webView_) webView_->removeFromSuperview();
}

void ZividedirWallView::forcetimeout(float seconds) {
    timeout_ = seconds;
    timeoutFlg_ = true;
}

void ZividedirWallView::testModeEnable() {
    testMode_ = true;
    factory_.setTestMode(true);
}

void ZividedirWallView::testModeDisable() {
    testMode_ = false;
    factory_.setTestMode(false);
}

void ZividedirWallView::showIndicator(plat::Size size) {
    ADFRLoadingBox loading = ADFRLoadingBox::make(size);
    indicatorBack_ = loading.box;
    indicator_ = loading.spinner;
    indicatorBack_->setAutoresizingMask(0);
    addSubview(indicatorBack_);
}

void ZividedirWallView::startShowAd() {
    if (adDisplay_) return;
    if (timeoutFlg_ && timeout_ > 0 && !wallCheckTimer_) {
        std::weak_ptr<ZividedirWallView> weak = self();
        wallCheckTimer_ = plat::RunLoop::main().addTimer(timeout_, [weak] {
            if (auto wall = weak.lock()) wall->timeoutCheck();
        });
    }
    needsUpdateAd_ = false;
    const plat::Size size = superview() ? superview()->bounds().size() : bounds().size();
    setFrame({0, 0, size.width, size.height});
    if (!indicatorBack_) showIndicator(size);

    if (!manager_->isNetworkAvailable()) {
        adDisplay_ = false;
        closeType_ = kCloseNoNetwork;
        auto keep = self();
        plat::RunLoop::main().addTimer(kNoNetworkDelaySeconds, [keep] { keep->loadFailed(); });
        return;
    }
    adDisplay_ = true;
    manager_->setHttpRetryCount(ADFRManager::kMaxHttpRetries);
    if (manager_->isAdFetched()) {
        showAd();
    } else {
        needsUpdateAd_ = true;
        manager_->updateAd();
    }
}

void ZividedirWallView::adFetchedNotification() {
    if (!needsUpdateAd_) return;
    needsUpdateAd_ = false;
    showAd();
}

void ZividedirWallView::adFetchedFailedNotification() {
    needsUpdateAd_ = false;
    closeType_ = kCloseFetchFailed;
    loadFailed();
}

void ZividedirWallView::showAd() {
    htmlLoaded_ = false;
    // One draw: the adapter on show and the impression report name the same ad setting.
    currentEntity_ = manager_->nextAdEntity(&currentAdIndex_);
    if (!currentEntity_) return;  // the loading box stays until the time-out or closeAd
    factory_.setAppId(getAppId());
    factory_.setDeviceId(manager_->deviceId());
    const Rect screen = plat::Screen::main().bounds();
    if (webView_) webView_->removeFromSuperview();
    webView_ = factory_.createWall(
        currentEntity_, {screen.x, screen.y + kToolbarHeight, screen.width, screen.height - kToolbarHeight},
        manager_->adData(), self());
}

void ZividedirWallView::loadFinish() {
    stopIndicator();
    showAdView();
}

void ZividedirWallView::resizeViewData() {
    const plat::Size size = superview() ? superview()->bounds().size() : bounds().size();
    setFrame({0, 0, size.width, size.height});
    adBaseView_->setFrame({0, 0, size.width, size.height});
    toolbar_->setFrame({0, 0, size.width, kToolbarHeight});
    if (webView_) webView_->setFrame({0, kToolbarHeight, size.width, size.height - kToolbarHeight});
}

void ZividedirWallView::showAdView() {
    if (!adDisplay_) return;
    resizeViewData();
    adBaseView_->addSubview(toolbar_);
    if (webView_) adBaseView_->addSubview(webView_);
    addSubview(adBaseView_);
    adBaseView_->setAlpha(0);
    auto base = adBaseView_;
    plat::View::animate(kAnimationSeconds, 0, kAnimationOptions, [base] { base->setAlpha(1); });
    postAdDisplayed();
    if (auto delegate = this->delegate()) delegate->zividedirViewDidFinishLoad(*this);
    frontFlg_ = true;
}

void ZividedirWallView::postAdDisplayed() {
    if (!currentEntity_) return;
    const std::string url = ZIZRadWebView::impressionURL(getAppId(), currentEntity_->userAdId(),
                                                         manager_->deviceId().value_or(""),
                                                         ADFRManager::stringCurrentContryCode());
    ZIZRadWebView::sendReport(plat::URLRequest(url));
}

void ZividedirWallView::loadFailed() {
    auto keep = self();
    stopIndicator();
    closeAdView();
    if (auto delegate = this->delegate()) delegate->zividedirViewAdFailed(*this);
}

void ZividedirWallView::closeAd() {
    pushCloseButton();
}

void ZividedirWallView::pushCloseButton() {
    adDisplay_ = false;
    closeType_ = kCloseButton;
    auto keep = self();
    auto base = adBaseView_;
    const plat::Size size = base->frame().size();
    plat::View::animate(
        kAnimationSeconds, 0, kAnimationOptions,
        [base, size] {
            base->setFrame({0, size.height, size.width, size.height});
        },
        [keep](bool) {
            plat::RunLoop::main().addTimer(kCloseDelaySeconds, [keep] { keep->removeSelf(); });
            plat::RunLoop::main().addTimer(kCloseDelaySeconds, [keep] { keep->closeAdView(); });
            keep->htmlLoaded_ = false;
        });
}

void ZividedirWallView::removeSelf() {
    auto keep = self();
    takeOff(webView_);
    removeFromSuperview();
}

void ZividedirWallView::closeAdView() {
    // Taking the wall off its superview may drop the app's last reference: it lives to the end of this.
    auto keep = self();
    adDisplay_ = false;
    // A closed wall has nothing left to wait for: a late time-out, settings answer or fetch failure would
    // close it, or build an adapter, and tell the delegate a second time.
    if (wallCheckTimer_) plat::RunLoop::main().cancelTimer(wallCheckTimer_);
    wallCheckTimer_ = 0;
    if (needsUpdateAd_) manager_->cancelRequest();
    needsUpdateAd_ = false;
    removeFromSuperview();
    takeOff(adBaseView_);
    frontFlg_ = false;
    if (webView_) {
        webView_->removeFromSuperview();
        webView_.reset();
    }
    if (auto delegate = this->delegate()) delegate->zividedirViewAdClose(*this);
}

void ZividedirWallView::stopIndicator() {
    if (!indicator_) return;
    indicator_->stopAnimating();
    indicator_.reset();
    takeOff(indicatorBack_);
    indicatorBack_.reset();
    if (wallCheckTimer_) {
        plat::RunLoop::main().cancelTimer(wallCheckTimer_);
        wallCheckTimer_ = 0;
    }
}

void ZividedirWallView::timeoutCheck() {
    wallCheckTimer_ = 0;
    if (!timeoutFlg_ || timeout_ <= 0 || frontFlg_ || htmlLoaded_) return;
    if (needsUpdateAd_) {
        manager_->cancelRequest();
        closeAd();
    } else if (adDisplay_) {
        closeAd();
    }
}
