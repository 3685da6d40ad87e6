#pragma once
// How a desktop knows a window: its names (WM_CLASS, which a desktop entry's StartupWMClass matches, and the
// title in UTF-8), its icons, the process and machine that own it, the startup sequence that launched it,
// and the window manager's ping, answered while the program's loop turns (a loop that hangs leaves it
// unanswered, and the desktop shows the window as not responding).
#include <filesystem>
#include <string>
#include <vector>

namespace plat {

struct X11WindowOptions;

class X11WindowIdentity {
  public:
    // Sets every property above on `window` (before it is mapped), with WM_HINTS asking for keyboard input.
    // `display` is the Xlib Display*.
    static void apply(void* display, unsigned long window, const X11WindowOptions& options);
    // The protocol the window answers besides closing, for WM_PROTOCOLS.
    static unsigned long pingAtom(void* display);
    // Answers a ping (a WM_PROTOCOLS client message naming _NET_WM_PING) to the root window, as the window
    // manager waits for it there; false, and nothing sent, for any other event. `event` is an XEvent*.
    static bool answerPing(void* display, void* event);
    // Ends the startup sequence `id` with a "remove" message to the root window, sent from `window` in the
    // startup-notification protocol's pieces of 20 bytes.
    static void endStartup(void* display, unsigned long window, const std::string& id);

    // The text of that message, the id quoted as the protocol wants it.
    static std::string removeMessage(const std::string& id);
    // _NET_WM_ICON's value from picture files (any format ImageCodec reads): width, height, then the
    // pixels as ARGB, per icon. A file that is missing, unreadable or of an unlikely size is left out with a
    // log line.
    static std::vector<unsigned long> iconProperty(const std::vector<std::filesystem::path>& files);
};

}  // namespace plat
