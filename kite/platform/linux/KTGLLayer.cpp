#include "kite/platform/linux/KTGLLayer.h"

#include <EGL/egl.h>

#include "platform/base/Log.h"
#include "platform/ui/X11Window.h"

namespace kite {
namespace {
constexpr GLenum kReadFramebuffer = 0x8CA8;
constexpr GLenum kDrawFramebuffer = 0x8CA9;
}  // namespace

KTBlitFramebufferFn ktBlitFramebuffer() {
    static auto fn = reinterpret_cast<KTBlitFramebufferFn>(eglGetProcAddress("glBlitFramebuffer"));
    return fn;
}

KTRenderbufferStorageMultisampleFn ktRenderbufferStorageMultisample() {
    static auto fn = reinterpret_cast<KTRenderbufferStorageMultisampleFn>(
        eglGetProcAddress("glRenderbufferStorageMultisample"));
    return fn;
}

std::unique_ptr<plat::GLContext> KTHeadlessGLLayer::createContext() {
    // The view draws into its own framebuffer; the pbuffer only has to exist for the context.
    plat::GLContextOptions options;
    options.color = plat::GLColorFormat::RGB565;
    options.depth = plat::GLDepthFormat::None;
    return plat::GLContext::createHeadless(16, 16, options);
}

bool KTHeadlessGLLayer::presentFramebuffer(plat::GLContext&, GLuint) {
    glFlush();
    return true;
}

std::unique_ptr<plat::GLContext> KTX11GLLayer::createContext() {
    plat::GLContextOptions options;
    options.depth = plat::GLDepthFormat::None;
    std::unique_ptr<plat::GLContext> context;
    // The surface is made while no other client can destroy the window.
    const bool exists = window_.whileItExists([&] {
        // Whatever colour the X visual offers: the view's own renderbuffer keeps the 16-bit colour.
        for (auto color : {plat::GLColorFormat::RGBA8888, plat::GLColorFormat::RGB565}) {
            options.color = color;
            context = plat::GLContext::createForWindow(window_.eglDisplay(), window_.nativeWindow(), options,
                                                       window_.xDisplay());
            if (context) return;
        }
    });
    if (exists) return context;
    // Destroyed before its surface was made: the view draws off screen until the window's end is read and
    // the app leaves as it does for a window destroyed later.
    options.color = plat::GLColorFormat::RGBA8888;
    return plat::GLContext::createHeadless(window_.pixelWidth(), window_.pixelHeight(), options);
}

bool KTX11GLLayer::presentFramebuffer(plat::GLContext& context, GLuint framebuffer) {
    auto blit = ktBlitFramebuffer();
    if (!blit) {
        static bool warned = false;
        if (!warned) plat::logError("kite: the GL driver cannot blit framebuffers; the window stays black");
        warned = true;
        return context.present();
    }
    GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    // The window may have been resized since the last frame: the surface follows it first.
    if (context.width() != window_.pixelWidth() || context.height() != window_.pixelHeight())
        context.updateSize();
    const int w = context.width(), h = context.height();
    const int sw = drawableWidth(), sh = drawableHeight();
    const plat::X11Rect picture = plat::fitPicture(w, h, sw, sh);
    glBindFramebuffer(kReadFramebuffer, framebuffer);
    glBindFramebuffer(kDrawFramebuffer, 0);
    if (picture.width != w || picture.height != h) {
        // Plain black bars beside the picture.
        GLfloat clear[4] = {0, 0, 0, 0};
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(clear[0], clear[1], clear[2], clear[3]);
    }
    const bool sameSize = picture.width == sw && picture.height == sh;
    // GL's rows count from the bottom.
    const int bottom = h - picture.y - picture.height;
    blit(0, 0, sw, sh, picture.x, bottom, picture.x + picture.width, bottom + picture.height,
         GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    bool ok = context.present();
    window_.handleQueuedEventsSoon();
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    return ok;
}

}  // namespace kite
