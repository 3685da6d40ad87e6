// The paths the build writes down for the code (headers made at configure time) are this checkout's and
// this build's, character for character, whatever the folders' names hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
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

// The XDG data folders of a run: an empty personal one under `dir`, and `dirs` alone for the system's.
std::map<std::string, std::string> noDataFoldersBut(const fs::path& dir, const std::string& dirs) {
    return {{"XDG_DATA_HOME", (dir / "data-home").string()},
            {"XDG_DATA_DIRS", dirs.empty() ? (dir / "no-data").string() : dirs}};
}

// A folder of assets as a program finds them: with the game's table of forms.
void holdAssets(const fs::path& folder) {
    fs::create_directories(folder);
    testsupport::writeFile(folder / "chara.csv", "1\n");
}

// A shell command that hides /proc, as a sandbox may, for the command run after it (in unshare -rm).
const std::string kHideProc = "mount -t tmpfs none /proc";

bool canHideProc() {
    return testsupport::runProgram("/usr/bin/unshare",
                                   {"-rm", "sh", "-c", kHideProc + " && test ! -e /proc/self/exe"}) == 0;
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

// A copy of a program out of the build, as installed and moved, takes the assets from its own place
// (<prefix>/bin → <prefix>/share/games/potemaru/assets) and never the checkout's, even where they are
// missing.
TEST(BuildPaths, AnInstalledProgramFindsItsAssetsFromItsOwnPlaceAndNeverInTheCheckout) {
    testsupport::TempDir dir;
    const fs::path bin = dir.path() / "moved prefix" / "bin",
                   installed = bin.parent_path() / "share/games/potemaru/assets";
    fs::create_directories(bin);
    fs::copy_file(testsupport::programPath("platform_resource_path"), bin / "platform_resource_path");
    const std::string program = (bin / "platform_resource_path").string(),
                      out = (dir.path() / "out").string();
    const auto env = noDataFoldersBut(dir.path(), "");

    ASSERT_EQ(testsupport::runProgram(program, {out}, env), 0);
    EXPECT_EQ(testsupport::readFile(out), installed.string());
    holdAssets(installed);
    ASSERT_EQ(testsupport::runProgram(program, {out}, env), 0);
    EXPECT_EQ(testsupport::readFile(out), installed.string());
}

// A copy of the program in another folder (~/bin) finds the assets installed elsewhere where Linux programs
// look for data; a folder of that name without the assets' files is passed over.
TEST(BuildPaths, ACopyOfAProgramElsewhereFindsTheAssetsInTheXdgDataFolders) {
    testsupport::TempDir dir;
    const fs::path bin = dir.path() / "bin", share = dir.path() / "prefix/share";
    fs::create_directories(bin);
    fs::copy_file(testsupport::programPath("platform_resource_path"), bin / "platform_resource_path");
    fs::create_directories(dir.path() / "data-home/games/potemaru/assets");
    holdAssets(share / "games/potemaru/assets");
    const std::string out = (dir.path() / "out").string();

    ASSERT_EQ(testsupport::runProgram((bin / "platform_resource_path").string(), {out},
                                      noDataFoldersBut(dir.path(), share.string())),
              0);
    EXPECT_EQ(testsupport::readFile(out), (share / "games/potemaru/assets").string());
}

// Where /proc is hidden (a sandbox), a program still knows its own place from the name it was started by.
TEST(BuildPaths, WithProcHiddenAProgramStillFindsTheAssetsBesideIt) {
    if (!canHideProc()) GTEST_SKIP() << "no mount namespace can be made here to hide /proc";
    testsupport::TempDir dir;
    const fs::path bin = dir.path() / "prefix/bin",
                   installed = dir.path() / "prefix/share/games/potemaru/assets";
    fs::create_directories(bin);
    fs::copy_file(testsupport::programPath("platform_resource_path"), bin / "platform_resource_path");
    holdAssets(installed);
    const std::string out = (dir.path() / "out").string();

    // Started by a name relative to the folder it was started in.
    ASSERT_EQ(
        testsupport::runProgram(
            "/usr/bin/unshare",
            {"-rm", "sh", "-c", kHideProc + " && cd \"$0\" && exec prefix/bin/platform_resource_path \"$1\"",
             dir.path().string(), out},
            noDataFoldersBut(dir.path(), "")),
        0);
    EXPECT_EQ(testsupport::readFile(out), installed.string());
}
