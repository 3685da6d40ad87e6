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
    const std::string screen = std::to_string(width_) + "x" + std::to_string(height_) + "x24";
    std::vector<const char*> argv{"Xvfb",         display_.c_str(), "-screen", "0",
                                  screen.c_str(), "-nolisten",      "tcp",     "-noreset"};
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
    if (pid_ <= 0 || managerPid_ > 0 || !onPath("openbox")) return false;
    std::vector<const char*> argv{"openbox", "--sm-disable", nullptr};
    managerPid_ = fork();
    if (managerPid_ == 0) {
        execvp("openbox", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    if (managerPid_ < 0) return false;
    Display* probe = XOpenDisplay(display_.c_str());
    if (!probe) return false;
    const Atom check = XInternAtom(probe, "_NET_SUPPORTING_WM_CHECK", False);
    const Atom workArea = XInternAtom(probe, "_NET_WORKAREA", False);
    bool managing = false;
    // A manager that has set its check window and the work area has taken the screen.
    for (int i = 0; i < 1500 && !managing; ++i) {
        if (waitpid(managerPid_, nullptr, WNOHANG) == managerPid_) {
            managerPid_ = -1;
            break;
        }
        int found = 0;
        for (Atom atom : {check, workArea}) {
            Atom type = 0;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(probe, DefaultRootWindow(probe), atom, 0, 64, False, AnyPropertyType, &type,
                                   &format, &count, &after, &data) == Success &&
                count > 0)
                ++found;
            if (data) XFree(data);
        }
        managing = found == 2;
        if (!managing) usleep(20000);
    }
    XCloseDisplay(probe);
    return managing;
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
