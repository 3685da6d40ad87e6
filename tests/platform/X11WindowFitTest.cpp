// The window's size at its start, on private Xvfb screens of a desktop's sizes with a real window manager
// (openbox) that frames it and says where the work area is.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/X11Window.h"
#include "tests/support/XServer.h"

// Last: Xlib defines macros (None, Bool) that clash with other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

std::vector<long> cardinals(Display* display, Window window, const char* name) {
    std::vector<long> out;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 32)
        out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    if (data) XFree(data);
    return out;
}

struct Placed {
    plat::X11Rect frame;  // the window with the manager's frame, in root coordinates
    plat::X11Rect work;   // the work area the manager gives the screen
    int width = 0, height = 0;
};

// Where the manager has put the window, as the server says it.
Placed placed(const plat::X11Window& window) {
    Display* display = static_cast<Display*>(window.xDisplay());
    const Window root = DefaultRootWindow(display);
    Placed p;
    Window child = 0, groot = 0;
    int x = 0, y = 0, gx = 0, gy = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    XGetGeometry(display, window.xWindow(), &groot, &gx, &gy, &w, &h, &border, &depth);
    XTranslateCoordinates(display, window.xWindow(), root, 0, 0, &x, &y, &child);
    std::vector<long> e = cardinals(display, window.xWindow(), "_NET_FRAME_EXTENTS");
    e.resize(4, 0);
    p.width = int(w);
    p.height = int(h);
    p.frame = {x - int(e[0]), y - int(e[2]), int(w + e[0] + e[1]), int(h + e[2] + e[3])};
    std::vector<long> a = cardinals(display, root, "_NET_WORKAREA");
    a.resize(4, 0);
    p.work = {int(a[0]), int(a[1]), int(a[2]), int(a[3])};
    return p;
}

bool inside(const plat::X11Rect& in, const plat::X11Rect& area) {
    return in.x >= area.x && in.y >= area.y && in.x + in.width <= area.x + area.width &&
           in.y + in.height <= area.y + area.height;
}

std::string text(const plat::X11Rect& r) {
    return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
           std::to_string(r.y);
}

class X11WindowFit : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testsupport::onPath("Xvfb") || !testsupport::onPath("openbox"))
            GTEST_SKIP() << "Xvfb or openbox is not installed";
    }
    // A screen of that size under the window manager, and a window on it.
    std::unique_ptr<plat::X11Window> open(int width, int height, const plat::X11WindowOptions& options) {
        server = std::make_unique<testsupport::XServer>();
        server->setScreenSize(width, height);
        if (!server->start() || !server->startWindowManager()) return nullptr;
        auto window = plat::X11Window::create(options);
        if (window && !window->waitUntilVisible()) return nullptr;
        return window;
    }
    void TearDown() override { server.reset(); }
    std::unique_ptr<testsupport::XServer> server;
};

}  // namespace

// The whole window, frame and all, lies inside the work area and fills its height; on a big screen it is
// larger than the picture's own size, where it used to open at a quarter of the screen or past its edge.
TEST_F(X11WindowFit, TheFittedWindowLiesInsideTheWorkAreaAtEachScreenSize) {
    plat::X11WindowOptions options;
    options.fitToScreen = true;
    for (auto [w, h] : {std::pair{1366, 768}, std::pair{1920, 1080}, std::pair{3840, 2160}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        auto window = open(w, h, options);
        ASSERT_TRUE(window);
        const Placed p = placed(*window);
        EXPECT_TRUE(inside(p.frame, p.work)) << text(p.frame) << " in " << text(p.work);
        // Within what a frame guessed for a manager slow to answer takes.
        EXPECT_GE(p.frame.height, p.work.height - 48) << text(p.frame) << " in " << text(p.work);
        EXPECT_NEAR(double(p.width) / p.height, 640.0 / 1136, 0.005);
        if (w == 3840) {
            EXPECT_GT(p.width, 640);
        }
        window.reset();
    }
}

// A size the last run kept opens as it was where it fits, and is fitted again on a smaller screen.
TEST_F(X11WindowFit, AKeptSizeIsUsedWhereItFitsAndFittedAgainWhereNot) {
    plat::X11WindowOptions options;
    options.fitToScreen = true;
    options.keptWidth = 500;
    options.keptHeight = 900;
    auto window = open(1920, 1080, options);
    ASSERT_TRUE(window);
    Placed p = placed(*window);
    EXPECT_EQ(p.width, 500);
    EXPECT_EQ(p.height, 900);
    EXPECT_TRUE(inside(p.frame, p.work)) << text(p.frame) << " in " << text(p.work);
    window.reset();

    window = open(1366, 768, options);
    ASSERT_TRUE(window);
    p = placed(*window);
    EXPECT_LT(p.height, 768);
    EXPECT_TRUE(inside(p.frame, p.work)) << text(p.frame) << " in " << text(p.work);
    window.reset();

    // Opened fullscreen, it still keeps the size it has outside fullscreen: the manager's own notices of
    // the size it first saw used to pass for it.
    options.fullscreen = true;
    window = open(1920, 1080, options);
    ASSERT_TRUE(window);
    for (int i = 0; i < 6000 && window->pixelHeight() != 1080; ++i) {
        window->processEvents();
        usleep(10000);
    }
    EXPECT_TRUE(window->isFullscreen());
    EXPECT_EQ(window->pixelHeight(), 1080);
    EXPECT_EQ(window->normalWidth(), 500);
    EXPECT_EQ(window->normalHeight(), 900);
}

// A size that --scale names is kept even where it does not fit, and that is said once.
TEST_F(X11WindowFit, AScaledSizeThatDoesNotFitIsSaidOnce) {
    plat::X11WindowOptions options;
    options.scale = 0.8;
    testing::internal::CaptureStderr();
    auto window = open(1366, 768, options);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->normalWidth(), 512);
    const std::string line = "do not fit the screen's free area";
    const size_t first = err.find(line);
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(line, first + 1), std::string::npos) << err;
}
