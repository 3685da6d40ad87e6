#include "platform/ui/X11Window.h"

#include <EGL/eglext.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
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

// A property of 32-bit items (CARDINAL or ATOM); empty when it is missing.
std::vector<long> longProperty(Display* display, Window window, const char* name, Atom type) {
    std::vector<long> out;
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return out;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, atom, 0, 1024, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        data) {
        // Xlib hands 32-bit items over as longs.
        if (format == 32) out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        XFree(data);
    }
    return out;
}

X11Rect intersect(const X11Rect& a, const X11Rect& b) {
    const int x = std::max(a.x, b.x), y = std::max(a.y, b.y);
    const int right = std::min(a.x + a.width, b.x + b.width),
              bottom = std::min(a.y + a.height, b.y + b.height);
    return {x, y, std::max(0, right - x), std::max(0, bottom - y)};
}

// The monitor the window opens on (the primary one, else the first RandR knows, else the whole root) and
// the part of it that panels and docks leave free.
void screenArea(Display* display, int screen, X11Rect* monitor, X11Rect* area) {
    const Window root = RootWindow(display, screen);
    *monitor = {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    int eventBase = 0, errorBase = 0, count = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase)) {
        if (XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count)) {
            int chosen = 0;
            for (int i = 0; i < count; ++i)
                if (monitors[i].primary) chosen = i;
            if (count > 0 && monitors[chosen].width > 0 && monitors[chosen].height > 0)
                *monitor = {monitors[chosen].x, monitors[chosen].y, monitors[chosen].width,
                            monitors[chosen].height};
            XRRFreeMonitors(monitors);
        }
    }
    const std::vector<long> work = longProperty(display, root, "_NET_WORKAREA", XA_CARDINAL);
    const std::vector<long> desktop = longProperty(display, root, "_NET_CURRENT_DESKTOP", XA_CARDINAL);
    const size_t at = desktop.empty() || desktop[0] < 0 ? 0 : static_cast<size_t>(desktop[0]) * 4;
    if (work.size() >= at + 4) {
        const X11Rect free =
            intersect(*monitor, {int(work[at]), int(work[at + 1]), int(work[at + 2]), int(work[at + 3])});
        if (free.width > 0 && free.height > 0) {
            *area = free;
            return;
        }
    }
    // Nobody says where the panels are: keep clear of the edges, where they usually sit.
    const int margin = std::max(16, std::min(monitor->width, monitor->height) / 20);
    *area = {monitor->x + margin, monitor->y + margin, std::max(1, monitor->width - 2 * margin),
             std::max(1, monitor->height - 2 * margin)};
}

struct FrameExtents {
    int left = 0, right = 0, top = 0, bottom = 0;
};

bool supports(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return false;
    const std::vector<long> all =
        longProperty(display, DefaultRootWindow(display), "_NET_SUPPORTED", XA_ATOM);
    return std::find(all.begin(), all.end(), static_cast<long>(atom)) != all.end();
}

// What the window manager's frame will add around the (unmapped) window: asked of the manager, which sets
// _NET_FRAME_EXTENTS; a manager that does not answer gets a generous guess, and no manager adds nothing.
FrameExtents frameExtents(Display* display, Window window) {
    const Window root = DefaultRootWindow(display);
    if (longProperty(display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty()) return {};
    const FrameExtents guess{8, 8, 40, 8};
    if (!supports(display, "_NET_REQUEST_FRAME_EXTENTS")) return guess;
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    request.xclient.format = 32;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
    // Real time on purpose: the manager is another process. Its answer normally takes a round trip or two;
    // on a busy machine the guess, which errs on the large side, still keeps the window inside.
    RealClock real;
    const int64_t end = real.monotonicMicros() + 3000000;
    do {
        XSync(display, False);
        const std::vector<long> e = longProperty(display, window, "_NET_FRAME_EXTENTS", XA_CARDINAL);
        if (e.size() >= 4) return {int(e[0]), int(e[1]), int(e[2]), int(e[3])};
        pollfd pfd{ConnectionNumber(display), POLLIN, 0};
        poll(&pfd, 1, 10);
    } while (real.monotonicMicros() < end);
    return guess;
}

}  // namespace

X11Rect fitPicture(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight) {
    if (windowWidth <= 0 || windowHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) return {};
    X11Rect r;
    // Whichever side of the window is the narrower for the picture's shape sets the scale.
    if (int64_t(windowWidth) * pictureHeight <= int64_t(windowHeight) * pictureWidth) {
        r.width = windowWidth;
        r.height = std::min(
            windowHeight, static_cast<int>(std::lround(double(windowWidth) * pictureHeight / pictureWidth)));
    } else {
        r.height = windowHeight;
        r.width = std::min(
            windowWidth, static_cast<int>(std::lround(double(windowHeight) * pictureWidth / pictureHeight)));
    }
    r.width = std::max(1, r.width);
    r.height = std::max(1, r.height);
    r.x = (windowWidth - r.width) / 2;
    r.y = (windowHeight - r.height) / 2;
    return r;
}

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
    int screen = DefaultScreen(display);
    // Made at the picture's own size first: the window manager's frame is measured on it before it is shown.
    Window xw = XCreateSimpleWindow(
        display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(options.width),
        static_cast<unsigned>(options.height), 0, BlackPixel(display, screen), BlackPixel(display, screen));
    window->window_ = xw;
    window->connection_->window = xw;
    XSelectInput(display, xw,
                 ButtonPressMask | ButtonReleaseMask | Button1MotionMask | KeyPressMask | KeyReleaseMask |
                     FocusChangeMask | StructureNotifyMask | ExposureMask | PropertyChangeMask);
    X11WindowIdentity::apply(display, xw, options);
    window->startupId_ = options.startupId;
    window->place(options);
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

void X11Window::place(const X11WindowOptions& options) {
    Display* display = dpy(display_);
    const Window xw = window_;
    pictureWidth_ = options.width;
    pictureHeight_ = options.height;
    screenArea(display, DefaultScreen(display), &monitor_, &workArea_);
    const FrameExtents frame = frameExtents(display, xw);
    const int roomWidth = workArea_.width - frame.left - frame.right;
    const int roomHeight = workArea_.height - frame.top - frame.bottom;
    const int minWidth = std::max(1, options.minWidth), minHeight = std::max(1, options.minHeight);
    auto fits = [&](int w, int h) { return w <= roomWidth && h <= roomHeight; };
    int width = 0, height = 0;
    if (!options.fitToScreen) {
        width = std::max(1, static_cast<int>(std::lround(options.width * options.scale)));
        height = std::max(1, static_cast<int>(std::lround(options.height * options.scale)));
        if (!fits(width, height))
            logWarning(
                "X11Window: the window of %dx%d pixels (scale %g) and its frame do not fit the screen's free "
                "area of %dx%d",
                width, height, options.scale, workArea_.width, workArea_.height);
    } else if (options.keptWidth >= minWidth && options.keptHeight >= minHeight &&
               options.keptWidth <= 16384 && options.keptHeight <= 16384 &&
               fits(options.keptWidth, options.keptHeight)) {
        width = options.keptWidth;
        height = options.keptHeight;
    } else {
        const double s = std::min(double(std::max(1, roomWidth)) / options.width,
                                  double(std::max(1, roomHeight)) / options.height);
        width = std::max(minWidth, static_cast<int>(std::floor(options.width * s)));
        height = std::max(minHeight, static_cast<int>(std::floor(options.height * s)));
    }
    pixelWidth_ = normalWidth_ = width;
    pixelHeight_ = normalHeight_ = height;
    scale_ = double(width) / options.width;
    // Centred in the free area, frame and all: the position is the frame's top left corner.
    const int x = workArea_.x + std::max(0, (workArea_.width - width - frame.left - frame.right) / 2);
    const int y = workArea_.y + std::max(0, (workArea_.height - height - frame.top - frame.bottom) / 2);
    XMoveResizeWindow(display, xw, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (XSizeHints* hints = XAllocSizeHints()) {
        hints->flags = PMinSize | USPosition | USSize;
        hints->min_width = std::min(minWidth, width);
        hints->min_height = std::min(minHeight, height);
        hints->x = x;
        hints->y = y;
        hints->width = width;
        hints->height = height;
        XSetWMNormalHints(display, xw, hints);
        XFree(hints);
    }
    stateAtom_ = XInternAtom(display, "_NET_WM_STATE", False);
    fullscreenAtom_ = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    if (options.fullscreen) {
        // Before it is mapped the window says its own state; the manager reads it as it maps it.
        const long state = static_cast<long>(fullscreenAtom_);
        XChangeProperty(display, xw, stateAtom_, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&state), 1);
    }
}

void X11Window::setFullscreen(bool on) {
    if (isGone() || !stateAtom_) return;
    Display* display = dpy(display_);
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window_;
    request.xclient.message_type = stateAtom_;
    request.xclient.format = 32;
    request.xclient.data.l[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD or _REMOVE
    request.xclient.data.l[1] = static_cast<long>(fullscreenAtom_);
    request.xclient.data.l[3] = 1;  // asked by an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &request);
    XFlush(display);
}

void X11Window::readState() {
    const std::vector<long> state = longProperty(dpy(display_), window_, "_NET_WM_STATE", XA_ATOM);
    fullscreen_ = std::find(state.begin(), state.end(), static_cast<long>(fullscreenAtom_)) != state.end();
}

bool X11Window::handleWindowKey(void* raw) {
    auto* key = static_cast<XKeyEvent*>(raw);
    const KeySym sym = XLookupKeysym(key, 0);
    const bool alt = (key->state & Mod1Mask) != 0;
    if (sym == XK_F11 || (alt && (sym == XK_Return || sym == XK_KP_Enter))) {
        setFullscreen(!fullscreen_);
    } else if (sym == XK_Escape && fullscreen_) {
        setFullscreen(false);
    } else {
        return false;
    }
    swallowedKey_ = key->keycode;
    return true;
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
            if (event.type == KeyPress && handleWindowKey(&event.xkey)) break;
            if (event.type == KeyRelease && event.xkey.keycode == swallowedKey_) {
                swallowedKey_ = 0;
                break;
            }
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
        case ConfigureNotify:
            // The manager's own (synthetic) notices may tell of a size the window no longer has.
            if (event.xconfigure.window == window_ && !event.xconfigure.send_event) {
                pixelWidth_ = event.xconfigure.width;
                pixelHeight_ = event.xconfigure.height;
                // A size that covers the monitor is fullscreen's, whichever the manager said first.
                if (!fullscreen_ && !(pixelWidth_ == monitor_.width && pixelHeight_ == monitor_.height)) {
                    normalWidth_ = pixelWidth_;
                    normalHeight_ = pixelHeight_;
                }
            }
            break;
        case PropertyNotify:
            if (event.xproperty.window == window_ && event.xproperty.atom == stateAtom_) readState();
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
