#pragma once
// The engine's accelerometer, owned by the director: it passes the one delegate and the update interval
// to the shared AccelerometerDispatcher.
#include "kite/accelerometer/KTAccelerometerDelegate.h"

namespace kite {

class KTAccelerometer {
  public:
    // Null stops delivery. The first call opens the reading feed.
    void setDelegate(KTAccelerometerDelegate* delegate);
    void setAccelerometerInterval(float interval);
};

}  // namespace kite
