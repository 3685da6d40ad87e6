#pragma once
// Helpers for tests that run web views: pumping the main run loop with the web engine, and the
// engine's processes that still run.
#include <chrono>
#include <string>
#include <vector>

#include "platform/runloop/RunLoop.h"
#include "platform/ui/WebView.h"

namespace testsupport {

// Pumps the main run loop and the web engine in real time until `done` holds or `seconds` passed.
template <typename Predicate>
bool pumpWebUntil(Predicate done, double seconds = 20) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        plat::RunLoop::main().runOnce(0.01);
        plat::WebView::pumpEngine();
    }
    return true;
}

// Processes started by this one that still run (zombies excepted), by name.
std::vector<std::string> liveChildren();
// Kills (SIGKILL) the live child processes of that name, as a crash would end them; answers how many.
int killChildren(const std::string& name);

}  // namespace testsupport
