#pragma once
// The delegate of the shared (simulated) platform accelerometer: copies each reading into the engine's
// KTAcceleration, turns it to match the interface orientation and hands it to the one registered
// KTAccelerometerDelegate. Main thread only.
#include <memory>

#include "kite/accelerometer/AccelerometerSimulation.h"
#include "kite/accelerometer/KTAccelerometerDelegate.h"

namespace kite {

class AccelerometerDispatcher : public AccelerometerSimulationDelegate,
                                public std::enable_shared_from_this<AccelerometerDispatcher> {
  public:
    // Created on first use.
    static std::shared_ptr<AccelerometerDispatcher> sharedAccelerometerDispather();

    ~AccelerometerDispatcher() override;

    // Becomes the platform accelerometer's delegate for a non-null delegate, leaves it for null.
    void addDelegate(KTAccelerometerDelegate* delegate);
    // Passed on to the platform accelerometer (the simulation keeps it but does not pace by it).
    void setAccelerometerInterval(float interval);

    void accelerometerDidAccelerate(AccelerometerSimulation* accelerometer,
                                    const UIAccelerationSimulation& acceleration) override;

    KTAccelerometerDelegate* delegate_() const { return delegate; }
    void setDelegate_(KTAccelerometerDelegate* d) { delegate = d; }
    const KTAcceleration& acceleration_() const { return acceleration; }
    void setAcceleration_(const KTAcceleration& a) { acceleration = a; }

  private:
    AccelerometerDispatcher() = default;

    KTAccelerometerDelegate* delegate = nullptr;
    KTAcceleration acceleration;
};

}  // namespace kite
