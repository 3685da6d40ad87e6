#pragma once
// The platform's own banner ad view. This desktop has no platform ad service: the banner asks for an ad,
// is told on the next run-loop turn that none is available, and draws nothing. Its delegate operations
// are those of the phone's banner, so an adapter written for it works unchanged. Main thread only.
#include <memory>

#include "platform/base/Error.h"
#include "platform/ui/View.h"

namespace plat {

class BannerAdView;

class BannerAdViewDelegate {
  public:
    virtual ~BannerAdViewDelegate() = default;
    virtual void bannerViewDidLoadAd(BannerAdView&) {}
    virtual void bannerViewDidFailToReceiveAdWithError(BannerAdView&, const Error&) {}
    // False stops the ad's action (leaving the app or showing the ad in full).
    virtual bool bannerViewActionShouldBegin(BannerAdView&, bool /*willLeaveApplication*/) { return true; }
};

class BannerAdView : public View {
  public:
    static constexpr const char* kErrorDomain = "ADErrorDomain";
    static constexpr int kInventoryUnavailable = 3;
    enum AdType { kBanner = 0, kMediumRectangle = 1 };

    // A banner of the type's size, at the origin until given a frame. It asks for an ad at once.
    explicit BannerAdView(AdType type = kBanner);
    ~BannerAdView() override;

    // Not retained.
    void setDelegate(std::weak_ptr<BannerAdViewDelegate> delegate) { delegate_ = std::move(delegate); }
    AdType adType() const { return type_; }
    bool isBannerLoaded() const { return false; }

  private:
    AdType type_;
    std::weak_ptr<BannerAdViewDelegate> delegate_;
    uint64_t requestTask_ = 0;
};

}  // namespace plat
