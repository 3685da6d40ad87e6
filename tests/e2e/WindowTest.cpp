// The potemaru program in a real X11 window on a private Xvfb server, launched as a desktop launches it: a
// click on the share button reaches the game, which saves a screenshot and asks for the share sheet; the
// window is the menu entry's and ends the startup sequence, whose id nothing the game starts inherits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

// Last: Xlib defines macros (None, Bool) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace fs = std::filesystem;

namespace {

bool waitFor(const std::function<bool()>& done, int seconds) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < limit) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// The screen's pixels in a square around (x, y), as one number that changes when they do.
uint64_t screenSum(int x, int y) {
    Display* display = XOpenDisplay(nullptr);
    XImage* image =
        display ? XGetImage(display, DefaultRootWindow(display), x - 12, y - 12, 24, 24, AllPlanes, ZPixmap)
                : nullptr;
    uint64_t sum = 0;
    for (int i = 0; image && i < 24 * 24; ++i) sum = sum * 31 + (XGetPixel(image, i % 24, i / 24) & 0xFFFFFF);
    if (image) XDestroyImage(image);
    if (display) XCloseDisplay(display);
    return sum;
}

}  // namespace

TEST(PotemaruWindow, AClickReachesTheGameInAWindowTheDesktopKnows) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool") || !testsupport::onPath("xprop"))
        GTEST_SKIP() << "Xvfb, xdotool or xprop is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());

    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);  // where startup messages go
    XSync(display, False);
    // The "browser" writes down the environment it was started with.
    const fs::path bin = dir.path() / "bin", opened = dir.path() / "opened";
    fs::create_directories(bin);
    testsupport::writeFile(bin / "xdg-open",
                           "#!/bin/sh\nenv >\"$0.env\" && mv \"$0.env\" " + opened.string());
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    e2e::Potemaru run(dir.path());
    ASSERT_TRUE(run.start(
        {"--home", home.string(), "--audio", "null", "--seed", "1", "--frames", "100000", "--scale", "1"},
        {"/usr/bin/env", "DESKTOP_STARTUP_ID=menu_TIME7",
         "PATH=" + bin.string() + ":" + std::getenv("PATH")}));
    // The play field is up once it has asked for the banner (after the two splash seconds).
    ASSERT_TRUE(
        waitFor([&] { return run.out().find("banner ad:") != std::string::npos || !run.running(); }, 120))
        << run.err();
    ASSERT_TRUE(run.running()) << run.err();
    std::string started;
    XSync(display, False);
    for (XEvent e; XPending(display) > 0;) {
        XNextEvent(display, &e);
        if (e.type == ClientMessage && e.xclient.format == 8) started.append(e.xclient.data.b, 20);
    }
    XCloseDisplay(display);
    EXPECT_EQ(started.c_str(), std::string("remove: ID=menu_TIME7"));

    // The share button's middle: (32, 486) points from the top left, two window pixels per point.
    const std::string click = "xdotool search --sync --name '^Potemaru$' mousemove --window %1 ";
    ASSERT_EQ(std::system((click + "64 972 click 1").c_str()), 0);
    EXPECT_TRUE(waitFor([&] { return run.out().find("share (twitter):") != std::string::npos; }, 60))
        << run.out() << run.err();
    EXPECT_TRUE(fs::exists(home / "Documents" / "screenshot0.jpg"));
    EXPECT_TRUE(fs::exists(home / "Documents" / "ShareRequests" / "share-0001.plist"));
    ASSERT_EQ(std::system((click + "172 972 click 1").c_str()), 0);  // the video page's button
    ASSERT_TRUE(waitFor([&] { return fs::exists(opened); }, 60)) << run.err();
    EXPECT_EQ(testsupport::readFile(opened).find("DESKTOP_STARTUP_ID"), std::string::npos);
    const std::string xprop =
        "xprop -name Potemaru WM_CLASS _NET_STARTUP_ID >" + (dir.path() / "xprop").string();
    ASSERT_EQ(std::system(xprop.c_str()), 0);
    EXPECT_EQ(
        testsupport::readFile(dir.path() / "xprop"),
        "WM_CLASS(STRING) = \"potemaru\", \"Potemaru\"\n_NET_STARTUP_ID(UTF8_STRING) = \"menu_TIME7\"\n");

    run.kill9();
}

// Opened fullscreen under a window manager on a 1920 x 1080 screen, a tap on the drawn sound button switches
// the sound off (the button is drawn off: the music stops with it, which real time cannot time in a mix);
// after the close, fullscreen and the fitted size outside it are kept for the next run (the manager's own
// notices of the size it first saw used to pass for that size).
TEST(PotemaruWindow, InFullscreenATapOnTheSoundButtonSwitchesTheSoundOff) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool")) GTEST_SKIP() << "no Xvfb or xdotool";
    testsupport::XServer server;
    ASSERT_TRUE(server.start({"-screen", "0", "1920x1080x24"}) && server.startWindowManager());
    testsupport::TempDir dir;
    const fs::path state = dir.path() / "state";
    const testsupport::EnvScope env{{"XDG_STATE_HOME", state.c_str()}};
    e2e::Potemaru run(dir.path());
    ASSERT_TRUE(run.start({"--home", (dir.path() / "home").string(), "--audio", "null", "--seed", "1",
                           "--frames", "100000", "--fullscreen"}));
    ASSERT_TRUE(
        waitFor([&] { return run.out().find("banner ad:") != std::string::npos || !run.running(); }, 120));
    // The picture fills the screen's height from x = 656, 608 pixels wide: the button's middle, (590, 70) of
    // its 640 x 1136, is at (1217, 67). It is drawn off once the tap is taken.
    ASSERT_TRUE(waitFor([] { return screenSum(1217, 67) != 0; }, 60));  // drawn: no longer black
    const uint64_t on = screenSum(1217, 67);
    ASSERT_EQ(std::system("xdotool search --name '^Potemaru$' mousemove --window %1 1217 67 click 1"), 0);
    ASSERT_TRUE(waitFor([&] { return screenSum(1217, 67) != on; }, 60));
    ASSERT_TRUE(e2e::closeWindow("Potemaru"));
    EXPECT_EQ(run.wait(), 0) << run.err();
    int width = 0, height = 0, fullscreen = 0;
    const std::string kept = testsupport::readFile(state / "potemaru" / "window");
    ASSERT_EQ(std::sscanf(kept.c_str(), "size %d %d\nfullscreen %d", &width, &height, &fullscreen), 3)
        << kept;
    EXPECT_TRUE(height < 1080 && std::abs(width * 1136 - height * 640) < 1136 && fullscreen == 1) << kept;
}
