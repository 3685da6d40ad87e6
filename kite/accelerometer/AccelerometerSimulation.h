#pragma once
// The shared platform accelerometer, fed by UDP: datagrams of comma-separated text to port 10552 whose
// fields 1-4 are timestamp, x, y and z are received on a thread of their own and handed to the main
// thread, which delivers each reading to the accelerometer's delegate in arrival order. Created on first
// use; lives for the rest of the process.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/runloop/NotificationCenter.h"

namespace plat {
class RunLoop;
}

namespace kite {

class AccelerometerSimulation;

// One reading as the platform accelerometer reports it.
class UIAccelerationSimulation {
  public:
    UIAccelerationSimulation() = default;
    void initWithTimestamp(double timestamp, double x, double y, double z);
    double timestamp() const { return timestamp_; }
    double x() const { return x_; }
    double y() const { return y_; }
    double z() const { return z_; }

  private:
    double timestamp_ = 0, x_ = 0, y_ = 0, z_ = 0;
};

class AccelerometerSimulationDelegate {
  public:
    virtual ~AccelerometerSimulationDelegate() = default;
    virtual void accelerometerDidAccelerate(AccelerometerSimulation* accelerometer,
                                            const UIAccelerationSimulation& acceleration) = 0;
};

class AccelerometerSimulation {
  public:
    static constexpr uint16_t kDefaultPort = 10552;
    static constexpr size_t kMaxDatagramBytes = 1024;
    // Readings waiting for the main thread beyond this many are dropped, oldest first.
    static constexpr size_t kMaxPendingReadings = 4096;
    static constexpr const char* kThreadAccelNotification = "ThreadAccelNotification";

    // The shared accelerometer; the first call opens the socket and starts the receiver, and the calling
    // thread becomes the one readings are delivered on.
    static std::shared_ptr<AccelerometerSimulation> getAccelerometer();
    // The UDP port the first getAccelerometer() binds (0 picks a free one); tests set it before that.
    static void setPort(uint16_t port);
    static bool hasSharedAccelerometer();
    // Stops the shared instance's receiving thread (joined, not left running) and forgets the instance; the
    // next getAccelerometer() makes a new one.
    static void purgeSharedAccelerometer();

    ~AccelerometerSimulation();

    AccelerometerSimulation(const AccelerometerSimulation&) = delete;
    AccelerometerSimulation& operator=(const AccelerometerSimulation&) = delete;

    // Not retained.
    void setDelegate(std::weak_ptr<AccelerometerSimulationDelegate> delegate) { accelDelegate = delegate; }
    std::shared_ptr<AccelerometerSimulationDelegate> delegate() const { return accelDelegate.lock(); }
    void setUpdateInterval(double seconds) { updateInterval_ = seconds; }
    double updateInterval() const { return updateInterval_; }

    // The port actually bound, or 0 when the socket could not be opened.
    uint16_t boundPort() const { return boundPort_; }
    // False once the socket failed (opening or receiving); nothing more is received then.
    bool isReceiving() const;

    // Parses fields 1-4 of one datagram's text; empty when it has fewer than five fields.
    static std::optional<UIAccelerationSimulation> parseReading(std::string_view text);
    // A decimal number after leading spaces, its longest valid prefix; 0 when there is none.
    static double doubleValue(std::string_view field);

    // On the delivery thread a reading is delivered at once; elsewhere it is queued for that thread.
    void processNotification(const plat::Notification& notification);
    // Runs on the delivery thread when the receiver wakes it: delivers the queued readings in order.
    void handleMachMessage();

  private:
    AccelerometerSimulation() = default;
    void initialize(uint16_t port);
    void setUpThreadingSupport();
    void threadLoop();
    void stop();

    int udpSocket = -1;
    std::thread thread;
    std::atomic<bool> isExiting{false};
    plat::NotificationCenter::Token observer_ = 0;
    std::weak_ptr<AccelerometerSimulationDelegate> accelDelegate;
    UIAccelerationSimulation accObject;
    std::unique_ptr<std::deque<std::string>> notifications;
    std::thread::id notificationThread;
    std::mutex notificationLock;
    plat::RunLoop* notificationPort = nullptr;
    bool wakePending = false;

    double updateInterval_ = 0;
    uint16_t boundPort_ = 0;
    std::atomic<bool> receiving_{false};
};

}  // namespace kite
