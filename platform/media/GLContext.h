#pragma once
// An OpenGL ES 2.0 context through EGL, with the surface it draws into. Headless contexts render into a
// pbuffer on the surfaceless platform (no display server needed); window contexts draw into a native
// window that the windowing code hands over as an EGL display and native window. On Mesa's software
// renderer with an X server on this machine, a window's frames are drawn off screen instead and handed to
// the server through shared memory (X11SharedImage): the renderer would otherwise send every frame whole
// through the X connection's socket, which the server then reads out again.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class X11SharedImage;

enum class GLColorFormat { RGB565, RGBA8888 };
enum class GLDepthFormat { None, Depth16, Depth24Stencil8 };

struct GLContextOptions {
    // What the engine's view asks for by default.
    GLColorFormat color = GLColorFormat::RGB565;
    GLDepthFormat depth = GLDepthFormat::Depth24Stencil8;
};

class GLContext {
  public:
    enum class SurfaceKind { Headless, Window };

    // Null (with a log line) when EGL cannot start or no config matches.
    static std::unique_ptr<GLContext> createHeadless(int width, int height,
                                                     const GLContextOptions& options = {});
    // Whether headless contexts can be made at all (an EGL display on the surfaceless platform); when
    // not, `why` says what is missing. Logs nothing, so a program can say it once in its own words.
    static bool headlessAvailable(std::string* why = nullptr);
    // For windowing code: `display` is an initialised EGL display of the window system the native window
    // belongs to. The context takes no ownership of the display or the window. With `xDisplay`, the Xlib
    // Display* of an X11 window, frames of the software renderer go through memory shared with the server
    // where the server offers it; they go through EGL's window surface otherwise.
    static std::unique_ptr<GLContext> createForWindow(EGLDisplay display, EGLNativeWindowType window,
                                                      const GLContextOptions& options = {},
                                                      void* xDisplay = nullptr);

    ~GLContext();
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    SurfaceKind kind() const { return kind_; }
    // Whether the window's frames go through memory shared with the X server.
    bool presentsThroughSharedMemory() const { return shared_ != nullptr; }
    // The drawable's size in pixels (for a window, as last queried from EGL or the X server).
    int width() const { return width_; }
    int height() const { return height_; }
    const GLContextOptions& options() const { return options_; }

    bool makeCurrent();
    bool isCurrent() const;
    static void clearCurrent();

    // Shows the frame: swaps buffers on a window, nothing on a headless surface. Through shared memory,
    // the frame is put in the window and, when the window has changed size meanwhile, the next frame's
    // surface takes the window's new size.
    bool present();
    // Headless only: a new pbuffer of the given size; the context and its GL objects stay.
    bool resize(int width, int height);
    // Re-reads the window size (after the window system resized it); through shared memory, the surface
    // and the shared image take it at once.
    void updateSize();
    // For a window that is gone (destroyed by another client, or its X connection lost): no EGL call is
    // made for this context again. It stays current for the GL calls that free what was drawn with it;
    // presenting and making it current fail, and its surface and context are left to the process's end.
    void abandon();
    bool isAbandoned() const { return abandoned_; }

    // The current frame as RGBA bytes, top row first (width*height*4). Empty on failure.
    std::vector<uint8_t> readPixels();
    // The current frame as a PNG file; false (with a log line) on failure.
    bool writePNG(const std::string& path);

    EGLDisplay eglDisplay() const { return display_; }
    EGLContext eglContext() const { return context_; }
    EGLSurface eglSurface() const { return surface_; }

    // The extension functions of the current driver (null when it lacks them); filled by the first
    // successful makeCurrent of any context.
    static void loadExtensions();

  private:
    GLContext() = default;
    bool init(EGLDisplay display, SurfaceKind kind, EGLNativeWindowType window, int width, int height,
              const GLContextOptions& options);
    EGLSurface makePbuffer(int width, int height);
    // The window's frames drawn off screen and put through shared memory; false leaves the context as is.
    bool switchToSharedMemory(void* xDisplay, unsigned long window);
    bool presentShared();
    bool resizeShared(int width, int height);
    // A new pbuffer of the size in place of the surface, current again if the old one was.
    bool replacePbuffer(int width, int height);

    SurfaceKind kind_ = SurfaceKind::Headless;
    GLContextOptions options_;
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLConfig config_ = nullptr;
    EGLContext context_ = EGL_NO_CONTEXT;
    EGLSurface surface_ = EGL_NO_SURFACE;
    int width_ = 0;
    int height_ = 0;
    bool abandoned_ = false;
    std::unique_ptr<X11SharedImage> shared_;
    std::vector<uint8_t> band_;  // rows read from GL on their way into the shared image
};

// Writes RGBA pixels (top row first) as a PNG file; false with a log line on failure.
bool writeRGBAToPNG(const std::string& path, const uint8_t* rgba, int width, int height);

// Reads a framebuffer of the current context into RGBA pixels, top row first; the framebuffer binding and
// pack alignment are restored. Empty (with a log line) on a GL error.
std::vector<uint8_t> readFramebufferRGBA(GLuint framebuffer, int width, int height);

// OES/EXT entry points, fetched with eglGetProcAddress; null when the driver lacks them.
extern PFNGLGENVERTEXARRAYSOESPROC glGenVertexArraysOES;
extern PFNGLBINDVERTEXARRAYOESPROC glBindVertexArrayOES;
extern PFNGLDELETEVERTEXARRAYSOESPROC glDeleteVertexArraysOES;
extern PFNGLMAPBUFFEROESPROC glMapBufferOES;
extern PFNGLUNMAPBUFFEROESPROC glUnmapBufferOES;
extern PFNGLDISCARDFRAMEBUFFEREXTPROC glDiscardFramebufferEXT;

}  // namespace plat
