#pragma once
// Runs an engine program in an X11 window in real time: the window shows each presented frame (at the
// picture's shape, bars beside it when the window has another), mouse button 1 on the picture is the finger,
// keys go to the GL surface view, and focus, minimising and closing become the application's life-cycle
// events. A window destroyed by another client, or an X connection lost, closes it as the close button does,
// with no X or EGL call made on them again.
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <functional>
#include <memory>

#include "platform/ui/X11Window.h"

namespace kite {

class EAGLView;
class KTApplication;

class KTWindowDriver {
  public:
    // What the window's events do; the defaults are what the app shell does with the phone's events.
    struct Lifecycle {
        std::function<void()> resignActive;     // focus lost: the director pauses
        std::function<void()> becomeActive;     // focus back: the director resumes
        std::function<void()> enterBackground;  // minimised: the application's applicationDidEnterBackground
        std::function<void()> enterForeground;  // restored: applicationWillEnterForeground
        std::function<void()> close;            // close button, or the window gone: the main run loop stops
    };

    // Opens the window (640 x 1136 pixels times `scale`) and makes it the main screen's drawable; null
    // (logged) when there is no X display.
    static std::unique_ptr<KTWindowDriver> create(double scale = 1.0);
    // The same with the window's other choices (fitted to the screen, a kept size, fullscreen, its names,
    // icons and startup id); the
    // picture's size is the main screen's, whatever `options` say.
    static std::unique_ptr<KTWindowDriver> create(plat::X11WindowOptions options);
    ~KTWindowDriver();

    plat::X11Window& window() { return *window_; }
    void setLifecycle(Lifecycle lifecycle) { lifecycle_ = std::move(lifecycle); }

    std::shared_ptr<EAGLView> createView(GLenum depthFormat = GL_DEPTH24_STENCIL8_OES);
    bool launch(KTApplication& application);
    // Runs the main run loop until the window is closed (a close once read ends it, whatever the lifecycle's
    // close does), the window is gone, or the loop is stopped.
    void run();

  private:
    KTWindowDriver() = default;
    void onPointer(const plat::X11Window::PointerEvent& event);
    void onWindowEvent(plat::X11Window::WindowEvent event);

    std::unique_ptr<plat::X11Window> window_;
    std::shared_ptr<EAGLView> view_;
    KTApplication* application_ = nullptr;
    Lifecycle lifecycle_;
    bool touching_ = false;
};

}  // namespace kite
