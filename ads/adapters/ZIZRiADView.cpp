#include "ads/adapters/ZIZRiADView.h"

#include "platform/ui/ImageView.h"

// Passes the platform banner's events on; the adapter owns it and clears it from the banner when it goes.
class ZIZRiADView::BannerDelegate : public plat::BannerAdViewDelegate {
  public:
    explicit BannerDelegate(ZIZRiADView* owner) : owner_(owner) {}
    void bannerViewDidLoadAd(plat::BannerAdView& banner) override { owner_->bannerViewDidLoadAd(banner); }
    void bannerViewDidFailToReceiveAdWithError(plat::BannerAdView& banner,
                                               const plat::Error& error) override {
        owner_->bannerViewDidFailToReceiveAdWithError(banner, error);
    }
    bool bannerViewActionShouldBegin(plat::BannerAdView& banner, bool willLeave) override {
        return owner_->bannerViewActionShouldBegin(banner, willLeave);
    }

  private:
    ZIZRiADView* owner_;
};

ZIZRiADView::ZIZRiADView(plat::Rect frame)
    : ZividedirInterfaceView(frame),
      adView_(std::make_shared<plat::BannerAdView>(plat::BannerAdView::kBanner)),
      bannerDelegate_(std::make_shared<BannerDelegate>(this)) {
    adView_->setFrame({0, 0, frame.width, frame.height});
    adView_->setDelegate(bannerDelegate_);
}

ZIZRiADView::~ZIZRiADView() {
    adView_->setDelegate({});
}

void ZIZRiADView::setting(const ZividedirAdapterSettings& settings) {
    appId_ = settings.text("appId").value_or("");
    userAdId_ = settings.text("userAdId");
    deviceId_ = settings.text("deviceId");
    adnetworkKey_ = settings.text("adnetworkKey");
}

void ZIZRiADView::loadAd() {
    addSubview(adView_);
}

void ZIZRiADView::postAdDisplayed_iAd() {
    if (userAdId_) ZividedirInterfaceView::postAdDisplayed();
}

std::shared_ptr<plat::ImageView> ZIZRiADView::getScreenImageView() {
    return snapshotImageView();
}

void ZIZRiADView::bannerViewDidLoadAd(plat::BannerAdView&) {
    postAdDisplayed_iAd();
    loadedFlg_ = true;
}

void ZIZRiADView::bannerViewDidFailToReceiveAdWithError(plat::BannerAdView&, const plat::Error&) {
    loadedFlg_ = false;
}

bool ZIZRiADView::bannerViewActionShouldBegin(plat::BannerAdView&, bool) {
    postAdClicked();
    return true;
}
