// Presents in a window on the X display of DISPLAY as the game does, with the window resized after the
// first frame: the frame shown at the new size has green top rows and blue bottom rows. Prints
// "shown <window id> <shared|socket> <width> <height>" once that frame is presented, then waits to be killed.
// Exits 2 when no window or surface could be made, 3 when a present fails.
#include <GLES2/gl2.h>
#include <unistd.h>

#include <cstdio>

#include "platform/media/GLContext.h"
#include "platform/ui/X11Window.h"

// Last: Xlib's macros clash with other headers (None, below, is the colour format's).
#include <X11/Xlib.h>
#undef None

namespace {

void drawHalves(int width, int height) {
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, height / 2, width, height - height / 2);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

}  // namespace

int main() {
    auto window = plat::X11Window::create();
    if (!window || !window->waitUntilVisible()) return 2;
    std::unique_ptr<plat::GLContext> context;
    plat::GLContextOptions options;
    options.color = plat::GLColorFormat::RGBA8888;
    options.depth = plat::GLDepthFormat::None;
    window->whileItExists([&] {
        context = plat::GLContext::createForWindow(window->eglDisplay(), window->nativeWindow(), options,
                                                   window->xDisplay());
    });
    if (!context) return 2;
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (!context->present()) return 3;
    auto* display = static_cast<Display*>(window->xDisplay());
    const int width = 720, height = 1200;
    XResizeWindow(display, window->xWindow(), width, height);
    XSync(display, False);
    // The present after the change takes the window's new size for the frames after it.
    glClear(GL_COLOR_BUFFER_BIT);
    if (!context->present()) return 3;
    context->updateSize();
    drawHalves(context->width(), context->height());
    if (!context->present()) return 3;
    std::printf("shown %lu %s %d %d\n", window->xWindow(),
                context->presentsThroughSharedMemory() ? "shared" : "socket", context->width(),
                context->height());
    std::fflush(stdout);
    for (;;) pause();
}
