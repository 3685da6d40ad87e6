#include "ads/ZividedirView.h"

#include <cmath>

#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRRandom.h"
#include "ads/settings/ADFRManager.h"
#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/WebView.h"

namespace {

constexpr uint64_t kRandomChoices[] = {ZividedirView::kTransitionNone, ZividedirView::kTransitionFlipFromLeft,
                                       ZividedirView::kTransitionFlipFromRight,
                                       ZividedirView::kTransitionCurlUp, ZividedirView::kTransitionCurlDown};
constexpr unsigned kFadeOptions = 0x30002;  // linear curve, user interaction allowed

bool isKnownTransition(uint32_t t) {
    switch (t) {
        case ZividedirView::kTransitionFlipFromLeft:
        case ZividedirView::kTransitionFlipFromRight:
        case ZividedirView::kTransitionCurlUp:
        case ZividedirView::kTransitionCurlDown:
        case ZividedirView::kTransitionFadeIn:
        case ZividedirView::kTransitionFadeOut:
        case ZividedirView::kTransitionCustom:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::shared_ptr<ZividedirView> ZividedirView::create(plat::Rect frame) {
    std::shared_ptr<ZividedirView> view(new ZividedirView(frame));
    view->initialize();
    return view;
}

ZividedirView::ZividedirView(plat::Rect frame) : ZividedirBaseView(frame) {}

void ZividedirView::initialize() {
    setAutoresizesSubviews(true);
    setBackgroundColor(plat::Color::clearColor());
    setOpaque(false);
    manager_ = ADFRManager::createFor(self());
    factory_ = std::make_shared<ZividedirViewFactory>();
}

ZividedirView::~ZividedirView() {
    ADFRManager::unregisterFetchNotification(this);
    cancelTimer();
    frontAdView_.reset();
    backAdView_.reset();
    if (manager_) manager_->setView(nullptr);
    manager_.reset();
}

std::shared_ptr<ZividedirView> ZividedirView::self() {
    return std::static_pointer_cast<ZividedirView>(shared_from_this());
}

void ZividedirView::startShowAd() {
    nextUpdateDate_.reset();
    if (auto stored = plat::UserDefaults::standard()->objectForKey(manager_->nextUpdateDateKey()))
        if (const auto* date = stored->dateIf()) nextUpdateDate_ = date->secondsSince1970;
    toldNoEntity_ = false;
    updateAd();
}

void ZividedirView::stopUpdating() {
    cancelTimer();
    needsUpdateAd_ = false;
}

void ZividedirView::removeFromSuperview() {
    cancelTimer();
    ZividedirBaseView::removeFromSuperview();
}

plat::View* ZividedirView::hitTest(plat::Point point, const plat::Event* event) {
    plat::View* hit = ZividedirBaseView::hitTest(point, event);
    return hit == this ? nullptr : hit;
}

void ZividedirView::cancelTimer() {
    if (adTimer_) plat::RunLoop::main().cancelTimer(adTimer_);
    adTimer_ = 0;
}

void ZividedirView::testModeEnable() {
    testMode_ = true;
    factory_->setTestMode(true);
}

void ZividedirView::testModeDisable() {
    testMode_ = false;
    factory_->setTestMode(false);
}

void ZividedirView::addZividedirInterfaceView(const std::string& viewName, float rate) {
    factory_->addZividedirInterfaceView(viewName, rate);
}

void ZividedirView::addOtherAdView(std::shared_ptr<ZividedirInterfaceView> view, int32_t rate) {
    otherAdView_ = std::move(view);
    otherAdRate_ = rate;
}

const std::string& ZividedirView::originUserAgent() const {
    if (!originUserAgent_) originUserAgent_ = plat::WebView::defaultUserAgent();
    return *originUserAgent_;
}

void ZividedirView::setUserAgentYDN() {
    // Only an agent that already names the network's SDK gets the extended form.
    if (originUserAgent().find("YJIAdSDK/") == std::string::npos) return;
    plat::UserDefaults::standard()->registerDefaults(
        {{"UserAgent", plat::Value(originUserAgent() + " YJIAdSDK/")}});
}

bool ZividedirView::isAdFetched() const {
    return nextUpdateDate_ && plat::Clock::shared().nowSeconds() < *nextUpdateDate_;
}

double ZividedirView::rotationPeriod() const {
    const auto& data = manager_->adData();
    double period = data ? static_cast<double>(data->updateCycleTime()) : 0;
    return std::isfinite(period) && period >= kMinimumCycleSeconds ? period : kFallbackCycleSeconds;
}

void ZividedirView::setBackAdView(std::shared_ptr<ZividedirInterfaceView> adapter) {
    backAdView_ = std::move(adapter);
    backAdViewMadeAt_ = plat::Clock::shared().nowSeconds();
}

bool ZividedirView::backAdViewStillLoading() const {
    return backAdView_ && backAdView_->isLoadingAd() &&
           plat::Clock::shared().nowSeconds() < backAdViewMadeAt_ + kBackAdapterLoadSeconds;
}

std::shared_ptr<ZividedirInterfaceView> ZividedirView::makeAdapter(
    const std::shared_ptr<ADFRJSAdEntity>& entity) {
    if (!entity) return nullptr;
    return factory_->create(entity, bounds(), manager_->adData());
}

void ZividedirView::updateAd() {
    cancelTimer();
    if (!manager_->isAdFetched()) {
        needsUpdateAd_ = true;
        manager_->updateAd();
        return;
    }
    needsUpdateAd_ = false;
    std::shared_ptr<ZividedirInterfaceView> shown;
    if (!frontAdView_) {
        factory_->setAppId(getAppId());
        factory_->setDeviceId(manager_->deviceId());
        auto first = manager_->nextAdEntity(&currentAdIndex_);
        if (first) {
            frontAdView_ = makeAdapter(first);
            setBackAdView(makeAdapter(manager_->nextAdEntity(&currentAdIndex_)));
        }
        if (frontAdView_) {
            addSubview(frontAdView_);
            shown = frontAdView_;
        }
    } else if (!transitionPending_) {
        auto candidate = backAdView_;
        if (candidate && candidate->isDisplay() && candidate->checkDisplayAd()) {
            auto outgoing = frontAdView_;
            auto entity = manager_->nextAdEntity(&currentAdIndex_);
            transitionPending_ = true;
            auto banner = self();
            plat::RunLoop::main().post([banner, candidate, outgoing, entity] {
                banner->changeAdWebView(candidate, outgoing, entity);
            });
            shown = candidate;
        } else if (backAdViewStillLoading()) {
            // Replacing it now would throw its load away and start another that may be no quicker.
        } else if (auto entity = manager_->nextAdEntity(&currentAdIndex_)) {
            factory_->setAppId(getAppId());
            factory_->setDeviceId(manager_->deviceId());
            setBackAdView(makeAdapter(entity));
        }
    }
    if (shown) {
        shown->postAdDisplayed();
        releaseAdView_ = frontAdView_;
        if (shown != frontAdView_) frontAdView_ = backAdView_;
    }

    // The timer knows its own id, so that one replaced meanwhile does nothing when it fires.
    std::weak_ptr<ZividedirView> weak = self();
    auto id = std::make_shared<plat::RunLoop::TimerId>(0);
    *id = plat::RunLoop::main().addTimer(rotationPeriod(), [weak, id] {
        if (auto view = weak.lock()) view->timerFired(*id);
    });
    adTimer_ = *id;

    auto delegate = delegate_.lock();
    if (shown) {
        toldNoEntity_ = false;
        if (delegate) delegate->zividedirViewDidFinishLoad(self());
    } else if (!frontAdView_ && !toldNoEntity_) {
        // Settings with no ad to choose: the app hears it once; the timer tries again.
        toldNoEntity_ = true;
        plat::logInfo("ads: the banner %s has no ad to show", getAppId().c_str());
        if (delegate) delegate->zividedirViewAdFailed(self());
    }
}

void ZividedirView::timerFired(plat::RunLoop::TimerId timer) {
    if (timer == 0 || timer != adTimer_) return;
    adTimer_ = 0;
    updateAd();
}

void ZividedirView::adFetchedNotification() {
    if (needsUpdateAd_) updateAd();
}

void ZividedirView::adFetchedFailedNotification() {
    // Without an ad server that was said once already, for every placement.
    if (!ADFREndpoints::adServerUnconfigured())
        plat::logInfo("ads: the settings of banner %s could not be fetched; it shows %s", getAppId().c_str(),
                      frontAdView_ ? "its last ad" : "nothing");
    if (auto delegate = delegate_.lock()) delegate->zividedirViewAdFailed(self());
}

std::shared_ptr<plat::ImageView> ZividedirView::snapshotOf(
    const std::shared_ptr<ZividedirInterfaceView>& outgoing) {
    auto snapshot = outgoing->getScreenImageView();
    // Where the outgoing adapter was, inside the banner.
    if (snapshot) snapshot->setFrame(outgoing->frame());
    return snapshot;
}

void ZividedirView::swapAtOnce(const std::shared_ptr<ZividedirInterfaceView>& incoming,
                               const std::shared_ptr<ZividedirInterfaceView>& outgoing) {
    outgoing->removeFromSuperview();
    addSubview(incoming);
}

void ZividedirView::changeAdWebView(const std::shared_ptr<ZividedirInterfaceView>& incoming,
                                    const std::shared_ptr<ZividedirInterfaceView>& outgoing,
                                    const std::shared_ptr<ADFRJSAdEntity>& entity) {
    transitionPending_ = false;
    incoming->setAlpha(1.0);
    outgoing->setAlpha(1.0);
    auto t = static_cast<uint32_t>(transitionType_ & 0xffffffffu);
    if (t == kTransitionRandom) t = static_cast<uint32_t>(kRandomChoices[ADFRRandom::arc4random() % 5]);
    const auto& data = manager_->adData();
    const bool off = data && data->ta_off() == 1;
    const double d = static_cast<double>(transitionDulation_);
    auto banner = self();

    if (t == kTransitionNone || off || !isKnownTransition(t)) {
        swapAtOnce(incoming, outgoing);
    } else if (t == kTransitionFadeIn) {
        outgoing->removeFromSuperview();
        auto snapshot = snapshotOf(outgoing);
        if (snapshot) addSubview(snapshot);
        addSubview(incoming);
        incoming->setAlpha(0.0);
        plat::View::animate(
            d, 0.0, kFadeOptions, [incoming] { incoming->setAlpha(1.0); },
            [snapshot](bool) {
                if (snapshot) snapshot->removeFromSuperview();
            });
    } else if (t == kTransitionFadeOut) {
        addSubview(incoming);
        incoming->setAlpha(1.0);
        outgoing->removeFromSuperview();
        auto snapshot = snapshotOf(outgoing);
        if (snapshot) {
            addSubview(snapshot);
            plat::View::animate(
                d, 0.0, kFadeOptions, [snapshot] { snapshot->setAlpha(0.0); },
                [snapshot](bool) { snapshot->removeFromSuperview(); });
        }
    } else if (t == kTransitionCustom) {
        auto receiver = customAnimationClass_.lock();
        if (!receiver || !customAnimationMethod_) {
            swapAtOnce(incoming, outgoing);
        } else {
            outgoing->removeFromSuperview();
            auto snapshot = snapshotOf(outgoing);
            if (snapshot) addSubview(snapshot);
            addSubview(incoming);
            customAnimationMethod_(receiver.get(), banner, snapshot, incoming);
        }
    } else {
        plat::View::transition(
            banner, d, t, [banner, incoming] { banner->addSubview(incoming); },
            [outgoing](bool) { outgoing->removeFromSuperview(); });
    }

    releaseAdView_.reset();
    // With no entity the back stays empty until a later rotation step finds one.
    setBackAdView(makeAdapter(entity));
}
