#include "platform/ui/X11Window.h"

#include <EGL/eglext.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/ui/X11WindowIdentity.h"

namespace plat {

// What Xlib's handlers learn about one connection; made with the display and, like it, never freed.
struct X11Window::Connection {
    Display* display = nullptr;
    bool lost = false;
    unsigned long window = 0;
    bool windowGone = false;
    bool errorSaid = false;  // an error about the window other than its being gone, said in one line
};

namespace {

std::vector<X11Window::Connection*>& connections() {
    static auto* all = new std::vector<X11Window::Connection*>();
    return *all;
}

// Instead of Xlib's exit: the connection is marked lost, and the Xlib call that met the loss returns.
// The program then leaves its own way, through the background, without another X call.
void connectionLostExit(Display*, void* connection) {
    static_cast<X11Window::Connection*>(connection)->lost = true;
}

// The window's owner says it in its own line.
int quietIOError(Display*) {
    return 0;
}

int (*previousErrorHandler)(Display*, XErrorEvent*) = nullptr;

// Another client may destroy the window at any moment from its creation on, before its DestroyNotify is
// read too: requests that name it then fail harmlessly, and say it is gone. Any other error about the
// window is a fault of this program's requests, said in one line the first time (a frame's requests would
// repeat it every frame) and never fatal. Any error about something else goes where it went before.
int windowErrors(Display* display, XErrorEvent* error) {
    for (X11Window::Connection* c : connections()) {
        if (c->display == display && c->window && error->resourceid == c->window) {
            if (error->error_code == BadWindow || error->error_code == BadDrawable) {
                c->windowGone = true;
            } else if (!c->errorSaid) {
                c->errorSaid = true;
                char text[128] = "";
                XGetErrorText(display, error->error_code, text, sizeof text);
                logError(
                    "X11Window: the X server refused a request about the window: %s (error %d, request "
                    "%d.%d); later such errors are not said",
                    text, error->error_code, error->request_code, error->minor_code);
            }
            return 0;
        }
    }
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

// Holds every other client off from its making to the end of its scope, however the scope ends; a lost
// connection has no grab left to release.
class ServerGrab {
  public:
    explicit ServerGrab(X11Window::Connection& connection) : connection_(connection) {
        XGrabServer(connection_.display);
    }
    ~ServerGrab() {
        if (connection_.lost) return;
        XUngrabServer(connection_.display);
        XFlush(connection_.display);
    }
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;

  private:
    X11Window::Connection& connection_;
};

Display* dpy(void* display) {
    return static_cast<Display*>(display);
}

std::string latin1ToUtf8(const char* bytes, int length) {
    std::string out;
    for (int i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

EGLDisplay eglDisplayFor(Display* display) {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    EGLDisplay egl = EGL_NO_DISPLAY;
    if (getPlatformDisplay) egl = getPlatformDisplay(EGL_PLATFORM_X11_KHR, display, nullptr);
    if (egl == EGL_NO_DISPLAY) egl = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(display));
    return egl;
}

}  // namespace

std::unique_ptr<X11Window> X11Window::create(const X11WindowOptions& options) {
    if (!(options.scale > 0.05 && options.scale <= 8.0) || options.width <= 0 || options.height <= 0 ||
        options.width > 16384 || options.height > 16384) {
        logError("X11Window: bad window size %dx%d at scale %g", options.width, options.height,
                 options.scale);
        return nullptr;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        logError("X11Window: cannot open the X display \"%s\"", XDisplayName(nullptr));
        return nullptr;
    }
    std::unique_ptr<X11Window> window(new X11Window());
    window->display_ = display;
    window->connection_ = new Connection{display};
    connections().push_back(window->connection_);
    XSetIOErrorExitHandler(display, &connectionLostExit, window->connection_);
    XSetIOErrorHandler(&quietIOError);
    if (auto previous = XSetErrorHandler(&windowErrors); previous != &windowErrors)
        previousErrorHandler = previous;
    window->scale_ = options.scale;
    window->pixelWidth_ = std::max(1, static_cast<int>(std::lround(options.width * options.scale)));
    window->pixelHeight_ = std::max(1, static_cast<int>(std::lround(options.height * options.scale)));

    int screen = DefaultScreen(display);
    Window xw = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                    static_cast<unsigned>(window->pixelWidth_),
                                    static_cast<unsigned>(window->pixelHeight_), 0,
                                    BlackPixel(display, screen), BlackPixel(display, screen));
    window->window_ = xw;
    window->connection_->window = xw;
    XSelectInput(display, xw,
                 ButtonPressMask | ButtonReleaseMask | Button1MotionMask | KeyPressMask | KeyReleaseMask |
                     FocusChangeMask | StructureNotifyMask | ExposureMask);
    X11WindowIdentity::apply(display, xw, options);
    window->startupId_ = options.startupId;

    // The phone's screen does not resize: fix the window's size for the window manager.
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = window->pixelWidth_;
        hints->min_height = hints->max_height = window->pixelHeight_;
        XSetWMNormalHints(display, xw, hints);
        XFree(hints);
    }
    Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom protocols[] = {deleteAtom, X11WindowIdentity::pingAtom(display)};
    XSetWMProtocols(display, xw, protocols, 2);
    window->deleteAtom_ = deleteAtom;

    window->eglDisplay_ = eglDisplayFor(display);
    EGLint major = 0, minor = 0;
    if (window->eglDisplay_ == EGL_NO_DISPLAY || !eglInitialize(window->eglDisplay_, &major, &minor)) {
        logError("X11Window: EGL cannot use the X display (error 0x%04X)", eglGetError());
        window->eglDisplay_ = EGL_NO_DISPLAY;
        return nullptr;
    }
    XMapWindow(display, xw);
    XFlush(display);
    return window;
}

X11Window::~X11Window() {
    detach();
    if (display_ && window_ && !isGone()) {
        XDestroyWindow(dpy(display_), window_);
        XFlush(dpy(display_));
    }
    // The X connection and its EGL display stay open for the life of the process: terminating EGL
    // unloads the driver, whose remaining allocations would then look like leaks, and EGL keeps using the
    // connection until it is terminated.
    if (display_) {
        static std::vector<void*>* kept = new std::vector<void*>();
        kept->push_back(display_);
    }
}

bool X11Window::connectionLost() const {
    return connection_ && connection_->lost;
}

EGLNativeWindowType X11Window::nativeWindow() const {
    return reinterpret_cast<EGLNativeWindowType>(static_cast<uintptr_t>(window_));
}

void X11Window::attach(RunLoop& loop) {
    detach();
    loop_ = &loop;
    watch_ = loop.watchFd(ConnectionNumber(dpy(display_)), RunLoop::kReadable,
                          [this](int, unsigned) { processEvents(); });
    // Events Xlib already read into its queue would not wake the loop.
    loop.post([this] { processEvents(); });
}

void X11Window::handleQueuedEventsSoon() {
    if (!loop_ || !display_ || queuedPassPending_ || connectionLost()) return;
    if (XPending(dpy(display_)) <= 0) return;
    queuedPassPending_ = true;
    loop_->post([this] {
        queuedPassPending_ = false;
        processEvents();
    });
}

void X11Window::detach() {
    if (loop_ && watch_) loop_->unwatchFd(watch_);
    loop_ = nullptr;
    watch_ = 0;
}

int X11Window::processEvents() {
    int count = 0;
    Display* display = dpy(display_);
    while (!connectionLost() && XPending(display) > 0 && !connectionLost()) {
        XEvent event;
        XNextEvent(display, &event);
        if (connectionLost()) break;
        handle(&event);
        ++count;
    }
    if (connectionLost() && !lossReported_) {
        lossReported_ = true;
        visible_ = false;
        // Its descriptor would stay readable (at its end) and wake the loop for nothing.
        detach();
        logError("X11Window: the connection to the X display was lost");
        if (onWindow_) onWindow_(WindowEvent::ConnectionLost);
    }
    return count;
}

bool X11Window::whileItExists(const std::function<void()>& make) {
    if (isGone() || connection_->windowGone) return false;
    Display* display = dpy(display_);
    const ServerGrab grab(*connection_);
    XWindowAttributes attributes;
    // A window already destroyed answers with an error, which windowErrors takes.
    const bool exists = XGetWindowAttributes(display, window_, &attributes) != 0 &&
                        !connection_->windowGone && !connectionLost();
    if (exists) make();
    return exists;
}

void X11Window::endStartup() {
    if (startupId_.empty() || isGone()) return;
    X11WindowIdentity::endStartup(display_, window_, startupId_);
    startupId_.clear();
}

bool X11Window::waitUntilVisible(double maxSeconds) {
    // Real time on purpose: the X server is outside the process and does not follow a virtual clock.
    RealClock real;
    const int64_t end = real.monotonicMicros() + static_cast<int64_t>(maxSeconds * 1e6);
    while (!visible_) {
        processEvents();
        if (visible_ || isGone()) break;
        int64_t left = end - real.monotonicMicros();
        if (left <= 0) break;
        pollfd pfd{ConnectionNumber(dpy(display_)), POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(std::min<int64_t>(left / 1000 + 1, 100)));
    }
    return visible_;
}

void X11Window::handle(void* raw) {
    XEvent& event = *static_cast<XEvent*>(raw);
    if (event.type == ButtonPress || event.type == ButtonRelease) {
        lastX_ = event.xbutton.x;
        lastY_ = event.xbutton.y;
    } else if (event.type == MotionNotify) {
        lastX_ = event.xmotion.x;
        lastY_ = event.xmotion.y;
    }
    switch (event.type) {
        case ButtonPress:
            if (event.xbutton.button == Button1 && !buttonDown_) {
                buttonDown_ = true;
                if (onPointer_)
                    onPointer_({PointerEvent::Down, double(event.xbutton.x), double(event.xbutton.y)});
            }
            break;
        case MotionNotify:
            if (buttonDown_ && onPointer_)
                onPointer_({PointerEvent::Move, double(event.xmotion.x), double(event.xmotion.y)});
            break;
        case ButtonRelease:
            if (event.xbutton.button == Button1 && buttonDown_) {
                buttonDown_ = false;
                if (onPointer_)
                    onPointer_({PointerEvent::Up, double(event.xbutton.x), double(event.xbutton.y)});
            }
            break;
        case KeyPress:
        case KeyRelease: {
            char buffer[32];
            KeySym keysym = 0;
            int length = XLookupString(&event.xkey, buffer, sizeof buffer, &keysym, nullptr);
            KeyEvent key{event.type == KeyPress, keysym, {}};
            if (key.down && length > 0) key.text = latin1ToUtf8(buffer, length);
            if (onKey_) onKey_(key);
            break;
        }
        case FocusIn:
            if (onWindow_) onWindow_(WindowEvent::Focused);
            break;
        case FocusOut:
            // A lost finger would otherwise stay down forever.
            if (buttonDown_) {
                buttonDown_ = false;
                if (onPointer_) onPointer_({PointerEvent::Cancel, lastX_, lastY_});
            }
            if (onWindow_) onWindow_(WindowEvent::Unfocused);
            break;
        case MapNotify:
            if (minimised_) {
                minimised_ = false;
                if (onWindow_) onWindow_(WindowEvent::Restored);
            }
            break;
        case UnmapNotify:
            if (!minimised_) {
                minimised_ = true;
                visible_ = false;
                if (onWindow_) onWindow_(WindowEvent::Minimised);
            }
            break;
        case Expose:
            if (!minimised_) visible_ = true;
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == window_ && !destroyed_) {
                destroyed_ = true;
                visible_ = false;
                connection_->windowGone = true;
                logError("X11Window: the window was destroyed");
                if (onWindow_) onWindow_(WindowEvent::Destroyed);
            }
            break;
        case ClientMessage:
            if (X11WindowIdentity::answerPing(display_, &event)) break;
            if (static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom_) {
                // An event is read once: a close read before anyone listens is kept for the way out.
                closeRequested_ = true;
                if (onWindow_) onWindow_(WindowEvent::CloseRequested);
            }
            break;
        default:
            break;
    }
}

}  // namespace plat
