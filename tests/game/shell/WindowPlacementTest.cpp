#include <gtest/gtest.h>

#include "game/shell/WindowPlacement.h"
#include "tests/support/TestSupport.h"

// The window's last size goes under XDG_STATE_HOME, comes back as it was saved, and a file that holds
// something else is no size (the window is then fitted).
TEST(WindowPlacement, IsKeptUnderTheStateHomeAndReadBackWhole) {
    testsupport::TempDir dir;
    const testsupport::EnvScope env{{"XDG_STATE_HOME", dir.path().c_str()}};
    const auto path = WindowPlacement::defaultPath();
    EXPECT_EQ(path, dir.path() / "potemaru" / "window");
    EXPECT_FALSE(WindowPlacement::load(path));
    ASSERT_TRUE((WindowPlacement{700, 1243, true}.save(path)));
    const auto kept = WindowPlacement::load(path);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->width, 700);
    EXPECT_EQ(kept->height, 1243);
    EXPECT_TRUE(kept->fullscreen);
    for (const char* bad : {"size 700\n", "size 0 10\nfullscreen 0\n", "size 700 1243\nfullscreen 2\n",
                            "size 700 1243\nfullscreen 0\nmore\n"}) {
        testsupport::writeFile(path, bad);
        EXPECT_FALSE(WindowPlacement::load(path)) << bad;
    }
}
