// The window against a real X server: a private Xvfb display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

extern char** environ;

// A frame presented after the connection to the server is cut returns: the GL driver's software present
// used to spin inside eglSwapBuffers once the connection had failed, deaf to every quit, sending image
// requests without end. The child program counts them and ends at once when there are more than the frame
// has rows, so the spin is caught however long it would take to come out.
TEST(X11Window, APresentOnALostConnectionReturns) {
    if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    testsupport::TempDir dir;
    const std::string out = (dir.path() / "out").string();
    const std::string program = testsupport::programPath("platform_lost_present");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // A present takes milliseconds; one that has not returned in a minute is stuck some other way.
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 600 && ended == 0; ++i) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the present on the lost connection did not return";
    }
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(testsupport::readFile(out).rfind("returned after ", 0), 0u) << testsupport::readFile(out);
}
