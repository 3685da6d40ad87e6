// What the processes that a program taking its quits on their own thread starts begin with.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>

#include "tests/support/TestSupport.h"

// Each child, started through posix_spawn (as the web engine's library starts its processes) or through
// fork and exec, begins with the quits let through; through posix_spawn SIGPIPE is at its default too,
// where it would inherit it ignored. Children used to inherit the quits held back and stay deaf to a
// SIGTERM of their own. A caller that sets the child's mask and defaults itself gets them as it set them:
// the third child keeps the quits held back and SIGPIPE ignored (the spawn used to put SIGPIPE at its
// default). A quit the program was started with ignored (SIGHUP, as under nohup, and any the test was
// started with ignored) stays ignored in each child: the spawn used to put it at its default.
TEST(QuitSignals, TheProcessesAProgramStartsBeginWithTheQuitsLetThrough) {
    testsupport::TempDir dir;
    const std::string out = (dir.path() / "out").string();
    ASSERT_EQ(testsupport::runProgram("/bin/sh", {"-c", "trap '' HUP; exec \"$0\" >\"$1\"",
                                                  testsupport::programPath("platform_spawn_signals"), out}),
              0);
    constexpr unsigned long long kQuits = 1ull << (SIGINT - 1) | 1ull << (SIGTERM - 1) | 1ull << (SIGHUP - 1);
    constexpr unsigned long long kPipe = 1ull << (SIGPIPE - 1);
    std::istringstream lines(testsupport::readFile(out));
    int blocked = 0, ignored = 0;
    unsigned long long started = 0;
    for (std::string line; std::getline(lines, line);) {
        const unsigned long long bits = std::stoull(line.substr(line.find(':') + 1), nullptr, 16);
        const unsigned long long taken = kQuits & ~started;
        if (line.rfind("StartedSigIgn:", 0) == 0) {
            started = bits;
            EXPECT_EQ(started & 1ull << (SIGHUP - 1), 1ull << (SIGHUP - 1));
        } else if (line.rfind("SigBlk:", 0) == 0) {
            EXPECT_EQ(bits & taken, blocked == 2 ? taken : 0u) << "child " << blocked;
            ++blocked;
        } else if (line.rfind("SigIgn:", 0) == 0) {
            // The first child and the third are posix_spawn's.
            const unsigned long long kept = started & kQuits, pipe = ignored == 2 ? kPipe : started & kPipe;
            EXPECT_EQ(bits & (ignored == 1 ? kQuits : kQuits | kPipe), ignored == 1 ? kept : kept | pipe)
                << "child " << ignored;
            ++ignored;
        }
    }
    EXPECT_EQ(blocked, 3);
    EXPECT_EQ(ignored, 3);
}

struct Taken {
    int status;
    std::string out, err;
};

// Runs the quit taker in `mode`, after the shell's `before`.
static Taken takeQuit(const char* mode, const std::string& before = "") {
    testsupport::TempDir dir;
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    const int status =
        testsupport::runProgram("/bin/sh", {"-c", before + "exec \"$0\" \"$1\" >\"$2\" 2>\"$3\"",
                                            testsupport::programPath("platform_quit_taker"), mode, out, err});
    return {status, testsupport::readFile(out), testsupport::readFile(err)};
}

// A way out held where it may hold the allocator's lock still ends at the bound with its line: the quits'
// thread allocates nothing (it used to make its line in a string then, and hung).
TEST(QuitSignals, TheBoundEndsAWayOutHeldAnywhereWithoutAllocating) {
    const Taken taken = takeQuit("held");
    EXPECT_EQ(taken.status, 1) << taken.err;
    EXPECT_EQ(taken.out, "quit\n");
    EXPECT_EQ(taken.err, "not stored SIGTERM\n");
}

// A way out slowed by processors shared with others is not cut by the bound: only the main thread's own
// time counts (it was cut at 1 s of the wall clock, the play not stored; and on a busy machine, at a wait
// for a processor still under way, which the system counts only when it ends).
TEST(QuitSignals, TheBoundDoesNotCutAWayOutThatWaitsForAProcessor) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP()
        << "under ThreadSanitizer the threads sharing the processor hold the main thread back in the "
           "sanitizer's own runtime as well, which counts as its own time";
#endif
    const Taken taken = takeQuit("busy");
    EXPECT_EQ(taken.status, 0) << taken.err;
    EXPECT_EQ(taken.out, "quit\nstored\n");
}

// A way out starved of a processor for good (at the idle priority, on a processor four others share) still
// ends, at the cap on the time since the quit, with its line: its own time alone would take many minutes.
TEST(QuitSignals, TheCapEndsAWayOutStarvedOfAProcessor) {
    const Taken taken = takeQuit("starved");
    EXPECT_EQ(taken.status, 1) << taken.err;
    EXPECT_EQ(taken.out, "quit\n");
    EXPECT_EQ(taken.err, "not stored SIGTERM\n");
}

// A quit the program was started with ignored, as nohup starts it with SIGHUP, is not taken, nor left
// pending: it used to end the program all the same.
TEST(QuitSignals, AQuitStartedIgnoredStaysIgnored) {
    const Taken taken = takeQuit("hangup", "trap '' HUP; ");
    EXPECT_EQ(taken.status, 0) << taken.err;
    EXPECT_EQ(taken.out, "quit\ntook " + std::to_string(SIGTERM) + ", SIGHUP not pending\n");
}

// With no descriptor for the quits' thread, the quits are taken all the same and nothing is left open: it
// used to return with the quits held back and no one to take them, its signalfd open.
TEST(QuitSignals, WithoutAThreadTheQuitsAreStillTaken) {
    const Taken taken = takeQuit("no-fds");
    EXPECT_EQ(taken.status, 0) << taken.err;
    EXPECT_EQ(taken.out, "quit\ntook " + std::to_string(SIGTERM) + ", signalfd closed\n");
}
