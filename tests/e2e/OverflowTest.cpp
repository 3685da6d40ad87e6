// Stored numbers and table values at the ends of the int range, and a wall clock past 2038: the program
// runs them clean (the sanitizer build stops on any signed overflow) and saves sane progress.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "platform/base/Value.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using e2e::Potemaru;

namespace {

// The game's resources with a character table whose every row asks for INT_MIN points.
fs::path resourcesWithIntMinPoints(const fs::path& dir) {
    const fs::path assets = testsupport::sourceDir() / "assets";
    const fs::path out = dir / "resources";
    fs::create_directories(out);
    for (const auto& entry : fs::directory_iterator(assets))
        if (entry.path().filename() != "chara.csv")
            fs::create_symlink(entry.path(), out / entry.path().filename());
    std::string csv = testsupport::readFile(assets / "chara.csv");
    // Column 9 of each row (after the header's "z").
    size_t rowStart = csv.find('z') + 1;
    for (int row = 1; row <= 10; ++row) {
        size_t field = rowStart;
        for (int column = 0; column < 9; ++column) field = csv.find(',', field) + 1;
        const size_t end = csv.find(',', field);
        csv.replace(field, end - field, "-2147483648");
        rowStart = csv.find('z', field) + 1;
    }
    testsupport::writeFile(out / "chara.csv", csv);
    return out;
}

// Taps sweeping the field on a grid, one every 40 frames.
std::string sweepingTaps(int firstFrame, int lastFrame) {
    std::string text;
    int frame = firstFrame;
    for (int pass = 0; frame < lastFrame; ++pass)
        for (int y = 160; y <= 420 && frame < lastFrame; y += 52)
            for (int x = 40; x <= 280 && frame < lastFrame; x += 48, frame += 40) {
                const std::string at = " " + std::to_string(x * 2 + (pass % 2) * 24) + " " +
                                       std::to_string((568 - y) * 2) + "\n";
                text += std::to_string(frame) + " touch down" + at;
                text += std::to_string(frame + 2) + " touch up" + at;
            }
    return text;
}

}  // namespace

TEST(PotemaruOverflow, ExtremeStoredValuesATableOfIntMinAndAJumpPast2038SaveSaneProgress) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    e2e::writeSettings(home, {{"firstgame", plat::Value(false)},
                              {"saveTime", plat::Value(int64_t{INT_MIN})},
                              {"mypoints", plat::Value(int64_t{INT_MAX})},
                              {"lockcount", plat::Value(int64_t{INT_MAX})},
                              {"Complete", plat::Value(int64_t{INT_MAX})},
                              {"backtype", plat::Value(int64_t{INT_MIN})},
                              {"objectcount", plat::Value(10)}});
    const fs::path script = dir.path() / "script.txt";
    testsupport::writeFile(
        script, sweepingTaps(140, 2400) + "600 background\n600 jump 1e9\n601 foreground\n2400 quit\n");
    Potemaru run(dir.path());
    ASSERT_EQ(run.run({"--headless", "--home", home.string(), "--audio", "null", "--seed", "1", "--script",
                       script.string(), "--resources", resourcesWithIntMinPoints(dir.path()).string()}),
              0)
        << run.err();

    const plat::Value store = e2e::settings(home);
    // A billion seconds away (and the second the frame crossed), not a wrapped negative time.
    EXPECT_NEAR(store["passagetime"].toInt64(), 1000000000, 1);
    // Left at frame 2400 (40 s), a billion seconds on from the stored date (one before 1970 counts from
    // 1970): past the 32-bit seconds, kept whole.
    EXPECT_EQ(store["saveTime"].toInt64(), int64_t{1000000000} + 40);
    const int64_t level = store["myobjectlevel"].toInt64();
    EXPECT_GE(level, 2) << "every absorb reaches a table asking for INT_MIN points";
    EXPECT_LE(level, 10);
    EXPECT_GE(store["mypoints"].toInt64(), 0);
    EXPECT_LE(store["mypoints"].toInt64(), 1000000000);
    EXPECT_LE(store["lockcount"].toInt64(), 11);
    EXPECT_LE(store["Complete"].toInt64(), 10);
    EXPECT_GE(store["objectcount"].toInt64(), 0);
    EXPECT_LE(store["objectcount"].toInt64(), 10);
}
