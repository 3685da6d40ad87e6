#pragma once
// The drawable behind the GL surface view, standing in for the phone's GL layer: it makes the ES 2.0
// context, says how many pixels the colour renderbuffer gets, and shows a finished frame. Two kinds:
// a headless pbuffer (frames are only read back when captured) and an X11 window.
#include <GLES2/gl2.h>

#include <memory>
#include <string>

#include "platform/media/GLContext.h"

namespace plat {
class X11Window;
}

namespace kite {

class KTGLLayer {
  public:
    virtual ~KTGLLayer() = default;

    // The ES 2.0 context to draw with, current on return; null (logged) when none can be made.
    virtual std::unique_ptr<plat::GLContext> createContext() = 0;
    // Size in pixels of the storage the colour renderbuffer receives: the view's bounds times its
    // content scale factor, set by the view before each resize.
    int drawableWidth() const { return drawableWidth_; }
    int drawableHeight() const { return drawableHeight_; }
    void setDrawableSize(int width, int height) {
        drawableWidth_ = width;
        drawableHeight_ = height;
    }
    // Shows the colour of `framebuffer` (drawable-sized); leaves `framebuffer` bound.
    virtual bool presentFramebuffer(plat::GLContext& context, GLuint framebuffer) = 0;
    virtual bool isHeadless() const = 0;

    // Drawable properties the view sets; kept for what the drawable reports back.
    void setOpaque(bool opaque) { opaque_ = opaque; }
    bool isOpaque() const { return opaque_; }
    void setDrawableProperties(bool retainedBacking, const std::string& colorFormat) {
        retainedBacking_ = retainedBacking;
        colorFormat_ = colorFormat;
    }
    bool retainedBacking() const { return retainedBacking_; }
    const std::string& colorFormat() const { return colorFormat_; }

  private:
    int drawableWidth_ = 0;
    int drawableHeight_ = 0;
    bool opaque_ = false;
    bool retainedBacking_ = false;
    std::string colorFormat_;
};

// Frames drawn into a pbuffer-backed context on the surfaceless platform. Presenting shows nothing but
// ends the frame as a swap would: the software renderer keeps every queued command (and the memory it
// binds) until the frame is flushed.
class KTHeadlessGLLayer : public KTGLLayer {
  public:
    std::unique_ptr<plat::GLContext> createContext() override;
    bool presentFramebuffer(plat::GLContext& context, GLuint framebuffer) override;
    bool isHeadless() const override { return true; }
};

// Frames shown in an X11 window: the view's framebuffer is copied, scaled to the largest size of its own
// shape that the window holds and centred between black bars, into the window surface (which follows the
// window's size), then the buffers are swapped. The window must outlive the layer and its context.
class KTX11GLLayer : public KTGLLayer {
  public:
    explicit KTX11GLLayer(plat::X11Window& window) : window_(window) {}
    std::unique_ptr<plat::GLContext> createContext() override;
    bool presentFramebuffer(plat::GLContext& context, GLuint framebuffer) override;
    bool isHeadless() const override { return false; }

  private:
    plat::X11Window& window_;
};

// Framebuffer blits and multisampled storage: core in ES 3, fetched at run time; null when missing.
using KTBlitFramebufferFn = void (*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield,
                                     GLenum);
using KTRenderbufferStorageMultisampleFn = void (*)(GLenum, GLsizei, GLenum, GLsizei, GLsizei);
KTBlitFramebufferFn ktBlitFramebuffer();
KTRenderbufferStorageMultisampleFn ktRenderbufferStorageMultisample();

}  // namespace kite
