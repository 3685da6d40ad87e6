// The potemaru program in a real X11 window on a private Xvfb server: a click on the share button
// reaches the game, which saves a screenshot and asks the app shell for the share sheet.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"

// Last: Xlib's macros clash with other headers.
#include <X11/Xlib.h>

namespace fs = std::filesystem;

namespace {

bool onPath(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A private X server on a display number of its own; stopped by its pid.
class XServer {
  public:
    bool start() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (launch(attempt)) return true;
            stop();
        }
        return false;
    }
    ~XServer() { stop(); }
    const std::string& display() const { return display_; }

  private:
    bool launch(int attempt) {
        display_ = ":" + std::to_string(100 + (getpid() * 11 + attempt * 17 + 400) % 800);
        pid_ = fork();
        if (pid_ == 0) {
            execlp("Xvfb", "Xvfb", display_.c_str(), "-screen", "0", "1280x1280x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ < 0) return false;
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            if (Display* probe = XOpenDisplay(display_.c_str())) {
                XCloseDisplay(probe);
                return true;
            }
            usleep(20000);
        }
        return false;
    }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    pid_t pid_ = -1;
    std::string display_;
};

bool waitFor(const std::function<bool()>& done, int seconds) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < limit) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

}  // namespace

TEST(PotemaruWindow, AClickOnTheShareButtonReachesTheGame) {
    if (!onPath("Xvfb") || !onPath("xdotool")) GTEST_SKIP() << "Xvfb or xdotool is not installed";
    XServer server;
    ASSERT_TRUE(server.start());
    const std::string previous = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", server.display().c_str(), 1);

    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    e2e::Potemaru run(dir.path());
    ASSERT_TRUE(run.start({"--home", home.string(), "--audio", "null", "--seed", "1", "--frames", "100000"}));
    // The play field is up once it has asked for the banner (after the two splash seconds).
    ASSERT_TRUE(
        waitFor([&] { return run.out().find("banner ad:") != std::string::npos || !run.running(); }, 120))
        << run.err();
    ASSERT_TRUE(run.running()) << run.err();

    // The share button's middle: (32, 486) points from the top left, two window pixels per point.
    const std::string click =
        "xdotool search --sync --name '^potemaru$' mousemove --window %1 64 972 click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    EXPECT_TRUE(waitFor([&] { return run.out().find("share (twitter):") != std::string::npos; }, 60))
        << run.out() << run.err();
    EXPECT_TRUE(fs::exists(home / "Documents" / "screenshot0.jpg"));
    EXPECT_TRUE(fs::exists(home / "Documents" / "ShareRequests" / "share-0001.plist"));

    run.kill9();
    if (previous.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", previous.c_str(), 1);
}
