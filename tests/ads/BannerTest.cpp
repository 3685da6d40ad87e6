// The rotating banner on the virtual clock, its settings from an HTTPS loopback server and its adapters
// stand-ins that record what the banner does with them: first show, rotation, swaps and each
// transition, blank backs, stale timers, stop and resume, failures, and a capture in the middle of a fade.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AdsTestSupport.h"
#include "ads/ZividedirSDK.h"
#include "ads/ZividedirView.h"
#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRRandom.h"
#include "ads/settings/ADFRManager.h"
#include "platform/base/Clock.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

using adstest::RecordingAdapter;
using testsupport::Answer;
using testsupport::runMainLoopUntil;

namespace {

constexpr const char* kPath = "/zividedir/api/getinfo/app_id/A/locale/en_US/ver/2.7.0/appver/1.0";

std::string ad(const std::string& id, int weight = 1) {
    return adstest::entry(id, R"({"en": )" + std::to_string(weight) + "}", "<p>" + id + "</p>",
                          R"(, "adnetwork_key": "1035")");
}

std::string settings(const std::string& entries, const std::string& cycle = "30", int taOff = 0) {
    return R"({"result": "ok", "bg_color": "#000000", )" +
           std::string(cycle.empty() ? "" : "\"cycle_time\": " + cycle + ", ") + R"("ta_off": )" +
           std::to_string(taOff) + R"(, "settings": [)" + entries + "]}";
}

const std::string kThreeAds = ad("u1") + "," + ad("u2") + "," + ad("u3");

struct Recorder : ZividedirViewDelegate {
    void zividedirViewDidFinishLoad(const std::shared_ptr<ZividedirView>&) override { ++finished; }
    void zividedirViewAdTapped(const std::shared_ptr<ZividedirView>&) override { ++tapped; }
    void zividedirViewAdFailed(const std::shared_ptr<ZividedirView>&) override { ++failed; }
    int finished = 0, tapped = 0, failed = 0;
};

struct BannerFixture {
    BannerFixture() : loading(mirror.caFile()) {
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::SettingsMirror,
                                   {"https", "127.0.0.1", mirror.port()});
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Settings, {"https", "127.0.0.1", mirror.port()});
        plat::Bundle::setMainInfoValue(plat::Bundle::kShortVersionKey, "1.0");
        // The draws of the weighted choice go 0, 1, 2, ...: with equal weights u1, u2, u3 in turn.
        auto next = std::make_shared<uint32_t>(0);
        ADFRRandom::setDrawSource([next] { return (*next)++; });
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
        banner = ZividedirView::create({0, 518, 320, 50});
        banner->setAppID("A");
        banner->setDelegate(recorder);
        window->addSubview(banner);
    }
    ~BannerFixture() {
        banner->removeFromSuperview();
        banner.reset();
        window.reset();
        plat::Bundle::resetMainInfoValues();
    }

    void serve(const std::string& body) { mirror.route("GET", kPath, Answer{.body = body}); }
    // Starts and waits for the settings' outcome.
    bool start() {
        const int before = recorder->finished + recorder->failed;
        banner->startShowAd();
        return runMainLoopUntil([&] { return recorder->finished + recorder->failed > before; });
    }
    // Moves the virtual clock on and runs what fell due, the deferred swap included.
    void wait(double seconds) {
        clock.clock().advance(seconds);
        for (int i = 0; i < 4; ++i) plat::RunLoop::main().runOnce(0);
    }
    std::shared_ptr<RecordingAdapter> front() const {
        return std::dynamic_pointer_cast<RecordingAdapter>(banner->frontAdView());
    }
    std::shared_ptr<RecordingAdapter> back() const {
        return std::dynamic_pointer_cast<RecordingAdapter>(banner->backAdView());
    }
    std::string userAdIdOf(const std::shared_ptr<RecordingAdapter>& a) const {
        return a ? a->settings.text("userAdId").value_or("") : "";
    }
    double secondsToTimer() const {
        auto due = plat::RunLoop::main().timerDueMicros(banner->adTimer());
        return due ? double(*due - plat::Clock::shared().monotonicMicros()) / 1e6 : -1;
    }

    adstest::ScopedLanguage language{"en_US.UTF-8"};
    testsupport::TempHome home;
    testsupport::VirtualClockScope clock;
    testsupport::LoopbackServer mirror{{.https = true}};
    testsupport::URLLoadingScope loading;
    adstest::ScopedViewClass zucks{"ADFRZucksAPIView"};
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<plat::Window> window;
    std::shared_ptr<ZividedirView> banner;
};

struct BannerTest : ::testing::Test, BannerFixture {};

}  // namespace

TEST_F(BannerTest, MadeTransparentWithDefaultsAndNothingShown) {
    EXPECT_EQ(banner->frame(), (plat::Rect{0, 518, 320, 50}));
    EXPECT_EQ(banner->backgroundColor(), plat::Color::clearColor());
    EXPECT_TRUE(banner->autoresizesSubviews());
    EXPECT_EQ(banner->currentAdIndex(), -1);
    EXPECT_FALSE(banner->needsUpdateAd());
    EXPECT_EQ(banner->transitionType(), 0u);
    EXPECT_FLOAT_EQ(banner->transitionDulation(), 0.5f);
    EXPECT_FALSE(banner->originUserAgent().empty());
    EXPECT_EQ(banner->getManager()->view(), banner);
    EXPECT_TRUE(banner->subviews().empty());
    EXPECT_EQ(mirror.requestCount(), 0u);
}

TEST_F(BannerTest, FirstStartFetchesAndShowsTheFrontsImpressionOnly) {
    // A stored next-update date in the future does not spare the first fetch.
    plat::UserDefaults::standard()->setObject(
        plat::Value(plat::Value::Date{plat::Clock::shared().nowSeconds() + 600}),
        "ZividedirSDK_Next_Update_Date_A");
    serve(settings(kThreeAds));
    banner->startShowAd();
    EXPECT_TRUE(banner->needsUpdateAd());
    EXPECT_EQ(banner->adTimer(), 0u);
    EXPECT_TRUE(banner->nextUpdateDate());
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder->finished > 0; }));
    EXPECT_EQ(mirror.requestCount(), 1u);
    EXPECT_FALSE(banner->needsUpdateAd());
    ASSERT_TRUE(front() && back());
    EXPECT_EQ(userAdIdOf(front()), "u1");
    EXPECT_EQ(userAdIdOf(back()), "u2");
    EXPECT_EQ(front()->displayed, 1);
    EXPECT_EQ(back()->displayed, 0);
    EXPECT_EQ(front()->superview(), banner.get());
    EXPECT_EQ(back()->superview(), nullptr);
    EXPECT_EQ(front()->frame(), (plat::Rect{0, 0, 320, 50}));
    EXPECT_EQ(recorder->finished, 1);
    EXPECT_DOUBLE_EQ(secondsToTimer(), 30);
    EXPECT_EQ(banner->currentAdIndex(), 1);
}

TEST_F(BannerTest, SwapWithContentSendsTheSecondImpressionAndPreparesANewBack) {
    serve(settings(kThreeAds));
    ASSERT_TRUE(start());
    auto first = front();
    auto second = back();
    wait(29.9);
    EXPECT_EQ(banner->frontAdView(), first);
    wait(0.1);
    EXPECT_EQ(second->displayed, 1);
    EXPECT_EQ(first->displayed, 1);
    EXPECT_EQ(banner->frontAdView(), second);
    EXPECT_EQ(second->superview(), banner.get());
    EXPECT_EQ(first->superview(), nullptr);
    EXPECT_EQ(userAdIdOf(back()), "u3");
    EXPECT_EQ(banner->releaseAdView(), nullptr);
    EXPECT_EQ(recorder->finished, 2);
    EXPECT_EQ(banner->subviews().size(), 1u);
}

TEST_F(BannerTest, BlankBackIsReplacedWithoutAnImpressionOrADelegateCall) {
    serve(settings(kThreeAds));
    ASSERT_TRUE(start());
    auto first = front();
    auto blank = back();
    blank->hasContent = false;
    wait(30);
    EXPECT_EQ(blank->displayed, 0);
    EXPECT_EQ(banner->frontAdView(), first);
    ASSERT_TRUE(back());
    EXPECT_NE(back(), blank);
    EXPECT_EQ(userAdIdOf(back()), "u3");
    EXPECT_EQ(recorder->finished, 1);
    EXPECT_DOUBLE_EQ(secondsToTimer(), 30);
}

TEST_F(BannerTest, FetchNotificationWhileNotWaitingIsIgnoredAndStaleTimersDoNothing) {
    serve(settings(kThreeAds));
    ASSERT_TRUE(start());
    auto first = front();
    banner->adFetchedNotification();
    EXPECT_EQ(banner->frontAdView(), first);
    EXPECT_EQ(recorder->finished, 1);
    const auto timer = banner->adTimer();
    banner->timerFired(timer + 1000);
    EXPECT_EQ(banner->adTimer(), timer);
    EXPECT_EQ(recorder->finished, 1);
}

TEST_F(BannerTest, StopAndRemovalStopTheRotationAndStartResumesAtOnce) {
    serve(settings(kThreeAds));
    ASSERT_TRUE(start());
    auto second = back();
    banner->stopUpdating();
    EXPECT_EQ(banner->adTimer(), 0u);
    wait(100);
    EXPECT_EQ(second->displayed, 0);
    banner->startShowAd();  // settings still fresh: a step at once
    for (int i = 0; i < 3; ++i) plat::RunLoop::main().runOnce(0);
    EXPECT_EQ(second->displayed, 1);
    EXPECT_EQ(banner->frontAdView(), second);
    EXPECT_NE(banner->adTimer(), 0u);
    banner->removeFromSuperview();
    EXPECT_EQ(banner->adTimer(), 0u);
    EXPECT_EQ(banner->superview(), nullptr);
}

TEST_F(BannerTest, OneFailedCallPerFailedFetchAndNoTimer) {
    // Neither server knows the media id: each fetch fails at once (no cache).
    ASSERT_TRUE(start());
    EXPECT_EQ(recorder->failed, 1);
    EXPECT_EQ(recorder->finished, 0);
    EXPECT_EQ(banner->adTimer(), 0u);
    EXPECT_TRUE(banner->needsUpdateAd());
    wait(60);
    EXPECT_EQ(recorder->failed, 1);
    ASSERT_TRUE(start());
    EXPECT_EQ(recorder->failed, 2);
    EXPECT_TRUE(banner->subviews().empty());
}

TEST_F(BannerTest, ZeroOrMissingCycleTimeRotatesAfterThirtySeconds) {
    serve(settings(kThreeAds, "0"));
    ASSERT_TRUE(start());
    EXPECT_DOUBLE_EQ(secondsToTimer(), 30);
    auto second = back();
    wait(29);
    EXPECT_EQ(second->displayed, 0);
    wait(1);
    EXPECT_EQ(second->displayed, 1);
}

TEST_F(BannerTest, CycleTimeUnderASecondRotatesAfterThirtySeconds) {
    serve(settings(kThreeAds, "0.0001"));
    ASSERT_TRUE(start());
    EXPECT_DOUBLE_EQ(secondsToTimer(), 30);
}

TEST_F(BannerTest, BackStillLoadingIsKeptForItsLoadTime) {
    serve(settings(kThreeAds, "2"));
    ASSERT_TRUE(start());
    auto slow = back();
    slow->hasContent = false;
    slow->loading = true;
    for (double t = 2; t < ZividedirView::kBackAdapterLoadSeconds; t += 2) {
        wait(2);
        EXPECT_EQ(back(), slow) << t;
    }
    wait(2);
    EXPECT_NE(back(), slow);
    EXPECT_EQ(banner->frontAdView(), front());
}

TEST_F(BannerTest, NoEntityAtTheFirstShowShowsNothingTellsOnceAndKeepsTheTimer) {
    serve(settings(ad("u1", 0) + "," + ad("u2", 0)));
    ASSERT_TRUE(start());
    EXPECT_EQ(recorder->failed, 1);
    EXPECT_EQ(recorder->finished, 0);
    EXPECT_EQ(banner->frontAdView(), nullptr);
    EXPECT_DOUBLE_EQ(secondsToTimer(), 30);
    wait(30);
    EXPECT_EQ(recorder->failed, 1);
    EXPECT_NE(banner->adTimer(), 0u);
}

TEST_F(BannerTest, SwapWithoutANextEntityStillSwapsAndLeavesTheBackEmpty) {
    // Each rotation outlives the settings' fresh period, so each step fetches again; the second answer
    // has no ad to choose.
    int answers = 0;
    mirror.route("GET", kPath, [&](const testsupport::RecordedRequest&) {
        return Answer{.body = ++answers == 1 ? settings(kThreeAds, "1000") : settings(ad("u1", 0), "1000")};
    });
    ASSERT_TRUE(start());
    auto second = back();
    clock.clock().advance(1000);
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder->finished == 2; }));
    for (int i = 0; i < 3; ++i) plat::RunLoop::main().runOnce(0);
    EXPECT_EQ(banner->frontAdView(), second);
    EXPECT_EQ(second->superview(), banner.get());
    EXPECT_EQ(banner->backAdView(), nullptr);
    EXPECT_EQ(second->displayed, 1);
}

TEST_F(BannerTest, TaOffSwapsAtOnceWhateverTheType) {
    serve(settings(kThreeAds, "30", 1));
    banner->setTransitionType(ZividedirView::kTransitionFadeIn);
    ASSERT_TRUE(start());
    auto second = back();
    wait(30);
    EXPECT_EQ(banner->subviews(), (std::vector<std::shared_ptr<plat::View>>{second}));
    EXPECT_FALSE(second->isAnimating());
}

TEST_F(BannerTest, RandomTypeDrawingZeroSwapsAtOnce) {
    serve(settings(kThreeAds));
    banner->setTransitionType(ZividedirView::kTransitionRandom);
    ASSERT_TRUE(start());
    auto second = back();
    // Draws so far: u1, u2; the step draws u3 (2), then the transition draws 3 % 5 = 3: curl up.
    wait(30);
    EXPECT_TRUE(banner->isAnimating());
    auto next = std::make_shared<uint32_t>(0);
    ADFRRandom::setDrawSource([next] { return (*next)++ * 5; });  // every transition draw is 0 mod 5
    wait(30);
    EXPECT_FALSE(banner->isAnimating());
    EXPECT_EQ(banner->subviews().size(), 1u);
}

TEST_F(BannerTest, FlipAndCurlRunThePlatformTransitionThenDropTheOutgoingAdapter) {
    serve(settings(kThreeAds));
    banner->setTransitionType(ZividedirView::kTransitionFlipFromLeft);
    banner->setTransitionDulation(1.0f);
    ASSERT_TRUE(start());
    auto first = front();
    auto second = back();
    wait(30);
    EXPECT_EQ(banner->transitionState().kind, plat::AnimationOption::kTransitionFlipFromLeft);
    EXPECT_EQ(second->superview(), banner.get());
    EXPECT_EQ(first->superview(), banner.get());
    wait(1.0);
    EXPECT_EQ(first->superview(), nullptr);
    EXPECT_EQ(banner->transitionState().kind, 0u);
}

TEST_F(BannerTest, FadeInPutsTheSnapshotWhereTheOutgoingAdapterWas) {
    serve(settings(kThreeAds));
    banner->setTransitionType(ZividedirView::kTransitionFadeIn);
    ASSERT_TRUE(start());
    auto second = back();
    wait(30);
    ASSERT_EQ(banner->subviews().size(), 2u);
    auto snapshot = std::dynamic_pointer_cast<plat::ImageView>(banner->subviews()[0]);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->frame(), (plat::Rect{0, 0, 320, 50}));
    EXPECT_EQ(banner->subviews()[1], second);
    EXPECT_DOUBLE_EQ(second->alpha(), 1.0);
    EXPECT_DOUBLE_EQ(second->presentationAlpha(), 0.0);
    wait(0.25);
    EXPECT_NEAR(second->presentationAlpha(), 0.5, 1e-6);
    wait(0.25);
    EXPECT_EQ(banner->subviews(), (std::vector<std::shared_ptr<plat::View>>{second}));
}

TEST_F(BannerTest, FadeOutFadesTheSnapshotAboveTheIncomingAdapter) {
    serve(settings(kThreeAds));
    banner->setTransitionType(ZividedirView::kTransitionFadeOut);
    ASSERT_TRUE(start());
    auto second = back();
    wait(30);
    ASSERT_EQ(banner->subviews().size(), 2u);
    EXPECT_EQ(banner->subviews()[0], second);
    auto snapshot = banner->subviews()[1];
    EXPECT_DOUBLE_EQ(snapshot->presentationAlpha(), 1.0);
    wait(0.25);
    EXPECT_NEAR(snapshot->presentationAlpha(), 0.5, 1e-6);
    wait(0.25);
    EXPECT_EQ(banner->subviews(), (std::vector<std::shared_ptr<plat::View>>{second}));
}

TEST_F(BannerTest, CustomTransitionCallsTheReceiverOrSwapsAtOnceWithoutOne) {
    serve(settings(kThreeAds));
    banner->setTransitionType(ZividedirView::kTransitionCustom);
    struct Receiver {
        int calls = 0;
        std::shared_ptr<plat::ImageView> snapshot;
        std::shared_ptr<ZividedirInterfaceView> incoming;
    };
    banner->setCustomAnimationMethod([](void* r, const std::shared_ptr<ZividedirView>&,
                                        const std::shared_ptr<plat::ImageView>& s,
                                        const std::shared_ptr<ZividedirInterfaceView>& n) {
        auto* receiver = static_cast<Receiver*>(r);
        ++receiver->calls;
        receiver->snapshot = s;
        receiver->incoming = n;
    });
    ASSERT_TRUE(start());
    // No receiver yet: at once, and the next back is still prepared.
    auto second = back();
    wait(30);
    EXPECT_EQ(banner->subviews(), (std::vector<std::shared_ptr<plat::View>>{second}));
    EXPECT_EQ(userAdIdOf(back()), "u3");

    auto receiver = std::make_shared<Receiver>();
    banner->setCustomAnimationCalss(receiver);
    EXPECT_EQ(banner->customAnimationClass(), receiver);
    auto third = back();
    wait(30);
    ASSERT_EQ(receiver->calls, 1);
    EXPECT_EQ(receiver->incoming, third);
    ASSERT_TRUE(receiver->snapshot);
    // The banner leaves the snapshot to the receiver.
    EXPECT_EQ(banner->subviews().size(), 2u);
    EXPECT_EQ(second->superview(), nullptr);
    receiver.reset();  // not retained
    EXPECT_EQ(banner->customAnimationClass(), nullptr);
}

TEST_F(BannerTest, TestModeAndRegisteredAdaptersReachTheFactory) {
    banner->testModeEnable();
    EXPECT_TRUE(banner->testMode());
    EXPECT_TRUE(banner->factory()->testMode());
    banner->testModeDisable();
    EXPECT_FALSE(banner->factory()->testMode());
    banner->addZividedirInterfaceView("Mine", 0.5f);
    ASSERT_TRUE(banner->factory()->etcAdViewList());
    EXPECT_EQ(banner->factory()->etcAdViewList()->at(0).viewName, "Mine");
    auto other = std::make_shared<ZividedirInterfaceView>();
    banner->addOtherAdView(other, 3);
    EXPECT_EQ(banner->otherAdView(), other);
    EXPECT_EQ(banner->otherAdRate(), 3);
}

TEST(ZividedirSDK, OneInstanceMakesUnstartedBanners) {
    testsupport::TempHome home;
    auto sdk = ZividedirSDK::sharedManager();
    EXPECT_EQ(sdk, ZividedirSDK::sharedManager());
    auto silent = std::make_shared<ZividedirViewDelegate>();
    auto banner = sdk->adViewWithFrame({0, 0, 320, 50}, silent);
    ASSERT_TRUE(banner);
    EXPECT_EQ(banner->frame(), (plat::Rect{0, 0, 320, 50}));
    EXPECT_EQ(banner->delegate(), silent);
    EXPECT_EQ(banner->adTimer(), 0u);
    EXPECT_FALSE(banner->needsUpdateAd());
    silent.reset();
    EXPECT_EQ(banner->delegate(), nullptr);
}

// The banner composited over a GL frame half-way through a fade: both adapters show.
struct BannerCaptureTest : testsupport::GLTest, BannerFixture {
    BannerCaptureTest() : GLTest(320, 568) {}
    void TearDown() override {
        compositor.releaseResources();
        testsupport::resetGLState();
    }
    testsupport::Pixel bannerPixel() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, 320, 568);
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        compositor.composite(*window, 320, 568);
        return pixel(readPixels(), 160, 540);
    }
    plat::Compositor compositor;
};

TEST_F(BannerCaptureTest, MidFadeShowsBothAdapters) {
    serve(settings(kThreeAds));
    banner->setTransitionType(ZividedirView::kTransitionFadeIn);
    banner->setTransitionDulation(1.0f);
    ASSERT_TRUE(start());
    front()->setBackgroundColor(plat::Color::redColor());
    back()->setBackgroundColor(plat::Color::blueColor());
    EXPECT_TRUE(testsupport::near(bannerPixel(), {255, 0, 0, 255}, 2));
    wait(30);
    wait(0.5);
    auto mid = bannerPixel();
    EXPECT_TRUE(testsupport::near(mid, {128, 0, 127, 255}, 4)) << ::testing::PrintToString(mid);
    wait(0.5);
    EXPECT_TRUE(testsupport::near(bannerPixel(), {0, 0, 255, 255}, 2));
}
