// The adapter factory: the network table, the plain adapters, the registered adapters and their draw,
// the settings each creation hands over, test labels, and the wall's classes.
#include <gtest/gtest.h>

#include "AdsTestSupport.h"
#include "ads/adapters/ZIZRadWebView.h"
#include "ads/adapters/ZIZRiADView.h"
#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/base/ADFRRandom.h"
#include "ads/base/ZividedirBaseView.h"
#include "platform/ui/Label.h"
#include "platform/ui/WebView.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WebTestSupport.h"

using adstest::RecordingAdapter;
using adstest::ScopedViewClass;

namespace {

constexpr plat::Rect kBanner{0, 0, 320, 50};

std::shared_ptr<ADFRJSAdEntity> entityWithKey(const std::string& key, const std::string& extra = "") {
    std::string fields = key.empty() ? extra : R"(, "adnetwork_key": ")" + key + "\"" + extra;
    return adstest::entity(adstest::entry("U1", R"({"ja": 1, "en": 1})", "<p>ad</p>", fields));
}

std::shared_ptr<ADFRData> settingsWith(const std::string& extra) {
    auto data = std::make_shared<ADFRData>();
    std::string json = adstest::answer("", extra);
    EXPECT_TRUE(data->parseJsonData(json.data(), json.size()));
    return data;
}

// The registered-adapter draws p = n / 100, in order (then 0.99). A raw draw below 96 would be
// rejected by the unbiased 0..99 draw, so each n goes in as 100 + n.
void injectDraws(std::vector<uint32_t> draws) {
    auto next = std::make_shared<size_t>(0);
    ADFRRandom::setDrawSource(
        [draws, next] { return 100u + (*next < draws.size() ? draws[(*next)++] : 99u); });
}

std::string labelText(const plat::View& adapter) {
    for (const auto& sub : adapter.subviews())
        if (auto* label = dynamic_cast<plat::Label*>(sub.get())) return label->text();
    return "";
}

struct FactoryTest : ::testing::Test {
    ~FactoryTest() override {
        EXPECT_EQ(plat::WebView::liveCount(), 0u);
        EXPECT_TRUE(testsupport::pumpWebUntil([] { return testsupport::liveChildren().empty(); }));
    }
    testsupport::TempHome home;
    ZividedirViewFactory factory;
};

}  // namespace

TEST_F(FactoryTest, NetworkTableHasItsEightKeys) {
    const auto& table = factory.adViewList();
    EXPECT_EQ(table.size(), 8u);
    EXPECT_EQ(table.at("1058"), table.at("1061"));
    EXPECT_EQ(table.at("8888"), "ADFRTjkAdnetworkView");
    EXPECT_EQ(table.at("1035"), "ADFRZucksAPIView");
    EXPECT_EQ(table.count("1072"), 0u);
    EXPECT_FALSE(factory.etcAdViewList());
}

TEST_F(FactoryTest, KeyWithoutATableEntryGetsThePlainAdapterWithFiveSettings) {
    auto data = settingsWith(R"("bg_color": "#112233", )");
    auto adapter = factory.create(entityWithKey("1072"), kBanner, data);
    auto web = std::dynamic_pointer_cast<ZIZRadWebView>(adapter);
    ASSERT_TRUE(web);
    EXPECT_EQ(web->frame(), kBanner);
    EXPECT_EQ(web->appId(), "");
    EXPECT_EQ(web->userAdId(), "U1");
    EXPECT_EQ(web->adnetworkKey(), "1072");
    EXPECT_EQ(web->loadHtml(), "<p>ad</p>");
    EXPECT_EQ(factory.beforeViewName(), "(null)");
    // A missing id became the empty text, on the factory too.
    EXPECT_EQ(factory.appId(), std::string());
    EXPECT_EQ(factory.deviceId(), std::string());
}

TEST_F(FactoryTest, TableAdapterGetsTheFullSettingsAndIsLoading) {
    ScopedViewClass zucks("ADFRZucksAPIView");
    factory.setAppId("APP");
    factory.setDeviceId("DEV");
    auto entity = entityWithKey("1035");
    auto adapter = std::dynamic_pointer_cast<RecordingAdapter>(
        factory.create(entity, kBanner, settingsWith(R"("bg_color": "#112233", )")));
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->frame(), kBanner);
    EXPECT_EQ(adapter->settingCalls, 1);
    EXPECT_EQ(adapter->loads, 1);
    const auto& s = adapter->settings;
    EXPECT_EQ(s.values.keys(), (std::vector<std::string>{"appId", "userAdId", "deviceId", "loadHtml",
                                                         "adnetworkKey", "bgColor"}));
    EXPECT_EQ(s.text("appId"), "APP");
    EXPECT_EQ(s.text("deviceId"), "DEV");
    EXPECT_EQ(s.text("bgColor"), "#112233");
    EXPECT_EQ(s.entity, entity);
    EXPECT_EQ(factory.beforeViewName(), "ADFRZucksAPIView");

    // Settings without a background colour: no "bgColor".
    auto plain =
        std::dynamic_pointer_cast<RecordingAdapter>(factory.create(entity, kBanner, settingsWith("")));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->settings.contains("bgColor"));
    EXPECT_TRUE(plain->settings.contains("entity"));
}

TEST_F(FactoryTest, TableKeyWhoseAdapterIsNotHereFallsBackToThePlainAdapter) {
    ScopedViewClass missing("ADFRGamefeatView", [](plat::Rect) { return nullptr; });
    auto adapter = factory.create(entityWithKey("1065"), kBanner, settingsWith(""));
    EXPECT_TRUE(std::dynamic_pointer_cast<ZIZRadWebView>(adapter));
    EXPECT_EQ(factory.beforeViewName(), "(null)");
}

TEST_F(FactoryTest, MissingNetworkKeyLeavesOutItsKeyOnly) {
    ScopedViewClass plain(ZIZRadWebView::kClassName);
    auto adapter =
        std::dynamic_pointer_cast<RecordingAdapter>(factory.create(entityWithKey(""), kBanner, nullptr));
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->settings.values.keys(),
              (std::vector<std::string>{"appId", "userAdId", "deviceId", "loadHtml"}));
    EXPECT_EQ(factory.create(nullptr, kBanner, nullptr), nullptr);
}

TEST_F(FactoryTest, RegisteredAdaptersAreDrawnBeforeTheTable) {
    ScopedViewClass mine("MyAdapter");
    ScopedViewClass plain(ZIZRadWebView::kClassName);
    factory.addZividedirInterfaceView("Missing", 0.5f);
    factory.addZividedirInterfaceView("MyAdapter", 0.3f);
    ASSERT_TRUE(factory.etcAdViewList());
    EXPECT_EQ(factory.etcAdViewList()->size(), 2u);
    // p = 0.20: "Missing" is passed over (no class), adding 0.5 > p, so "MyAdapter" fails the test too.
    injectDraws({20});
    auto fallback =
        std::dynamic_pointer_cast<RecordingAdapter>(factory.create(entityWithKey("1"), kBanner, nullptr));
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->className(), ZIZRadWebView::kClassName);

    ZividedirViewFactory other;
    other.addZividedirInterfaceView("MyAdapter", 0.3f);
    other.setTestMode(true);
    injectDraws({20});
    auto registered =
        std::dynamic_pointer_cast<RecordingAdapter>(other.create(entityWithKey("1"), kBanner, nullptr));
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->className(), "MyAdapter");
    EXPECT_EQ(registered->settingCalls, 0);  // loadAd only
    EXPECT_EQ(registered->loads, 1);
    EXPECT_EQ(labelText(*registered), "MyAdapter");
    // p = 0.40 is above the rate: the table decides.
    injectDraws({40});
    auto table = other.create(entityWithKey("1"), kBanner, nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<RecordingAdapter>(table)->className(), ZIZRadWebView::kClassName);
    EXPECT_EQ(labelText(*table), "1");
}

TEST_F(FactoryTest, RegisteredClassThatMakesNoAdapterIsSkippedWithoutItsRate) {
    ScopedViewClass notAnAdapter("PlainView",
                                 [](plat::Rect frame) { return std::make_shared<plat::View>(frame); });
    ScopedViewClass mine("MyAdapter");
    factory.addZividedirInterfaceView("PlainView", 0.9f);
    factory.addZividedirInterfaceView("MyAdapter", 0.5f);
    injectDraws({10});
    auto adapter = std::dynamic_pointer_cast<RecordingAdapter>(factory.getEtcAdView(kBanner));
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->className(), "MyAdapter");
}

TEST_F(FactoryTest, TestModeLabelsTheTableAdapterWithItsKey) {
    ScopedViewClass zucks("ADFRZucksAPIView");
    factory.setTestMode(true);
    auto adapter = factory.create(entityWithKey("1035"), kBanner, nullptr);
    ASSERT_TRUE(adapter);
    ASSERT_FALSE(adapter->subviews().empty());
    auto* label = dynamic_cast<plat::Label*>(adapter->subviews().back().get());
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), "1035");
    EXPECT_EQ(label->frame(), (plat::Rect{0, 0, 100, 20}));
}

TEST_F(FactoryTest, PlatformBannerAdapterIsReachedByRegistrationAndLabelledIad) {
    factory.setTestMode(true);
    factory.addZividedirInterfaceView(ZIZRiADView::kClassName, 1.0f);
    injectDraws({0});
    auto adapter =
        std::dynamic_pointer_cast<ZIZRiADView>(factory.create(entityWithKey("1"), kBanner, nullptr));
    ASSERT_TRUE(adapter);
    EXPECT_EQ(labelText(*adapter), "ZIZRiADView");
    EXPECT_EQ(adapter->adView()->superview(), adapter.get());  // loadAd added the platform banner
}

TEST_F(FactoryTest, PopupGetsThePopupAdapterItsSizeAndItsParentOnTheNextTurn) {
    auto parent = std::make_shared<ZividedirBaseView>();
    auto popup = factory.create(entityWithKey("1"), {0, 0, 300, 250}, nullptr, parent);
    auto web = std::dynamic_pointer_cast<ZIZRadWebPopupView>(popup);
    ASSERT_TRUE(web);
    EXPECT_EQ(web->parentView(), nullptr);
    plat::RunLoop::main().runOnce(0);
    EXPECT_EQ(web->parentView(), parent);
    EXPECT_EQ(factory.beforeViewName(), "");  // a popup leaves it alone

    ScopedViewClass inMobi("ADFRInMobiAPIView");
    factory.setting(plat::Value(plat::Value::Dictionary{{"adType", 1}}));
    auto sized = std::dynamic_pointer_cast<RecordingAdapter>(
        factory.create(entityWithKey("1003"), {0, 0, 300, 250}, nullptr, parent));
    ASSERT_TRUE(sized);
    EXPECT_EQ(sized->adSize, 14);
    factory.setSettingData(plat::Value(plat::Value::Dictionary{{"adType", 2}}));
    auto other = std::dynamic_pointer_cast<RecordingAdapter>(
        factory.create(entityWithKey("1003"), {0, 0, 300, 250}, nullptr, parent));
    EXPECT_EQ(other->adSize, 10);
    EXPECT_EQ(other->parentCalls, 0);
    testsupport::runMainLoopFor(0.05);
    EXPECT_EQ(other->parentCalls, 1);
    // A popup adapter dropped before the next turn is not called.
    factory.create(entityWithKey("1003"), {0, 0, 300, 250}, nullptr, parent);
    testsupport::runMainLoopFor(0.05);
}

TEST_F(FactoryTest, WallClassFollowsTheWallTypeAndKey) {
    ScopedViewClass crops("ZIZRadWallAdCrops");
    ScopedViewClass web("ZIZRadWallWebView");
    ScopedViewClass request("ZIZRadWallRequest");
    auto parent = std::make_shared<ZividedirBaseView>();
    auto classOf = [&](const std::string& key, const std::string& extra) {
        auto adapter = std::dynamic_pointer_cast<RecordingAdapter>(
            factory.createWall(entityWithKey(key, extra), {0, 0, 320, 568}, nullptr, parent));
        return adapter ? adapter->className() : std::string("none");
    };
    EXPECT_EQ(classOf("1043", R"(, "wall_type": "2")"), "ZIZRadWallAdCrops");
    EXPECT_EQ(classOf("1044", R"(, "wall_type": "2")"), "ZIZRadWallWebView");
    EXPECT_EQ(classOf("1043", R"(, "wall_type": "1")"), "ZIZRadWallRequest");
    // The HTML wall's class is not here: nothing is made.
    EXPECT_EQ(classOf("1043", ""), "none");
    auto adapter = std::dynamic_pointer_cast<RecordingAdapter>(factory.createWall(
        entityWithKey("1043", R"(, "wall_type": "2")"), {0, 0, 320, 568}, nullptr, parent));
    EXPECT_TRUE(adapter->settings.contains("entity"));
    EXPECT_FALSE(adapter->settings.contains("bgColor"));
    plat::RunLoop::main().runOnce(0);
    EXPECT_EQ(adapter->parent.lock(), parent);
}
