#pragma once
// The GL side of the surface view: the ES 2.0 context and the framebuffers the engine draws into. The
// colour renderbuffer gets its storage from the drawable's size; frames are shown through the layer.
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <memory>
#include <string>

#include "platform/media/GLContext.h"

namespace kite {

class KTGLLayer;

class KTES2Renderer {
  public:
    // Null when no ES 2.0 context can be made current on `layer`'s drawable. `sharegroup` is accepted
    // for the interface's sake; contexts do not share objects here.
    static std::shared_ptr<KTES2Renderer> create(GLenum depthFormat, GLenum pixelFormat,
                                                 const void* sharegroup, bool multiSampling,
                                                 unsigned requestedSamples, KTGLLayer& layer);
    ~KTES2Renderer();
    KTES2Renderer(const KTES2Renderer&) = delete;
    KTES2Renderer& operator=(const KTES2Renderer&) = delete;

    bool resizeFromLayer(KTGLLayer& layer);
    // Resolves the multisampled image when needed and shows the frame through `layer`.
    void present(KTGLLayer& layer);

    struct Size {
        double width, height;
    };
    Size backingSize() const { return {double(backingWidth_), double(backingHeight_)}; }
    std::string description() const;

    plat::GLContext* context() const { return context_.get(); }
    GLuint defaultFrameBuffer() const { return defaultFramebuffer_; }
    GLuint colorRenderBuffer() const { return colorRenderbuffer_; }
    GLuint msaaFrameBuffer() const { return msaaFramebuffer_; }
    GLuint msaaColorBuffer() const { return msaaColorbuffer_; }
    GLuint defaultFramebuffer() const { return defaultFramebuffer_; }
    GLuint colorRenderbuffer() const { return colorRenderbuffer_; }
    GLuint msaaFramebuffer() const { return msaaFramebuffer_; }
    GLuint msaaColorbuffer() const { return msaaColorbuffer_; }
    GLuint depthBuffer() const { return depthBuffer_; }
    unsigned samplesToUse() const { return samplesToUse_; }
    bool multiSampling() const { return multiSampling_; }

    // The samples a multisampled buffer gets: what was asked for, at most what the driver allows.
    static unsigned samplesFor(unsigned requested, GLint maximum);

  private:
    KTES2Renderer() = default;
    bool initWithDepthFormat(GLenum depthFormat, GLenum pixelFormat, const void* sharegroup,
                             bool multiSampling, unsigned requestedSamples, KTGLLayer& layer);

    GLint backingWidth_ = 0;
    GLint backingHeight_ = 0;
    unsigned samplesToUse_ = 0;
    bool multiSampling_ = false;
    GLenum depthFormat_ = 0;
    GLenum pixelFormat_ = 0;
    GLuint defaultFramebuffer_ = 0;
    GLuint colorRenderbuffer_ = 0;
    GLuint depthBuffer_ = 0;
    GLuint msaaFramebuffer_ = 0;
    GLuint msaaColorbuffer_ = 0;
    std::unique_ptr<plat::GLContext> context_;
};

}  // namespace kite
