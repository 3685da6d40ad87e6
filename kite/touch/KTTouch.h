#pragma once
// One finger on the screen. Its id is the touch slot it occupies (0-4); its points are in design
// coordinates with y downward, as the GL view hands them over.
#include "kite/base/KTGeometry.h"
#include "kite/base/KTObject.h"

namespace kite {

class KTTouch : public KTObject {
  public:
    KTTouch() = default;

    // The first call also fixes the start point; every call moves the current point to the previous one.
    void setTouchInfo(int id, float x, float y);

    // The current point in GL coordinates (y upward).
    KTPoint getLocation() const;
    // The raw points, in design coordinates with y downward.
    KTPoint getLocationInView() const { return m_point; }
    KTPoint getPreviousLocationInView() const { return m_prevPoint; }
    KTPoint getStartLocationInView() const { return m_startPoint; }
    KTPoint getPreviousLocation() const;
    KTPoint getStartLocation() const;
    KTPoint getDelta() const;

    int getID() const { return m_nId; }

  private:
    int m_nId = 0;
    bool m_startPointCaptured = false;
    KTPoint m_startPoint;
    KTPoint m_point;
    KTPoint m_prevPoint;
};

}  // namespace kite
