// A relaunch inside the splash, before the play field has read the stored timers: the new program goes
// on from them rather than from the zeros the splash holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/base/Value.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A home whose earlier play left at `saveTime` with the game timer at 100.5 and spawn timer i at 10 + i.
void storeTimers(const fs::path& home, int64_t saveTime) {
    e2e::writeSettings(home, {{"firstgame", plat::Value(false)},
                              {"saveTime", plat::Value(saveTime)},
                              {"gametimer", plat::Value(100.5)}});
    for (int i = 0; i < 10; ++i)
        e2e::setSetting(home, "objectcreatetimerget" + std::to_string(i), plat::Value(10.0 + i));
}

// How far the game timer went on from its stored value; every spawn timer went on by as much.
double timersWentOnBy(const plat::Value& store) {
    const double onFrom = store["gametimer"].toDouble() - 100.5;
    for (int i = 0; i < 10; ++i)
        EXPECT_NEAR(store["objectcreatetimerget" + std::to_string(i)].toDouble() - (10.0 + i), onFrom, 0.01)
            << i;
    return onFrom;
}

}  // namespace

TEST(PotemaruSplash, ARelaunchInsideTheSplashGoesOnFromTheStoredTimers) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home", script = dir.path() / "relaunch.txt";
    // Stored when the earlier play left, at the wall clock's start.
    storeTimers(home, int64_t{1767225600});
    testsupport::writeFile(script, "60 relaunch\n");
    e2e::Potemaru run(dir.path());
    ASSERT_EQ(run.run({"--headless", "--home", home.string(), "--audio", "null", "--frames", "200",
                       "--script", script.string()}),
              0)
        << run.err();

    // The new program counted the second since the earlier play left (its own splash not), then played a
    // few frames: every timer went on from its stored value by the same amount.
    const double onFrom = timersWentOnBy(e2e::settings(home));
    EXPECT_GT(onFrom, 1.0);
    EXPECT_LT(onFrom, 2.0);
}

TEST(PotemaruSplash, ASaveTimeAfterTheClocksNowSetsNoTimerBack) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    // Stored 30 days after the headless clock's start, as by a window run on the wall clock.
    storeTimers(home, int64_t{1767225600} + 30 * 86400);
    e2e::Potemaru run(dir.path());
    ASSERT_EQ(run.run({"--headless", "--home", home.string(), "--audio", "null", "--frames", "300"}), 0)
        << run.err();

    const plat::Value store = e2e::settings(home);
    EXPECT_EQ(store["passagetime"].toInt64(), 0);
    const double onFrom = timersWentOnBy(store);
    EXPECT_GE(onFrom, 0.0);
    EXPECT_LT(onFrom, 5.0);
}
