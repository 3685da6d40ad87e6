#include "kite/touch/KTTouch.h"

#include "kite/core/KTDirector.h"

namespace kite {

void KTTouch::setTouchInfo(int id, float x, float y) {
    m_nId = id;
    m_prevPoint = m_point;
    m_point = KTPoint(x, y);
    if (!m_startPointCaptured) {
        m_startPoint = m_point;
        m_startPointCaptured = true;
    }
}

KTPoint KTTouch::getLocation() const {
    return KTDirector::sharedDirector()->convertToGL(m_point);
}

KTPoint KTTouch::getPreviousLocation() const {
    return KTDirector::sharedDirector()->convertToGL(m_prevPoint);
}

KTPoint KTTouch::getStartLocation() const {
    return KTDirector::sharedDirector()->convertToGL(m_startPoint);
}

KTPoint KTTouch::getDelta() const {
    const KTPoint now = getLocation(), before = getPreviousLocation();
    return KTPoint(now.x - before.x, now.y - before.y);
}

}  // namespace kite
