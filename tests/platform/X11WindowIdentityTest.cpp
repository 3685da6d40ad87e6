// How a window manager and a launcher know a window, on a private Xvfb: its properties, its startup's end and
// its loop's answer to a ping.
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

// Last: Xlib's macros clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

// A property's bytes (format 32 items are longs, sign extended, as Xlib hands them over).
static std::string property(Display* display, Window window, const char* name) {
    Atom type;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, LONG_MAX / 4, False,
                       AnyPropertyType, &type, &format, &count, &after, &data);
    std::string bytes(reinterpret_cast<char*>(data), data ? count * (format == 32 ? sizeof(long) : 1) : 0);
    if (data) XFree(data);
    return bytes;
}

TEST(X11WindowIdentity, TheDesktopKnowsTheWindowItsStartAndItsLoop) {
    if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask | PropertyChangeMask);
    XSync(d, False);
    const Atom ping = XInternAtom(d, "_NET_WM_PING", False);
    const std::string icons = (testsupport::sourceDir() / "packaging/icons/icon-").string(),
                      id = "a \"b\"\\c";
    std::string args[] = {testsupport::programPath("platform_window_identity"), id, icons + "48.png",
                          icons + "256.png", testsupport::sourceDir() / "README.md"};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);

    Window w = None;
    std::string started;
    bool answered = false;
    XEvent e{};
    for (pollfd fd{ConnectionNumber(d), POLLIN, 0}; XPending(d) || poll(&fd, 1, 60000) == 1;) {
        XNextEvent(d, &e);
        if (e.type == MapNotify && !w) {
            w = e.xmap.window;  // its properties were set before it was mapped
            EXPECT_EQ(property(d, w, "WM_CLASS"), std::string("pote\0Pote\0", 10));
            EXPECT_EQ(property(d, w, "_NET_WM_NAME"), "Potemaru ポテまる");
            EXPECT_EQ(property(d, w, "_NET_STARTUP_ID"), id);
            char host[HOST_NAME_MAX + 1] = "";
            EXPECT_EQ(property(d, w, "WM_CLIENT_MACHINE"), gethostname(host, sizeof host) ? "?" : host);
            const long owner = pid;
            EXPECT_EQ(property(d, w, "_NET_WM_PID"), std::string(reinterpret_cast<const char*>(&owner), 8));
            EXPECT_NE(property(d, w, "WM_PROTOCOLS").find(reinterpret_cast<const char*>(&ping), 0, 4),
                      std::string::npos);
            XWMHints* hints = XGetWMHints(d, w);
            EXPECT_TRUE(hints && (hints->flags & InputHint) && hints->input);
            XFree(hints);
            // Two icons (the README is no picture), each its width, height and pixels, some opaque.
            const std::string icon = property(d, w, "_NET_WM_ICON");
            const auto* l = reinterpret_cast<const long*>(icon.data());
            ASSERT_EQ(icon.size(), (4 + 48 * 48 + 256 * 256) * sizeof(long));
            EXPECT_EQ(std::vector<long>(
                          {l[0], l[1], l[2 + 48 * 48], l[3 + 48 * 48], l[2 + 24 * 48 + 24] >> 24 & 0xff}),
                      (std::vector<long>{48, 48, 256, 256, 0xff}));
        } else if (e.type == ClientMessage && w && e.xclient.window == w && e.xclient.format == 8) {
            started.append(e.xclient.data.b, 20);
            if (started.find('\0') == std::string::npos) continue;
            // The sequence ended: pinged as a window manager pings, then closed; the answer comes first.
            XClientMessageEvent m{
                ClientMessage, 0, False, d, w, XInternAtom(d, "WM_PROTOCOLS", False), 32, {}};
            m.data.l[0] = static_cast<long>(ping), m.data.l[1] = 4242, m.data.l[2] = static_cast<long>(w);
            XSendEvent(d, w, False, NoEventMask, reinterpret_cast<XEvent*>(&m));
            m.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
            XSendEvent(d, w, False, NoEventMask, reinterpret_cast<XEvent*>(&m));
            XFlush(d);
        } else if (e.type == ClientMessage && e.xclient.window == DefaultRootWindow(d)) {
            answered = e.xclient.data.l[0] == static_cast<long>(ping) && e.xclient.data.l[1] == 4242 &&
                       e.xclient.data.l[2] == static_cast<long>(w);
        } else if (e.type == DestroyNotify && e.xdestroywindow.window == w) {
            break;
        }
    }
    int status = -1;
    if (e.type != DestroyNotify) kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    XCloseDisplay(d);
    EXPECT_EQ(started.c_str(), std::string("remove: ID=\"a \\\"b\\\"\\\\c\""));
    EXPECT_TRUE(answered) << "no answer to the ping before the window closed";
    EXPECT_EQ(status, 0);
}
