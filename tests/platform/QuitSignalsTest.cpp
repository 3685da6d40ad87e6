// What the processes that a program taking its quits on their own thread starts begin with.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>

#include "tests/support/TestSupport.h"

// Each child, started through posix_spawn (as the web engine's library starts its processes) or through
// fork and exec, begins with the quits let through; through posix_spawn SIGPIPE is at its default too,
// where it would inherit it ignored. Children used to inherit the quits held back and stay deaf to a
// SIGTERM of their own.
TEST(QuitSignals, TheProcessesAProgramStartsBeginWithTheQuitsLetThrough) {
    testsupport::TempDir dir;
    const std::string out = (dir.path() / "out").string();
    ASSERT_EQ(testsupport::runProgram("/bin/sh", {"-c", "exec \"$0\" >\"$1\"",
                                                  testsupport::programPath("platform_spawn_signals"), out}),
              0);
    constexpr unsigned long long kQuits = 1ull << (SIGINT - 1) | 1ull << (SIGTERM - 1) | 1ull << (SIGHUP - 1);
    constexpr unsigned long long kPipe = 1ull << (SIGPIPE - 1);
    std::istringstream lines(testsupport::readFile(out));
    int blocked = 0, ignored = 0;
    for (std::string line; std::getline(lines, line);) {
        const unsigned long long bits = std::stoull(line.substr(line.find(':') + 1), nullptr, 16);
        if (line.rfind("SigBlk:", 0) == 0) {
            EXPECT_EQ(bits & kQuits, 0u) << "child " << blocked;
            ++blocked;
        } else if (line.rfind("SigIgn:", 0) == 0) {
            // The first child is posix_spawn's.
            EXPECT_EQ(bits & (ignored == 0 ? kQuits | kPipe : kQuits), 0u) << "child " << ignored;
            ++ignored;
        }
    }
    EXPECT_EQ(blocked, 2);
    EXPECT_EQ(ignored, 2);
}
