#pragma once
// The full-screen offer wall. The app lays it over its screen and starts it; the wall fetches its
// settings through its own manager, draws one ad setting by weight, has the factory build the wall
// adapter for it and shows a loading box until the adapter's page has loaded. Then a panel of a 44-point
// toolbar with a close button above the adapter fades in. Closing slides the panel down and takes the
// wall away. An optional time-out closes a wall whose page has not loaded in time. Main thread only.
//
// The wall keeps itself alive while a close or a delayed report is pending, since taking it off its
// superview may drop the last reference the app left.
#include <cstdint>
#include <memory>
#include <string>

#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/base/ZividedirBaseView.h"
#include "ads/base/ZividedirWallViewDelegate.h"
#include "ads/settings/ADFRManager.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Toolbar.h"

namespace plat {
class ActivityIndicatorView;
class Button;
class Label;
}  // namespace plat

// The wall's bar: the toolbar's own look with the bundle picture "adfrwall_bar" stretched over it.
class ZividedirWallToolbar : public plat::Toolbar {
  public:
    static constexpr const char* kBarImageName = "adfrwall_bar";
    explicit ZividedirWallToolbar(plat::Rect frame = {}) : plat::Toolbar(frame) {}
    void drawRect(cairo_t* cr, const plat::Rect& rect) override;
};

class ZividedirWallView : public ZividedirBaseView, public ZividedirWallHost {
  public:
    enum CloseType : int {
        kCloseOther = 0,
        kCloseButton = 100,
        kCloseNoNetwork = 103,
        kCloseFetchFailed = 104,
    };
    static constexpr const char* kCloseImageName = "adfrwall_close";
    static constexpr const char* kCloseHighlightImageName = "adfrwall_close_highlight";
    static constexpr double kToolbarHeight = 44;
    static constexpr double kNoNetworkDelaySeconds = 0.5;
    static constexpr double kAnimationSeconds = 0.3;
    static constexpr double kCloseDelaySeconds = 0.1;
    static constexpr int kGetinfoTimeOutSeconds = 10;

    static std::shared_ptr<ZividedirWallView> create();
    ~ZividedirWallView() override;

    std::shared_ptr<ZividedirWallViewDelegate> delegate() const { return delegate_.lock(); }
    // Not retained.
    void setDelegate(const std::shared_ptr<ZividedirWallViewDelegate>& delegate) { delegate_ = delegate; }

    void forcetimeout(float seconds);
    void testModeEnable();
    void testModeDisable();
    void startShowAd();
    void closeAd();
    const std::shared_ptr<ADFRManager>& getManager() const { return manager_; }

    // Used inside the wall and by its adapters.
    void showAd();
    void loadFinish() override;
    void loadFailed() override;
    void showAdView();
    void postAdDisplayed();
    void stopIndicator() override;
    void resizeViewData();
    void pushCloseButton() override;
    void removeSelf();
    void closeAdView() override;
    void timeoutCheck();
    void adFetchedNotification();
    void adFetchedFailedNotification();

    int closeType() const { return closeType_; }
    bool needsUpdateAd() const { return needsUpdateAd_; }
    int32_t currentAdIndex() const { return currentAdIndex_; }
    bool testMode() const { return testMode_; }
    bool adDisplay() const { return adDisplay_; }
    bool frontFlg() const { return frontFlg_; }
    bool htmlLoaded() const override { return htmlLoaded_; }
    void setHtmlLoaded(bool loaded) override { htmlLoaded_ = loaded; }
    ZividedirWallView& wallView() override { return *this; }
    float timeout() const { return timeout_; }
    bool timeoutFlg() const { return timeoutFlg_; }
    bool hasTimeoutTimer() const { return wallCheckTimer_ != 0; }
    // The ad setting of the adapter on show, which the impression report names too.
    const std::shared_ptr<ADFRJSAdEntity>& currentEntity() const { return currentEntity_; }

    const std::shared_ptr<ZividedirInterfaceView>& webView() const { return webView_; }
    const std::shared_ptr<plat::View>& adBaseView() const { return adBaseView_; }
    const std::shared_ptr<plat::View>& indicatorBack() const { return indicatorBack_; }
    const std::shared_ptr<ZividedirWallToolbar>& toolbar() const { return toolbar_; }
    const std::shared_ptr<plat::Button>& closeButton() const { return closeButton_; }
    ZividedirViewFactory& factory() { return factory_; }

    // The wall swallows every touch that reaches it.
    void touchesBegan(const plat::TouchSet&, const plat::Event&) override {}

  private:
    ZividedirWallView();
    void init();
    void showIndicator(plat::Size size);
    std::shared_ptr<ZividedirWallView> self();

    std::weak_ptr<ZividedirWallViewDelegate> delegate_;
    int closeType_ = kCloseOther;
    bool needsUpdateAd_ = false;
    int32_t currentAdIndex_ = -1;
    bool testMode_ = false;
    bool adDisplay_ = false;
    bool frontFlg_ = false;
    bool htmlLoaded_ = false;
    float timeout_ = 0;
    bool timeoutFlg_ = false;

    std::shared_ptr<ADFRManager> manager_;
    std::shared_ptr<plat::ActivityIndicatorView> indicator_;
    std::shared_ptr<plat::View> adBaseView_;
    std::shared_ptr<plat::View> indicatorBack_;
    std::shared_ptr<ZividedirInterfaceView> webView_;
    std::shared_ptr<ZividedirWallToolbar> toolbar_;
    std::shared_ptr<plat::Button> closeButton_;
    std::shared_ptr<ADFRJSAdEntity> currentEntity_;
    ZividedirViewFactory factory_;
    plat::RunLoop::TimerId wallCheckTimer_ = 0;
};
