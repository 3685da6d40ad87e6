#pragma once
// The adapter that shows the platform's own banner ad inside a placement. The platform banner loads and
// rotates its ads by itself; the adapter reports nothing to the ad server or the app and always counts
// as having content. No network key maps to it: an app registers it by name with the factory.
#include <memory>
#include <optional>
#include <string>

#include "ads/adapters/ZividedirInterfaceView.h"
#include "platform/ui/BannerAdView.h"

class ZIZRiADView : public ZividedirInterfaceView, public ZividedirLoadReporting {
  public:
    static constexpr const char* kClassName = "ZIZRiADView";

    explicit ZIZRiADView(plat::Rect frame);
    ~ZIZRiADView() override;

    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    bool checkDisplayAd() override { return true; }
    void postAdDisplayed() override {}
    void postAdClicked() override {}
    void postAdDisplayed_iAd();
    std::shared_ptr<plat::ImageView> getScreenImageView() override;
    std::string className() const override { return kClassName; }
    void setParentView(const std::shared_ptr<ZividedirBaseView>& parent) override { parentView_ = parent; }
    std::shared_ptr<ZividedirBaseView> parentView() const { return parentView_.lock(); }

    // The platform banner's delegate operations.
    void bannerViewDidLoadAd(plat::BannerAdView& banner);
    void bannerViewDidFailToReceiveAdWithError(plat::BannerAdView& banner, const plat::Error& error);
    bool bannerViewActionShouldBegin(plat::BannerAdView& banner, bool willLeaveApplication);

    const std::shared_ptr<plat::BannerAdView>& adView() const { return adView_; }
    const std::string& appId() const { return appId_; }
    const std::optional<std::string>& userAdId() const { return userAdId_; }
    const std::optional<std::string>& deviceId() const { return deviceId_; }
    const std::optional<std::string>& adnetworkKey() const { return adnetworkKey_; }
    bool loadedFlg() const { return loadedFlg_; }
    bool testMode() const { return testMode_; }
    void setTestMode(bool on) { testMode_ = on; }

  private:
    class BannerDelegate;

    std::shared_ptr<plat::BannerAdView> adView_;
    std::shared_ptr<BannerDelegate> bannerDelegate_;
    std::weak_ptr<ZividedirBaseView> parentView_;
    std::string appId_;
    std::optional<std::string> userAdId_;
    std::optional<std::string> deviceId_;
    std::optional<std::string> adnetworkKey_;
    bool loadedFlg_ = false;
    bool testMode_ = false;
};
