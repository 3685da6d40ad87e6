// The window binding against a real X server: a private Xvfb display, real clicks through xdotool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "kite/core/KTDirector.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTDisplayLink.h"
#include "kite/platform/linux/KTWindowDriver.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/X11Window.h"
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

unsigned long windowPixel(const plat::X11Window& window, int x, int y) {
    XImage* image =
        XGetImage(static_cast<Display*>(window.xDisplay()), window.xWindow(), x, y, 1, 1, AllPlanes, ZPixmap);
    const unsigned long pixel = image ? XGetPixel(image, 0, 0) & 0xFFFFFF : ~0ul;
    if (image) XDestroyImage(image);
    return pixel;
}

}  // namespace

// Under a window manager, after a resize, a maximise and F11's fullscreen, the picture keeps its shape
// between black bars, a click on its middle is a touch at the view's middle, and a click in a bar is no
// touch: clicks used to be scaled by the size the window opened at, and the picture stretched over it all.
TEST(KTWindowDriver, ThePictureAndTouchesFollowTheWindowsSize) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool") || !testsupport::onPath("wmctrl"))
        GTEST_SKIP() << "Xvfb, xdotool or wmctrl is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start({"-screen", "0", "1920x1080x24"}) && server.startWindowManager());
    plat::X11WindowOptions options;
    options.fitToScreen = true;
    auto driver = KTWindowDriver::create(options);
    ASSERT_TRUE(driver);
    driver->setLifecycle({});
    plat::X11Window& window = driver->window();
    ASSERT_TRUE(window.waitUntilVisible());
    std::vector<std::pair<float, float>> touches;  // where each began, in the view's pixels
    EAGLView::setTouchReceiver(
        [&](EAGLView::TouchPhase phase, int, const intptr_t*, const float* xs, const float* ys) {
            if (phase == EAGLView::TouchPhase::Began) touches.push_back({xs[0], ys[0]});
        });
    WindowApp app;
    ASSERT_TRUE(driver->launch(app));
    const std::string id = std::to_string(window.xWindow());
    auto run = [&](const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; };

    auto check = [&](const char* state, const std::function<bool()>& reached) {
        SCOPED_TRACE(state);
        const int drawn = app.node->draws;
        ASSERT_TRUE(runUntil([&] { return reached() && app.node->draws >= drawn + 3; }));
        const plat::X11Rect p = window.pictureRect();
        const bool sideBars = p.width < window.pixelWidth();
        ASSERT_TRUE(sideBars || p.height < window.pixelHeight());
        const int cx = p.x + p.width / 2, cy = p.y + p.height / 2;
        const int barX = sideBars ? p.x / 2 : cx, barY = sideBars ? cy : p.y / 2;
        // The green middle half of the picture ends a quarter in from its edge. A configure the manager
        // makes clears the window until the next frame is put in it.
        const int ex = sideBars ? p.x + p.width * 3 / 4 : cx, ey = sideBars ? cy : p.y + p.height * 3 / 4;
        EXPECT_TRUE(
            runUntil([&] { return windowPixel(window, ex - 6 * sideBars, ey - 6 * !sideBars) == 0xFF00u; }));
        EXPECT_EQ(windowPixel(window, ex + 6 * sideBars, ey + 6 * !sideBars), 0u);
        EXPECT_EQ(windowPixel(window, barX, barY), 0u);
        // A click in the bar, then one on the middle (320, 568): only the second is a touch.
        touches.clear();
        for (auto [x, y] : {std::pair{barX, barY}, std::pair{cx, cy}})
            run("xdotool mousemove --window " + id + " " + std::to_string(x) + " " + std::to_string(y) +
                " click 1");
        ASSERT_TRUE(runUntil([&] { return !touches.empty(); }));
        EXPECT_NEAR(touches[0].first, 320, 2.5);
        EXPECT_NEAR(touches[0].second, 568, 2.5);
    };
    run("xdotool windowsize " + id + " 400 1000");
    check("resized", [&] { return window.pixelWidth() == 400 && window.pixelHeight() == 1000; });
    run("wmctrl -i -r " + id + " -b add,maximized_vert,maximized_horz");
    check("maximised", [&] { return window.pixelWidth() > 1800; });
    run("xdotool key --window " + id + " F11");
    check("fullscreen", [&] { return window.isFullscreen() && window.pixelHeight() == 1080; });
    run("xdotool key --window " + id + " Escape");
    EXPECT_TRUE(runUntil([&] { return !window.isFullscreen() && window.pixelHeight() < 1080; }));
    EAGLView::setTouchReceiver(nullptr);
    KTDirector::sharedDirector()->stopAnimation();
}

namespace {

// Four items of a CARDINAL property: a frame's extents or the first desktop's work area.
plat::X11Rect four(Display* display, Window window, const char* name) {
    long v[4] = {0, 0, 0, 0};
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 4, False, AnyPropertyType,
                       &type, &format, &count, &after, &data);
    for (unsigned long i = 0; data && i < count && i < 4; ++i) v[i] = reinterpret_cast<long*>(data)[i];
    if (data) XFree(data);
    return {int(v[0]), int(v[1]), int(v[2]), int(v[3])};
}

// Whether the window, frame and all, lies inside the manager's work area; `filled` its height to within a
// frame guessed for a manager slow to answer.
::testing::AssertionResult inWorkArea(const plat::X11Window& window, bool filled) {
    auto* display = static_cast<Display*>(window.xDisplay());
    const Window root = DefaultRootWindow(display);
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(display, window.xWindow(), root, 0, 0, &x, &y, &child);
    const plat::X11Rect e = four(display, window.xWindow(), "_NET_FRAME_EXTENTS");  // left right top bottom
    const plat::X11Rect work = four(display, root, "_NET_WORKAREA");
    const int left = x - e.x, top = y - e.width, right = x + window.pixelWidth() + e.y,
              bottom = y + window.pixelHeight() + e.height;
    const bool in = left >= work.x && top >= work.y && right <= work.x + work.width &&
                    bottom <= work.y + work.height && (!filled || bottom - top >= work.height - 48);
    return (in ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
           << left << "," << top << " to " << right << "," << bottom << " in a work area of " << work.width
           << "x" << work.height;
}

// The window's start on Xvfb screens of a desktop's sizes, framed by a real window manager.
class X11WindowFit : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xprop")) GTEST_SKIP() << "no Xvfb or xprop";
    }
    // A window on a new screen of that size under the window manager.
    std::unique_ptr<plat::X11Window> open(int width, int height, const plat::X11WindowOptions& options) {
        server = std::make_unique<testsupport::XServer>();
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        if (!server->start({"-screen", "0", screen}) || !server->startWindowManager()) return nullptr;
        auto window = plat::X11Window::create(options);
        return window && window->waitUntilVisible() ? std::move(window) : nullptr;
    }
    std::unique_ptr<testsupport::XServer> server;
};

}  // namespace

// The fitted window lies inside the work area and fills its height: on a big screen it is larger than the
// picture's own size, where it used to open at a quarter of the screen, or past its edge on a small one.
TEST_F(X11WindowFit, TheFittedWindowLiesInsideTheWorkAreaAtEachScreenSize) {
    plat::X11WindowOptions options;
    options.fitToScreen = true;
    for (auto [w, h] : {std::pair{1366, 768}, std::pair{1920, 1080}, std::pair{3840, 2160}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        auto window = open(w, h, options);
        ASSERT_TRUE(window);
        EXPECT_TRUE(inWorkArea(*window, true));
        EXPECT_NEAR(double(window->pixelWidth()) / window->pixelHeight(), 640.0 / 1136, 0.005);
        EXPECT_TRUE(w < 3840 || window->pixelWidth() > 640) << window->pixelWidth();
    }
}

// A kept size opens as it was where it fits and is fitted again where not.
TEST_F(X11WindowFit, AKeptSizeIsUsedWhereItFitsAndFittedAgainWhereNot) {
    plat::X11WindowOptions options;
    options.fitToScreen = true;
    options.keptWidth = 500;
    options.keptHeight = 900;
    auto window = open(1920, 1080, options);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->pixelWidth(), 500);
    EXPECT_EQ(window->pixelHeight(), 900);
    EXPECT_TRUE(inWorkArea(*window, false));
    window.reset();
    window = open(1366, 768, options);
    ASSERT_TRUE(window);
    EXPECT_TRUE(inWorkArea(*window, true));
}
