#include "ads/ZividedirPopupView.h"

#include <cmath>

#include "ads/base/ADFREndpoints.h"
#include "ads/widgets/ADFRLoadingBox.h"
#include "ads/widgets/ADFRNVUIGradientButton.h"
#include "ads/widgets/ZividedirPopupToolbar.h"
#include "platform/base/Log.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

using plat::Rect;
namespace Mask = plat::Autoresizing;

namespace {

constexpr unsigned kFlexibleSize = Mask::kFlexibleWidth | Mask::kFlexibleHeight;
constexpr unsigned kFlexibleMargins = Mask::kFlexibleLeftMargin | Mask::kFlexibleRightMargin |
                                      Mask::kFlexibleTopMargin | Mask::kFlexibleBottomMargin;
// Linear curve, touches allowed while it runs.
constexpr unsigned kFadeInOptions = 0x30002;

bool japanese() {
    return ADFRManager::stringCurrentContryCode() == "ja";
}

std::string closeTitle() {
    return japanese() ? "閉じる" : "Close";
}

void takeOff(const std::shared_ptr<plat::View>& view) {
    if (view) view->removeFromSuperview();
}

}  // namespace

std::shared_ptr<ZividedirPopupView> ZividedirPopupView::create() {
    std::shared_ptr<ZividedirPopupView> popup(new ZividedirPopupView());
    popup->init();
    return popup;
}

ZividedirPopupView::ZividedirPopupView() : ZividedirBaseView(Rect{}) {}

std::shared_ptr<ZividedirPopupView> ZividedirPopupView::self() {
    return std::static_pointer_cast<ZividedirPopupView>(shared_from_this());
}

void ZividedirPopupView::init() {
    setAutoresizesSubviews(true);
    setBackgroundColor(plat::Color::clearColor());

    manager_ = ADFRManager::createFor(self());
    std::weak_ptr<ZividedirPopupView> weak = self();
    manager_->setGetinfoTimeOut(2);

    adBaseView_ = std::make_shared<plat::View>(Rect{0, 0, 310, 300});
    adBaseView_->setAutoresizingMask(kFlexibleMargins);
    adBaseView_->setAutoresizesSubviews(true);
    adBaseView_->setContentMode(plat::ContentMode::Center);
    adBaseView_->setBackgroundColor(plat::Color::blackColor());
    setAutoresizingMask(kFlexibleSize);

    const plat::Device& device = plat::Device::current();
    device.beginGeneratingDeviceOrientationNotifications();
    orientationObserver_ = plat::NotificationCenter::defaultCenter().addObserver(
        plat::Device::kOrientationDidChangeNotification, [weak](const plat::Notification&) {
            if (auto popup = weak.lock()) popup->didRotate();
        });

    popupToolbar_ = std::make_shared<ZividedirPopupToolbar>(Rect{0, 0, 310, 42});
    titleLabel_ = std::make_shared<plat::Label>(Rect{4, 5, 220, 33});
    titleLabel_->setText(kTitle);
    titleLabel_->setFont(plat::ViewFont::boldSystemFont(15));
    titleLabel_->setTextColor(plat::Color::whiteColor());
    titleLabel_->setBackgroundColor(plat::Color::clearColor());
}

ZividedirPopupView::~ZividedirPopupView() {
    plat::NotificationCenter::defaultCenter().removeObserver(orientationObserver_);
    plat::Device::current().endGeneratingDeviceOrientationNotifications();
    ADFRManager::unregisterFetchNotification(this);
    ADFRManager::unregisterFetchFailedNotification(this);
    if (waitTimer_) plat::RunLoop::main().cancelTimer(waitTimer_);
    if (manager_) manager_->cancelRequest();
    if (adWebView_) adWebView_->removeFromSuperview();
}

// ---- counters

std::string ZividedirPopupView::getScheduleKey() const {
    return kScheduleKeyFormat + appID();
}

std::string ZividedirPopupView::getDisplayNumKey() const {
    return kDisplayNumKeyFormat + appID();
}

int ZividedirPopupView::getDisplayCount() const {
    return static_cast<int32_t>(plat::UserDefaults::standard()->integerForKey(getDisplayNumKey()));
}

void ZividedirPopupView::setDisplayCount(int count) {
    plat::UserDefaults::standard()->setInteger(count, getDisplayNumKey());
}

void ZividedirPopupView::addScheduleNum() {
    auto defaults = plat::UserDefaults::standard();
    const int64_t c = defaults->integerForKey(getScheduleKey());
    defaults->setInteger(c > kCounterLimit ? 1 : c + 1, getScheduleKey());
}

void ZividedirPopupView::addDisplayNum() {
    const int32_t d = getDisplayCount();
    setDisplayCount(d > kCounterLimit ? 1 : d + 1);
}

bool ZividedirPopupView::scheduleAllowsShow() {
    const int64_t c = plat::UserDefaults::standard()->integerForKey(getScheduleKey());
    // Truncating division, as the stored counters were always read; a period of 0 leaves c itself.
    const int64_t r = scheduleNum_ == 0 ? c : c % scheduleNum_;
    if (r != static_cast<int64_t>(scheducleFirstNum_) - 1) {
        addScheduleNum();
        closeType_ = kCloseSchedule;
        closeAdView();
        return false;
    }
    if (maxDisplayNum_ >= 1 && getDisplayCount() > maxDisplayNum_) {
        addScheduleNum();
        closeType_ = kCloseDisplayCap;
        closeAdView();
        return false;
    }
    return true;
}

// ---- showing

void ZividedirPopupView::coverSuperview() {
    plat::View* parent = superview();
    setFrame(parent ? parent->bounds() : frame());
    setBackgroundColor(plat::Color::clearColor());
    if (backgroundView_) return;
    backgroundView_ = std::make_shared<ADFRDisableTouchView>(frame());
    backgroundView_->setBackgroundColor(plat::Color::lightGrayColor());
    backgroundView_->setAlpha(0.3);
    backgroundView_->setAutoresizingMask(kFlexibleSize);
    backgroundView_->setAutoresizesSubviews(true);
    addSubview(backgroundView_);
}

void ZividedirPopupView::showIndicator() {
    const plat::Size size = superview() ? superview()->bounds().size() : bounds().size();
    ADFRLoadingBox loading = ADFRLoadingBox::make(size);
    indicatorBack_ = loading.box;
    indicator_ = loading.spinner;
    addSubview(indicatorBack_);
}

void ZividedirPopupView::startShowAd() {
    if (adDisplay_) return;
    closed_ = false;
    adBaseView_->setTransform(plat::AffineTransform::identity());
    if (!scheduleAllowsShow()) return;
    coverSuperview();
    showIndicator();
    if (manager_->isNetworkAvailable()) {
        needsUpdateAd_ = true;
        adDisplay_ = true;
        manager_->setHttpRetryCount(ADFRManager::kMaxHttpRetries);
        if (manager_->isAdFetched()) {
            popupshowAd();
        } else {
            fetchSettings();
        }
    } else {
        adDisplay_ = false;
        closeType_ = kCloseNoNetwork;
        failLater(kNoNetworkDelaySeconds);
    }
}

void ZividedirPopupView::failLater(double seconds) {
    auto keep = self();
    plat::RunLoop::main().addTimer(seconds, [keep] { keep->loadFailed(); });
}

void ZividedirPopupView::fetchSettings() {
    manager_->updateAd();
    // With no ad server there is no request to wait for: the failure is already on its way.
    if (ADFREndpoints::adServerUnconfigured()) return;
    waitForSettings(kSettingsWaitSeconds);
}

void ZividedirPopupView::waitForSettings(double seconds) {
    if (waitTimer_) plat::RunLoop::main().cancelTimer(waitTimer_);
    std::weak_ptr<ZividedirPopupView> weak = self();
    waitTimer_ = plat::RunLoop::main().addTimer(seconds, [weak] {
        auto popup = weak.lock();
        if (!popup) return;
        popup->waitTimer_ = 0;
        if (!popup->adDisplay_ || popup->adWebView_ || popup->closed_) return;
        // A request under way ends by its own time-out; what the bound stops is waiting between tries.
        if (popup->manager_->isRequestUnderWay()) {
            popup->waitForSettings(kSettingsRecheckSeconds);
            return;
        }
        plat::logWarning("ads: the popup's settings did not come within %.0f s; closing",
                         kSettingsWaitSeconds);
        popup->manager_->cancelRequest();
        popup->adFetchedFailedNotification();
    });
}

void ZividedirPopupView::preloadAd() {
    closed_ = false;
    if (!manager_->isNetworkAvailable()) {
        adDisplay_ = false;
        closeType_ = kCloseNoNetwork;
        failLater(kNoNetworkDelaySeconds);
        return;
    }
    manager_->setHttpRetryCount(ADFRManager::kMaxHttpRetries);
    needsUpdateAd_ = true;
    adDisplay_ = true;
    preloadFlg_ = true;
    if (manager_->isAdFetched()) {
        popupshowAd();
    } else {
        fetchSettings();
    }
}

void ZividedirPopupView::preloadShowAd() {
    if (!manager_->adData() || manager_->adData()->adList().empty()) preloadFlg_ = false;
    if (!preloadFlg_) {
        startShowAd();
        return;
    }
    adBaseView_->setTransform(plat::AffineTransform::identity());
    if (!scheduleAllowsShow() || !adDisplay_) return;
    coverSuperview();
    showAdView();
    preloadFlg_ = false;
}

void ZividedirPopupView::adFetchedNotification() {
    if (needsUpdateAd_) popupshowAd();
}

void ZividedirPopupView::adFetchedFailedNotification() {
    closeType_ = kCloseFetchFailed;
    preloadFlg_ = false;
    loadFailed();
}

void ZividedirPopupView::popupshowAd() {
    loadedAdFlg_ = false;
    auto entity = manager_->nextAdEntity(&currentAdIndex_);
    if (!entity) {
        // Nothing to show: left waiting, the overlay would swallow every touch of the app for good.
        closeType_ = kCloseFetchFailed;
        loadFailed();
        return;
    }
    factory_.setAppId(appID());
    factory_.setDeviceId(manager_->deviceId());
    factory_.setting(plat::Value(plat::Value::Dictionary{{"adType", plat::Value(int64_t(intersAdType_))}}));
    if (adWebView_) adWebView_->removeFromSuperview();
    adWebView_ = factory_.create(entity, Rect{0, 0, 300, 250}, manager_->adData(), self());

    // An adapter that never reports, or keeps failing while its content is blank, must not leave the
    // overlay up with no way out.
    if (waitTimer_) plat::RunLoop::main().cancelTimer(waitTimer_);
    std::weak_ptr<ZividedirPopupView> weak = self();
    waitTimer_ = plat::RunLoop::main().addTimer(kAdapterWaitSeconds, [weak] {
        auto popup = weak.lock();
        if (!popup) return;
        popup->waitTimer_ = 0;
        const bool waiting = popup->adDisplay_ && !popup->showAdFlg_ && !popup->loadedAdFlg_;
        if (!waiting || popup->closed_) return;
        plat::logWarning("ads: the popup's adapter did not load within %.0f s; closing", kAdapterWaitSeconds);
        popup->stopIndicator();
        popup->closeAdView();
        if (auto delegate = popup->delegate()) delegate->zividedirViewAdFailed(*popup);
    });
}

void ZividedirPopupView::loadFinish() {
    if (closed_) return;
    stopIndicator();
    if (!loadedAdFlg_) {
        if (auto delegate = this->delegate()) delegate->zividedirViewDidFinishLoadAdData(*this);
    }
    loadedAdFlg_ = true;
    if (!preloadFlg_) showAdView();
}

void ZividedirPopupView::loadFailed() {
    if (closed_) return;
    if (adWebView_ && !adWebView_->checkDisplayAd()) return;
    auto keep = self();
    stopIndicator();
    closeAdView();
    if (auto delegate = this->delegate()) delegate->zividedirViewAdFailed(*this);
}

bool ZividedirPopupView::isInMobiIntersAd() const {
    if (currentAdIndex_ < 0 || intersAdType_ != 1 || !manager_->adData()) return false;
    const auto& list = manager_->adData()->adList();
    if (static_cast<size_t>(currentAdIndex_) >= list.size()) return false;
    return list[static_cast<size_t>(currentAdIndex_)]->adNetworkKey() == std::string(kInMobiNetworkKey);
}

void ZividedirPopupView::showAdView() {
    if (!adDisplay_ || showAdFlg_) return;
    if (adWebView_) {
        adBaseView_->addSubview(adWebView_);
        adWebView_->postAdDisplayed();
    }
    showAdFlg_ = true;
    const plat::Size size = frame().size();
    if (isInMobiIntersAd()) {
        layoutInMobi(size.width, size.height);
    } else {
        layoutRegular(size.width, size.height);
    }
    addSubview(adBaseView_);
    adBaseView_->setAlpha(0);
    auto base = adBaseView_;
    plat::View::animate(0.2, 0, kFadeInOptions, [base] { base->setAlpha(1); });
    addDisplayNum();
    addScheduleNum();
    if (auto delegate = this->delegate()) delegate->zividedirViewDidFinishLoad(*this);
}

void ZividedirPopupView::layoutRegular(double width, double height) {
    adBaseView_->addSubview(popupToolbar_);

    closeNewButton_ = plat::Button::buttonWithType(plat::Button::Type::Custom);
    if (auto picture = plat::Image::named(kCloseImageName)) {
        closeNewButton_->setImage(picture, plat::ControlState::kNormal);
        closeNewButton_->setFrame({268, 5, 37, 33});
    } else {
        closeNewButton_->setFrame({248, 5, 57, 33});
        closeNewButton_->setTitle(closeTitle(), plat::ControlState::kNormal);
        closeNewButton_->setTitleColor(plat::Color::grayColor(), plat::ControlState::kNormal);
    }
    std::weak_ptr<ZividedirPopupView> weak = self();
    closeNewButton_->addTarget(
        this,
        [weak](plat::Control&, const plat::Event*) {
            if (auto popup = weak.lock()) popup->pushCloseButton();
        },
        plat::ControlEvent::kTouchUpInside);
    popupToolbar_->addSubview(closeNewButton_);

    adBaseView_->setBorderColor(borderColor_.value_or(plat::Color::rgba(34.0 / 255, 137.0 / 255, 0)));
    adBaseView_->setBorderWidth(1);
    adBaseView_->setCornerRadius(8);
    adBaseView_->setClipsToBounds(true);

    if (adWebView_) adWebView_->setFrame({5, 46, 300, 250});
    adBaseView_->setFrame({(width - 310) / 2, (height - 300) / 2, 310, 300});
    adBaseView_->setTransform(plat::AffineTransform::identity());
    adBaseView_->setAutoresizingMask(kFlexibleMargins);
    setAutoresizingMask(kFlexibleSize);

    if (!titleImageView_) {
        popupToolbar_->addSubview(titleLabel_);
    } else {
        titleLabel_->removeFromSuperview();
        popupToolbar_->addSubview(titleImageView_);
    }
}

void ZividedirPopupView::layoutInMobi(double width, double height) {
    const std::string title = closeTitle();
    closeButton_ = std::make_shared<ADFRNVUIGradientButton>(Rect{0, 255, 300, 40}, 1u);
    closeButton_->setText(title);
    std::weak_ptr<ZividedirPopupView> weak = self();
    closeButton_->addTarget(
        this,
        [weak](plat::Control&, const plat::Event*) {
            if (auto popup = weak.lock()) popup->pushCloseButton();
        },
        plat::ControlEvent::kTouchUpInside);
    popupToolbar_->removeFromSuperview();

    adBaseView_->setBorderColor(plat::Color::clearColor());
    adBaseView_->setCornerRadius(0);
    adBaseView_->setClipsToBounds(false);

    adBaseView_->setFrame({(width - 320) / 2, (height - 480) / 2, 320, 480});
    if (adWebView_) adWebView_->setFrame({0, 0, 320, 480});
    closeButton_->setFrame({220, 0, 100, 70});
    closeButton_->setText("X " + title);
    closeButton_->setBorderColor(plat::Color::clearColor());
    closeButton_->setTextColor(plat::Color::whiteColor());
    closeButton_->setTintColor(plat::Color::blackColor());
    closeButton_->setHighlightedBorderColor(plat::Color::clearColor());
    closeButton_->setHighlightedTintColor(plat::Color::blackColor());
    closeButton_->setHighlightedTextColor(plat::Color::rgba(0, 157.0 / 255, 1));
    closeButton_->titleLabel().setFont(plat::ViewFont::boldSystemFont(20));
    adBaseView_->addSubview(closeButton_);

    if (width < 480 || height < 480) didRotate();
}

void ZividedirPopupView::didRotate() {
    const plat::Size size = frame().size();
    if (!isInMobiIntersAd() || !showAdFlg_ || !(size.width < 480 || size.height < 480)) return;
    auto application = plat::Application::shared();
    const int orientation = application ? application->statusBarOrientation() : 1;
    adBaseView_->setTransform(plat::AffineTransform::identity());
    if (orientation == 3) {
        adBaseView_->setTransform(plat::AffineTransform::makeRotation(-M_PI / 2));
    } else if (orientation == 4) {
        adBaseView_->setTransform(plat::AffineTransform::makeRotation(M_PI / 2));
    }
}

// ---- closing

void ZividedirPopupView::pushCloseButton() {
    adDisplay_ = false;
    closeType_ = kCloseButton;
    auto keep = self();
    plat::RunLoop::main().addTimer(kCloseDelaySeconds, [keep] { keep->closeAdView(); });
}

void ZividedirPopupView::stopIndicator() {
    if (!indicator_) return;
    indicator_->stopAnimating();
    indicator_.reset();
    takeOff(indicatorBack_);
    indicatorBack_.reset();
}

void ZividedirPopupView::closeAdView() {
    // Taking the popup off its superview may drop the app's last reference: it lives to the end of this.
    auto keep = self();
    if (closed_) return;
    closed_ = true;
    adDisplay_ = false;
    showAdFlg_ = false;
    if (waitTimer_) plat::RunLoop::main().cancelTimer(waitTimer_);
    waitTimer_ = 0;
    removeFromSuperview();
    takeOff(backgroundView_);
    backgroundView_.reset();
    takeOff(adBaseView_);
    takeOff(closeButton_);
    closeButton_.reset();
    takeOff(closeNewButton_);
    closeNewButton_.reset();
    takeOff(adWebView_);
    adWebView_.reset();
    if (titleImageView_) {
        titleImageView_->removeFromSuperview();
    } else {
        titleLabel_->removeFromSuperview();
    }
    if (auto delegate = this->delegate()) delegate->zividedirViewAdClose(*this);
}

// ---- settings

void ZividedirPopupView::testModeEnable() {
    testMode_ = true;
    factory_.setTestMode(true);
}

void ZividedirPopupView::testModeDisable() {
    testMode_ = false;
    factory_.setTestMode(false);
}

void ZividedirPopupView::setBarGradient(std::optional<plat::Color> start, std::optional<plat::Color> end) {
    popupToolbar_->setStartColor(start);
    popupToolbar_->setEndColor(end);
}

void ZividedirPopupView::addZividedirInterfaceView(const std::string& viewName, float rate) {
    factory_.addZividedirInterfaceView(viewName, rate);
}
