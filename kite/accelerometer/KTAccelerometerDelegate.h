#pragma once
// One accelerometer reading and the interface of its one receiver.
namespace kite {

struct KTAcceleration {
    double x = 0;
    double y = 0;
    double z = 0;
    double timestamp = 0;
};

class KTAccelerometerDelegate {
  public:
    virtual ~KTAccelerometerDelegate() = default;
    virtual void didAccelerate(KTAcceleration* acceleration) = 0;
};

}  // namespace kite
