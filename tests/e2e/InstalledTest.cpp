// Where the potemaru program finds its assets: a copy of it in another folder, run with /proc hidden, or with
// no assets anywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using e2e::Potemaru;

namespace {

std::vector<std::string> headless(const fs::path& home, const fs::path& capture) {
    return {"--headless", "--home",    home.string(),    "--audio",         "null", "--seed", "1", "--frames",
            "150",        "--capture", capture.string(), "--capture-every", "150"};
}

// The game as a player who copied it (cp /usr/games/potemaru ~/bin/) starts it: <dir>/bin/potemaru, with
// the XDG data folders given (each "NAME=value"), and the others' environment.
std::vector<std::string> copiedTo(const fs::path& dir, const std::vector<std::string>& environment) {
    const fs::path copy = dir / "bin/potemaru";
    fs::create_directories(copy.parent_path());
    std::error_code ec;
    fs::create_hard_link(testsupport::programPath("potemaru"), copy, ec);
    if (ec) fs::copy_file(testsupport::programPath("potemaru"), copy);
    std::vector<std::string> launcher{"/usr/bin/env", "COPY=" + copy.string()};
    launcher.insert(launcher.end(), environment.begin(), environment.end());
    launcher.insert(launcher.end(), {"/bin/sh", "-c", "exec \"$COPY\" \"$@\""});
    return launcher;
}

// The frame the build's own program draws with these options, to compare with.
std::optional<plat::DecodedImage> referenceFrame(const fs::path& dir) {
    Potemaru game(dir);
    if (game.run(headless(dir / "reference-home", dir / "reference")) != 0) return std::nullopt;
    return e2e::readPng(dir / "reference/frame000150.png");
}

}  // namespace

// A copy of the installed game in another folder plays with the assets installed where Linux programs look
// for data, as the build's own program plays with the checkout's.
TEST(PotemaruInstalled, ACopyElsewherePlaysWithTheAssetsOfAnXdgDataFolder) {
    testsupport::TempDir dir;
    fs::create_directories(dir.path() / "prefix/share/games/potemaru");
    fs::create_directory_symlink(testsupport::sourceDir() / "assets",
                                 dir.path() / "prefix/share/games/potemaru/assets");
    Potemaru game(dir.path());
    ASSERT_TRUE(
        game.start(headless(dir.path() / "home", dir.path() / "capture"),
                   copiedTo(dir.path(), {"XDG_DATA_HOME=" + (dir.path() / "data-home").string(),
                                         "XDG_DATA_DIRS=" + (dir.path() / "prefix/share").string()})));
    ASSERT_EQ(game.wait(), 0) << game.err();
    EXPECT_EQ(game.err().find("is missing"), std::string::npos) << game.err();
    const auto frame = e2e::readPng(dir.path() / "capture/frame000150.png"),
               reference = referenceFrame(dir.path());
    ASSERT_TRUE(frame && reference);
    EXPECT_TRUE(e2e::sameRows(*frame, *reference, 0, reference->height));
}

// With no assets anywhere, the game names every folder it looked in on one line and exits 1 before it
// starts the graphics (whose debug lines would follow) or opens a window.
TEST(PotemaruInstalled, WithNoAssetsFoundItSaysWhereItLookedInOneLineAndExitsOneBeforeAnyWindow) {
    testsupport::TempDir dir;
    Potemaru game(dir.path());
    ASSERT_TRUE(game.start(
        headless(dir.path() / "home", dir.path() / "capture"),
        copiedTo(dir.path(), {"XDG_DATA_HOME=" + (dir.path() / "data-home").string(),
                              "XDG_DATA_DIRS=" + (dir.path() / "no-data").string(), "EGL_LOG_LEVEL=debug"})));
    EXPECT_EQ(game.wait(), 1);
    EXPECT_EQ(game.err(), "potemaru: the game's assets are missing: looked for chara.csv in " +
                              (dir.path() / "share/games/potemaru/assets").string() + ", " +
                              (dir.path() / "data-home/games/potemaru/assets").string() + ", " +
                              (dir.path() / "no-data/games/potemaru/assets").string() +
                              " (--resources DIR names another folder)\n");
    EXPECT_FALSE(fs::exists(dir.path() / "capture"));
}

// With /proc hidden (a sandbox), the build's own program still finds the checkout's assets and draws the
// same field.
TEST(PotemaruInstalled, WithProcHiddenTheGameStillFindsItsAssets) {
    testsupport::TempDir dir;
    const std::string hide = "mount -t tmpfs none /proc";
    if (testsupport::runProgram("/usr/bin/unshare",
                                {"-rm", "sh", "-c", hide + " && test ! -e /proc/self/exe"}) != 0)
        GTEST_SKIP() << "no mount namespace can be made here to hide /proc";
    Potemaru game(dir.path());
    ASSERT_TRUE(game.start(headless(dir.path() / "home", dir.path() / "capture"),
                           {"/usr/bin/unshare", "-rm", "sh", "-c", hide + " && exec \"$0\" \"$@\""}));
    ASSERT_EQ(game.wait(), 0) << game.err();
    EXPECT_EQ(game.err().find("is missing"), std::string::npos) << game.err();
    const auto frame = e2e::readPng(dir.path() / "capture/frame000150.png"),
               reference = referenceFrame(dir.path());
    ASSERT_TRUE(frame && reference);
    EXPECT_TRUE(e2e::sameRows(*frame, *reference, 0, reference->height));
}
