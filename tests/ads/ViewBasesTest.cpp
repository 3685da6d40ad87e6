// The placement and adapter bases and their defaults.
#include <gtest/gtest.h>

#include "ads/adapters/ZividedirInterfaceView.h"
#include "ads/base/ZividedirBaseView.h"

namespace {

struct TapDelegate : ZividedirViewDelegate {
    void zividedirViewAdTapped(const std::shared_ptr<ZividedirView>& view) override {
        ++taps;
        last = view.get();
    }
    int taps = 0;
    ZividedirView* last = nullptr;
};

}  // namespace

TEST(ZividedirBaseView, BothSettersStoreTheMediaIdAndIdentitiesNeverRepeat) {
    auto a = std::make_shared<ZividedirBaseView>();
    a->setAppId("A");
    EXPECT_EQ(a->appID(), "A");
    a->setAppID("B");
    EXPECT_EQ(a->getAppId(), "B");
    int32_t first = a->viewIdentity();
    a.reset();
    // A new view in the same memory still gets a new identity.
    auto b = std::make_shared<ZividedirBaseView>();
    EXPECT_NE(b->viewIdentity(), first);
    b->loadFinish();
    b->loadFailed();
}

TEST(ZividedirInterfaceView, AnAdapterThatOverridesNothingIsHarmless) {
    auto adapter = std::make_shared<ZividedirInterfaceView>();
    adapter->setting(plat::Value::Dictionary{{"appId", "A"}});
    adapter->loadAd();
    EXPECT_TRUE(adapter->isDisplay());
    EXPECT_TRUE(adapter->checkDisplayAd());
    adapter->postAdDisplayed();
    EXPECT_EQ(adapter->getScreenImageView(), nullptr);
    adapter->postAdClicked();  // no delegate: nothing happens
    auto silent = std::make_shared<ZividedirViewDelegate>();
    adapter->setDelegate(silent);
    adapter->postAdClicked();
}

TEST(ZividedirInterfaceView, TapIsReportedToTheDelegateWhichIsNotRetained) {
    auto adapter = std::make_shared<ZividedirInterfaceView>();
    auto delegate = std::make_shared<TapDelegate>();
    adapter->setDelegate(delegate);
    adapter->postAdClicked();
    EXPECT_EQ(delegate->taps, 1);
    EXPECT_EQ(delegate->last, nullptr);
    std::weak_ptr<TapDelegate> weak = delegate;
    delegate.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(adapter->delegate(), nullptr);
    adapter->postAdClicked();
}
