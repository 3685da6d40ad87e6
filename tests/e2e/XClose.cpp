// Kept apart: Xlib's macros clash with the test framework's and the platform's names.
#include <X11/Xlib.h>

#include <cstdio>
#include <string>

namespace e2e {

namespace {

unsigned long findWindow(const std::string& name) {
    const std::string command = "xdotool search --sync --name '^" + name + "$' 2>/dev/null";
    FILE* search = popen(command.c_str(), "r");
    if (!search) return 0;
    unsigned long id = 0;
    if (std::fscanf(search, "%lu", &id) != 1) id = 0;
    pclose(search);
    return id;
}

}  // namespace

bool destroyWindow(const std::string& name, bool killItsClient) {
    const unsigned long id = findWindow(name);
    Display* display = id ? XOpenDisplay(nullptr) : nullptr;
    if (!display) return false;
    if (killItsClient)
        XKillClient(display, id);
    else
        XDestroyWindow(display, id);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

bool closeWindow(const std::string& name) {
    const unsigned long id = findWindow(name);
    if (!id) return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, id, False, NoEventMask, &event) != 0;
    XFlush(display);
    XCloseDisplay(display);
    return sent;
}

}  // namespace e2e
