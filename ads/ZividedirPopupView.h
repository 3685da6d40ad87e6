#pragma once
// The interstitial placement. The app makes one per popup, adds it to its root view and asks it to
// show; the popup decides by its stored schedule and display cap whether to show anything, covers its
// superview with a dimming overlay that swallows touches and a loading box, fetches the settings, lets
// the factory make the adapter of the chosen network and, once the adapter has loaded, shows a 310×300
// framed box with a title bar and a close button (or the 320×480 full-screen layout for the InMobi
// interstitial). Closing removes everything and tells the delegate. Main thread only.
//
// The popup keeps itself alive while a close or a delayed report is pending, since removing it from its
// superview may drop the last reference the app left.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/base/ZividedirBaseView.h"
#include "ads/settings/ADFRManager.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Color.h"

class ADFRNVUIGradientButton;
class ZividedirPopupToolbar;
class ZividedirPopupView;
namespace plat {
class ActivityIndicatorView;
class Button;
class Image;
class ImageView;
class Label;
}  // namespace plat

// Every call is optional: the defaults do nothing.
class ZividedirPopupViewDelegate {
  public:
    virtual ~ZividedirPopupViewDelegate() = default;
    virtual void zividedirViewDidFinishLoadAdData(ZividedirPopupView&) {}
    virtual void zividedirViewDidFinishLoad(ZividedirPopupView&) {}
    virtual void zividedirViewAdTapped(ZividedirPopupView&) {}
    virtual void zividedirViewAdFailed(ZividedirPopupView&) {}
    virtual void zividedirViewAdClose(ZividedirPopupView&) {}
};

class ZividedirPopupView : public ZividedirBaseView {
  public:
    // Why the popup closed.
    enum CloseType : int {
        kCloseOther = 0,
        kCloseButton = 100,
        kCloseSchedule = 101,
        kCloseDisplayCap = 102,
        kCloseNoNetwork = 103,
        kCloseFetchFailed = 104,
    };
    static constexpr const char* kScheduleKeyFormat = "ZividedirSche";
    static constexpr const char* kDisplayNumKeyFormat = "ZividedirDispNum";
    static constexpr const char* kCloseImageName = "adfrinters_close.png";
    static constexpr const char* kTitle = "おすすめ";
    static constexpr const char* kInMobiNetworkKey = "1003";
    static constexpr int64_t kCounterLimit = 2000000000;
    // An adapter that has not reported a finished load this long after it was made closes the popup.
    static constexpr double kAdapterWaitSeconds = 10;
    // The same bound for the settings: the overlay must not outlast a fetch that keeps failing.
    static constexpr double kSettingsWaitSeconds = 10;
    static constexpr double kSettingsRecheckSeconds = 0.5;
    static constexpr double kNoNetworkDelaySeconds = 0.5;
    static constexpr double kCloseDelaySeconds = 0.1;

    static std::shared_ptr<ZividedirPopupView> create();
    ~ZividedirPopupView() override;

    std::shared_ptr<ZividedirPopupViewDelegate> delegate() const { return delegate_.lock(); }
    // Not retained.
    void setDelegate(const std::shared_ptr<ZividedirPopupViewDelegate>& delegate) { delegate_ = delegate; }

    void startShowAd();
    void preloadAd();
    void preloadShowAd();

    void setSchedule(int schedule) { scheduleNum_ = schedule; }
    int getSchedule() const { return scheduleNum_; }
    void setScheduleFirst(int first) { scheducleFirstNum_ = first; }
    int getScheduleFirst() const { return scheducleFirstNum_; }
    void setMaxDisplay(int max) { maxDisplayNum_ = max; }
    int getMaxDisplay() const { return maxDisplayNum_; }
    int getDisplayCount() const;
    void setDisplayCount(int count);
    void testModeEnable();
    void testModeDisable();
    void setBarGradient(std::optional<plat::Color> start, std::optional<plat::Color> end);
    const std::shared_ptr<ZividedirInterfaceView>& getIntersAdWebView() const { return adWebView_; }
    const std::shared_ptr<ADFRManager>& getManager() const { return manager_; }
    void addZividedirInterfaceView(const std::string& viewName, float rate);

    int closeType() const { return closeType_; }
    int intersAdType() const { return intersAdType_; }
    void setIntersAdType(int type) { intersAdType_ = type; }
    void setBorderColor(std::optional<plat::Color> color) { borderColor_ = color; }
    void setTitleImageView(std::shared_ptr<plat::ImageView> view) { titleImageView_ = std::move(view); }
    bool testMode() const { return testMode_; }
    bool needsUpdateAd() const { return needsUpdateAd_; }
    bool adDisplay() const { return adDisplay_; }
    bool preloadFlg() const { return preloadFlg_; }
    bool showAdFlg() const { return showAdFlg_; }
    bool loadedAdFlg() const { return loadedAdFlg_; }
    int currentAdIndex() const { return currentAdIndex_; }

    // The parts on screen, for the app and for tests.
    const std::shared_ptr<plat::View>& adBaseView() const { return adBaseView_; }
    const std::shared_ptr<plat::View>& backgroundView() const { return backgroundView_; }
    const std::shared_ptr<plat::View>& indicatorBack() const { return indicatorBack_; }
    const std::shared_ptr<ZividedirPopupToolbar>& popupToolbar() const { return popupToolbar_; }
    const std::shared_ptr<plat::Label>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<plat::Button>& closeNewButton() const { return closeNewButton_; }
    const std::shared_ptr<ADFRNVUIGradientButton>& closeButton() const { return closeButton_; }
    ZividedirViewFactory& factory() { return factory_; }

    // Reports of the adapter (its parent view is this popup).
    void loadFinish() override;
    void loadFailed() override;
    // The manager's notifications.
    void adFetchedNotification();
    void adFetchedFailedNotification();
    void didRotate();
    void pushCloseButton();

    std::string getScheduleKey() const;
    std::string getDisplayNumKey() const;
    bool isInMobiIntersAd() const;

  private:
    ZividedirPopupView();
    void init();
    // True when this request shows; otherwise the popup is closed as a skip.
    bool scheduleAllowsShow();
    void coverSuperview();
    void showIndicator();
    void popupshowAd();
    void showAdView();
    void layoutRegular(double width, double height);
    void layoutInMobi(double width, double height);
    void stopIndicator();
    void closeAdView();
    void addScheduleNum();
    void addDisplayNum();
    void failLater(double seconds);
    // The manager's fetch, bounded by kSettingsWaitSeconds.
    void fetchSettings();
    void waitForSettings(double seconds);
    std::shared_ptr<ZividedirPopupView> self();

    std::weak_ptr<ZividedirPopupViewDelegate> delegate_;
    bool needsUpdateAd_ = false;
    bool testMode_ = false;
    bool adDisplay_ = false;
    bool preloadFlg_ = false;
    bool showAdFlg_ = false;
    bool loadedAdFlg_ = false;
    // Set by a close until the next start: late reports of an adapter that is gone change nothing.
    bool closed_ = false;
    int closeType_ = kCloseOther;
    int intersAdType_ = 0;
    int32_t currentAdIndex_ = -1;
    int scheduleNum_ = 1;
    int maxDisplayNum_ = 0;
    int scheducleFirstNum_ = 1;
    std::optional<plat::Color> borderColor_;

    std::shared_ptr<plat::Label> titleLabel_;
    std::shared_ptr<plat::ImageView> titleImageView_;
    std::shared_ptr<plat::View> adBaseView_;
    std::shared_ptr<plat::View> backgroundView_;
    std::shared_ptr<ADFRManager> manager_;
    std::shared_ptr<ZividedirInterfaceView> adWebView_;
    std::shared_ptr<plat::ActivityIndicatorView> indicator_;
    std::shared_ptr<plat::View> indicatorBack_;
    std::shared_ptr<ADFRNVUIGradientButton> closeButton_;
    std::shared_ptr<plat::Button> closeNewButton_;
    std::shared_ptr<ZividedirPopupToolbar> popupToolbar_;
    ZividedirViewFactory factory_;

    plat::NotificationCenter::Token orientationObserver_{};
    plat::RunLoop::TimerId waitTimer_ = 0;
};
