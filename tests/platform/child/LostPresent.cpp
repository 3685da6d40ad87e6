// Presents a frame in a window on the X display of DISPLAY, cuts its connection to the server (as a server
// that dies or a client killed by another does), and presents again. Prints "returned" and exits 0 once that
// present has returned; 2 when no window or surface could be made.
#include <EGL/egl.h>
#include <GLES2/gl2.h>
#include <sys/socket.h>

#include <cstdio>

#include "platform/media/GLContext.h"
#include "platform/ui/X11Window.h"

// Last: Xlib's macros clash with other headers (None, below, is the colour format's).
#include <X11/Xlib.h>
#undef None

int main() {
    auto window = plat::X11Window::create();
    if (!window) return 2;
    std::unique_ptr<plat::GLContext> context;
    plat::GLContextOptions options;
    options.color = plat::GLColorFormat::RGBA8888;
    options.depth = plat::GLDepthFormat::None;
    window->whileItExists([&] {
        context = plat::GLContext::createForWindow(window->eglDisplay(), window->nativeWindow(), options);
    });
    if (!context) return 2;
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (!context->present()) return 2;
    ::shutdown(ConnectionNumber(static_cast<Display*>(window->xDisplay())), SHUT_RDWR);
    glClear(GL_COLOR_BUFFER_BIT);
    context->present();
    std::puts("returned");
    return 0;
}
