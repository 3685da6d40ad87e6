// Loads a page in a web view where, as on a console, no session bus can be found; its standard error goes to
// ERRORS. Like the game, it tells the engine to look for no accessibility bus; linking the platform alone
// sets nothing in its environment.
//   platform_web_page_on_a_console HOME ERRORS   exits with 0 once the page loaded, 2 if it did not, 3 when
//   it started with the engine's accessibility variable set, 4 when the engine could not start
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/runloop/RunLoop.h"
#include "platform/storage/Paths.h"
#include "platform/ui/WebView.h"

struct Loaded : plat::WebViewDelegate {
    int ended = 0;  // 1: finished, 2: failed
    void webViewDidFinishLoad(plat::WebView&) override { ended = 1; }
    void webViewDidFailLoadWithError(plat::WebView&, const plat::Error&) override { ended = 2; }
};

int main(int argc, char** argv) {
    // Started again in a console's environment, so that the program meets it from its first instruction.
    if (argc == 3) {
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WEBKIT_A11Y_BUS_ADDRESS",
                                 "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
            unsetenv(name);
        char console[] = "console";
        char* again[] = {argv[0], argv[1], argv[2], console, nullptr};
        execv("/proc/self/exe", again);
        return 65;
    }
    if (argc != 4 || !std::freopen(argv[2], "w", stderr)) return 64;
    if (std::getenv("WEBKIT_A11Y_BUS_ADDRESS")) return 3;
    setenv("WEBKIT_A11Y_BUS_ADDRESS", "", 0);
    plat::Paths::setHome(argv[1]);
    auto loaded = std::make_shared<Loaded>();
    auto view = std::make_shared<plat::WebView>(plat::Rect{0, 0, 320, 50});
    if (!plat::WebView::engineStarted()) return 4;
    view->setDelegate(loaded);
    view->loadHTMLString("<html><body>ad</body></html>", "http://127.0.0.1/");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!loaded->ended && std::chrono::steady_clock::now() < until) plat::RunLoop::main().runOnce(0.05);
    return loaded->ended == 1 ? 0 : 2;
}
