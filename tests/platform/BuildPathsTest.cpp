// The paths the build writes down for the code (headers made at configure time) are this checkout's and
// this build's, character for character, whatever the folders' names hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/storage/Bundle.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A value of the build's CMake cache (a line "NAME:TYPE=value").
std::string cacheValue(const std::string& name) {
    std::ifstream cache(testsupport::buildDir() / "CMakeCache.txt");
    for (std::string line; std::getline(cache, line);) {
        const auto colon = line.find(':'), equals = line.find('=');
        if (line.compare(0, colon, name) == 0 && colon == name.size() && equals != std::string::npos)
            return line.substr(equals + 1);
    }
    return "(not in the cache)";
}

}  // namespace

TEST(BuildPaths, TheSourceAndBuildFoldersAreTheOnesCMakeWasGiven) {
    EXPECT_EQ(testsupport::sourceDir().string(), cacheValue("potemaru_SOURCE_DIR"));
    EXPECT_EQ(testsupport::buildDir().string(), cacheValue("potemaru_BINARY_DIR"));
    EXPECT_TRUE(fs::is_regular_file(testsupport::sourceDir() / "tests" / "platform" / "BuildPathsTest.cpp"));
}

TEST(BuildPaths, ProgramsAreFoundWhereThisOneRuns) {
    std::error_code ec;
    EXPECT_TRUE(fs::equivalent(testsupport::programPath("platform_tests"), "/proc/self/exe", ec))
        << ec.message();
}

TEST(BuildPaths, TheMainBundleFallsBackToTheCheckoutsAssets) {
    EXPECT_EQ(plat::Bundle::defaultResourcePath(), testsupport::sourceDir() / "assets");
}

// A copy of a program out of the build, as installed and moved, takes its own folder beside it
// (<prefix>/share/<program>) and never the checkout's assets, even where the folder is missing.
TEST(BuildPaths, AnInstalledProgramFindsItsResourcesFromItsOwnPlaceAndNeverInTheCheckout) {
    testsupport::TempDir dir;
    const fs::path bin = dir.path() / "moved prefix" / "bin",
                   installed = bin.parent_path() / "share/platform_resource_path";
    testsupport::EnvScope xdg{{"XDG_DATA_HOME", dir.path().c_str()}, {"XDG_DATA_DIRS", dir.path().c_str()}};
    fs::create_directories(bin);
    fs::copy_file(testsupport::programPath("platform_resource_path"), bin / "platform_resource_path");
    const std::string program = (bin / "platform_resource_path").string(),
                      out = (dir.path() / "out").string();

    ASSERT_EQ(testsupport::runProgram(program, {out}), 0);
    EXPECT_EQ(testsupport::readFile(out), installed.string());
    testsupport::writeFile(installed / "chara.csv", "");
    ASSERT_EQ(testsupport::runProgram(program, {out}), 0);
    EXPECT_EQ(testsupport::readFile(out), installed.string());
}

// Two apps of one bin/ each have their own folder, named after their program, and neither takes the game's
// assets, installed beside them or for the user: the one that ships an Info.plist does not lend its identity
// to the other.
TEST(BuildPaths, TwoAppsInOneBinHaveEachTheirOwnFolderNotTheGames) {
    testsupport::TempDir dir;
    const fs::path bin = dir.path() / "app/bin", share = dir.path() / "app/share", data = dir.path() / "xdg";
    testsupport::writeFile(share / "games/potemaru/assets/chara.csv", "");
    testsupport::writeFile(data / "games/potemaru/assets/chara.csv", "");
    testsupport::writeFile(share / "tags/Info.plist", "");
    testsupport::EnvScope xdg{{"XDG_DATA_HOME", data.c_str()}, {"XDG_DATA_DIRS", data.c_str()}};
    fs::create_directories(bin);
    for (const char* app : {"tags", "views"}) {
        fs::copy_file(testsupport::programPath("platform_resource_path"), bin / app);
        const fs::path out = dir.path() / "out";
        ASSERT_EQ(testsupport::runProgram((bin / app).string(), {out.string()}), 0);
        EXPECT_EQ(testsupport::readFile(out), (share / app).string());
    }
}
