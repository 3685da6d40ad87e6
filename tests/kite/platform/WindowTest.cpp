// The window binding against a real X server: a private Xvfb display, real clicks through xdotool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kite/core/KTDirector.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTDisplayLink.h"
#include "kite/platform/linux/KTWindowDriver.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/XServer.h"

// Last: Xlib defines macros (None, Bool) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace kite;

namespace {

class PaintNode : public KTNode {
  public:
    static PaintNode* create() {
        auto* node = new PaintNode();
        node->init();
        return ktAutorelease(node);
    }
    void draw() override {
        ++draws;
        glEnable(GL_SCISSOR_TEST);
        glScissor(160, 284, 320, 568);
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(0, 0, 100, 100);
        glClearColor(1, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0, 0, 0, 1);
    }
    int draws = 0;
};

class WindowApp : public KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        KTDirector* director = KTDirector::sharedDirector();
        KTEGLView* glView = KTEGLView::sharedOpenGLView();
        director->setOpenGLView(glView);
        glView->setDesignResolutionSize(320, 568, kResolutionExactFit);
        KTScene* scene = KTScene::create();
        node = PaintNode::create();
        scene->addChild(node);
        director->runWithScene(scene);
        return true;
    }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
    PaintNode* node = nullptr;
};

template <typename Pred>
bool runUntil(Pred done) {
    for (int i = 0; i < 2000 && !done(); ++i) plat::RunLoop::main().runOnce(0.01);
    return done();
}

}  // namespace

TEST(KTWindowDriver, WindowShowsTheFrameAndAClickReachesTheView) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    testsupport::XServer server;
    ASSERT_TRUE(server.start());

    auto driver = KTWindowDriver::create(1.0);
    ASSERT_TRUE(driver);
    KTWindowDriver::Lifecycle quiet;  // focus changes of a bare X server must not pause the test's frames
    driver->setLifecycle(quiet);
    ASSERT_TRUE(driver->window().waitUntilVisible());

    std::vector<std::pair<EAGLView::TouchPhase, std::pair<float, float>>> touches;
    EAGLView::setTouchReceiver(
        [&](EAGLView::TouchPhase phase, int count, const intptr_t*, const float* xs, const float* ys) {
            if (count == 1) touches.push_back({phase, {xs[0], ys[0]}});
        });

    WindowApp app;
    ASSERT_TRUE(driver->launch(app));
    ASSERT_TRUE(runUntil([&] { return app.node->draws >= 5; }));
    // Stop drawing so the window keeps the frame we compare with.
    KTDirector::sharedDirector()->stopAnimation();
    plat::RunLoop::main().runOnce(0.05);

    auto view = EAGLView::sharedEGLView();
    auto frame = view->readPixels();
    ASSERT_EQ(frame.size(), 640u * 1136u * 4u);

    Display* display = static_cast<Display*>(driver->window().xDisplay());
    XImage* image = XGetImage(display, driver->window().xWindow(), 0, 0, 640, 1136, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    int mismatches = 0;
    for (int y = 0; y < 1136; y += 7) {
        for (int x = 0; x < 640; x += 7) {
            unsigned long p = XGetPixel(image, x, y);
            int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            const uint8_t* q = frame.data() + (static_cast<size_t>(y) * 640 + x) * 4;
            if (std::abs(r - q[0]) > 2 || std::abs(g - q[1]) > 2 || std::abs(b - q[2]) > 2) ++mismatches;
        }
    }
    unsigned long middle = XGetPixel(image, 320, 568), corner = XGetPixel(image, 10, 1130);
    XDestroyImage(image);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(middle & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(corner & 0xFFFFFF, 0xFF00FFu);  // GL's bottom-left corner is the window's bottom-left

    std::string click =
        "xdotool mousemove --window " + std::to_string(driver->window().xWindow()) + " 300 500 click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    ASSERT_TRUE(runUntil([&] { return touches.size() >= 2; }));
    EAGLView::setTouchReceiver(nullptr);
    EXPECT_EQ(touches[0].first, EAGLView::TouchPhase::Began);
    EXPECT_EQ(touches[1].first, EAGLView::TouchPhase::Ended);
    EXPECT_FLOAT_EQ(touches[0].second.first, 300);  // window pixels are surface pixels at scale 1
    EXPECT_FLOAT_EQ(touches[0].second.second, 500);
}

// A close read by a lifecycle whose close does nothing is kept, and the loop stops on it all the same.
TEST(KTWindowDriver, AKeptCloseStopsTheMainLoop) {
    if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    auto driver = KTWindowDriver::create(1.0);
    ASSERT_TRUE(driver);
    driver->setLifecycle({});
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = (Window)(uintptr_t)driver->window().nativeWindow();
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", 0);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", 0));
    XSendEvent(display, close.xclient.window, 0, NoEventMask, &close);
    XCloseDisplay(display);
    // Far past the moment the close is read, a busy machine's too.
    bool gaveUp = false;
    const auto limit = plat::RunLoop::main().addTimer(60, [&] {
        gaveUp = true;
        plat::RunLoop::main().stop();
    });
    driver->run();
    plat::RunLoop::main().cancelTimer(limit);
    EXPECT_TRUE(driver->window().closeRequested());
    EXPECT_FALSE(gaveUp);
}

namespace {

// A real click at window pixels through the X server's test extension.
void click(const plat::X11Window& window, int x, int y) {
    const std::string command = "xdotool mousemove --window " + std::to_string(window.xWindow()) + " " +
                                std::to_string(x) + " " + std::to_string(y) + " click 1";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

unsigned long windowPixel(const plat::X11Window& window, int x, int y) {
    Display* display = static_cast<Display*>(window.xDisplay());
    XImage* image = XGetImage(display, window.xWindow(), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
}

void askWindowManager(const plat::X11Window& window, const char* first, const char* second) {
    Display* display = static_cast<Display*>(window.xDisplay());
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window.xWindow();
    request.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    request.xclient.format = 32;
    request.xclient.data.l[0] = 1;
    request.xclient.data.l[1] = static_cast<long>(XInternAtom(display, first, False));
    request.xclient.data.l[2] = static_cast<long>(XInternAtom(display, second, False));
    request.xclient.data.l[3] = 1;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &request);
    XFlush(display);
}

}  // namespace

// Under a window manager, after a resize, a maximise and F11's fullscreen, the picture keeps its shape
// between black bars, a click on its middle is a touch at the view's middle, and a click in a bar is no
// touch: clicks used to be scaled by the size the window opened at, and the picture stretched over it all.
TEST(KTWindowDriver, ThePictureAndTouchesFollowTheWindowsSize) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool") || !testsupport::onPath("openbox"))
        GTEST_SKIP() << "Xvfb, xdotool or openbox is not installed";
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    testsupport::XServer server;
    server.setScreenSize(1920, 1080);
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(server.startWindowManager());
    plat::X11WindowOptions options;
    options.fitToScreen = true;
    auto driver = KTWindowDriver::create(options);
    ASSERT_TRUE(driver);
    driver->setLifecycle({});
    plat::X11Window& window = driver->window();
    ASSERT_TRUE(window.waitUntilVisible());
    std::vector<std::pair<EAGLView::TouchPhase, std::pair<float, float>>> touches;
    EAGLView::setTouchReceiver(
        [&](EAGLView::TouchPhase phase, int count, const intptr_t*, const float* xs, const float* ys) {
            if (count == 1) touches.push_back({phase, {xs[0], ys[0]}});
        });
    WindowApp app;
    ASSERT_TRUE(driver->launch(app));

    auto check = [&](const char* state) {
        SCOPED_TRACE(state);
        const int drawn = app.node->draws;
        ASSERT_TRUE(runUntil([&] { return app.node->draws >= drawn + 3; }));
        const plat::X11Rect picture = window.pictureRect();
        const bool sideBars = picture.width < window.pixelWidth();
        ASSERT_TRUE(sideBars || picture.height < window.pixelHeight());
        const int cx = picture.x + picture.width / 2, cy = picture.y + picture.height / 2;
        const int barX = sideBars ? picture.x / 2 : cx, barY = sideBars ? cy : picture.y / 2;
        EXPECT_EQ(windowPixel(window, cx, cy), 0x00FF00u);
        EXPECT_EQ(windowPixel(window, barX, barY), 0u);
        // A click in the bar, then one on the middle: only the second is a touch.
        touches.clear();
        click(window, barX, barY);
        click(window, cx, cy);
        ASSERT_TRUE(runUntil([&] { return touches.size() >= 2; }));
        for (int i = 0; i < 5; ++i) plat::RunLoop::main().runOnce(0.01);
        ASSERT_EQ(touches.size(), 2u);
        EXPECT_EQ(touches[0].first, EAGLView::TouchPhase::Began);
        // The receiver has the view's pixels: its middle is (320, 568).
        EXPECT_NEAR(touches[0].second.first, 320, 2.5);
        EXPECT_NEAR(touches[0].second.second, 568, 2.5);
    };

    Display* display = static_cast<Display*>(window.xDisplay());
    XResizeWindow(display, window.xWindow(), 400, 1000);
    XFlush(display);
    ASSERT_TRUE(runUntil([&] { return window.pixelWidth() == 400 && window.pixelHeight() == 1000; }));
    check("resized");

    askWindowManager(window, "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ");
    ASSERT_TRUE(runUntil([&] { return window.pixelWidth() > 1800; }));
    check("maximised");

    const std::string key = "xdotool key --window " + std::to_string(window.xWindow()) + " ";
    ASSERT_EQ(std::system((key + "F11").c_str()), 0);
    ASSERT_TRUE(runUntil([&] { return window.isFullscreen() && window.pixelHeight() == 1080; }));
    check("fullscreen");

    // Escape leaves fullscreen.
    ASSERT_EQ(std::system((key + "Escape").c_str()), 0);
    EXPECT_TRUE(runUntil([&] { return !window.isFullscreen() && window.pixelHeight() < 1080; }));
    EAGLView::setTouchReceiver(nullptr);
    KTDirector::sharedDirector()->stopAnimation();
}
