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

}  // namespace

TEST(PotemaruWindow, AClickOnTheShareButtonReachesTheGame) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());

    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    e2e::Potemaru run(dir.path());
    ASSERT_TRUE(run.start({"--home", home.string(), "--audio", "null", "--seed", "1", "--frames", "100000"}));
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
