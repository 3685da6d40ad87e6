// The window against a real X server: a private Xvfb display. Each case runs a program of its own, which
// keeps its X connection and the GL driver to itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

extern char** environ;

namespace {

struct ChildRun {
    bool ended = false;
    int status = 0;
    std::string out, err;
};

// Runs the test program `name` with `args` on the current DISPLAY, for a minute at most.
ChildRun runChild(const std::string& name, std::vector<std::string> args = {}) {
    testsupport::TempDir dir;
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    std::string program = testsupport::programPath(name);
    std::vector<char*> argv{program.data()};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    ChildRun run;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    pid_t ended = 0;
    for (int i = 0; i < 600 && ended == 0; ++i) {
        ended = waitpid(pid, &run.status, WNOHANG);
        if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &run.status, 0);
    }
    run.ended = ended != 0;
    run.out = testsupport::readFile(out);
    run.err = testsupport::readFile(err);
    return run;
}

}  // namespace

// Each case on a private Xvfb display of its own.
class X11Window : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(server.start());
    }
    // The window-faults program in `mode`, which ends on its own with status 0.
    static ChildRun faults(const std::string& mode) {
        ChildRun run = runChild("platform_window_faults", {mode});
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.status, 0) << run.err;
        return run;
    }
    testsupport::XServer server;
};

// A frame presented after the connection to the server is cut returns: the GL driver's software present
// used to spin inside eglSwapBuffers once the connection had failed, deaf to every quit, sending image
// requests without end. The child program counts them and ends at once when there are more than the frame
// has rows, so the spin is caught however long it would take to come out.
TEST_F(X11Window, APresentOnALostConnectionReturns) {
    // A present takes milliseconds; one that has not returned in a minute is stuck some other way.
    const ChildRun run = runChild("platform_lost_present");
    ASSERT_TRUE(run.ended) << "the present on the lost connection did not return";
    ASSERT_TRUE(WIFEXITED(run.status)) << run.status;
    EXPECT_EQ(WEXITSTATUS(run.status), 0) << run.err;
    EXPECT_EQ(run.out.rfind("returned after ", 0), 0u) << run.out;
}

// The server is let go however the making under its grab ends: an exception from it used to leave every
// other client held off for good, the whole desktop with them.
TEST_F(X11Window, TheGrabEndsWhenTheMakingThrows) {
    EXPECT_EQ(faults("grab").out, "answered\n");
}

// A request about the window that the server refuses for another reason than the window being gone is
// said, once however often it comes; such errors used to be swallowed without a word.
TEST_F(X11Window, ARefusedRequestAboutTheWindowIsSaidOnce) {
    const ChildRun run = faults("errors");
    EXPECT_EQ(run.out, "survived\n");
    const std::string line = "refused a request about the window: BadMatch";
    const size_t first = run.err.find(line);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(line, first + 1), std::string::npos) << run.err;
}

// A close read before anyone listens for the window's events (a program that looks at its events before
// it set its handler) is kept for it: the window used to drop it, and the program played on.
TEST_F(X11Window, ACloseReadBeforeAnyoneListensIsKept) {
    EXPECT_EQ(faults("close").out, "kept\n");
}
