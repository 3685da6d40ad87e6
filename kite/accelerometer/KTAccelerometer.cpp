#include "kite/accelerometer/KTAccelerometer.h"

#include "kite/accelerometer/AccelerometerDispatcher.h"

namespace kite {

void KTAccelerometer::setDelegate(KTAccelerometerDelegate* delegate) {
    AccelerometerDispatcher::sharedAccelerometerDispather()->addDelegate(delegate);
}

void KTAccelerometer::setAccelerometerInterval(float interval) {
    AccelerometerDispatcher::sharedAccelerometerDispather()->setAccelerometerInterval(interval);
}

}  // namespace kite
