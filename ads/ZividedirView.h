#pragma once
// The rotating banner placement. One adapter is on screen (the front), the next one loads out of sight
// (the back); every rotation period the banner checks whether the back has content and, if so, swaps to
// it with the chosen transition and has the factory prepare a new back adapter for a newly chosen ad.
// Its own ad manager fetches the settings and tells it by notification. Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ads/adapters/ZividedirInterfaceView.h"
#include "ads/base/ZividedirBaseView.h"
#include "ads/base/ZividedirViewDelegate.h"
#include "platform/runloop/RunLoop.h"

class ADFRJSAdEntity;
class ADFRManager;
class ZividedirViewFactory;

namespace plat {
class ImageView;
}

class ZividedirView : public ZividedirBaseView {
  public:
    // Values of transitionType (the first four are the platform's view-transition options).
    enum Transition : uint64_t {
        kTransitionNone = 0,
        kTransitionFlipFromLeft = 0x100000,
        kTransitionFlipFromRight = 0x200000,
        kTransitionCurlUp = 0x300000,
        kTransitionCurlDown = 0x400000,
        kTransitionFadeIn = 0x400001,
        kTransitionFadeOut = 0x400002,
        kTransitionRandom = 0x400003,
        kTransitionCustom = 0x400004,
    };
    // A rotation period that is missing, shorter than kMinimumCycleSeconds or not finite would rebuild
    // adapters and resend requests without pause; this one is used instead.
    static constexpr double kFallbackCycleSeconds = 30;
    static constexpr double kMinimumCycleSeconds = 1;
    // A back adapter still loading is kept this long before a newly chosen ad may replace it.
    static constexpr double kBackAdapterLoadSeconds = 10;
    static constexpr double kDefaultTransitionDuration = 0.5;

    // The custom transition: called with the receiver, the banner, the outgoing adapter's snapshot (may
    // be null) and the incoming adapter. It animates and removes the snapshot itself.
    using CustomAnimationMethod =
        std::function<void(void* receiver, const std::shared_ptr<ZividedirView>& banner,
                           const std::shared_ptr<plat::ImageView>& snapshot,
                           const std::shared_ptr<ZividedirInterfaceView>& incoming)>;

    // initWithFrame: a transparent banner with its manager and factory; nothing shown until startShowAd.
    static std::shared_ptr<ZividedirView> create(plat::Rect frame);
    ~ZividedirView() override;

    // Not retained.
    void setDelegate(const std::shared_ptr<ZividedirViewDelegate>& delegate) { delegate_ = delegate; }
    std::shared_ptr<ZividedirViewDelegate> delegate() const { return delegate_.lock(); }

    void startShowAd();
    void stopUpdating();
    void testModeEnable();
    void testModeDisable();
    void addZividedirInterfaceView(const std::string& viewName, float rate);
    void addOtherAdView(std::shared_ptr<ZividedirInterfaceView> view, int32_t rate);
    // Not retained; both names hold the same receiver.
    void setCustomAnimationClass(const std::shared_ptr<void>& receiver) { customAnimationClass_ = receiver; }
    void setCustomAnimationCalss(const std::shared_ptr<void>& receiver) { customAnimationClass_ = receiver; }
    std::shared_ptr<void> customAnimationClass() const { return customAnimationClass_.lock(); }
    std::shared_ptr<void> customAnimationCalss() const { return customAnimationClass_.lock(); }
    void setCustomAnimationMethod(CustomAnimationMethod method) {
        customAnimationMethod_ = std::move(method);
    }
    void setTransitionType(uint64_t type) { transitionType_ = type; }
    uint64_t transitionType() const { return transitionType_; }
    void setTransitionDulation(float seconds) { transitionDulation_ = seconds; }
    float transitionDulation() const { return transitionDulation_; }
    void setUserAgentYDN();
    const std::shared_ptr<ADFRManager>& getManager() const { return manager_; }
    bool isAdFetched() const;
    // Stops the rotation, then leaves the superview.
    void removeFromSuperview();
    // Only an adapter takes touches: where the banner shows no ad, they reach what lies beneath.
    plat::View* hitTest(plat::Point point, const plat::Event* event) override;

    // The rotation step, the timer and the manager's notifications (driven by the banner itself).
    void updateAd();
    void timerFired(plat::RunLoop::TimerId timer);
    void adFetchedNotification();
    void adFetchedFailedNotification();

    bool needsUpdateAd() const { return needsUpdateAd_; }
    int32_t currentAdIndex() const { return currentAdIndex_; }
    plat::RunLoop::TimerId adTimer() const { return adTimer_; }
    bool testMode() const { return testMode_; }
    const std::optional<double>& nextUpdateDate() const { return nextUpdateDate_; }
    const std::shared_ptr<ADFRManager>& manager() const { return manager_; }
    // What a new web view's page would give for "navigator.userAgent"; asked of the web engine when first
    // needed, so a banner that never shows a page never starts it.
    const std::string& originUserAgent() const;
    const std::shared_ptr<ZividedirInterfaceView>& frontAdView() const { return frontAdView_; }
    const std::shared_ptr<ZividedirInterfaceView>& backAdView() const { return backAdView_; }
    const std::shared_ptr<ZividedirInterfaceView>& releaseAdView() const { return releaseAdView_; }
    const std::shared_ptr<ZividedirViewFactory>& factory() const { return factory_; }
    const std::shared_ptr<ZividedirInterfaceView>& otherAdView() const { return otherAdView_; }
    int32_t otherAdRate() const { return otherAdRate_; }

  private:
    explicit ZividedirView(plat::Rect frame);
    void initialize();
    std::shared_ptr<ZividedirView> self();
    std::shared_ptr<ZividedirInterfaceView> makeAdapter(const std::shared_ptr<ADFRJSAdEntity>& entity);
    void cancelTimer();
    double rotationPeriod() const;
    void setBackAdView(std::shared_ptr<ZividedirInterfaceView> adapter);
    // The back adapter is loading and has not yet had its load time.
    bool backAdViewStillLoading() const;
    // The deferred transition: incoming N, outgoing O, the entity of the next back adapter (may be none).
    void changeAdWebView(const std::shared_ptr<ZividedirInterfaceView>& incoming,
                         const std::shared_ptr<ZividedirInterfaceView>& outgoing,
                         const std::shared_ptr<ADFRJSAdEntity>& entity);
    void swapAtOnce(const std::shared_ptr<ZividedirInterfaceView>& incoming,
                    const std::shared_ptr<ZividedirInterfaceView>& outgoing);
    std::shared_ptr<plat::ImageView> snapshotOf(const std::shared_ptr<ZividedirInterfaceView>& outgoing);

    std::weak_ptr<ZividedirViewDelegate> delegate_;
    uint64_t transitionType_ = kTransitionNone;
    float transitionDulation_ = static_cast<float>(kDefaultTransitionDuration);
    std::weak_ptr<void> customAnimationClass_;
    CustomAnimationMethod customAnimationMethod_;
    bool needsUpdateAd_ = false;
    int32_t currentAdIndex_ = -1;
    plat::RunLoop::TimerId adTimer_ = 0;
    bool testMode_ = false;
    std::optional<double> nextUpdateDate_;
    std::shared_ptr<ADFRManager> manager_;
    mutable std::optional<std::string> originUserAgent_;
    std::shared_ptr<ZividedirInterfaceView> frontAdView_;
    std::shared_ptr<ZividedirInterfaceView> backAdView_;
    double backAdViewMadeAt_ = 0;
    std::shared_ptr<ZividedirInterfaceView> releaseAdView_;
    std::shared_ptr<ZividedirViewFactory> factory_;
    std::shared_ptr<ZividedirInterfaceView> otherAdView_;
    int32_t otherAdRate_ = 0;
    // A swap is posted for the next turn and has not run yet.
    bool transitionPending_ = false;
    // The app heard once that the first show had no ad to show.
    bool toldNoEntity_ = false;
};
