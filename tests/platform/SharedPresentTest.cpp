// A window's frames on the software renderer, through memory shared with the X server where it offers
// that, and through the connection where it does not: the window shows the frame either way (read back
// from the server), at the size the window was changed to, and no shared segment outlives the program.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

// Last: Xlib's macros clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

// The child program, presenting in its window until it is killed.
struct Presenter {
    pid_t pid = -1;
    int out = -1;
    std::string line;  // what it printed once its frame was shown

    bool start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        std::string program = testsupport::programPath("platform_shared_present");
        char* argv[] = {program.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out = fds[0];
        if (spawned != 0) return false;
        // A minute at most for the window, its surface and three frames.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd pfd{out, POLLIN, 0};
            if (poll(&pfd, 1, 200) <= 0) continue;
            char buffer[256];
            const ssize_t n = read(out, buffer, sizeof buffer);
            if (n <= 0) break;
            line.append(buffer, static_cast<size_t>(n));
        }
        return line.find('\n') != std::string::npos;
    }
    void kill9() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    ~Presenter() {
        kill9();
        if (out >= 0) close(out);
    }
};

// The shared memory segments that process `pid` made and that still exist (the system's table).
int segmentsOf(pid_t pid) {
    std::ifstream table("/proc/sysvipc/shm");
    std::string row;
    std::getline(table, row);  // the heading
    int count = 0;
    while (std::getline(table, row)) {
        std::istringstream fields(row);
        long key = 0, id = 0, perms = 0, size = 0, creator = 0;
        if (fields >> key >> id >> perms >> size >> creator && creator == pid) ++count;
    }
    return count;
}

// The window's pixels at a few places, read back from the server.
struct Shown {
    unsigned long top = 0, bottom = 0, bottomRight = 0;
    int width = 0, height = 0;
};

Shown readWindow(unsigned long window) {
    Shown shown;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return shown;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes)) {
        shown.width = attributes.width;
        shown.height = attributes.height;
        if (XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                                      static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap)) {
            shown.top = XGetPixel(image, 1, 1) & 0xFFFFFF;
            shown.bottom = XGetPixel(image, 1, attributes.height - 2) & 0xFFFFFF;
            shown.bottomRight = XGetPixel(image, attributes.width - 2, attributes.height - 2) & 0xFFFFFF;
            XDestroyImage(image);
        }
    }
    XCloseDisplay(display);
    return shown;
}

// Presents, checks what the window shows, and kills the program: `path` is how the frames went.
void presentAndKill(const std::string& path) {
    Presenter presenter;
    ASSERT_TRUE(presenter.start()) << presenter.line;
    unsigned long window = 0;
    char how[16] = "";
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(presenter.line.c_str(), "shown %lu %15s %d %d", &window, how, &width, &height), 4)
        << presenter.line;
    EXPECT_EQ(how, path);
    EXPECT_EQ(width, 720);
    EXPECT_EQ(height, 1200);
    const Shown shown = readWindow(window);
    EXPECT_EQ(shown.width, 720);
    EXPECT_EQ(shown.height, 1200);
    // GL's top half is the window's top half.
    EXPECT_EQ(shown.top, 0x00FF00u);
    EXPECT_EQ(shown.bottom, 0x0000FFu);
    EXPECT_EQ(shown.bottomRight, 0x0000FFu);
    if (path == "shared") {
        EXPECT_GE(segmentsOf(presenter.pid), 1);
    }
    const pid_t pid = presenter.pid;
    presenter.kill9();
    // The server lets go of the segment once it has read the end of the connection.
    for (int i = 0; i < 300 && segmentsOf(pid) > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(segmentsOf(pid), 0);
}

}  // namespace

TEST(SharedPresent, TheWindowShowsTheFrameThroughASharedSegmentAndKeepsNoneAfterAKill) {
    if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    presentAndKill("shared");
}

TEST(SharedPresent, WithoutSharedMemoryTheFrameGoesThroughTheConnection) {
    if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start({"-extension", "MIT-SHM"}));
    presentAndKill("socket");
}
