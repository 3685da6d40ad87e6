// The offer wall placement against real HTTPS loopback servers, on a virtual clock: its time-out, the
// no-network, failed-fetch and empty-list cases, the panel it shows, its close, the close button's
// fallback by language, and the impression of the ad on show.
#include <gtest/gtest.h>

#include "AdsTestSupport.h"
#include "ads/ZividedirWallView.h"
#include "ads/adapters/ZIZRadWallWebView.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRRandom.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

using adstest::answer;
using adstest::entry;
using testsupport::Answer;
using testsupport::LoopbackServer;
using testsupport::runMainLoopUntil;
namespace fs = std::filesystem;

namespace {

// What the test adapter does once the wall is its parent: report a loaded page, or nothing.
bool gLoads = true;

class TestWallAdapter : public ZividedirInterfaceView, public ZividedirLoadReporting {
  public:
    using ZividedirInterfaceView::ZividedirInterfaceView;
    void setting(const ZividedirAdapterSettings& s) override { userAdId = s.text("userAdId").value_or(""); }
    void setParentView(const std::shared_ptr<ZividedirBaseView>& parent) override {
        auto wall = std::dynamic_pointer_cast<ZividedirWallView>(parent);
        if (!gLoads || !wall) return;
        // As a wall adapter reports its first finished page.
        wall->stopIndicator();
        wall->setHtmlLoaded(true);
        wall->loadFinish();
    }
    std::string userAdId;
};

struct Recorder : ZividedirWallViewDelegate {
    void zividedirViewDidFinishLoad(ZividedirWallView&) override { events.push_back("load"); }
    void zividedirViewAdFailed(ZividedirWallView&) override { events.push_back("failed"); }
    void zividedirViewAdClose(ZividedirWallView& wall) override {
        events.push_back("close " + std::to_string(wall.closeType()));
    }
    std::vector<std::string> events;
};

struct WallViewTest : ::testing::Test {
    WallViewTest() : loading(caFile()) {
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::SettingsMirror,
                                   {"https", "127.0.0.1", mirror.port()});
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Settings, {"https", "127.0.0.1", primary.port()});
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Impression, {"http", "127.0.0.1", reports.port()});
        reports.route("GET", "/zividedir/api/rec-impression", Answer{.body = "ok"});
        plat::Bundle::setMainInfoValue(plat::Bundle::kShortVersionKey, "1.0");
        gLoads = true;
        fs::create_directories(bundle);
        plat::Bundle::setMainResourcePath(bundle);
        window->addSubview(root);
        window->makeKeyAndVisible();
    }
    ~WallViewTest() override {
        plat::Bundle::resetMainInfoValues();
        plat::Bundle::setMainResourcePath({});
    }

    std::string caFile() {
        fs::path path = home.path() / "ca.pem";
        testsupport::writeFile(path, testsupport::readFile(mirror.caFile()));
        return path.string();
    }
    std::shared_ptr<ZividedirWallView> makeWall() {
        auto wall = ZividedirWallView::create();
        // Entries without a wall type get the HTML wall adapter, which the test's stands in for.
        adapterClass.emplace(ZIZRadWallHTMView::kClassName,
                             [](plat::Rect frame) { return std::make_shared<TestWallAdapter>(frame); });
        wall->setDelegate(recorder);
        wall->setAppId("W");
        root->addSubview(wall);
        return wall;
    }
    void serve(const std::string& settings) {
        mirror.route("GET", "/zividedir/api/getinfo/app_id/W/locale/ja_JP/ver/2.7.0/appver/1.0",
                     Answer{.body = answer(settings)});
    }
    // Runs the loop, moving the virtual clock a little each turn, until `done`.
    bool until(const std::function<bool()>& done, double step = 0.05) {
        return runMainLoopUntil([&] {
            if (done()) return true;
            clock.clock().advance(step);
            return false;
        });
    }
    // Runs the loop for `seconds` of the virtual clock: at each step, what fell due and what that set off.
    void pass(double seconds) {
        for (double t = 0; t < seconds; t += 0.05) {
            clock.clock().advance(0.05);
            for (int turn = 0; turn < 100 && plat::RunLoop::main().runOnce(0) > 0; ++turn) {
            }
        }
    }
    const std::vector<std::string>& events() { return recorder->events; }

    adstest::ScopedLanguage language{"ja_JP.UTF-8"};
    testsupport::TempHome home;
    fs::path bundle = home.path() / "bundle";
    testsupport::VirtualClockScope clock;
    LoopbackServer mirror{{.https = true}};
    LoopbackServer primary{{.https = true}};
    LoopbackServer reports;
    testsupport::URLLoadingScope loading;
    std::optional<adstest::ScopedViewClass> adapterClass;
    std::shared_ptr<plat::Window> window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    std::shared_ptr<plat::View> root = std::make_shared<plat::View>(plat::Rect{0, 0, 320, 568});
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

}  // namespace

TEST_F(WallViewTest, OneTimeOutForTwoStartsNoneForZeroOrLessAndItClosesAnUnloadedWall) {
    serve(entry("u1", R"({"ja": 1})"));
    gLoads = false;
    for (float seconds : {0.0f, -1.0f}) {
        auto wall = makeWall();
        wall->forcetimeout(seconds);
        wall->startShowAd();
        EXPECT_FALSE(wall->hasTimeoutTimer());
        wall->closeAd();
        ASSERT_TRUE(until([&] { return wall->superview() == nullptr; }));
    }
    auto never = makeWall();
    never->startShowAd();
    EXPECT_FALSE(never->hasTimeoutTimer());
    never->closeAdView();
    recorder->events.clear();

    auto wall = makeWall();
    std::weak_ptr<ZividedirWallView> weak = wall;
    wall->forcetimeout(5);
    wall->startShowAd();
    EXPECT_TRUE(wall->hasTimeoutTimer());
    ASSERT_TRUE(until([&] { return wall->webView() != nullptr; }, 0));
    wall->startShowAd();  // open already: nothing
    ASSERT_TRUE(wall->indicatorBack());
    EXPECT_EQ(wall->indicatorBack()->frame(), (plat::Rect{95, 234, 130, 100}));
    auto* label = dynamic_cast<plat::Label*>(wall->indicatorBack()->subviews().front().get());
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), "読み込み中...");
    wall.reset();  // the superview holds it, as the app leaves it

    pass(4.9);
    EXPECT_TRUE(events().empty());
    ASSERT_TRUE(until([&] { return !events().empty(); }));
    EXPECT_EQ(events(), (std::vector<std::string>{"close 100"}));
    EXPECT_TRUE(root->subviews().empty());
    pass(6);
    EXPECT_EQ(events().size(), 1u);
    EXPECT_TRUE(weak.expired());
}

TEST_F(WallViewTest, ALoadedWallShowsItsPanelAndNoTimeOutFires) {
    serve(entry("u1", R"({"ja": 1})"));
    auto wall = makeWall();
    wall->forcetimeout(5);
    wall->startShowAd();
    ASSERT_TRUE(until([&] { return !events().empty(); }, 0));
    EXPECT_EQ(events(), (std::vector<std::string>{"load"}));
    EXPECT_FALSE(wall->hasTimeoutTimer());
    EXPECT_FALSE(wall->indicatorBack());
    EXPECT_TRUE(wall->frontFlg());
    EXPECT_TRUE(wall->htmlLoaded());
    EXPECT_EQ(wall->adBaseView()->superview(), wall.get());
    EXPECT_EQ(wall->adBaseView()->frame(), (plat::Rect{0, 0, 320, 568}));
    EXPECT_EQ(wall->toolbar()->superview(), wall->adBaseView().get());
    EXPECT_EQ(wall->toolbar()->frame(), (plat::Rect{0, 0, 320, 44}));
    EXPECT_EQ(wall->webView()->frame(), (plat::Rect{0, 44, 320, 524}));
    // No close picture in the bundle: the text button at the bar's right end.
    EXPECT_EQ(wall->closeButton()->frame().size(), (plat::Size{60, 44}));
    EXPECT_EQ(wall->closeButton()->frame().x + 60 + plat::Toolbar::kEdgeMargin, 320);
    EXPECT_EQ(wall->closeButton()->title(plat::ControlState::kNormal), "閉じる");
    pass(6);
    EXPECT_EQ(events().size(), 1u);

    // The close button slides the panel down and takes the wall away.
    const plat::Rect button = wall->closeButton()->frame();
    const plat::Point at{button.x + 10, button.y + 10};
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, at));
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, at));
    EXPECT_EQ(wall->closeType(), ZividedirWallView::kCloseButton);
    EXPECT_EQ(wall->adBaseView()->frame(), (plat::Rect{0, 568, 320, 568}));
    ASSERT_TRUE(until([&] { return events().size() == 2; }));
    EXPECT_EQ(events().back(), "close 100");
    EXPECT_FALSE(wall->webView());
    EXPECT_TRUE(root->subviews().empty());
}

TEST_F(WallViewTest, NoNetworkAndAFailedFetchCloseThenFail) {
    {
        testsupport::ForcedReachability offline(0);
        auto wall = makeWall();
        wall->startShowAd();
        EXPECT_EQ(wall->closeType(), ZividedirWallView::kCloseNoNetwork);
        pass(0.4);
        EXPECT_TRUE(events().empty());
        ASSERT_TRUE(until([&] { return events().size() == 2; }));
        EXPECT_EQ(events(), (std::vector<std::string>{"close 103", "failed"}));
    }
    recorder->events.clear();
    auto wall = makeWall();  // nothing routed: the fetch fails
    wall->startShowAd();
    ASSERT_TRUE(until([&] { return events().size() == 2; }));
    EXPECT_EQ(events(), (std::vector<std::string>{"close 104", "failed"}));
    EXPECT_TRUE(root->subviews().empty());
}

TEST_F(WallViewTest, NoAdSettingKeepsTheLoadingBoxUntilTheTimeOut) {
    serve("");
    auto wall = makeWall();
    wall->forcetimeout(3);
    wall->startShowAd();
    pass(2.5);
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(wall->indicatorBack());
    EXPECT_FALSE(wall->webView());
    ASSERT_TRUE(until([&] { return !events().empty(); }));
    EXPECT_EQ(events(), (std::vector<std::string>{"close 100"}));
}

TEST_F(WallViewTest, TheImpressionNamesTheAdOnShow) {
    serve(entry("u1", R"({"ja": 1})") + "," + entry("u2", R"({"ja": 1})"));
    // Draws alternate between the two settings, so a second draw would name the other one.
    auto next = std::make_shared<uint32_t>(0);
    ADFRRandom::setDrawSource([next] { return (*next)++; });
    for (int round = 0; round < 2; ++round) {
        recorder->events.clear();
        auto wall = makeWall();
        wall->startShowAd();
        ASSERT_TRUE(until([&] { return !events().empty(); }, 0));
        auto* adapter = dynamic_cast<TestWallAdapter*>(wall->webView().get());
        ASSERT_TRUE(adapter);
        EXPECT_EQ(adapter->userAdId, wall->currentEntity()->userAdId());
        ASSERT_TRUE(reports.waitForRequests(size_t(round) + 1));
        EXPECT_EQ(reports.requests()[size_t(round)].query,
                  "app_id=W&user_ad_id=" + adapter->userAdId +
                      "&uid=" + wall->getManager()->deviceId().value_or("") + "&locale=ja");
        wall->closeAdView();
    }
}

TEST_F(WallViewTest, CloseButtonPictureOrTextByLanguage) {
    testsupport::writeFile(bundle / "adfrwall_close@2x.png", testsupport::solidPng(88, 60, 255, 255, 255));
    EXPECT_EQ(ZividedirWallView::create()->closeButton()->frame().size(), (plat::Size{44, 30}));
    fs::remove(bundle / "adfrwall_close@2x.png");
    adstest::ScopedLanguage english("en_US.UTF-8");
    auto wall = ZividedirWallView::create();
    EXPECT_EQ(wall->closeButton()->frame().size(), (plat::Size{60, 44}));
    EXPECT_EQ(wall->closeButton()->title(plat::ControlState::kNormal), "Close");
}

TEST_F(WallViewTest, AWallClosedWhileItWaitsIsToldOfItsCloseOnce) {
    // The settings answer stalls: the wall still waits for it when the user closes it.
    mirror.route("GET", "/zividedir/api/getinfo/app_id/W/locale/ja_JP/ver/2.7.0/appver/1.0",
                 Answer{.fault = testsupport::Fault::Stall});
    auto wall = makeWall();
    wall->forcetimeout(2);
    wall->startShowAd();
    ASSERT_TRUE(until([&] { return mirror.requestCount() == 1; }, 0));
    EXPECT_TRUE(wall->needsUpdateAd());
    wall->closeAd();
    ASSERT_TRUE(until([&] { return !events().empty(); }));
    EXPECT_FALSE(wall->hasTimeoutTimer());
    EXPECT_FALSE(wall->needsUpdateAd());
    // Neither the time-out nor the end of the stalled request tells anything more.
    mirror.releaseWaits();
    pass(3);
    EXPECT_EQ(events(), (std::vector<std::string>{"close 100"}));
    EXPECT_FALSE(wall->webView());
}
