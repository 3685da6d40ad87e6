#include "kite/camera/KTCamera.h"

#include "kite/matrix/KTMatrixStack.h"

namespace kite {

KTCamera::KTCamera() {
    mxMat4Identity(&m_lookupMatrix);
}

KTCamera::~KTCamera() = default;

void KTCamera::locate() {
    if (m_bDirty) {
        mxMat4LookAt(&m_lookupMatrix, &m_eye, &m_center, &m_up);
        m_bDirty = false;
    }
    mxGLMultMatrix(&m_lookupMatrix);
}

}  // namespace kite
