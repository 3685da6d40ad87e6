// Views over the GL view, through both drivers: the frame shows them (captures included), a tap on one
// reaches the view and never the engine, a tap beside it reaches the game as before.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "kite/core/KTDirector.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "kite/platform/linux/KTWindowDriver.h"
#include "platform/media/ImageCodec.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

using namespace kite;

namespace {

// Fills the whole frame with green.
class GreenNode : public KTNode {
  public:
    static GreenNode* create() {
        auto* node = new GreenNode();
        node->init();
        return ktAutorelease(node);
    }
    void draw() override {
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 1);
    }
};

class OverlayApp : public KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        KTDirector* director = KTDirector::sharedDirector();
        KTEGLView* glView = KTEGLView::sharedOpenGLView();
        director->setOpenGLView(glView);
        glView->setDesignResolutionSize(320, 568, kResolutionExactFit);
        director->setAnimationInterval(1.0 / 60);
        KTScene* scene = KTScene::create();
        scene->addChild(GreenNode::create());
        director->runWithScene(scene);
        return true;
    }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
};

// The app shell's arrangement: a window whose content view hosts the GL view, a red banner along the
// bottom and a close button near the top, over the GL view.
struct Views {
    Views() {
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
        auto host = std::make_shared<plat::View>(plat::Rect{0, 0, 320, 568});
        window->addSubview(host);
        banner = std::make_shared<plat::View>(plat::Rect{0, 518, 320, 50});
        banner->setBackgroundColor(plat::Color::redColor());
        host->addSubview(banner);
        button = std::make_shared<plat::Button>(plat::Rect{248, 5, 57, 33});
        button->setBackgroundColor(plat::Color::blueColor());
        button->addTarget(
            nullptr, [this](plat::Control&, const plat::Event*) { ++taps; },
            plat::ControlEvent::kTouchUpInside);
        host->addSubview(button);
        window->makeKeyAndVisible();
    }
    std::shared_ptr<plat::Window> window;
    std::shared_ptr<plat::View> banner;
    std::shared_ptr<plat::Button> button;
    int taps = 0;
};

struct Received {
    std::vector<EAGLView::TouchPhase> phases;
    void install() {
        EAGLView::setTouchReceiver([this](EAGLView::TouchPhase phase, int, const intptr_t*, const float*,
                                          const float*) { phases.push_back(phase); });
    }
    ~Received() { EAGLView::setTouchReceiver(nullptr); }
};

}  // namespace

TEST(ViewOverlay, HeadlessTapsReachTheViewOrTheGameAndCapturesShowTheViews) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    testsupport::TempDir dir;
    KTHeadlessDriver driver;
    KTDriverScript script;
    // Surface pixels: points times two.
    ASSERT_TRUE(
        script.parse("5 touch down 200 1080\n6 touch up 200 1080\n"  // on the banner
                     "10 touch down 200 400\n11 touch up 200 400\n"  // beside it: the game's
                     "15 touch down 550 40\n16 touch move 300 40\n17 touch move 540 50\n18 touch up 540 50\n"
                     "20 touch down 550 40\n21 touch up 100 40\n"  // released off the button
                     "30 capture shot.png\n"));
    driver.setScript(std::move(script));
    driver.setCaptureDirectory(dir.path());
    Views views;
    Received received;
    received.install();
    OverlayApp app;
    ASSERT_TRUE(driver.launch(app));
    EXPECT_EQ(driver.runFrames(30), 30);

    // Only the tap beside the views reached the engine.
    EXPECT_EQ(received.phases,
              (std::vector<EAGLView::TouchPhase>{EAGLView::TouchPhase::Began, EAGLView::TouchPhase::Ended}));
    EXPECT_EQ(views.taps, 1);

    std::string bytes = testsupport::readFile(dir.path() / "shot.png");
    auto shot = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(shot);
    auto rgb = [&](int x, int y) {
        const uint8_t* p = shot->pixels.data() + (size_t(y) * shot->width + x) * 4;
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(rgb(200, 1100), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(550, 40), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(rgb(200, 400), (std::vector<int>{0, 255, 0}));

    // Nothing changed between frames: the layers were drawn and uploaded once.
    auto view = EAGLView::sharedEGLView();
    ASSERT_TRUE(view && view->compositor());
    const auto before = view->compositor()->stats();
    driver.runFrames(10);
    EXPECT_EQ(view->compositor()->stats().uploads, before.uploads);
    EXPECT_EQ(view->compositor()->stats().redraws, before.redraws);
}

TEST(ViewOverlay, WindowClicksReachTheButtonOrTheGame) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    auto driver = KTWindowDriver::create(0.5);
    ASSERT_TRUE(driver);
    driver->setLifecycle(KTWindowDriver::Lifecycle{});
    ASSERT_TRUE(driver->window().waitUntilVisible());
    Views views;
    Received received;
    received.install();
    OverlayApp app;
    ASSERT_TRUE(driver->launch(app));
    auto runUntil = [](auto done) {
        for (int i = 0; i < 2000 && !done(); ++i) plat::RunLoop::main().runOnce(0.01);
        return done();
    };
    // Window pixels at scale 0.5 are points.
    const std::string window = std::to_string(driver->window().xWindow());
    // Beside the views: the game's. Frames keep being drawn between the clicks.
    ASSERT_EQ(std::system(("xdotool mousemove --window " + window + " 100 300 click 1").c_str()), 0);
    ASSERT_TRUE(runUntil([&] { return received.phases.size() >= 2; }));
    // On the button: touch-up-inside, and the game sees nothing more.
    ASSERT_EQ(std::system(("xdotool mousemove --window " + window + " 275 20 click 1").c_str()), 0);
    ASSERT_TRUE(runUntil([&] { return views.taps == 1; }));
    for (int i = 0; i < 10; ++i) plat::RunLoop::main().runOnce(0.01);
    EXPECT_EQ(received.phases.size(), 2u);
    EXPECT_EQ(views.taps, 1);
    KTDirector::sharedDirector()->stopAnimation();
}
