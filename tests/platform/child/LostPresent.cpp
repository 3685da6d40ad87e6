// Presents a frame in a window on the X display of DISPLAY, cuts its connection to the server (as a server
// that dies or a client killed by another does), and presents again. Prints "returned" and exits 0 once that
// present has returned; 2 when no window or surface could be made; 3, at once, when the present on the cut
// connection sends more image requests than the frame has rows (it is spinning, and would return, if ever,
// only once its count of rows wrapped around).
#include <EGL/egl.h>
#include <GLES2/gl2.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdio>

#include "platform/media/GLContext.h"
#include "platform/ui/X11Window.h"

// Last: Xlib's macros clash with other headers (None, below, is the colour format's).
#include <X11/Xlib.h>
#undef None

namespace {
std::atomic<bool> cut{false};
std::atomic<long> requestsSinceCut{0};
// No present needs more than one request per row of the frame.
std::atomic<long> mostRequests{0};
}  // namespace

// Counts the GL driver's image requests (the program exports the name, so the driver binds to this one).
extern "C" __attribute__((visibility("default"))) xcb_void_cookie_t xcb_put_image(
    xcb_connection_t* c, uint8_t format, xcb_drawable_t drawable, xcb_gcontext_t gc, uint16_t width,
    uint16_t height, int16_t x, int16_t y, uint8_t leftPad, uint8_t depth, uint32_t length,
    const uint8_t* data) {
    using PutImage =
        xcb_void_cookie_t (*)(xcb_connection_t*, uint8_t, xcb_drawable_t, xcb_gcontext_t, uint16_t, uint16_t,
                              int16_t, int16_t, uint8_t, uint8_t, uint32_t, const uint8_t*);
    static const auto library = reinterpret_cast<PutImage>(dlsym(RTLD_NEXT, "xcb_put_image"));
    if (cut && ++requestsSinceCut > mostRequests) {
        static const char line[] = "the present on the cut connection keeps sending image requests\n";
        (void)!write(STDERR_FILENO, line, sizeof line - 1);
        _exit(3);
    }
    return library(c, format, drawable, gc, width, height, x, y, leftPad, depth, length, data);
}

int main() {
    auto window = plat::X11Window::create();
    if (!window) return 2;
    mostRequests = window->pixelHeight();
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
    cut = true;
    glClear(GL_COLOR_BUFFER_BIT);
    context->present();
    std::printf("returned after %ld image requests\n", requestsSinceCut.load());
    return 0;
}
