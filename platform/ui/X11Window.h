#pragma once
// The desktop stand-in for the phone's screen: one X11 window with an EGL display for its GL surface. It
// opens at a size that fits the monitor's work area (or at the size asked for), then takes any size the
// player or the window manager gives it; the picture keeps its shape inside it (fitPicture). F11 and
// Alt+Enter switch fullscreen on and off, Escape leaves it. Mouse button 1 plays the finger; other keys,
// focus, minimising and the close button are reported as events, and so are the window's destruction by
// another client and the loss of the X connection, after which no X or EGL call is made on them again. The X
// connection is watched on a run loop, so events arrive on that loop's thread. The desktop knows the window
// by the names, icons and startup id of its options, and hears from that loop that the app is alive
// (X11WindowIdentity).
#include <EGL/egl.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runloop/RunLoop.h"

namespace plat {

struct X11WindowOptions {
    int width = 640;  // the picture's pixels at scale 1
    int height = 1136;
    double scale = 1.0;  // the window is width*scale x height*scale pixels (0.5 for small screens)
    // WM_NAME and _NET_WM_NAME: the name the app's menu entry shows (empty: the program's name).
    std::string title;
    // WM_CLASS: the instance (empty: the program's name) and the class (empty: the instance capitalised),
    // which a desktop entry's StartupWMClass names.
    std::string instanceName;
    std::string className;
    // The window's icons, one picture file per size (see X11WindowIdentity).
    std::vector<std::filesystem::path> iconFiles;
    // The startup sequence that launched the app (DESKTOP_STARTUP_ID, which the program takes from its
    // environment); empty when none did. endStartup() ends it.
    std::string startupId;
    // Instead of `scale`: the largest size of the picture's shape that, with the window manager's frame,
    // lies inside the work area of the monitor; a kept size (keptWidth x keptHeight) that fits is used as it
    // is. A size asked for through `scale` that does not fit is said in one line and kept all the same.
    bool fitToScreen = false;
    int keptWidth = 0;
    int keptHeight = 0;
    bool fullscreen = false;  // opens fullscreen (the window manager's _NET_WM_STATE_FULLSCREEN)
    int minWidth = 160;       // the smallest size the window manager may give it
    int minHeight = 284;
};

// A rectangle in window pixels, origin top left.
struct X11Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool contains(double px, double py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

// The largest rectangle of the picture's shape centred in a window of the given size: the rest are bars.
X11Rect fitPicture(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight);

class X11Window {
  public:
    struct PointerEvent {
        enum Kind { Down, Move, Up, Cancel } kind;
        double x, y;  // window pixels, origin top left
    };
    struct KeyEvent {
        bool down;
        unsigned long keysym;
        std::string text;  // UTF-8 the key types, empty for keys that type nothing
    };
    enum class WindowEvent {
        Focused,
        Unfocused,
        Minimised,
        Restored,
        CloseRequested,
        Destroyed,
        ConnectionLost
    };

    // What Xlib's process-wide handlers know of each connection (kept in X11Window.cpp).
    struct Connection;

    // Null (with a log line) when no X display can be opened or EGL has no display for it.
    static std::unique_ptr<X11Window> create(const X11WindowOptions& options = {});
    ~X11Window();
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    // The window's size now (as the server last said), and where the picture lies in it.
    int pixelWidth() const { return pixelWidth_; }
    int pixelHeight() const { return pixelHeight_; }
    X11Rect pictureRect() const {
        return fitPicture(pixelWidth_, pixelHeight_, pictureWidth_, pictureHeight_);
    }
    // The size it opened at over the picture's own size.
    double scale() const { return scale_; }
    // The area the window was fitted into at its start: the monitor's work area, less nothing of the frame.
    X11Rect workArea() const { return workArea_; }
    // The last size the window had outside fullscreen: the size to open at next time.
    int normalWidth() const { return normalWidth_; }
    int normalHeight() const { return normalHeight_; }

    // Fullscreen as the window manager has it (set by this window's keys, setFullscreen, or the manager
    // itself); a request goes to the manager, and isFullscreen() follows when it has done it.
    bool isFullscreen() const { return fullscreen_; }
    void setFullscreen(bool on);

    EGLDisplay eglDisplay() const { return eglDisplay_; }
    EGLNativeWindowType nativeWindow() const;
    void* xDisplay() const { return display_; }  // the Xlib Display*
    unsigned long xWindow() const { return window_; }

    void setPointerHandler(std::function<void(const PointerEvent&)> handler) {
        onPointer_ = std::move(handler);
    }
    void setKeyHandler(std::function<void(const KeyEvent&)> handler) { onKey_ = std::move(handler); }
    void setWindowEventHandler(std::function<void(WindowEvent)> handler) { onWindow_ = std::move(handler); }

    // Watches the X connection on `loop` (the main loop normally) until detach() or destruction.
    void attach(RunLoop& loop);
    void detach();
    // Handles every event already queued or readable; returns how many were handled.
    int processEvents();
    // After a buffer swap: the swap may have read events off the connection into the client's queue,
    // where the loop's watch no longer sees them; they are handled on the loop's next pass.
    void handleQueuedEventsSoon();
    // Waits (real time, bounded) until the window is mapped and exposed, handling events meanwhile.
    bool waitUntilVisible(double maxSeconds = 5.0);
    bool isVisible() const { return visible_; }
    // Tells the desktop that the app has started (once its first frame shows): the launcher's startup
    // feedback ends. Once; nothing without a startup id.
    void endStartup();
    // The window was destroyed by another client, or the connection to the X server was lost (each said
    // once in a log line): nothing can be shown any more.
    bool isGone() const { return destroyed_ || connectionLost(); }
    bool connectionLost() const;
    // The window was asked to close (its close button, or a window manager's WM_DELETE_WINDOW), whether
    // or not a handler heard it: kept from the moment the request is read, for the way out to look at.
    bool closeRequested() const { return closeRequested_; }
    // Runs `make` (which makes something of the window on its connection: the GL surface) with every other
    // client held off, once the server has said the window still exists; false, without running it, when
    // it no longer does. Another client cannot destroy the window in the middle, where the GL driver would
    // meet it half gone. The others are let go however `make` ends, an exception from it included.
    bool whileItExists(const std::function<void()>& make);

  private:
    X11Window() = default;
    // Sizes and places the unmapped window for the monitor's work area, and sets its hints.
    void place(const X11WindowOptions& options);
    void handle(void* event);
    // The window's own keys (fullscreen); true when the key was one of them and goes no further.
    bool handleWindowKey(void* keyEvent);
    void readState();

    void* display_ = nullptr;
    Connection* connection_ = nullptr;  // lives as long as the display, which the process keeps
    bool destroyed_ = false;
    bool closeRequested_ = false;
    bool lossReported_ = false;
    unsigned long window_ = 0;
    unsigned long deleteAtom_ = 0;
    std::string startupId_;
    unsigned long stateAtom_ = 0;
    unsigned long fullscreenAtom_ = 0;
    EGLDisplay eglDisplay_ = EGL_NO_DISPLAY;
    int pixelWidth_ = 0;
    int pixelHeight_ = 0;
    int pictureWidth_ = 640;
    int pictureHeight_ = 1136;
    int normalWidth_ = 0;
    int normalHeight_ = 0;
    X11Rect workArea_;
    X11Rect monitor_;
    double scale_ = 1.0;
    bool fullscreen_ = false;
    unsigned int swallowedKey_ = 0;  // the keycode whose release goes no further (a window key's)
    bool queuedPassPending_ = false;
    bool buttonDown_ = false;
    double lastX_ = 0, lastY_ = 0;
    bool visible_ = false;
    bool minimised_ = false;
    RunLoop* loop_ = nullptr;
    RunLoop::WatchId watch_ = 0;
    std::function<void(const PointerEvent&)> onPointer_;
    std::function<void(const KeyEvent&)> onKey_;
    std::function<void(WindowEvent)> onWindow_;
};

}  // namespace plat
