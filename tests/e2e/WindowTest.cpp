// The potemaru program in a real X11 window on a private Xvfb server: a click on the share button
// reaches the game, which saves a screenshot and asks the app shell for the share sheet.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <cstdio>

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
uint64_t screenSum(int x, int y, int half) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 0;
    uint64_t sum = 0;
    if (XImage* image = XGetImage(display, DefaultRootWindow(display), x - half, y - half, 2 * half, 2 * half,
                                  AllPlanes, ZPixmap)) {
        for (int j = 0; j < 2 * half; ++j)
            for (int i = 0; i < 2 * half; ++i) sum = sum * 31 + (XGetPixel(image, i, j) & 0xFFFFFF);
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return sum;
}

}  // namespace

TEST(PotemaruWindow, AClickOnTheShareButtonReachesTheGame) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());

    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    e2e::Potemaru run(dir.path());
    ASSERT_TRUE(run.start({"--home", home.string(), "--audio", "null", "--seed", "1", "--frames", "100000",
                           "--scale", "1"}));
    // The play field is up once it has asked for the banner (after the two splash seconds).
    ASSERT_TRUE(
        waitFor([&] { return run.out().find("banner ad:") != std::string::npos || !run.running(); }, 120))
        << run.err();
    ASSERT_TRUE(run.running()) << run.err();

    // The share button's middle: (32, 486) points from the top left, two window pixels per point.
    const std::string click =
        "xdotool search --sync --name '^potemaru$' mousemove --window %1 64 972 click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    EXPECT_TRUE(waitFor([&] { return run.out().find("share (twitter):") != std::string::npos; }, 60))
        << run.out() << run.err();
    EXPECT_TRUE(fs::exists(home / "Documents" / "screenshot0.jpg"));
    EXPECT_TRUE(fs::exists(home / "Documents" / "ShareRequests" / "share-0001.plist"));

    run.kill9();
}

// Fullscreen by F11 under a window manager on a 1920 x 1080 screen: the picture stands between bars, and a
// tap on the drawn sound button switches the music off; after the close the
// window's last size and fullscreen are kept for the next run, outside the game's home.
TEST(PotemaruWindow, InFullscreenATapOnTheSoundButtonSwitchesTheMusicOff) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool") || !testsupport::onPath("openbox"))
        GTEST_SKIP() << "Xvfb, xdotool or openbox is not installed";
    testsupport::XServer server;
    server.setScreenSize(1920, 1080);
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(server.startWindowManager());
    testsupport::TempDir dir;
    const fs::path state = dir.path() / "state", wav = dir.path() / "mix.wav";
    const testsupport::EnvScope env{{"XDG_STATE_HOME", state.c_str()}};
    e2e::Potemaru run(dir.path());
    ASSERT_TRUE(run.start({"--home", (dir.path() / "home").string(), "--audio", "wave:" + wav.string(), "--seed",
                           "1", "--frames", "100000"}));
    ASSERT_TRUE(
        waitFor([&] { return run.out().find("banner ad:") != std::string::npos || !run.running(); }, 120))
        << run.err();
    ASSERT_TRUE(run.running()) << run.err();

    ASSERT_EQ(std::system("xdotool search --sync --name '^potemaru$' key --window %1 F11"), 0);
    auto geometry = [] {
        FILE* out = popen("xdotool search --name '^potemaru$' getwindowgeometry 2>/dev/null", "r");
        std::string text;
        char buffer[256];
        while (out && std::fgets(buffer, sizeof buffer, out)) text += buffer;
        if (out) pclose(out);
        return text;
    };
    ASSERT_TRUE(waitFor([&] { return geometry().find("1920x1080") != std::string::npos; }, 30)) << geometry();
    // The picture is 608 x 1080 from x = 656; the sound button's middle, (590, 70) of the picture's 640 x
    // 1136 pixels, is at (1217, 67) of the screen.
    const std::string tap = "xdotool search --name '^potemaru$' mousemove --window %1 ";
    const uint64_t on = screenSum(1217, 67, 12);
    ASSERT_EQ(std::system((tap + "1217 67 click 1").c_str()), 0);
    // The button is drawn off once the tap is taken.
    ASSERT_TRUE(waitFor([&] { return screenSum(1217, 67, 12) != on; }, 60));
    ASSERT_TRUE(e2e::closeWindow("potemaru"));
    EXPECT_EQ(run.wait(), 0) << run.err();

    auto samples = e2e::wavSamples(wav);
    ASSERT_GT(samples.size(), 44100u) << "the mix was not written";
    EXPECT_GT(e2e::peak(samples, 0, samples.size()), 1000);
    const size_t tail = 44100 / 5 * 2;
    EXPECT_LT(e2e::peak(samples, samples.size() - tail, samples.size()), 64);
    const std::string kept = testsupport::readFile(state / "potemaru" / "window");
    EXPECT_NE(kept.find("fullscreen 1"), std::string::npos) << kept;
}
