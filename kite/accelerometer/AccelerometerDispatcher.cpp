#include "kite/accelerometer/AccelerometerDispatcher.h"

#include "kite/text_input/KTStatusBarOrientation.h"

namespace kite {

namespace {
std::shared_ptr<AccelerometerDispatcher>& sharedInstance() {
    static std::shared_ptr<AccelerometerDispatcher> instance;
    return instance;
}
}  // namespace

std::shared_ptr<AccelerometerDispatcher> AccelerometerDispatcher::sharedAccelerometerDispather() {
    auto& instance = sharedInstance();
    if (!instance) instance.reset(new AccelerometerDispatcher());
    return instance;
}

AccelerometerDispatcher::~AccelerometerDispatcher() {
    delegate = nullptr;
}

void AccelerometerDispatcher::addDelegate(KTAccelerometerDelegate* d) {
    delegate = d;
    auto accelerometer = AccelerometerSimulation::getAccelerometer();
    if (d)
        accelerometer->setDelegate(shared_from_this());
    else
        accelerometer->setDelegate({});
}

void AccelerometerDispatcher::setAccelerometerInterval(float interval) {
    AccelerometerSimulation::getAccelerometer()->setUpdateInterval(interval);
}

void AccelerometerDispatcher::accelerometerDidAccelerate(AccelerometerSimulation*,
                                                         const UIAccelerationSimulation& reading) {
    if (!delegate) return;
    acceleration.x = reading.x();
    acceleration.y = reading.y();
    acceleration.z = reading.z();
    acceleration.timestamp = reading.timestamp();

    const double x = acceleration.x, y = acceleration.y;
    switch (ktStatusBarOrientation()) {
        case 2:
            acceleration.x = -y;
            acceleration.y = -x;
            break;
        case 3:
            acceleration.x = -y;
            acceleration.y = x;
            break;
        case 4:
            acceleration.x = y;
            acceleration.y = -x;
            break;
        default:
            break;
    }
    delegate->didAccelerate(&acceleration);
}

}  // namespace kite
