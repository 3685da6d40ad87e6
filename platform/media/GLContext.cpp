#include "platform/media/GLContext.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "platform/base/Log.h"
#include "platform/media/X11SharedImage.h"

namespace plat {

PFNGLGENVERTEXARRAYSOESPROC glGenVertexArraysOES = nullptr;
PFNGLBINDVERTEXARRAYOESPROC glBindVertexArrayOES = nullptr;
PFNGLDELETEVERTEXARRAYSOESPROC glDeleteVertexArraysOES = nullptr;
PFNGLMAPBUFFEROESPROC glMapBufferOES = nullptr;
PFNGLUNMAPBUFFEROESPROC glUnmapBufferOES = nullptr;
PFNGLDISCARDFRAMEBUFFEREXTPROC glDiscardFramebufferEXT = nullptr;

namespace {

// The surfaceless display is one per process and stays initialised until exit: terminating it unloads
// the driver, and whatever the driver keeps for the life of the process would then look like our leak.
std::mutex gDisplayMutex;
EGLDisplay gSurfacelessDisplay = EGL_NO_DISPLAY;

// The display, or EGL_NO_DISPLAY with `why` saying what is missing.
EGLDisplay acquireSurfacelessDisplay(std::string* why) {
    std::lock_guard<std::mutex> lock(gDisplayMutex);
    if (gSurfacelessDisplay != EGL_NO_DISPLAY) return gSurfacelessDisplay;
    auto fail = [why](std::string text) {
        *why = std::move(text);
        return EGL_NO_DISPLAY;
    };
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!clientExtensions || !std::strstr(clientExtensions, "EGL_MESA_platform_surfaceless"))
        return fail(std::string("EGL offers no surfaceless platform (client extensions: ") +
                    (clientExtensions && *clientExtensions ? clientExtensions : "none") + ")");
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return fail("eglGetPlatformDisplayEXT is missing");
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    char code[16];
    if (display == EGL_NO_DISPLAY) {
        std::snprintf(code, sizeof code, "0x%04X", eglGetError());
        return fail(std::string("no surfaceless EGL display (error ") + code + ")");
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        std::snprintf(code, sizeof code, "0x%04X", eglGetError());
        return fail(std::string("eglInitialize failed (error ") + code + ")");
    }
    gSurfacelessDisplay = display;
    return display;
}

const char* colorName(GLColorFormat format) {
    return format == GLColorFormat::RGB565 ? "RGB565" : "RGBA8888";
}

// eglChooseConfig sorts deeper colour first, so pick the config whose sizes match exactly.
EGLConfig chooseConfig(EGLDisplay display, EGLint surfaceType, const GLContextOptions& options) {
    const bool rgb565 = options.color == GLColorFormat::RGB565;
    const EGLint red = rgb565 ? 5 : 8, green = rgb565 ? 6 : 8, blue = rgb565 ? 5 : 8, alpha = rgb565 ? 0 : 8;
    EGLint depth = 0, stencil = 0;
    if (options.depth == GLDepthFormat::Depth16) depth = 16;
    if (options.depth == GLDepthFormat::Depth24Stencil8) depth = 24, stencil = 8;
    const EGLint attributes[] = {EGL_SURFACE_TYPE, surfaceType, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT,
                                 EGL_RED_SIZE,     red,         EGL_GREEN_SIZE,      green,
                                 EGL_BLUE_SIZE,    blue,        EGL_ALPHA_SIZE,      alpha,
                                 EGL_DEPTH_SIZE,   depth,       EGL_STENCIL_SIZE,    stencil,
                                 EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, nullptr, 0, &count) || count <= 0) return nullptr;
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    if (!eglChooseConfig(display, attributes, configs.data(), count, &count)) return nullptr;
    EGLConfig fallback = nullptr;
    for (EGLint i = 0; i < count; ++i) {
        EGLint r = 0, g = 0, b = 0, a = 0, d = 0, s = 0;
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &r);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &b);
        eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &a);
        eglGetConfigAttrib(display, configs[i], EGL_DEPTH_SIZE, &d);
        eglGetConfigAttrib(display, configs[i], EGL_STENCIL_SIZE, &s);
        if (r == red && g == green && b == blue && a == alpha) {
            if (d == depth && s == stencil) return configs[i];
            if (!fallback) fallback = configs[i];
        }
    }
    return fallback;
}

// The renderers that draw with the processor: their frames are in this process's memory anyway.
bool isSoftwareRenderer(const char* renderer) {
    if (!renderer) return false;
    for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
        if (std::strstr(renderer, name)) return true;
    return false;
}

bool hasExtension(const char* extensions, const char* name) {
    if (!extensions) return false;
    const size_t length = std::strlen(name);
    for (const char* p = std::strstr(extensions, name); p; p = std::strstr(p + 1, name)) {
        const bool startOk = p == extensions || p[-1] == ' ';
        if (startOk && (p[length] == ' ' || p[length] == '\0')) return true;
    }
    return false;
}

// EGL's native window is an X window id on X11, whichever way the headers spell its type.
unsigned long xWindowOf(EGLNativeWindowType window) {
    if constexpr (std::is_pointer_v<EGLNativeWindowType>)
        return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window));
    else
        return static_cast<unsigned long>(window);
}

// Rows read from GL at a time on their way into the shared image: a band stays in the processor's cache
// between its read and its copy.
constexpr size_t kBandBytes = 256 * 1024;

}  // namespace

std::unique_ptr<GLContext> GLContext::createHeadless(int width, int height, const GLContextOptions& options) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        logError("GLContext: bad surface size %dx%d", width, height);
        return nullptr;
    }
    std::string why;
    EGLDisplay display = acquireSurfacelessDisplay(&why);
    if (display == EGL_NO_DISPLAY) {
        logError("GLContext: no usable EGL display: %s", why.c_str());
        return nullptr;
    }
    std::unique_ptr<GLContext> context(new GLContext());
    if (!context->init(display, SurfaceKind::Headless, 0, width, height, options)) return nullptr;
    return context;
}

bool GLContext::headlessAvailable(std::string* why) {
    std::string reason;
    const bool available = acquireSurfacelessDisplay(&reason) != EGL_NO_DISPLAY;
    if (why) *why = reason;
    return available;
}

std::unique_ptr<GLContext> GLContext::createForWindow(EGLDisplay display, EGLNativeWindowType window,
                                                      const GLContextOptions& options, void* xDisplay) {
    if (display == EGL_NO_DISPLAY) {
        logError("GLContext: no EGL display for the window");
        return nullptr;
    }
    std::unique_ptr<GLContext> context(new GLContext());
    if (!context->init(display, SurfaceKind::Window, window, 0, 0, options)) return nullptr;
    if (xDisplay) context->switchToSharedMemory(xDisplay, xWindowOf(window));
    return context;
}

bool GLContext::switchToSharedMemory(void* xDisplay, unsigned long window) {
    // A GPU's own present is left alone; so is a driver that cannot read its frame as the server's bytes.
    if (!isSoftwareRenderer(reinterpret_cast<const char*>(glGetString(GL_RENDERER))) ||
        !hasExtension(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), "GL_EXT_read_format_bgra"))
        return false;
    std::unique_ptr<X11SharedImage> shared = X11SharedImage::create(xDisplay, window);
    if (!shared) {
        logInfo(
            "GLContext: the X server shares no memory with this program; frames go through its connection");
        return false;
    }
    std::string why;
    EGLDisplay offscreen = acquireSurfacelessDisplay(&why);
    if (offscreen == EGL_NO_DISPLAY) return false;
    std::unique_ptr<GLContext> drawing(new GLContext());
    if (!drawing->init(offscreen, SurfaceKind::Headless, 0, shared->width(), shared->height(), options_)) {
        // The window's own surface draws on.
        makeCurrent();
        return false;
    }
    // The window's surface and context go; the off-screen ones take their place.
    eglDestroySurface(display_, surface_);
    eglDestroyContext(display_, context_);
    display_ = drawing->display_;
    config_ = drawing->config_;
    context_ = drawing->context_;
    surface_ = drawing->surface_;
    width_ = drawing->width_;
    height_ = drawing->height_;
    drawing->display_ = EGL_NO_DISPLAY;
    shared_ = std::move(shared);
    return true;
}

bool GLContext::init(EGLDisplay display, SurfaceKind kind, EGLNativeWindowType window, int width, int height,
                     const GLContextOptions& options) {
    display_ = display;
    kind_ = kind;
    options_ = options;
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        logError("GLContext: OpenGL ES is not available (error 0x%04X)", eglGetError());
        return false;
    }
    config_ =
        chooseConfig(display, kind == SurfaceKind::Headless ? EGL_PBUFFER_BIT : EGL_WINDOW_BIT, options);
    if (!config_) {
        logError("GLContext: no %s %s config for OpenGL ES 2.0", colorName(options.color),
                 kind == SurfaceKind::Headless ? "pbuffer" : "window");
        return false;
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    context_ = eglCreateContext(display, config_, EGL_NO_CONTEXT, contextAttributes);
    if (context_ == EGL_NO_CONTEXT) {
        logError("GLContext: eglCreateContext failed (error 0x%04X)", eglGetError());
        return false;
    }
    if (kind == SurfaceKind::Headless) {
        surface_ = makePbuffer(width, height);
        width_ = width;
        height_ = height;
    } else {
        surface_ = eglCreateWindowSurface(display, config_, window, nullptr);
        if (surface_ == EGL_NO_SURFACE)
            logError("GLContext: eglCreateWindowSurface failed (error 0x%04X)", eglGetError());
    }
    if (surface_ == EGL_NO_SURFACE) return false;
    if (kind == SurfaceKind::Window) updateSize();
    return makeCurrent();
}

EGLSurface GLContext::makePbuffer(int width, int height) {
    const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display_, config_, attributes);
    if (surface == EGL_NO_SURFACE)
        logError("GLContext: eglCreatePbufferSurface %dx%d failed (error 0x%04X)", width, height,
                 eglGetError());
    return surface;
}

GLContext::~GLContext() {
    shared_.reset();
    if (display_ != EGL_NO_DISPLAY && !abandoned_) {
        if (isCurrent()) clearCurrent();
        if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
        if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    }
}

void GLContext::abandon() {
    abandoned_ = true;
    if (shared_) shared_->abandon();
}

bool GLContext::makeCurrent() {
    if (abandoned_) return false;
    if (!eglMakeCurrent(display_, surface_, surface_, context_)) {
        logError("GLContext: eglMakeCurrent failed (error 0x%04X)", eglGetError());
        return false;
    }
    loadExtensions();
    return true;
}

bool GLContext::isCurrent() const {
    return !abandoned_ && context_ != EGL_NO_CONTEXT && eglGetCurrentContext() == context_;
}

void GLContext::clearCurrent() {
    EGLDisplay display = eglGetCurrentDisplay();
    if (display != EGL_NO_DISPLAY) eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

bool GLContext::present() {
    if (kind_ == SurfaceKind::Headless) return true;
    if (abandoned_) return false;
    if (shared_) return presentShared();
    if (!eglSwapBuffers(display_, surface_)) {
        logError("GLContext: eglSwapBuffers failed (error 0x%04X)", eglGetError());
        return false;
    }
    return true;
}

bool GLContext::resize(int width, int height) {
    if (kind_ != SurfaceKind::Headless) {
        logError("GLContext: only a headless surface can be resized");
        return false;
    }
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        logError("GLContext: bad surface size %dx%d", width, height);
        return false;
    }
    if (width == width_ && height == height_) return true;
    return replacePbuffer(width, height);
}

bool GLContext::replacePbuffer(int width, int height) {
    EGLSurface surface = makePbuffer(width, height);
    if (surface == EGL_NO_SURFACE) return false;
    const bool wasCurrent = isCurrent();
    if (wasCurrent) clearCurrent();
    eglDestroySurface(display_, surface_);
    surface_ = surface;
    width_ = width;
    height_ = height;
    return wasCurrent ? makeCurrent() : true;
}

bool GLContext::presentShared() {
    const int w = width_, h = height_;
    uint8_t* out = shared_->pixels();
    if (!out || shared_->width() != w || shared_->height() != h) return false;
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    const int bandRows =
        static_cast<int>(std::clamp<size_t>(kBandBytes / rowBytes, 1, static_cast<size_t>(h)));
    band_.resize(rowBytes * static_cast<size_t>(bandRows));
    GLint previousFramebuffer = 0, previousAlignment = 4;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFramebuffer);
    glGetIntegerv(GL_PACK_ALIGNMENT, &previousAlignment);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // GL's rows start at the bottom, the server's at the top.
    const size_t stride = shared_->stride();
    for (int y = 0; y < h; y += bandRows) {
        const int rows = std::min(bandRows, h - y);
        glReadPixels(0, y, w, rows, GL_BGRA_EXT, GL_UNSIGNED_BYTE, band_.data());
        for (int i = 0; i < rows; ++i)
            std::memcpy(out + static_cast<size_t>(h - 1 - y - i) * stride,
                        band_.data() + static_cast<size_t>(i) * rowBytes, rowBytes);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, previousAlignment);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFramebuffer));
    int windowWidth = 0, windowHeight = 0;
    if (!shared_->put(&windowWidth, &windowHeight)) return false;
    if (windowWidth != w || windowHeight != h) resizeShared(windowWidth, windowHeight);
    return true;
}

bool GLContext::resizeShared(int width, int height) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
    if (width == width_ && height == height_) return true;
    const bool current = replacePbuffer(width, height);
    if (width != width_ || height != height_) return false;
    // Without a picture of the new size, presents fail until a later resize makes one.
    const bool shared = shared_->resize(width, height);
    return current && shared;
}

void GLContext::updateSize() {
    if (abandoned_) return;
    if (shared_) {
        int w = 0, h = 0;
        if (shared_->windowSize(&w, &h)) resizeShared(w, h);
        return;
    }
    EGLint w = 0, h = 0;
    if (eglQuerySurface(display_, surface_, EGL_WIDTH, &w) &&
        eglQuerySurface(display_, surface_, EGL_HEIGHT, &h)) {
        width_ = w;
        height_ = h;
    }
}

std::vector<uint8_t> GLContext::readPixels() {
    if (!isCurrent() && !makeCurrent()) return {};
    return readFramebufferRGBA(0, width_, height_);
}

std::vector<uint8_t> readFramebufferRGBA(GLuint framebuffer, int width, int height) {
    std::vector<uint8_t> pixels;
    if (width <= 0 || height <= 0) return pixels;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    pixels.resize(rowBytes * static_cast<size_t>(height));
    GLint previousFramebuffer = 0, previousAlignment = 4;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFramebuffer);
    glGetIntegerv(GL_PACK_ALIGNMENT, &previousAlignment);
    // Only this read's own error counts: one left pending by earlier drawing would fail it otherwise.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    GLenum error = glGetError();
    glPixelStorei(GL_PACK_ALIGNMENT, previousAlignment);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFramebuffer));
    if (error != GL_NO_ERROR) {
        logError("reading framebuffer %u failed (GL error 0x%04X)", framebuffer, error);
        return {};
    }
    // GL rows start at the bottom.
    std::vector<uint8_t> row(rowBytes);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = pixels.data() + static_cast<size_t>(top) * rowBytes;
        uint8_t* b = pixels.data() + static_cast<size_t>(bottom) * rowBytes;
        std::memcpy(row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, row.data(), rowBytes);
    }
    return pixels;
}

bool GLContext::writePNG(const std::string& path) {
    std::vector<uint8_t> pixels = readPixels();
    if (pixels.empty()) return false;
    return writeRGBAToPNG(path, pixels.data(), width_, height_);
}

void GLContext::loadExtensions() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        auto has = [extensions](const char* name) { return hasExtension(extensions, name); };
        auto fetch = [](const char* name) { return eglGetProcAddress(name); };
        if (has("GL_OES_vertex_array_object")) {
            glGenVertexArraysOES =
                reinterpret_cast<PFNGLGENVERTEXARRAYSOESPROC>(fetch("glGenVertexArraysOES"));
            glBindVertexArrayOES =
                reinterpret_cast<PFNGLBINDVERTEXARRAYOESPROC>(fetch("glBindVertexArrayOES"));
            glDeleteVertexArraysOES =
                reinterpret_cast<PFNGLDELETEVERTEXARRAYSOESPROC>(fetch("glDeleteVertexArraysOES"));
        }
        if (has("GL_OES_mapbuffer")) {
            glMapBufferOES = reinterpret_cast<PFNGLMAPBUFFEROESPROC>(fetch("glMapBufferOES"));
            glUnmapBufferOES = reinterpret_cast<PFNGLUNMAPBUFFEROESPROC>(fetch("glUnmapBufferOES"));
        }
        if (has("GL_EXT_discard_framebuffer"))
            glDiscardFramebufferEXT =
                reinterpret_cast<PFNGLDISCARDFRAMEBUFFEREXTPROC>(fetch("glDiscardFramebufferEXT"));
    });
}

bool writeRGBAToPNG(const std::string& path, const uint8_t* rgba, int width, int height) {
    if (!rgba || width <= 0 || height <= 0) {
        logError("writeRGBAToPNG: nothing to write to %s", path.c_str());
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        logError("writeRGBAToPNG: cannot open %s for writing", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    volatile bool ok = false;  // survives the longjmp of a libpng error
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        const size_t rowBytes = static_cast<size_t>(width) * 4;
        for (int y = 0; y < height; ++y)
            png_write_row(png, const_cast<png_bytep>(rgba + static_cast<size_t>(y) * rowBytes));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) logError("writeRGBAToPNG: writing %s failed", path.c_str());
    return ok;
}

}  // namespace plat
