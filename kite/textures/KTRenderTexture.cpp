#include "kite/textures/KTRenderTexture.h"

#include <GLES2/gl2ext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kite/base/KTArray.h"
#include "kite/base/KTMacros.h"
#include "kite/camera/KTGrid.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtils.h"
#include "kite/matrix/KTMatrix.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/sprites/KTSprite.h"
#include "platform/base/Log.h"

namespace kite {
namespace {

// Drivers with this extension lose a texture's content when its framebuffer is cleared after binding; the
// clear is sent to a second texture instead.
constexpr const char* kClearWorkaroundExtension = "GL_QCOM";

}  // namespace

KTRenderTexture::KTRenderTexture() = default;

KTRenderTexture::~KTRenderTexture() {
    KT_SAFE_RELEASE(m_pSprite);
    KT_SAFE_RELEASE(m_pTexture);
    KT_SAFE_RELEASE(m_pTextureCopy);
    if (m_uFBO) glDeleteFramebuffers(1, &m_uFBO);
    if (m_uDepthRenderBufffer) glDeleteRenderbuffers(1, &m_uDepthRenderBufffer);
}

KTRenderTexture* KTRenderTexture::create(int width, int height) {
    auto* renderTexture = new KTRenderTexture();
    if (renderTexture->initWithWidthAndHeight(width, height, kKTTexture2DPixelFormat_RGBA8888, 0))
        return ktAutorelease(renderTexture);
    delete renderTexture;
    return nullptr;
}

bool KTRenderTexture::initWithWidthAndHeight(int width, int height, KTTexture2DPixelFormat format,
                                             GLuint depthStencilFormat) {
    const float scale = KTDirector::sharedDirector()->getContentScaleFactor();
    const int pixelsWide = static_cast<int>(static_cast<float>(width) * scale);
    const int pixelsHigh = static_cast<int>(static_cast<float>(height) * scale);
    if (pixelsWide <= 0 || pixelsHigh <= 0) {
        plat::logError("KTRenderTexture: a render texture of %d x %d points holds no pixel", width, height);
        return false;
    }

    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &m_nOldFBO);

    unsigned int textureWide = static_cast<unsigned int>(pixelsWide);
    unsigned int textureHigh = static_cast<unsigned int>(pixelsHigh);
    if (!KTConfiguration::sharedConfiguration()->supportsNPOT()) {
        textureWide = static_cast<unsigned int>(ktNextPOT(textureWide));
        textureHigh = static_cast<unsigned int>(ktNextPOT(textureHigh));
    }
    const size_t bytes = static_cast<size_t>(textureWide) * textureHigh * 4;
    void* data = calloc(bytes, 1);
    if (!data) {
        plat::logError("KTRenderTexture: no memory for %u x %u pixels", textureWide, textureHigh);
        return false;
    }

    m_ePixelFormat = format;
    const KTSize contentSizeInPixels(static_cast<float>(pixelsWide), static_cast<float>(pixelsHigh));
    auto* texture = new KTTexture2D();
    if (!texture->initWithData(data, format, textureWide, textureHigh, contentSizeInPixels)) {
        plat::logError("KTRenderTexture: the %u x %u texture cannot be made", textureWide, textureHigh);
        texture->release();
        free(data);
        return false;
    }
    KT_SAFE_RELEASE(m_pTexture);
    m_pTexture = texture;

    GLint oldRBO = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &oldRBO);

    if (KTConfiguration::sharedConfiguration()->checkForGLExtension(kClearWorkaroundExtension)) {
        m_pTextureCopy = new KTTexture2D();
        m_pTextureCopy->initWithData(data, format, textureWide, textureHigh, contentSizeInPixels);
    }
    free(data);

    glGenFramebuffers(1, &m_uFBO);
    glBindFramebuffer(GL_FRAMEBUFFER, m_uFBO);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_pTexture->getName(), 0);

    if (depthStencilFormat != 0) {
        glGenRenderbuffers(1, &m_uDepthRenderBufffer);
        glBindRenderbuffer(GL_RENDERBUFFER, m_uDepthRenderBufffer);
        glRenderbufferStorage(GL_RENDERBUFFER, depthStencilFormat, static_cast<GLsizei>(textureWide),
                              static_cast<GLsizei>(textureHigh));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                  m_uDepthRenderBufffer);
        if (depthStencilFormat == GL_DEPTH24_STENCIL8_OES)
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                      m_uDepthRenderBufffer);
    }

    // An incomplete framebuffer draws nothing and reads back black: refuse it rather than report success.
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        plat::logError("KTRenderTexture: could not attach the texture to the framebuffer (status 0x%04X)",
                       status);
        glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(oldRBO));
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_nOldFBO));
        return false;
    }

    m_pTexture->setAliasTexParameters();

    setSprite(KTSprite::createWithTexture(m_pTexture));
    if (!m_pSprite) {
        glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(oldRBO));
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_nOldFBO));
        return false;
    }
    // GL's rows run bottom up: the flip shows the picture upright.
    m_pSprite->setScaleY(-1);
    m_pSprite->setBlendFunc({GL_ONE, GL_ONE_MINUS_SRC_ALPHA});

    glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(oldRBO));
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_nOldFBO));

    m_bAutoDraw = false;
    addChild(m_pSprite);
    return true;
}

KTSprite* KTRenderTexture::getSprite() {
    return m_pSprite;
}

void KTRenderTexture::setSprite(KTSprite* sprite) {
    KT_SAFE_RETAIN(sprite);
    KT_SAFE_RELEASE(m_pSprite);
    m_pSprite = sprite;
}

void KTRenderTexture::begin() {
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLPushMatrix();
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLPushMatrix();

    KTDirector* director = KTDirector::sharedDirector();
    director->setProjection(director->getProjection());

    const KTSize texSize = m_pTexture->getContentSizeInPixels();
    KTSize winSize = director->getWinSizeInPixels();
    // Without a window the scene is taken at the texture's own size.
    if (winSize.width <= 0 || winSize.height <= 0) winSize = texSize;
    const float widthRatio = winSize.width / texSize.width;
    const float heightRatio = winSize.height / texSize.height;

    glGetIntegerv(GL_VIEWPORT, m_aOldViewport);
    glViewport(0, 0, static_cast<GLsizei>(texSize.width), static_cast<GLsizei>(texSize.height));

    mxMat4 orthoMatrix;
    mxMat4OrthographicProjection(&orthoMatrix, -1.0f / widthRatio, 1.0f / widthRatio, -1.0f / heightRatio,
                                 1.0f / heightRatio, -1, 1);
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLMultMatrix(&orthoMatrix);

    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &m_nOldFBO);
    glBindFramebuffer(GL_FRAMEBUFFER, m_uFBO);

    if (m_pTextureCopy &&
        KTConfiguration::sharedConfiguration()->checkForGLExtension(kClearWorkaroundExtension)) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_pTextureCopy->getName(),
                               0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_pTexture->getName(), 0);
    }
}

void KTRenderTexture::end() {
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_nOldFBO));
    // The viewport begin found; with a GL view that is the director's own.
    glViewport(m_aOldViewport[0], m_aOldViewport[1], m_aOldViewport[2], m_aOldViewport[3]);
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLPopMatrix();
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLPopMatrix();
}

void KTRenderTexture::visit() {
    if (!m_bVisible) return;
    mxGLPushMatrix();
    const bool gridActive = m_pGrid && m_pGrid->isActive();
    if (gridActive) {
        m_pGrid->beforeDraw();
        transformAncestors();
    }
    transform();
    if (m_pSprite) m_pSprite->visit();
    draw();
    if (gridActive) m_pGrid->afterDraw(this);
    mxGLPopMatrix();
    m_uOrderOfArrival = 0;
}

void KTRenderTexture::draw() {
    if (!m_bAutoDraw) return;
    begin();
    if (m_uClearFlags) {
        GLfloat oldClearColor[4] = {0, 0, 0, 0};
        GLfloat oldDepthClearValue = 0;
        GLint oldStencilClearValue = 0;
        if (m_uClearFlags & GL_COLOR_BUFFER_BIT) {
            glGetFloatv(GL_COLOR_CLEAR_VALUE, oldClearColor);
            glClearColor(m_sClearColor.r, m_sClearColor.g, m_sClearColor.b, m_sClearColor.a);
        }
        if (m_uClearFlags & GL_DEPTH_BUFFER_BIT) {
            glGetFloatv(GL_DEPTH_CLEAR_VALUE, &oldDepthClearValue);
            glClearDepthf(m_fClearDepth);
        }
        if (m_uClearFlags & GL_STENCIL_BUFFER_BIT) {
            glGetIntegerv(GL_STENCIL_CLEAR_VALUE, &oldStencilClearValue);
            glClearStencil(m_nClearStencil);
        }
        glClear(m_uClearFlags);
        if (m_uClearFlags & GL_COLOR_BUFFER_BIT)
            glClearColor(oldClearColor[0], oldClearColor[1], oldClearColor[2], oldClearColor[3]);
        if (m_uClearFlags & GL_DEPTH_BUFFER_BIT) glClearDepthf(oldDepthClearValue);
        if (m_uClearFlags & GL_STENCIL_BUFFER_BIT) glClearStencil(oldStencilClearValue);
    }

    sortAllChildren();
    if (m_pChildren) {
        for (unsigned int i = 0; i < m_pChildren->count(); ++i) {
            auto* child = static_cast<KTNode*>(m_pChildren->objectAtIndex(i));
            if (child && child != m_pSprite) child->visit();
        }
    }
    end();
}

KTImage* KTRenderTexture::newCCImage(bool flipImage) {
    if (!m_pTexture) return nullptr;
    const KTSize size = m_pTexture->getContentSizeInPixels();
    const int width = static_cast<int>(size.width);
    const int height = static_cast<int>(size.height);
    if (width <= 0 || height <= 0) return nullptr;

    const size_t rowBytes = static_cast<size_t>(width) * 4;
    const size_t bytes = rowBytes * static_cast<size_t>(height);
    auto* buffer = static_cast<GLubyte*>(malloc(bytes));
    auto* tempData = static_cast<GLubyte*>(malloc(bytes));
    if (!buffer || !tempData) {
        plat::logError("KTRenderTexture: no memory to read %d x %d pixels", width, height);
        free(buffer);
        free(tempData);
        return nullptr;
    }

    begin();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, tempData);
    end();

    const GLubyte* pixels = tempData;
    if (flipImage) {
        for (int i = 0; i < height; ++i)
            memcpy(&buffer[static_cast<size_t>(i) * rowBytes],
                   &tempData[static_cast<size_t>(height - 1 - i) * rowBytes], rowBytes);
        pixels = buffer;
    }
    auto* image = new KTImage();
    image->initWithImageData(pixels, static_cast<long>(bytes), kKTImageFormat_RawData, width, height, 8);
    free(buffer);
    free(tempData);
    return image;
}

bool KTRenderTexture::saveToFile(const char* fileName, KTImageFormat /*format*/) {
    if (!fileName) return false;
    KTImage* image = newCCImage(true);
    if (!image) return false;
    const std::string fullPath = KTFileUtils::sharedFileUtils()->getWritablePath() + fileName;
    const bool saved = image->saveToFile(fullPath.c_str(), true);
    if (!saved) plat::logError("KTRenderTexture: %s could not be written", fullPath.c_str());
    image->release();
    return saved;
}

}  // namespace kite
