// The platform banner adapter over the desktop's stand-in platform banner, whose events the tests fire.
#include <gtest/gtest.h>

#include "AdsTestSupport.h"
#include "ads/adapters/ZIZRiADView.h"
#include "ads/base/ZividedirBaseView.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/ImageView.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"

namespace {

struct TapCounter : ZividedirViewDelegate {
    void zividedirViewAdTapped(const std::shared_ptr<ZividedirView>&) override { ++taps; }
    int taps = 0;
};

}  // namespace

TEST(PlatformBanner, FillsTheBannerAndAlwaysHasContent) {
    auto adapter = std::make_shared<ZIZRiADView>(plat::Rect{0, 518, 320, 50});
    EXPECT_EQ(adapter->adView()->frame(), (plat::Rect{0, 0, 320, 50}));
    EXPECT_EQ(adapter->adView()->adType(), plat::BannerAdView::kBanner);
    EXPECT_TRUE(adapter->checkDisplayAd());
    EXPECT_FALSE(adapter->loadedFlg());
    EXPECT_EQ(adapter->adView()->superview(), nullptr);
    adapter->setting(
        plat::Value::Dictionary{{"appId", "A"}, {"userAdId", "U"}, {"adnetworkKey", "9"}, {"x", 1}});
    EXPECT_EQ(adapter->appId(), "A");
    EXPECT_EQ(adapter->userAdId(), "U");
    EXPECT_EQ(adapter->deviceId(), std::nullopt);
    adapter->loadAd();
    EXPECT_EQ(adapter->adView()->superview(), adapter.get());
    auto snapshot = adapter->getScreenImageView();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->frame(), (plat::Rect{0, 0, 320, 50}));
}

TEST(PlatformBanner, LoadsAndFailuresOnlyMoveTheFlagAndTapsReportNothing) {
    testsupport::LoopbackServer server;  // nothing may reach it
    testsupport::URLLoadingScope loading;
    auto adapter = std::make_shared<ZIZRiADView>(plat::Rect{0, 0, 320, 50});
    auto counter = std::make_shared<TapCounter>();
    adapter->setDelegate(counter);
    adapter->setting(plat::Value::Dictionary{{"appId", "A"}, {"userAdId", "U"}});
    adapter->loadAd();
    adapter->bannerViewDidLoadAd(*adapter->adView());
    EXPECT_TRUE(adapter->loadedFlg());
    EXPECT_TRUE(adapter->bannerViewActionShouldBegin(*adapter->adView(), true));
    EXPECT_EQ(counter->taps, 0);
    adapter->postAdDisplayed();
    adapter->postAdClicked();
    // The stand-in has no ad service: it says so on the next turn.
    plat::RunLoop::main().runOnce(0);
    EXPECT_FALSE(adapter->loadedFlg());
    EXPECT_TRUE(adapter->checkDisplayAd());
    testsupport::runMainLoopFor(0.1);
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(counter->taps, 0);
}

TEST(PlatformBanner, AStandInDroppedBeforeItsAnswerTellsNobody) {
    auto parent = std::make_shared<ZividedirBaseView>();
    {
        auto adapter = std::make_shared<ZIZRiADView>(plat::Rect{0, 0, 320, 50});
        adapter->setParentView(parent);
        EXPECT_EQ(adapter->parentView(), parent);
    }
    plat::RunLoop::main().runOnce(0);
}
