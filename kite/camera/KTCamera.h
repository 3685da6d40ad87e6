#pragma once
// A node's optional look-at view, applied around the node's anchor point while it draws. Nothing in the
// engine moves the eye, so a camera stays at its identity view unless it is marked dirty.
#include "kite/base/KTObject.h"
#include "kite/matrix/KTMatrix.h"

namespace kite {

class KTCamera : public KTObject {
  public:
    KTCamera();
    ~KTCamera() override;

    // Multiplies the current model-view matrix by the look-at view (rebuilt first when dirty).
    void locate();

    bool isDirty() const { return m_bDirty; }
    void setDirty(bool dirty) { m_bDirty = dirty; }
    const mxVec3& getEye() const { return m_eye; }
    const mxVec3& getCenter() const { return m_center; }
    const mxVec3& getUp() const { return m_up; }

  private:
    // The eye sits just off the centre: at the centre itself the look-at direction would be undefined.
    mxVec3 m_eye{0.0f, 0.0f, 1.1920929e-7f};
    mxVec3 m_center{0.0f, 0.0f, 0.0f};
    mxVec3 m_up{0.0f, 1.0f, 0.0f};
    bool m_bDirty = false;
    mxMat4 m_lookupMatrix;
};

}  // namespace kite
