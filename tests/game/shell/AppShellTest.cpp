#include <gtest/gtest.h>

#include <cstdlib>

#include "ads/ZividedirView.h"
#include "analytics/RUV.h"
#include "analytics/RUVTrackerImpl.h"
#include "game/Bridge.h"
#include "game/shell/AppController.h"
#include "game/shell/RootViewController.h"
#include "kite/core/KTDirector.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "platform/media/ImageCodec.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WebView.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

// Passes every hit on to the real dispatcher and keeps a copy of its parameters.
class RecordingDispatch : public RUVDispatchSender {
  public:
    explicit RecordingDispatch(std::shared_ptr<RUVDispatchSender> next) : next_(std::move(next)) {}
    void queueDispatch(const plat::Value::Dictionary& hit) override { next_->queueDispatch(hit); }
    void queueModel(const RUVTrackerModel& model) override {
        hits.push_back(model.parameters());
        next_->queueModel(model);
    }
    std::shared_ptr<RUVDataStore> dataStore() const override { return next_->dataStore(); }
    std::vector<RUVHitRecord> hits;  // main thread only

  private:
    std::shared_ptr<RUVDispatchSender> next_;
};

class RecordingDelegate : public plat::ApplicationDelegate {
  public:
    bool applicationDidFinishLaunching(plat::Application&, const plat::Value&) override {
        calls.push_back("launch");
        return true;
    }
    void applicationWillResignActive(plat::Application&) override { calls.push_back("resign"); }
    void applicationDidBecomeActive(plat::Application&) override { calls.push_back("active"); }
    void applicationDidEnterBackground(plat::Application&) override { calls.push_back("background"); }
    void applicationWillEnterForeground(plat::Application&) override { calls.push_back("foreground"); }
    void applicationWillTerminate(plat::Application&) override { calls.push_back("terminate"); }
    std::vector<std::string> calls;
};

// A plain engine application: an empty scene, and counts of the background calls.
class PlainApp : public kite::KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        kite::KTDirector* director = kite::KTDirector::sharedDirector();
        director->setOpenGLView(kite::KTEGLView::sharedOpenGLView());
        kite::KTEGLView::sharedOpenGLView()->setDesignResolutionSize(320, 568, kite::kResolutionExactFit);
        director->setAnimationInterval(1.0 / 60);
        director->runWithScene(kite::KTScene::create());
        return true;
    }
    void applicationDidEnterBackground() override { ++backgrounds; }
    void applicationWillEnterForeground() override { ++foregrounds; }
    int backgrounds = 0, foregrounds = 0;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

}  // namespace

TEST(Application, LifeCycleWalksThroughTheStatesInBetween) {
    plat::Application app;
    auto delegate = std::make_shared<RecordingDelegate>();
    app.setDelegate(delegate);
    app.enterBackground();  // nothing before the launch
    ASSERT_TRUE(app.launch());
    EXPECT_FALSE(app.launch());
    app.becomeActive();
    app.becomeActive();
    app.enterBackground();
    app.enterBackground();
    app.becomeActive();  // from the background: comes to the front first
    app.resignActive();
    app.terminate();
    app.terminate();
    app.becomeActive();
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"launch", "active", "resign", "background",
                                                         "foreground", "active", "resign", "terminate"}));
    EXPECT_TRUE(app.isTerminated());
}

TEST(Application, NotificationsAreKeptInTheLibraryAndURLsArePrinted) {
    testsupport::TempHome home;
    plat::Application app;
    plat::LocalNotification later{2000, "UTC", "later", "default"},
        sooner{1000, "Asia/Tokyo", "sooner", "default"};
    app.scheduleLocalNotification(later);
    app.scheduleLocalNotification(sooner);
    EXPECT_EQ(plat::Application::notificationsFile(), home.path() / "Library" / "LocalNotifications.plist");
    EXPECT_EQ(app.scheduledLocalNotifications(), (std::vector<plat::LocalNotification>{sooner, later}));
    app.cancelAllLocalNotifications();
    EXPECT_TRUE(app.scheduledLocalNotifications().empty());
    testsupport::writeFile(plat::Application::notificationsFile(), "<plist><array><dict>broken");
    EXPECT_TRUE(app.scheduledLocalNotifications().empty());

    testing::internal::CaptureStdout();
    EXPECT_TRUE(app.openURL("https://video.example.com/x"));
    EXPECT_FALSE(app.openURL("file:///etc/passwd"));
    EXPECT_FALSE(app.openURL("javascript:alert(1)"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open URL: https://video.example.com/x\n");
}

// The game keeps its accessibility setting for the web engine from the browser the player opens.
TEST(Application, TheBrowserItOpensInheritsNoVariableTheProgramKeptFromIt) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "xdg-open",
                           "#!/bin/sh\nexport -p >\"$0.part\" && /bin/mv \"$0.part\" \"$0.env\"\n");
    std::filesystem::permissions(dir.path() / "xdg-open", std::filesystem::perms::owner_all);
    testsupport::EnvScope env({{"PATH", dir.path().c_str()}, {"WEBKIT_A11Y_BUS_ADDRESS", ""}});
    plat::Application::keepFromChildren("WEBKIT_A11Y_BUS_ADDRESS");
    plat::Application app;
    app.setOpensURLsOnDesktop(true);
    ASSERT_TRUE(app.openURL("https://video.example.com/x"));
    ASSERT_TRUE(testsupport::runMainLoopUntil(
        [&] { return std::filesystem::exists(dir.path() / "xdg-open.env"); }, 60));
    const std::string inherited = testsupport::readFile(dir.path() / "xdg-open.env");
    EXPECT_NE(inherited.find("PATH="), std::string::npos);
    EXPECT_EQ(inherited.find("WEBKIT_A11Y_BUS_ADDRESS"), std::string::npos);
}

TEST(Application, ViewsMoveBetweenSuperviewsAndRefuseCycles) {
    auto a = std::make_shared<plat::View>(plat::Rect{0, 0, 100, 100});
    auto b = std::make_shared<plat::View>(plat::Rect{10, 10, 50, 50});
    auto c = std::make_shared<plat::View>();
    a->addSubview(b);
    b->addSubview(c);
    c->addSubview(a);  // a cycle
    EXPECT_EQ(c->subviews().size(), 0u);
    a->addSubview(c);  // moves
    EXPECT_EQ(b->subviews().size(), 0u);
    EXPECT_EQ(a->subviews().size(), 2u);
    EXPECT_EQ(c->superview(), a.get());
    c->removeFromSuperview();
    EXPECT_EQ(c->superview(), nullptr);
    EXPECT_EQ(b->bounds(), (plat::Rect{0, 0, 50, 50}));
}

// One launch of the app shell on the headless screen: the window, the banner's place, the reminders,
// and the bridge requests carried out.
TEST(AppController, LaunchesTheAppAndCarriesOutTheBridgeRequests) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    testsupport::TempHome home;
    testsupport::VirtualClockScope clock;
    const double start = clock.clock().nowSeconds();
    // Left over from an earlier start: must not survive this one.
    {
        plat::Application old;
        old.scheduleLocalNotification({start - 100, "UTC", "stale", "default"});
        old.scheduleLocalNotification({start + 50, "UTC", "stale too", "default"});
    }
    kite::KTHeadlessDriver driver;
    GLenum askedDepthFormat = 1;
    AppController::setGLViewFactory([&driver, &askedDepthFormat](const kite::KTRect&, GLenum depthFormat) {
        askedDepthFormat = depthFormat;
        return driver.createView(depthFormat);
    });
    PlainApp engineApp;
    auto app = std::make_shared<plat::Application>();
    plat::Application::setShared(app);
    app->setRespondsToRegisterUserNotificationSettings(false);
    std::shared_ptr<RecordingDispatch> screenViews;
    RUV::sharedInstance()->setTrackerImplClass(
        [&screenViews](std::shared_ptr<RUVDispatchSender> dispatcher, const std::string& name) {
            screenViews = std::make_shared<RecordingDispatch>(std::move(dispatcher));
            return std::make_shared<RUVTrackerImpl>(screenViews, name);
        });
    auto controller = std::make_shared<AppController>();
    app->setDelegate(controller);
    ASSERT_TRUE(app->launch());
    app->becomeActive();
    driver.runFrames(3);

    ASSERT_TRUE(controller->window());
    EXPECT_TRUE(controller->window()->isKeyWindow());
    EXPECT_EQ(controller->window()->rootViewController(), controller->viewController());
    EXPECT_TRUE(app->isStatusBarHidden());
    EXPECT_EQ(app->registeredNotificationTypes(), 0u);  // no request on a system without it
    auto host = std::dynamic_pointer_cast<GLHostView>(controller->viewController()->view());
    ASSERT_TRUE(host);
    EXPECT_EQ(host->glView(), driver.createView());
    // The game needs neither depth nor stencil: its surface has no such buffer.
    EXPECT_EQ(askedDepthFormat, 0u);
    EXPECT_EQ(host->glView()->depthFormat(), 0u);
    ASSERT_TRUE(controller->zividedir());
    EXPECT_EQ(controller->zividedir()->frame(), (plat::Rect{0, 518, 320, 50}));
    EXPECT_EQ(controller->zividedir()->superview(), host.get());
    EXPECT_EQ(controller->zividedir()->getAppId(), AppController::kBannerMediaId);
    EXPECT_EQ(controller->zividedir()->delegate(), controller->viewController());
    EXPECT_EQ(controller->zividedir()->adTimer(), 0u);  // not started
    EXPECT_FALSE(plat::WebView::engineStarted());       // no ad server, so no page to show
    // An empty banner takes no touches; one showing an ad takes them from the game.
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Began, 7, {160, 540}));
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 7, {160, 540});
    auto adapter = std::make_shared<ZividedirInterfaceView>(plat::Rect{0, 0, 320, 50});
    controller->zividedir()->addSubview(adapter);
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 7, {160, 540}));
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 7, {160, 540}));
    adapter->removeFromSuperview();

    auto reminders = app->scheduledLocalNotifications();
    ASSERT_EQ(reminders.size(), 2u);
    EXPECT_DOUBLE_EQ(reminders[0].fireDate, start + 3600);
    EXPECT_EQ(reminders[0].alertBody, "ぽてまるが続々襲来!今すぐ吸収しちゃおう!");
    EXPECT_DOUBLE_EQ(reminders[1].fireDate, start + 86400);
    EXPECT_EQ(reminders[1].alertBody, "俺のこと忘れてない?");
    EXPECT_EQ(reminders[1].soundName, "default");

    // The share sheet reads the screenshot from its path, keeps the request and goes away once sent.
    const auto shot = plat::Paths::documents() / "screenshot0.jpg";
    std::vector<uint8_t> pixels(8 * 6 * 4, 200);
    auto jpeg = plat::ImageCodec::encodeJpeg(pixels.data(), 8, 6, 4, 90);
    ASSERT_TRUE(jpeg);
    testsupport::writeFile(shot, std::string(jpeg->begin(), jpeg->end()));
    testing::internal::CaptureStdout();
    showTweetBridge(shot.c_str());
    EXPECT_TRUE(controller->viewController()->presentedViewController());
    plat::RunLoop::main().runOnce(0);
    EXPECT_FALSE(controller->viewController()->presentedViewController());
    showTweetBridge("/nonexistent/screenshot1.jpg");
    plat::RunLoop::main().runOnce(0);
    interAdBridge();
    interAdBridge();
    loadAdBridge();
    sendLevelScreenBridge(3);
    showYoutubeBridge();
    showTobikumaBridge();
    auto printed = lines(testing::internal::GetCapturedStdout());

    // The popups and the screen view print nothing: they are real placements and a real tracker now.
    ASSERT_EQ(printed.size(), 5u);
    EXPECT_NE(printed[0].find("share (twitter): [ぽてまる]https://"), std::string::npos) << printed[0];
    EXPECT_NE(printed[0].find("[picture 8x6]"), std::string::npos);
    EXPECT_NE(printed[1].find("[no picture]"), std::string::npos);
    EXPECT_EQ(printed[3], std::string("open URL: ") + AppController::kVideoPageURL);
    EXPECT_EQ(printed[4], std::string("open URL: ") + AppController::kOtherAppURL);
    // One screen view, named for the level, on the default tracker made at launch; the name does not
    // stay on the tracker for later hits.
    ASSERT_TRUE(screenViews);
    ASSERT_EQ(screenViews->hits.size(), 1u);
    EXPECT_EQ(screenViews->hits[0]["&t"], "screenview");
    EXPECT_EQ(screenViews->hits[0]["&cd"], "[iOS]ぽてまる　レベル3");
    EXPECT_EQ(screenViews->hits[0]["&tid"], AppController::kTrackingId);
    auto tracker = RUV::sharedInstance()->defaultTracker();
    ASSERT_TRUE(tracker);
    EXPECT_EQ(tracker->name(), AppController::kTrackingId);
    EXPECT_FALSE(tracker->get("&cd").value_or("").size());
    // The banner started: it waits for its settings (from nowhere, with no ad server configured).
    EXPECT_TRUE(controller->zividedir()->needsUpdateAd());
    auto request =
        plat::PropertyList::readFile(plat::Paths::documents() / "ShareRequests" / "share-0001.plist");
    ASSERT_TRUE(request);
    EXPECT_EQ((*request)["text"].toString(), AppController::kShareText);
    EXPECT_EQ((*request)["imageWidth"].toInt64(), 8);
    EXPECT_TRUE(std::filesystem::exists(plat::Paths::documents() / "ShareRequests" / "share-0001.png"));

    // Two popups, both over the game, each with its overlay: a tap on the game reaches nothing.
    EXPECT_EQ(host->subviews().size(), 3u);
    EXPECT_EQ(controller->adPopupView(), host->subviews().back());
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 6, {160, 284}));
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 6, {160, 284});
    // With no ad server the popups close by themselves; the shell kept no reference of its own to them.
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return host->subviews().size() == 1; }));
    EXPECT_EQ(controller->adPopupView(), nullptr);
    // The empty ad places take no touches: taps on the banner's place and the popup's centre reach the game.
    for (plat::Point at : {plat::Point{160, 284}, plat::Point{160, 540}}) {
        EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Began, 7, at));
        EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 7, at));
    }

    // Focus and the background reach the director and the engine's application object.
    app->enterBackground();
    EXPECT_TRUE(kite::KTDirector::sharedDirector()->isPaused());
    EXPECT_EQ(engineApp.backgrounds, 1);
    app->becomeActive();
    EXPECT_FALSE(kite::KTDirector::sharedDirector()->isPaused());
    EXPECT_EQ(engineApp.foregrounds, 1);

    app->terminate();
    plat::Application::setShared(nullptr);
    AppController::setGLViewFactory(nullptr);
    // The director ends with its scene and its view, so the next test starts from nothing.
    kite::KTDirector::sharedDirector()->end();
    driver.runFrames(1);
}
