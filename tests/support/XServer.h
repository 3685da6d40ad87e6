#pragma once
// A private X server (Xvfb) for window tests: its own display number, so tests can run in parallel, and
// DISPLAY pointing at it while the object lives.
#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// True when a program of that name is on PATH.
bool onPath(const char* program);

class XServer {
  public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts the server and sets DISPLAY to it; false when no server would start. `options` go to the
    // server as they are (for example "-extension", "MIT-SHM" to take an extension away, or "-screen", "0",
    // "1920x1080x24" for another screen size).
    bool start(std::vector<std::string> options = {});
    const std::string& display() const { return display_; }
    // Starts a window manager (openbox) on the running server and waits until it manages the screen;
    // false when it did not. It stops before the server does.
    bool startWindowManager();

  private:
    bool launch(int attempt);
    void stop();

    pid_t pid_ = -1;
    pid_t managerPid_ = -1;
    std::string display_;
    std::vector<std::string> options_;
    std::string previousDisplay_;
    bool hadDisplay_ = false;
    bool exported_ = false;
};

}  // namespace testsupport
