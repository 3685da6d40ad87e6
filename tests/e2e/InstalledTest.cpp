// Where the potemaru program finds its assets: a copy in another folder, with /proc hidden, or none anywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Whether the game run through `launcher` draws the frame that the build's own program draws.
bool drawsTheField(const fs::path& dir, const std::vector<std::string>& launcher) {
    std::optional<plat::DecodedImage> frames[2];
    for (int i = 0; i < 2; ++i) {
        const fs::path run = dir / ("run" + std::to_string(i));
        e2e::Potemaru game(dir);
        if (!game.start({"--headless", "--home", (run / "home").string(), "--audio", "null", "--seed", "1",
                         "--frames", "150", "--capture", run.string(), "--capture-every", "150"},
                        i == 0 ? launcher : std::vector<std::string>{}))
            return false;
        EXPECT_EQ(game.wait(), 0) << game.err();
        frames[i] = e2e::readPng(run / "frame000150.png");
    }
    return frames[0] && frames[1] && e2e::sameRows(*frames[0], *frames[1], 0, frames[1]->height);
}

// The game as a player who copied it (cp /usr/games/potemaru ~/bin/) starts it: <dir>/bin/potemaru, with
// XDG_DATA_HOME <dir>/a, the XDG_DATA_DIRS given, and EGL saying what it does.
std::vector<std::string> copiedTo(const fs::path& dir, const fs::path& dataDirs) {
    fs::create_directories(dir / "bin");
    fs::copy_file(testsupport::programPath("potemaru"), dir / "bin/potemaru");
    return {"/bin/sh", "-c",
            "XDG_DATA_HOME='" + (dir / "a").string() + "' XDG_DATA_DIRS='" + dataDirs.string() +
                "' EGL_LOG_LEVEL=debug exec '" + (dir / "bin/potemaru").string() + "' \"$@\""};
}

}  // namespace

// It plays with the assets installed in an XDG data folder, past a folder there without them.
TEST(PotemaruInstalled, ACopyElsewherePlaysWithTheAssetsOfAnXdgDataFolder) {
    testsupport::TempDir dir;
    fs::create_directories(dir.path() / "a/games/potemaru/assets");
    fs::create_directories(dir.path() / "prefix/share/games/potemaru");
    fs::create_directory_symlink(testsupport::sourceDir() / "assets",
                                 dir.path() / "prefix/share/games/potemaru/assets");
    EXPECT_TRUE(drawsTheField(dir.path(), copiedTo(dir.path(), dir.path() / "prefix/share")));
}

// With none anywhere it names every folder it looked in on one line and exits 1, before it starts the
// graphics (whose debug lines would follow) or opens a window.
TEST(PotemaruInstalled, WithNoAssetsFoundItSaysWhereItLookedInOneLineAndExitsOneBeforeAnyWindow) {
    testsupport::TempDir dir;
    e2e::Potemaru game(dir.path());
    ASSERT_TRUE(game.start({"--headless", "--home", (dir.path() / "home").string(), "--audio", "null"},
                           copiedTo(dir.path(), dir.path() / "b")));
    EXPECT_EQ(game.wait(), 1);
    EXPECT_EQ(game.err(), "potemaru: the game's assets are missing: looked for chara.csv in " +
                              (dir.path() / "share/games/potemaru/assets").string() + ", " +
                              (dir.path() / "a/games/potemaru/assets").string() + ", " +
                              (dir.path() / "b/games/potemaru/assets").string() +
                              " (--resources DIR names another folder)\n");
}

// Its --help names the folders it looks in, in order, as it finds them from its own place and the
// environment.
TEST(PotemaruInstalled, HelpNamesTheFoldersTheAssetsAreLookedFor) {
    testsupport::TempDir dir;
    e2e::Potemaru game(dir.path());
    ASSERT_TRUE(game.start({"--help"}, copiedTo(dir.path(), dir.path() / "b")));
    EXPECT_EQ(game.wait(), 0);
    const std::string folders = "  " + (dir.path() / "share/games/potemaru/assets").string() + "\n  " +
                                (dir.path() / "a/games/potemaru/assets").string() + "\n  " +
                                (dir.path() / "b/games/potemaru/assets").string() + "\n";
    EXPECT_TRUE(game.out().ends_with(":\n" + folders)) << game.out();
}

// With /proc hidden (a sandbox), the build's own program still finds the checkout's assets, and a relaunch
// starts it again from the path it found at its start (it used to try /proc/self/exe alone, and end with
// "could not start again for the relaunch").
TEST(PotemaruInstalled, WithProcHiddenTheGameStillFindsItsAssetsAndRelaunches) {
#ifdef POTEMARU_ASAN
    GTEST_SKIP() << "the address sanitizer's runtime needs /proc";
#endif
    const std::string hide = "mount -t tmpfs none /proc";
    if (testsupport::runProgram("/usr/bin/unshare",
                                {"-rm", "sh", "-c", hide + " && test ! -e /proc/self/exe"}) != 0)
        GTEST_SKIP() << "no mount namespace can be made here to hide /proc";
    testsupport::TempDir dir;
    const std::vector<std::string> hidden = {"/usr/bin/unshare", "-rm", "sh", "-c",
                                             hide + " && exec \"$0\" \"$@\""};
    EXPECT_TRUE(drawsTheField(dir.path(), hidden));
    testsupport::writeFile(dir.path() / "relaunch.txt", "30 relaunch\n");
    e2e::Potemaru game(dir.path());
    ASSERT_TRUE(game.start({"--headless", "--home", (dir.path() / "home").string(), "--audio", "null",
                            "--script", (dir.path() / "relaunch.txt").string(), "--frames", "60"},
                           hidden));
    EXPECT_EQ(game.wait(), 0) << game.err();
}
