// A relaunch right after a level-up: the new level starts with an empty gauge, on screen and in the
// store, although the gauge stayed full through the evolution that the quit cut short.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/base/Value.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using e2e::Potemaru;

namespace {

constexpr int64_t kStart = 1767225600;

std::vector<std::string> headless(const fs::path& home) {
    return {"--headless", "--home", home.string(), "--audio", "null", "--seed", "1"};
}

// Points needed for level 2 (column 9 of the second row) in the game's own table: the header and each
// row end at a "z".
int pointsForLevelTwo() {
    const std::string csv = testsupport::readFile(testsupport::sourceDir() / "assets" / "chara.csv");
    size_t at = csv.find('z');
    for (int row = 1; row < 2 && at != std::string::npos; ++row) at = csv.find('z', at + 1);
    if (at == std::string::npos) return 0;
    size_t field = at + 1;
    for (int column = 0; column < 9 && field != std::string::npos; ++column) field = csv.find(',', field) + 1;
    return std::atoi(csv.c_str() + field);
}

// Taps sweeping the field on a grid, one every 40 frames, over and over: every character is hit
// sooner or later, first knocked down, then absorbed.
std::string sweepingTaps(int firstFrame, int lastFrame) {
    std::string text;
    int frame = firstFrame;
    for (int pass = 0; frame < lastFrame; ++pass)
        for (int y = 160; y <= 420 && frame < lastFrame; y += 52)
            for (int x = 40; x <= 280 && frame < lastFrame; x += 48, frame += 40) {
                // Design points (origin bottom left) as window pixels (origin top left).
                const int px = x * 2 + (pass % 2) * 24, py = (568 - y) * 2;
                const std::string at = " " + std::to_string(px) + " " + std::to_string(py) + "\n";
                text += std::to_string(frame) + " touch down" + at;
                text += std::to_string(frame + 2) + " touch up" + at;
            }
    return text;
}

}  // namespace

TEST(PotemaruLevelUp, ARelaunchRightAfterALevelUpShowsAnEmptyGauge) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    const int need = pointsForLevelTwo();
    ASSERT_GT(need, 5);
    // Ten characters on the field and one absorb short of level 2.
    e2e::writeSettings(home, {{"firstgame", plat::Value(false)},
                              {"saveTime", plat::Value(kStart)},
                              {"objectcount", plat::Value(10)},
                              {"mypoints", plat::Value(need - 5)},
                              {"ShimerikeGageLevel", plat::Value(90.0)}});
    const fs::path script = dir.path() / "sweep.txt";
    testsupport::writeFile(script, sweepingTaps(140, 100000));
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", script.string(), "--frames", "100000"});
    ASSERT_TRUE(run.start(args));
    bool levelledUp = false;
    for (int i = 0; i < 6000 && !levelledUp && run.running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        levelledUp = e2e::settings(home)["myobjectlevel"].toInt64() == 2;
    }
    ASSERT_TRUE(levelledUp) << run.err();
    ASSERT_TRUE(run.signal(SIGTERM));
    run.wait();
    EXPECT_EQ(e2e::settings(home)["ShimerikeGageLevel"].toDouble(), 0.0);

    // The relaunch, and a start from a store that holds level 2 with nothing gathered yet: the heads-up
    // display (gauge, points still needed) looks the same.
    Potemaru relaunch(dir.path());
    auto relaunchArgs = headless(home);
    relaunchArgs.insert(relaunchArgs.end(), {"--frames", "130", "--capture", (dir.path() / "after").string(),
                                             "--capture-every", "130"});
    ASSERT_EQ(relaunch.run(relaunchArgs), 0) << relaunch.err();
    EXPECT_EQ(e2e::settings(home)["ShimerikeGageLevel"].toDouble(), 0.0);

    const fs::path fresh = dir.path() / "fresh";
    e2e::writeSettings(fresh, {{"firstgame", plat::Value(false)},
                               {"saveTime", plat::Value(kStart)},
                               {"myobjectlevel", plat::Value(2)},
                               {"objectspriteandsound", plat::Value(2)},
                               {"backspriteid", plat::Value(2)},
                               {"soundid", plat::Value(2)},
                               {"ShimerikeGageLevel", plat::Value(0.0)}});
    Potemaru empty(dir.path());
    auto emptyArgs = headless(fresh);
    emptyArgs.insert(emptyArgs.end(), {"--frames", "130", "--capture", (dir.path() / "empty").string(),
                                       "--capture-every", "130"});
    ASSERT_EQ(empty.run(emptyArgs), 0) << empty.err();
    auto after = e2e::readPng(dir.path() / "after" / "frame000130.png");
    auto expected = e2e::readPng(dir.path() / "empty" / "frame000130.png");
    ASSERT_TRUE(after && expected);
    // The top 100 points hold the gauge and the labels.
    EXPECT_TRUE(e2e::sameRows(*after, *expected, 0, 200));
}
