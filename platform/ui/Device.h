#pragma once
// The device the app runs on: this desktop stands in for a phone running a current system.
#include <string>

namespace plat {

class Device {
  public:
    enum class Idiom { Phone = 0, Tablet = 1 };
    static const Device& current();
    const std::string& systemName() const { return systemName_; }
    // A dotted version ("8.0"); the app reads it as a number.
    const std::string& systemVersion() const { return systemVersion_; }
    double systemVersionNumber() const;
    Idiom userInterfaceIdiom() const { return Idiom::Phone; }
    const std::string& model() const { return model_; }
    // The hardware model as the system's "hw.machine" names it (the kernel's machine, "x86_64").
    const std::string& hardwareMachine() const { return machine_; }

  private:
    Device();

    std::string machine_;
    std::string systemName_ = "Linux";
    std::string systemVersion_ = "8.0";
    std::string model_ = "desktop";
};

}  // namespace plat
