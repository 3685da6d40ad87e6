#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <thread>

#include "platform/base/Assert.h"
#include "platform/base/Clock.h"
#include "platform/base/FixedQueue.h"
#include "platform/base/Log.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

TEST(Log, CaptureCollectsFormattedLinesFromAnyThread) {
    plat::LogCapture capture;
    plat::logError("OpenGL error 0x%04X in %s %d\n", 0x500, "draw", 12);
    std::thread([] { plat::logInfo("from a worker"); }).join();
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "OpenGL error 0x0500 in draw 12");
    EXPECT_TRUE(capture.contains("worker"));
}

TEST(Log, LongLinesAreNotCut) {
    plat::LogCapture capture;
    std::string longText(5000, 'x');
    plat::logWarning("%s!", longText.c_str());
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].size(), 5001u);
}

TEST(Log, CaptureRestoresThePreviousSink) {
    plat::LogCapture outer;
    {
        plat::LogCapture inner;
        plat::logInfo("inner");
        EXPECT_TRUE(inner.contains("inner"));
    }
    plat::logInfo("outer");
    EXPECT_FALSE(outer.contains("inner"));
    EXPECT_TRUE(outer.contains("outer"));
}

TEST(AssertDeathTest, NamesFunctionFileLineAndCondition) {
    EXPECT_DEATH(PLAT_ASSERT(1 + 1 == 3, "Cannot pop an empty stack"),
                 "Assertion failed: \\(1 \\+ 1 == 3\\), function .*, file .*CoreTest.cpp, line [0-9]+\\. "
                 "Cannot pop an empty stack");
}

TEST(FixedQueue, KeepsOrderAcrossTheWrapAndRefusesWhenFull) {
    plat::FixedQueue<int, 3> queue;
    EXPECT_TRUE(queue.empty());
    queue.pop_front();  // popping an empty queue leaves it empty
    EXPECT_TRUE(queue.empty());
    int next = 0, expected = 0;
    // Many rounds, so the head passes the end of the storage again and again.
    for (int round = 0; round < 10; ++round) {
        while (queue.push_back(next)) ++next;
        EXPECT_TRUE(queue.full());
        EXPECT_EQ(queue.size(), 3u);
        queue.pop_front();
        EXPECT_EQ(queue.front(), ++expected);
        queue.pop_front();
        ++expected;
    }
    EXPECT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.front(), expected);
    queue.clear();
    EXPECT_TRUE(queue.empty());
    EXPECT_TRUE(queue.push_back(7));
    EXPECT_EQ(queue.front(), 7);
}

TEST(Clock, VirtualClockMovesOnlyWhenTold) {
    testsupport::VirtualClockScope scope(1000000);
    const auto clock = plat::Clock::shared();
    ASSERT_TRUE(clock.isVirtual());
    EXPECT_EQ(clock.nowMicros(), 1000000);
    scope.clock().advance(1.0 / 60);
    EXPECT_EQ(clock.nowMicros(), 1016667);
    EXPECT_EQ(clock.monotonicMicros(), 16667);
    scope.clock().jumpWallMicros(3600LL * 1000000);
    EXPECT_EQ(clock.timeOfDay().seconds, 3601);
    EXPECT_EQ(clock.timeOfDay().microseconds, 16667);
    EXPECT_EQ(clock.monotonicMicros(), 16667);
}

TEST(Clock, RealClockIsRestoredAndTicks) {
    { testsupport::VirtualClockScope scope; }
    const auto clock = plat::Clock::shared();
    EXPECT_FALSE(clock.isVirtual());
    int64_t a = clock.monotonicMicros();
    int64_t b = clock.monotonicMicros();
    EXPECT_LE(a, b);
    EXPECT_GT(clock.nowSeconds(), 1.6e9);
}

TEST(Clock, TimeOfDayBeforeTheEpochKeepsMicrosecondsPositive) {
    testsupport::VirtualClockScope scope(-1500000);
    plat::TimeVal tv = plat::Clock::shared().timeOfDay();
    EXPECT_EQ(tv.seconds, -2);
    EXPECT_EQ(tv.microseconds, 500000);
}

TEST(Paths, HomeLayoutIsCreated) {
    testsupport::TempHome home;
    EXPECT_EQ(plat::Paths::home(), home.path());
    for (const fs::path& dir :
         {plat::Paths::documents(), plat::Paths::caches(), plat::Paths::preferences(), plat::Paths::tmp()})
        EXPECT_TRUE(fs::is_directory(dir)) << dir;
    EXPECT_EQ(plat::Paths::caches(), home.path() / "Library" / "Caches");
}

TEST(Paths, DefaultHomeFollowsXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    std::string savedValue = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/tmp/xdg-test", 1);
    // The program's own home when it names no app.
    plat::Bundle::resetMainInfoValues();
    EXPECT_EQ(plat::Paths::defaultHome(), fs::path("/tmp/xdg-test/platform_tests"));
    plat::Bundle::resetMainInfoValues();
    plat::Bundle::setMainIdentity("org.potemaru.potemaru", "potemaru", "1.0");
    EXPECT_EQ(plat::Paths::defaultHome(), fs::path("/tmp/xdg-test/potemaru"));
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(plat::Paths::defaultHome().filename(), "potemaru");
    plat::Bundle::resetMainInfoValues();
    if (saved) setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
}

// A relative XDG_DATA_HOME would put the home below whatever folder the program was started in.
TEST(Paths, DefaultHomeIgnoresARelativeXdgDataHome) {
    testsupport::TempDir dir;
    testsupport::EnvScope env{{"XDG_DATA_HOME", "relhome"}, {"HOME", dir.path().c_str()}};
    EXPECT_EQ(plat::Paths::defaultHome("app"), dir.path() / ".local/share/app");
}

// Without HOME the home is the user's own, from the password database, never a shared temporary folder.
TEST(Paths, DefaultHomeWithoutHomeIsTheUsersFromThePasswordDatabase) {
    const passwd* user = ::getpwuid(::getuid());
    if (!user || !user->pw_dir || user->pw_dir[0] != '/') GTEST_SKIP() << "this user has no home folder";
    const fs::path expected = fs::path(user->pw_dir) / ".local/share/app";
    testsupport::EnvScope env{{"XDG_DATA_HOME", nullptr}, {"HOME", nullptr}};
    EXPECT_EQ(plat::Paths::defaultHome("app"), expected);
}

TEST(Paths, UnwritableHomeFailsWithALogLine) {
    testsupport::TempHome home;
    testsupport::writeFile(home.path() / "file", "x");
    plat::LogCapture capture;
    EXPECT_FALSE(plat::Paths::setHome(home.path() / "file" / "below"));
    EXPECT_TRUE(capture.contains("cannot create"));
}
