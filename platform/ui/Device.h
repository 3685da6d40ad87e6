#pragma once
// The device the app runs on: this desktop stands in for a phone running a current system.
#include <string>

#include "platform/base/Lasting.h"

namespace plat {

class Device {
  public:
    enum class Idiom { Phone = 0, Tablet = 1 };
    enum class Orientation {
        Unknown = 0,
        Portrait = 1,
        PortraitUpsideDown = 2,
        LandscapeLeft = 3,
        LandscapeRight = 4,
        FaceUp = 5,
        FaceDown = 6
    };
    static constexpr const char* kOrientationDidChangeNotification =
        "UIDeviceOrientationDidChangeNotification";

    static const Device& current();
    const std::string& systemName() const { return systemName_; }
    // A dotted version ("8.0"); the app reads it as a number.
    const std::string& systemVersion() const { return systemVersion_; }
    double systemVersionNumber() const;
    Idiom userInterfaceIdiom() const { return Idiom::Phone; }
    const std::string& model() const { return model_; }
    // The hardware model as the system's "hw.machine" names it (the kernel's machine, "x86_64").
    const std::string& hardwareMachine() const { return machine_; }

    // A desktop does not turn by itself: the orientation is Unknown until it is set (by a test or a
    // window session). While notifications are being generated, a change posts
    // kOrientationDidChangeNotification on the calling thread. Thread-safe.
    Orientation orientation() const;
    void setOrientation(Orientation orientation) const;
    // Counted: as many ends as begins stop the notifications.
    void beginGeneratingDeviceOrientationNotifications() const;
    void endGeneratingDeviceOrientationNotifications() const;
    bool isGeneratingDeviceOrientationNotifications() const;
    // Unknown, and no notifications (for tests).
    static void resetOrientation();

  private:
    friend class Lasting<Device>;
    Device();

    std::string machine_;
    std::string systemName_ = "Linux";
    std::string systemVersion_ = "8.0";
    std::string model_ = "desktop";
};

}  // namespace plat
