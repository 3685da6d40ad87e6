#include "kite/platform/linux/KTES2Renderer.h"

#include <algorithm>
#include <cstdio>

#include "kite/base/KTMacros.h"
#include "kite/platform/linux/KTGLLayer.h"
#include "platform/base/Log.h"

namespace kite {
namespace {

constexpr GLenum kMaxSamples = 0x8D57;
constexpr GLenum kReadFramebuffer = 0x8CA8;
constexpr GLenum kDrawFramebuffer = 0x8CA9;

void printGLError(const char* operation, int line) {
    GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        plat::log(plat::LogLevel::Error, "OpenGL error 0x%04X in %s %d\n", error, operation, line);
}
#define KT_CHECK_GL_ERROR() printGLError(__func__, __LINE__)

}  // namespace

unsigned KTES2Renderer::samplesFor(unsigned requested, GLint maximum) {
    return std::min(requested, static_cast<unsigned>(std::max<GLint>(maximum, 0)));
}

std::shared_ptr<KTES2Renderer> KTES2Renderer::create(GLenum depthFormat, GLenum pixelFormat,
                                                     const void* sharegroup, bool multiSampling,
                                                     unsigned requestedSamples, KTGLLayer& layer) {
    std::shared_ptr<KTES2Renderer> renderer(new KTES2Renderer());
    if (!renderer->initWithDepthFormat(depthFormat, pixelFormat, sharegroup, multiSampling, requestedSamples,
                                       layer))
        return nullptr;
    return renderer;
}

bool KTES2Renderer::initWithDepthFormat(GLenum depthFormat, GLenum pixelFormat, const void* sharegroup,
                                        bool multiSampling, unsigned requestedSamples, KTGLLayer& layer) {
    if (sharegroup)
        plat::logWarning("kite: GL share groups are not supported; the view gets its own context");
    context_ = layer.createContext();
    if (!context_ || !context_->makeCurrent()) return false;

    depthFormat_ = depthFormat;
    pixelFormat_ = pixelFormat;
    multiSampling_ = multiSampling;
    if (multiSampling_ && (!ktRenderbufferStorageMultisample() || !ktBlitFramebuffer())) {
        plat::logWarning("kite: the GL driver has no multisampled framebuffers; multisampling is off");
        multiSampling_ = false;
    }

    glGenFramebuffers(1, &defaultFramebuffer_);
    KTAssert(defaultFramebuffer_, "Can't create default frame buffer");
    glGenRenderbuffers(1, &colorRenderbuffer_);
    KTAssert(colorRenderbuffer_, "Can't create default render buffer");
    glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colorRenderbuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorRenderbuffer_);

    if (multiSampling_) {
        GLint maxSamples = 0;
        glGetIntegerv(kMaxSamples, &maxSamples);
        samplesToUse_ = samplesFor(requestedSamples, maxSamples);
        glGenFramebuffers(1, &msaaFramebuffer_);
        KTAssert(msaaFramebuffer_, "Can't create default MSAA frame buffer");
        glBindFramebuffer(GL_FRAMEBUFFER, msaaFramebuffer_);
    }
    KT_CHECK_GL_ERROR();
    return true;
}

KTES2Renderer::~KTES2Renderer() {
    plat::logInfo("kite: deallocing %s", description().c_str());
    if (context_ && (context_->isCurrent() || context_->makeCurrent())) {
        if (defaultFramebuffer_) glDeleteFramebuffers(1, &defaultFramebuffer_);
        if (colorRenderbuffer_) glDeleteRenderbuffers(1, &colorRenderbuffer_);
        if (depthBuffer_) glDeleteRenderbuffers(1, &depthBuffer_);
        if (msaaColorbuffer_) glDeleteRenderbuffers(1, &msaaColorbuffer_);
        if (msaaFramebuffer_) glDeleteFramebuffers(1, &msaaFramebuffer_);
    }
    defaultFramebuffer_ = colorRenderbuffer_ = depthBuffer_ = msaaColorbuffer_ = msaaFramebuffer_ = 0;
    if (context_ && context_->isCurrent()) plat::GLContext::clearCurrent();
    context_.reset();
}

bool KTES2Renderer::resizeFromLayer(KTGLLayer& layer) {
    if (!context_->isCurrent()) context_->makeCurrent();
    glBindRenderbuffer(GL_RENDERBUFFER, colorRenderbuffer_);
    while (glGetError() != GL_NO_ERROR) {
    }
    glRenderbufferStorage(GL_RENDERBUFFER, pixelFormat_, layer.drawableWidth(), layer.drawableHeight());
    if (glGetError() != GL_NO_ERROR) plat::logError("failed to call context");

    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &backingWidth_);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &backingHeight_);
    plat::logInfo("kite: surface size: %dx%d", backingWidth_, backingHeight_);

    if (multiSampling_) {
        if (msaaColorbuffer_) {
            glDeleteRenderbuffers(1, &msaaColorbuffer_);
            msaaColorbuffer_ = 0;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, msaaFramebuffer_);
        glGenRenderbuffers(1, &msaaColorbuffer_);
        KTAssert(msaaColorbuffer_, "Can't create MSAA color buffer");
        glBindRenderbuffer(GL_RENDERBUFFER, msaaColorbuffer_);
        ktRenderbufferStorageMultisample()(GL_RENDERBUFFER, static_cast<GLsizei>(samplesToUse_), pixelFormat_,
                                           backingWidth_, backingHeight_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, msaaColorbuffer_);
        GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) {
            plat::logError("Failed to make complete framebuffer object 0x%X", status);
            return false;
        }
    }
    KT_CHECK_GL_ERROR();

    if (depthFormat_) {
        if (!depthBuffer_) {
            glGenRenderbuffers(1, &depthBuffer_);
            KTAssert(depthBuffer_, "Can't create depth buffer");
        }
        glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
        if (multiSampling_) {
            ktRenderbufferStorageMultisample()(GL_RENDERBUFFER, static_cast<GLsizei>(samplesToUse_),
                                               depthFormat_, backingWidth_, backingHeight_);
        } else {
            glRenderbufferStorage(GL_RENDERBUFFER, depthFormat_, backingWidth_, backingHeight_);
        }
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
        if (depthFormat_ == GL_DEPTH24_STENCIL8_OES)
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, colorRenderbuffer_);
    }
    KT_CHECK_GL_ERROR();
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        plat::logError("Failed to make complete framebuffer object 0x%X", status);
        return false;
    }
    return true;
}

void KTES2Renderer::present(KTGLLayer& layer) {
    if (multiSampling_) {
        GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
        if (scissor) glDisable(GL_SCISSOR_TEST);
        glBindFramebuffer(kReadFramebuffer, msaaFramebuffer_);
        glBindFramebuffer(kDrawFramebuffer, defaultFramebuffer_);
        ktBlitFramebuffer()(0, 0, backingWidth_, backingHeight_, 0, 0, backingWidth_, backingHeight_,
                            GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer_);
        if (scissor) glEnable(GL_SCISSOR_TEST);
    }
    layer.presentFramebuffer(*context_, defaultFramebuffer_);
    if (multiSampling_) glBindFramebuffer(GL_FRAMEBUFFER, msaaFramebuffer_);
}

std::string KTES2Renderer::description() const {
    char text[96];
    std::snprintf(text, sizeof text, "<%s = %08X | size = %ix%i>", "KTES2Renderer",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)), backingWidth_, backingHeight_);
    return text;
}

}  // namespace kite
