#include "tests/support/XServer.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

// Last: Xlib defines macros (None, Bool) that clash with other headers.
#include <X11/Xlib.h>

namespace testsupport {

bool onPath(const char* program) {
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

XServer::~XServer() {
    stop();
    if (exported_) {
        if (hadDisplay_)
            setenv("DISPLAY", previousDisplay_.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }
}

bool XServer::start(std::vector<std::string> options) {
    options_ = std::move(options);
    // Another X server may take the display number first; then try another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (launch(attempt)) {
            const char* previous = std::getenv("DISPLAY");
            hadDisplay_ = previous != nullptr;
            previousDisplay_ = previous ? previous : "";
            setenv("DISPLAY", display_.c_str(), 1);
            exported_ = true;
            return true;
        }
        stop();
    }
    return false;
}

bool XServer::launch(int attempt) {
    display_ = ":" + std::to_string(100 + (getpid() * 7 + attempt * 13) % 800);
    // Made before the fork: the child of a threaded test program may not allocate.
    std::vector<const char*> argv{"Xvfb",         display_.c_str(), "-screen", "0",
                                  "1280x1280x24", "-nolisten",      "tcp",     "-noreset"};
    for (const std::string& option : options_) argv.push_back(option.c_str());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        execvp("Xvfb", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    if (pid_ < 0) return false;
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;  // it gave up (display taken)
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

bool XServer::startWindowManager() {
    if (pid_ <= 0 || managerPid_ > 0 || !onPath("openbox") || !onPath("xprop")) return false;
    managerPid_ = fork();
    if (managerPid_ == 0) {
        execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
        _exit(127);
    }
    // It has taken the screen once it says where the work area is.
    const std::string managing = "xprop -display " + display_ + " -root _NET_WORKAREA 2>&1 | grep -q =";
    for (int i = 0; i < 600 && managerPid_ > 0; ++i) {
        if (std::system(managing.c_str()) == 0) return true;
        usleep(50000);
    }
    return false;
}

void XServer::stop() {
    if (managerPid_ > 0) {
        kill(managerPid_, SIGTERM);
        waitpid(managerPid_, nullptr, 0);
    }
    managerPid_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

}  // namespace testsupport
