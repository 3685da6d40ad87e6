// Kept apart: Xlib's macros clash with the test framework's and the platform's names.
#include <X11/Xlib.h>

#include <signal.h>
#include <unistd.h>

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

bool destroyWindowAsItAppears(const std::string& name, pid_t owner) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    Window found = 0;
    // Looked for every millisecond, for a minute at most: the owner is held still the moment it is seen.
    for (int i = 0; i < 60000 && !found; ++i) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned c = 0; c < count && !found; ++c) {
                char* title = nullptr;
                if (XFetchName(display, children[c], &title) && title) {
                    if (name == title) found = children[c];
                    XFree(title);
                }
            }
            if (children) XFree(children);
        }
        if (found) {
            kill(owner, SIGSTOP);
        } else {
            usleep(1000);
        }
    }
    if (found) {
        XDestroyWindow(display, found);
        XSync(display, False);
        kill(owner, SIGCONT);
    }
    XCloseDisplay(display);
    return found != 0;
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
