#include "kite/camera/KTGrid.h"

#include "kite/base/KTMacros.h"
#include "kite/camera/KTCamera.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/nodes/KTNode.h"
#include "kite/textures/KTTexture2D.h"

namespace kite {

KTGrabber::KTGrabber() {
    glGenFramebuffers(1, &m_FBO);
}

KTGrabber::~KTGrabber() {
    if (m_FBO) glDeleteFramebuffers(1, &m_FBO);
}

void KTGrabber::beforeRender(KTTexture2D* texture) {
    (void)texture;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &m_oldFBO);
    glBindFramebuffer(GL_FRAMEBUFFER, m_FBO);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, m_oldClearColor);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void KTGrabber::afterRender(KTTexture2D* texture) {
    (void)texture;
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_oldFBO));
    glClearColor(m_oldClearColor[0], m_oldClearColor[1], m_oldClearColor[2], m_oldClearColor[3]);
}

KTGridBase::KTGridBase() = default;

KTGridBase::~KTGridBase() {
    KT_SAFE_RELEASE(m_pTexture);
    KT_SAFE_RELEASE(m_pGrabber);
}

void KTGridBase::set2DProjection() {
    const KTSize size = KTDirector::sharedDirector()->getWinSizeInPixels();
    glViewport(0, 0, static_cast<GLsizei>(size.width), static_cast<GLsizei>(size.height));

    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxMat4 orthoMatrix;
    mxMat4OrthographicProjection(&orthoMatrix, 0, size.width, 0, size.height, -1, 1);
    mxGLMultMatrix(&orthoMatrix);

    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLLoadIdentity();

    ktSetProjectionMatrixDirty();
}

void KTGridBase::beforeDraw() {
    m_directorProjection = KTDirector::sharedDirector()->getProjection();
    set2DProjection();
    if (m_pGrabber) m_pGrabber->beforeRender(m_pTexture);
}

void KTGridBase::afterDraw(KTNode* target) {
    if (m_pGrabber) m_pGrabber->afterRender(m_pTexture);
    KTDirector::sharedDirector()->setProjection(m_directorProjection);

    if (target && target->getCamera()->isDirty()) {
        const KTPoint offset = target->getAnchorPointInPoints();
        mxGLTranslatef(offset.x, offset.y, 0);
        target->getCamera()->locate();
        mxGLTranslatef(-offset.x, -offset.y, 0);
    }

    ktGLBindTexture2D(m_pTexture ? m_pTexture->getName() : 0);
    blit();
}

}  // namespace kite
