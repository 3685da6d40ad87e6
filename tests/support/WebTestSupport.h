#pragma once
// Helpers for tests that run web views: pumping the main run loop with the web engine, and the
// engine's processes that still run.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/runloop/RunLoop.h"
#include "platform/ui/WebView.h"

namespace testsupport {

// Pumps the main run loop and the web engine in real time until `done` holds or `seconds` passed.
template <typename Predicate>
bool pumpWebUntil(Predicate done, double seconds = 120) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        plat::RunLoop::main().runOnce(0.01);
        plat::WebView::pumpEngine();
    }
    return true;
}

// The text of `script`'s value in the view's page, once the engine answered (empty after 120 s).
std::string evaluate(plat::WebView& view, const std::string& script);

// Every image of the view's page has loaded and has a height: the page may be shown, and its images
// asked for, before their boxes have any size.
bool imagesLaidOut(plat::WebView& view);

// What the page has under the view's point `at` (the element's tag and, inside a link, the link's
// address), for a test to check that a tap there lands where it means to.
std::string elementAt(plat::WebView& view, plat::Point at);

// Processes started by this one, or by those, that still run (zombies excepted), by name. With no web view
// left and the engine sandboxed, a lone network process is not counted: the engine may keep one then.
std::vector<std::string> liveChildren();
// Their process ids, for those of that name.
std::vector<int> livePids(const std::string& name);
// Kills (SIGKILL) those of that name, as a crash would end them; answers how many.
int killChildren(const std::string& name);

}  // namespace testsupport
