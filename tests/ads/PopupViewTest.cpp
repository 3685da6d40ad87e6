// The popup placement against real HTTPS loopback servers, on a virtual clock: the schedule and the
// display cap, the no-network, failed-fetch and empty-list closes, a show with its layout, counters and
// close, adapters that never report, the full-screen layout and its turn, and the texts by language.
#include <gtest/gtest.h>

#include <cmath>

#include "AdsTestSupport.h"
#include "ads/ZividedirPopupView.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/widgets/ADFRNVUIGradientButton.h"
#include "ads/widgets/ZividedirPopupToolbar.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
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

constexpr const char* kAdapterName = "PopupTestAdapter";

// What the test adapter does once the popup is its parent.
enum class Report { Finish, FailBlank, Nothing };
Report gReport = Report::Finish;

class TestAdapter : public ZividedirInterfaceView, public ZividedirLoadReporting {
  public:
    using ZividedirInterfaceView::ZividedirInterfaceView;
    void setParentView(const std::shared_ptr<ZividedirBaseView>& parent) override {
        parent_ = parent;
        if (gReport == Report::Nothing || !parent) return;
        std::weak_ptr<ZividedirBaseView> weak = parent;
        const bool finish = gReport == Report::Finish;
        plat::RunLoop::main().post([weak, finish] {
            if (auto p = weak.lock()) finish ? p->loadFinish() : p->loadFailed();
        });
    }
    bool checkDisplayAd() override { return gReport != Report::FailBlank; }
    void postAdDisplayed() override { ++displayed; }
    int displayed = 0;

  private:
    std::weak_ptr<ZividedirBaseView> parent_;
};

struct Recorder : ZividedirPopupViewDelegate {
    void zividedirViewDidFinishLoadAdData(ZividedirPopupView&) override { events.push_back("data"); }
    void zividedirViewDidFinishLoad(ZividedirPopupView&) override { events.push_back("load"); }
    void zividedirViewAdFailed(ZividedirPopupView&) override { events.push_back("failed"); }
    void zividedirViewAdClose(ZividedirPopupView& popup) override {
        events.push_back("close " + std::to_string(popup.closeType()));
    }
    std::vector<std::string> events;
};

// The window's first view stands for the game; popups go on it.
struct Game : plat::View {
    using View::View;
    void touchesBegan(const plat::TouchSet&, const plat::Event&) override { ++touches; }
    int touches = 0;
};

struct PopupViewTest : ::testing::Test {
    PopupViewTest() : loading(caFile()) {
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::SettingsMirror,
                                   {"https", "127.0.0.1", mirror.port()});
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Settings, {"https", "127.0.0.1", primary.port()});
        plat::Bundle::setMainInfoValue(plat::Bundle::kShortVersionKey, "1.0");
        ZividedirViewClass::registerClass(
            kAdapterName, [](plat::Rect frame) { return std::make_shared<TestAdapter>(frame); });
        gReport = Report::Finish;
        // A bundle of our own: without the close picture unless a test puts it there.
        fs::create_directories(bundle);
        plat::Bundle::setMainResourcePath(bundle);
        window->addSubview(game);
        window->makeKeyAndVisible();
    }
    ~PopupViewTest() override {
        ZividedirViewClass::registerClass(kAdapterName, nullptr);
        plat::Bundle::resetMainInfoValues();
    }

    std::string caFile() {
        fs::path path = home.path() / "ca.pem";
        testsupport::writeFile(path, testsupport::readFile(mirror.caFile()));
        return path.string();
    }
    std::shared_ptr<ZividedirPopupView> makePopup() {
        auto popup = ZividedirPopupView::create();
        popup->setDelegate(recorder);
        popup->setAppId("P");
        popup->addZividedirInterfaceView(kAdapterName, 1.0f);
        game->addSubview(popup);
        return popup;
    }
    void serve(const std::string& settings) {
        mirror.route("GET", "/zividedir/api/getinfo/app_id/P/locale/" + locale + "/ver/2.7.0/appver/1.0",
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
    int64_t counter(const std::string& key) { return plat::UserDefaults::standard()->integerForKey(key); }
    const std::vector<std::string>& events() { return recorder->events; }

    void addClosePicture() {
        testsupport::writeFile(bundle / "adfrinters_close@2x.png",
                               testsupport::solidPng(74, 66, 255, 255, 255));
    }

    std::string locale = "ja_JP";
    adstest::ScopedLanguage language{"ja_JP.UTF-8"};
    testsupport::TempHome home;
    fs::path bundle = home.path() / "bundle";
    testsupport::VirtualClockScope clock;
    LoopbackServer mirror{{.https = true}};
    LoopbackServer primary{{.https = true}};
    testsupport::URLLoadingScope loading;
    std::shared_ptr<plat::Window> window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    std::shared_ptr<Game> game = std::make_shared<Game>(plat::Rect{0, 0, 320, 568});
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

}  // namespace

TEST_F(PopupViewTest, ScheduleSlotAndDisplayCapDecideEachRequest) {
    // No network: a request that shows ends as 103 after half a second and leaves both counters alone.
    testsupport::ForcedReachability offline(0);
    auto decide = [&](int64_t stored, int period, int slot, int cap, int displays) {
        recorder->events.clear();
        auto popup = makePopup();
        plat::UserDefaults::standard()->setInteger(stored, popup->getScheduleKey());
        popup->setDisplayCount(displays);
        popup->setSchedule(period);
        popup->setScheduleFirst(slot);
        popup->setMaxDisplay(cap);
        popup->startShowAd();
        if (events().empty()) {
            clock.clock().advance(0.5);
            EXPECT_TRUE(until([&] { return !events().empty(); }));
        }
        const int64_t after = counter(popup->getScheduleKey());
        return std::make_pair(events().front(), after);
    };
    using R = std::pair<std::string, int64_t>;
    EXPECT_EQ(decide(0, 3, 2, 0, 0), (R{"close 101", 1}));
    EXPECT_EQ(decide(1, 3, 2, 0, 0), (R{"close 103", 1}));
    EXPECT_EQ(events(), (std::vector<std::string>{"close 103", "failed"}));
    EXPECT_EQ(decide(2, 3, 2, 0, 0), (R{"close 101", 3}));
    EXPECT_EQ(decide(3, 3, 2, 0, 0), (R{"close 101", 4}));
    EXPECT_EQ(decide(4, 3, 2, 0, 0), (R{"close 103", 4}));
    // Cap 2 allows displays at counts 0 to 2; the next request is refused and only the schedule moves.
    EXPECT_EQ(decide(7, 1, 1, 2, 2), (R{"close 103", 7}));
    EXPECT_EQ(decide(7, 1, 1, 2, 3), (R{"close 102", 8}));
    EXPECT_EQ(counter("ZividedirDispNumP"), 3);
    // A counter past two thousand million starts again at 1; a period of 0 compares the counter itself.
    EXPECT_EQ(decide(2000000001, 2, 1, 0, 0), (R{"close 101", 1}));
    EXPECT_EQ(decide(0, 0, 1, 0, 0), (R{"close 103", 0}));
    EXPECT_EQ(decide(5, 0, 1, 0, 0), (R{"close 101", 6}));
}

TEST_F(PopupViewTest, FailedFetchAndEmptyListCloseWith104AndFreeTheGame) {
    // Nothing routed: the settings fetch fails at once (no cache).
    auto popup = makePopup();
    std::weak_ptr<ZividedirPopupView> weak = popup;
    popup->startShowAd();
    ASSERT_TRUE(popup->backgroundView());
    ASSERT_TRUE(popup->indicatorBack());
    popup.reset();  // the superview holds it, as the app leaves it
    ASSERT_TRUE(until([&] { return !events().empty(); }));
    EXPECT_EQ(events(), (std::vector<std::string>{"close 104", "failed"}));
    EXPECT_TRUE(game->subviews().empty());
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(counter("ZividedirScheP"), 0);
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {100, 100}));
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {100, 100});

    // Settings without a single ad: closed the same way rather than left loading for good.
    recorder->events.clear();
    serve("");
    popup = makePopup();
    popup->startShowAd();
    ASSERT_TRUE(until([&] { return !events().empty(); }));
    EXPECT_EQ(events(), (std::vector<std::string>{"close 104", "failed"}));
    EXPECT_EQ(mirror.requestCount(), 2u);  // one refused, one answered with the empty list
}

TEST_F(PopupViewTest, SettingsCutAfterSomeBytesCloseWithin10Seconds) {
    mirror.route("GET", "/zividedir/api/getinfo/app_id/P/locale/ja_JP/ver/2.7.0/appver/1.0",
                 Answer{.body = answer(entry("u1", R"({"ja": 1})")),
                        .fault = testsupport::Fault::PartialBody,
                        .partialBytes = 15});
    auto popup = makePopup();
    popup->startShowAd();
    // No virtual time passes: the popup neither asks again nor waits for a retry.
    ASSERT_TRUE(until([&] { return !events().empty(); }, 0));
    EXPECT_EQ(events(), (std::vector<std::string>{"close 104", "failed"}));
    EXPECT_FALSE(popup->backgroundView());
    EXPECT_LE(mirror.requestCount() + primary.requestCount(), 2u);
}

TEST_F(PopupViewTest, ShowLaysOutTheBoxCountsAndClosesWith100) {
    serve(entry("u1", R"({"ja": 1})"));
    auto popup = makePopup();
    std::weak_ptr<ZividedirPopupView> weak = popup;
    popup->startShowAd();
    // Loading: overlay and box, Japanese texts.
    ASSERT_TRUE(popup->indicatorBack());
    auto* loadingLabel = dynamic_cast<plat::Label*>(popup->indicatorBack()->subviews().front().get());
    ASSERT_TRUE(loadingLabel);
    EXPECT_EQ(loadingLabel->text(), "読み込み中...");
    auto base = popup->indicatorBack()->frame();
    EXPECT_EQ(base.x, 95);
    EXPECT_EQ(base.y, 234);

    ASSERT_TRUE(until([&] { return events().size() >= 2; }));
    EXPECT_EQ(events(), (std::vector<std::string>{"data", "load"}));
    EXPECT_FALSE(popup->indicatorBack());
    EXPECT_TRUE(popup->showAdFlg());
    auto* adapter = dynamic_cast<TestAdapter*>(popup->getIntersAdWebView().get());
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->displayed, 1);
    EXPECT_EQ(adapter->frame(), (plat::Rect{5, 46, 300, 250}));
    EXPECT_EQ(popup->adBaseView()->frame(), (plat::Rect{5, 134, 310, 300}));
    EXPECT_EQ(popup->adBaseView()->borderColor(), plat::Color::rgba(34.0 / 255, 137.0 / 255, 0));
    EXPECT_EQ(popup->adBaseView()->cornerRadius(), 8);
    EXPECT_EQ(popup->popupToolbar()->superview(), popup->adBaseView().get());
    EXPECT_EQ(popup->titleLabel()->text(), "おすすめ");
    // No close picture in the bundle: the text button.
    ASSERT_TRUE(popup->closeNewButton());
    EXPECT_EQ(popup->closeNewButton()->frame(), (plat::Rect{248, 5, 57, 33}));
    EXPECT_EQ(popup->closeNewButton()->title(plat::ControlState::kNormal), "閉じる");
    EXPECT_EQ(counter("ZividedirScheP"), 1);
    EXPECT_EQ(counter("ZividedirDispNumP"), 1);

    // A repeated report changes nothing.
    popup->loadFinish();
    EXPECT_EQ(events().size(), 2u);
    EXPECT_EQ(adapter->displayed, 1);
    // A touch on the dimmed area reaches nothing of the game.
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {10, 10}));
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {10, 10});
    EXPECT_EQ(game->touches, 0);
    // A tap on the close button closes a tenth of a second later, even with the app's reference gone.
    popup.reset();
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 2, {5 + 248 + 20, 134 + 20}));
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 2, {5 + 248 + 20, 134 + 20}));
    clock.clock().advance(0.1);
    ASSERT_TRUE(until([&] { return events().size() == 3; }));
    EXPECT_EQ(events().back(), "close 100");
    EXPECT_TRUE(game->subviews().empty());
    EXPECT_TRUE(weak.expired());

    // The next popup goes on from the stored counters; with the close picture in the bundle its button
    // shows the picture.
    recorder->events.clear();
    addClosePicture();
    popup = makePopup();
    popup->startShowAd();
    ASSERT_TRUE(until([&] { return events().size() >= 2; }));
    EXPECT_EQ(popup->closeNewButton()->frame(), (plat::Rect{268, 5, 37, 33}));
    EXPECT_TRUE(popup->closeNewButton()->title(plat::ControlState::kNormal).empty());
    EXPECT_EQ(counter("ZividedirScheP"), 2);
    EXPECT_EQ(counter("ZividedirDispNumP"), 2);
    popup->pushCloseButton();
    clock.clock().advance(0.1);
    ASSERT_TRUE(until([&] { return events().size() == 3; }));
}

TEST_F(PopupViewTest, PreloadLoadsOutOfSightAndPreloadShowShowsIt) {
    serve(entry("u1", R"({"ja": 1})"));
    auto popup = makePopup();
    popup->preloadAd();
    EXPECT_FALSE(popup->backgroundView());
    EXPECT_FALSE(popup->indicatorBack());
    ASSERT_TRUE(until([&] { return !events().empty(); }));
    runMainLoopUntil([] { return false; }, 0.1);
    EXPECT_EQ(events(), (std::vector<std::string>{"data"}));
    EXPECT_FALSE(popup->showAdFlg());
    EXPECT_EQ(counter("ZividedirDispNumP"), 0);

    popup->preloadShowAd();
    EXPECT_EQ(events(), (std::vector<std::string>{"data", "load"}));
    EXPECT_TRUE(popup->showAdFlg());
    EXPECT_TRUE(popup->backgroundView());
    EXPECT_FALSE(popup->preloadFlg());
    EXPECT_EQ(counter("ZividedirDispNumP"), 1);
}

TEST_F(PopupViewTest, AnAdapterThatNeverLoadsIsGivenUpAfterTenSeconds) {
    serve(entry("u1", R"({"ja": 1})"));
    for (Report report : {Report::Nothing, Report::FailBlank}) {
        recorder->events.clear();
        gReport = report;
        auto popup = makePopup();
        popup->startShowAd();
        ASSERT_TRUE(until([&] { return popup->getIntersAdWebView() != nullptr; }, 0));
        runMainLoopUntil([] { return false; }, 0.1);
        EXPECT_TRUE(events().empty());
        EXPECT_TRUE(popup->indicatorBack());
        clock.clock().advance(ZividedirPopupView::kAdapterWaitSeconds);
        ASSERT_TRUE(until([&] { return !events().empty(); }, 0));
        EXPECT_EQ(events(), (std::vector<std::string>{"close 0", "failed"}));
        EXPECT_EQ(counter("ZividedirScheP"), 0);
    }
}

TEST_F(PopupViewTest, FullScreenLayoutOnlyForInterstitialKind1OfTheFullScreenNetwork) {
    serve(entry("u1", R"({"ja": 1})", "<p>ad</p>", R"(, "adnetwork_key": "1003")"));
    auto application = std::make_shared<plat::Application>();
    plat::Application::setShared(application);

    // Kind 0: the regular box.
    auto popup = makePopup();
    popup->startShowAd();
    ASSERT_TRUE(until([&] { return events().size() >= 2; }));
    EXPECT_FALSE(popup->isInMobiIntersAd());
    EXPECT_EQ(popup->adBaseView()->frame().width, 310);
    popup->pushCloseButton();
    clock.clock().advance(0.1);
    ASSERT_TRUE(until([&] { return events().size() == 3; }));

    // Kind 1: 320×480 with the gradient close button, turned as the status bar says.
    recorder->events.clear();
    application->setStatusBarOrientation(3);
    popup = makePopup();
    popup->setIntersAdType(1);
    popup->startShowAd();
    ASSERT_TRUE(until([&] { return events().size() >= 2; }));
    EXPECT_TRUE(popup->isInMobiIntersAd());
    ASSERT_TRUE(popup->closeButton());
    EXPECT_EQ(popup->closeButton()->frame(), (plat::Rect{220, 0, 100, 70}));
    EXPECT_EQ(popup->closeButton()->text(), "X 閉じる");
    EXPECT_EQ(popup->closeButton()->highlightedTextColor(), plat::Color::rgba(0, 157.0 / 255, 1));
    EXPECT_EQ(popup->getIntersAdWebView()->frame(), (plat::Rect{0, 0, 320, 480}));
    EXPECT_EQ(popup->popupToolbar()->superview(), nullptr);
    EXPECT_FALSE(popup->adBaseView()->clipsToBounds());
    auto t = popup->adBaseView()->transform();
    EXPECT_NEAR(t.b, -1, 1e-9);  // a quarter turn back
    application->setStatusBarOrientation(4);
    plat::Device::current().setOrientation(plat::Device::Orientation::LandscapeLeft);
    EXPECT_NEAR(popup->adBaseView()->transform().b, 1, 1e-9);
    application->setStatusBarOrientation(1);
    plat::Device::current().setOrientation(plat::Device::Orientation::Portrait);
    EXPECT_NEAR(popup->adBaseView()->transform().b, 0, 1e-9);
    popup->closeButton()->sendActionsForControlEvents(plat::ControlEvent::kTouchUpInside);
    clock.clock().advance(0.1);
    ASSERT_TRUE(until([&] { return events().size() == 3; }));
    EXPECT_EQ(events().back(), "close 100");
}

TEST(PopupViewLanguage, EnglishTextsOutsideJapanese) {
    adstest::ScopedLanguage language{"en_US.UTF-8"};
    testsupport::TempHome home;
    testsupport::ForcedReachability offline(0);
    auto window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    auto root = std::make_shared<plat::View>(plat::Rect{0, 0, 320, 568});
    window->addSubview(root);
    auto popup = ZividedirPopupView::create();
    root->addSubview(popup);
    popup->startShowAd();
    ASSERT_TRUE(popup->indicatorBack());
    auto* label = dynamic_cast<plat::Label*>(popup->indicatorBack()->subviews().front().get());
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), "Loading...");
    EXPECT_EQ(popup->titleLabel()->text(), "おすすめ");
    EXPECT_EQ(popup->closeType(), ZividedirPopupView::kCloseNoNetwork);
    popup->loadFailed();
    EXPECT_EQ(popup->superview(), nullptr);
}
