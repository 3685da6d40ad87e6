#include "kite/platform/KTEGLViewProtocol.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kite/core/KTDirector.h"

namespace kite {

KTEGLViewProtocol::KTEGLViewProtocol() = default;

KTEGLViewProtocol::~KTEGLViewProtocol() = default;

const KTSize& KTEGLViewProtocol::getFrameSize() const {
    return m_obFrameSize;
}

void KTEGLViewProtocol::setFrameSize(float width, float height) {
    m_obFrameSize = KTSize(width, height);
    m_obDesignSize = m_obFrameSize;
}

KTSize KTEGLViewProtocol::getVisibleSize() const {
    if (m_eResolutionPolicy == kResolutionNoBorder)
        return KTSize(m_obFrameSize.width / m_fScaleX, m_obFrameSize.height / m_fScaleY);
    return m_obDesignSize;
}

KTPoint KTEGLViewProtocol::getVisibleOrigin() const {
    if (m_eResolutionPolicy == kResolutionNoBorder)
        return KTPoint((m_obDesignSize.width - m_obFrameSize.width / m_fScaleX) * 0.5f,
                       (m_obDesignSize.height - m_obFrameSize.height / m_fScaleY) * 0.5f);
    return KTPoint(0, 0);
}

void KTEGLViewProtocol::setDesignResolutionSize(float width, float height,
                                                ResolutionPolicy resolutionPolicy) {
    if (width == 0.0f || height == 0.0f) return;
    m_obDesignSize = KTSize(width, height);
    m_fScaleX = m_obFrameSize.width / m_obDesignSize.width;
    m_fScaleY = m_obFrameSize.height / m_obDesignSize.height;

    switch (resolutionPolicy) {
        case kResolutionNoBorder:
            m_fScaleX = m_fScaleY = std::max(m_fScaleX, m_fScaleY);
            break;
        case kResolutionShowAll:
            m_fScaleX = m_fScaleY = std::min(m_fScaleX, m_fScaleY);
            break;
        case kResolutionFixedHeight:
            m_fScaleX = m_fScaleY;
            m_obDesignSize.width = std::ceil(m_obFrameSize.width / m_fScaleX);
            break;
        case kResolutionFixedWidth:
            m_fScaleY = m_fScaleX;
            m_obDesignSize.height = std::ceil(m_obFrameSize.height / m_fScaleY);
            break;
        default:
            break;
    }

    const float viewPortWidth = m_obDesignSize.width * m_fScaleX;
    const float viewPortHeight = m_obDesignSize.height * m_fScaleY;
    m_obViewPort.setRect((m_obFrameSize.width - viewPortWidth) * 0.5f,
                         (m_obFrameSize.height - viewPortHeight) * 0.5f, viewPortWidth, viewPortHeight);
    m_eResolutionPolicy = resolutionPolicy;

    KTDirector* director = KTDirector::sharedDirector();
    director->m_obWinSizeInPoints = getDesignResolutionSize();
    director->createStatsLabel();
    director->setGLDefaultValues();
}

const KTSize& KTEGLViewProtocol::getDesignResolutionSize() const {
    return m_obDesignSize;
}

void KTEGLViewProtocol::setTouchDelegate(EGLTouchDelegate* delegate) {
    m_pTouchDelegate = delegate;
}

void KTEGLViewProtocol::setViewPortInPoints(float x, float y, float w, float h) {
    glViewport(static_cast<GLint>(x * m_fScaleX + m_obViewPort.origin.x),
               static_cast<GLint>(y * m_fScaleY + m_obViewPort.origin.y), static_cast<GLsizei>(w * m_fScaleX),
               static_cast<GLsizei>(h * m_fScaleY));
}

void KTEGLViewProtocol::setScissorInPoints(float x, float y, float w, float h) {
    glScissor(static_cast<GLint>(x * m_fScaleX + m_obViewPort.origin.x),
              static_cast<GLint>(y * m_fScaleY + m_obViewPort.origin.y), static_cast<GLsizei>(w * m_fScaleX),
              static_cast<GLsizei>(h * m_fScaleY));
}

bool KTEGLViewProtocol::isScissorEnabled() {
    return glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
}

KTRect KTEGLViewProtocol::getScissorRect() {
    GLfloat box[4] = {0, 0, 0, 0};
    glGetFloatv(GL_SCISSOR_BOX, box);
    return KTRect((box[0] - m_obViewPort.origin.x) / m_fScaleX, (box[1] - m_obViewPort.origin.y) / m_fScaleY,
                  box[2] / m_fScaleX, box[3] / m_fScaleY);
}

void KTEGLViewProtocol::setViewName(const char* viewName) {
    if (!viewName || viewName[0] == '\0') return;
    std::strncpy(m_szName, viewName, sizeof(m_szName) - 1);
    m_szName[sizeof(m_szName) - 1] = '\0';
}

}  // namespace kite
