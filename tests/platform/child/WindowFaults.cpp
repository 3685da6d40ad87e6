// Meets a window on the X display of DISPLAY with faults of its own making, and says how it went:
//   platform_window_faults grab     whileItExists with a making that throws, then asks the server for
//                                   something on a connection of its own: prints "answered" when another
//                                   client is served again, "held off" when none was within 10 s
//   platform_window_faults errors   three requests about the window that the server refuses (not because
//                                   the window is gone); prints "survived" once they were all answered
//   platform_window_faults close    another client asks the window to close, as a window manager does, and
//                                   the window reads it before anyone listens: prints "kept" once the
//                                   window says it was asked, "lost" when it still does not after 10 s
// Exits 2 when no window could be made.
#include <poll.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/ui/X11Window.h"

// Last: Xlib's macros clash with other headers.
#include <X11/Xlib.h>

namespace {

bool anotherClientIsServed(xcb_connection_t* other) {
    const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(other);
    xcb_flush(other);
    pollfd readable{xcb_get_file_descriptor(other), POLLIN, 0};
    if (poll(&readable, 1, 10000) != 1) return false;
    xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(other, cookie, nullptr);
    std::free(reply);
    return reply != nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : 0;
    std::free(reply);
    return found;
}

void askToClose(xcb_connection_t* other, uint32_t window) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(other, "WM_PROTOCOLS");
    event.data.data32[0] = atom(other, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(other, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 64;
    auto window = plat::X11Window::create();
    if (!window) return 2;
    auto* display = static_cast<Display*>(window->xDisplay());
    if (std::strcmp(argv[1], "grab") == 0) {
        // Connected first: a new client may have to wait for the grab's end to be let in at all.
        xcb_connection_t* other = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(other)) return 2;
        try {
            window->whileItExists([] { throw std::runtime_error("the surface could not be made"); });
        } catch (const std::runtime_error&) {
        }
        std::puts(anotherClientIsServed(other) ? "answered" : "held off");
        xcb_disconnect(other);
        return 0;
    }
    if (std::strcmp(argv[1], "close") == 0) {
        xcb_connection_t* other = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(other)) return 2;
        askToClose(other, static_cast<uint32_t>(window->xWindow()));
        for (int i = 0; i < 100 && !window->closeRequested(); ++i) {
            window->processEvents();
            pollfd readable{ConnectionNumber(display), POLLIN, 0};
            if (!window->closeRequested()) poll(&readable, 1, 100);
        }
        std::puts(window->closeRequested() ? "kept" : "lost");
        xcb_disconnect(other);
        return 0;
    }
    if (std::strcmp(argv[1], "errors") == 0) {
        // A window cannot become its own child: BadMatch, naming the window.
        for (int i = 0; i < 3; ++i) XReparentWindow(display, window->xWindow(), window->xWindow(), 0, 0);
        XSync(display, False);
        std::puts("survived");
        return 0;
    }
    return 64;
}
