// platform_window_identity STARTUP_ID ICON...: shows a window named as an app names it, ends its startup
// sequence once it shows, and turns the main run loop (which answers pings) until the window is closed.
#include "platform/runloop/RunLoop.h"
#include "platform/ui/X11Window.h"

int main(int argc, char** argv) {
    if (argc < 2) return 64;
    plat::X11WindowOptions options{.title = "Potemaru ポテまる",
                                   .instanceName = "pote",
                                   .className = "Pote",
                                   .iconFiles = {argv + 2, argv + argc},
                                   .startupId = argv[1]};
    auto window = plat::X11Window::create(options);
    if (!window || !window->waitUntilVisible(60)) return 2;
    window->endStartup();
    window->attach(plat::RunLoop::main());
    window->setWindowEventHandler([](plat::X11Window::WindowEvent) { plat::RunLoop::main().stop(); });
    while (!window->closeRequested() && !window->isGone()) plat::RunLoop::main().run();
    return window->closeRequested() ? 0 : 3;
}
