#include "platform/ui/Device.h"

#include <sys/utsname.h>

#include <atomic>
#include <cstdlib>

#include "platform/base/Lasting.h"
#include "platform/runloop/NotificationCenter.h"

namespace plat {
namespace {
std::atomic<int> gOrientation{0};
std::atomic<int> gGenerating{0};
}  // namespace

Device::Device() {
    struct utsname names {};
    machine_ = ::uname(&names) == 0 && names.machine[0] ? names.machine : "unknown";
}

const Device& Device::current() {
    static const Lasting<Device> device;
    return *device;
}

double Device::systemVersionNumber() const {
    return std::strtod(systemVersion_.c_str(), nullptr);
}

}  // namespace plat

namespace plat {

Device::Orientation Device::orientation() const {
    return static_cast<Orientation>(gOrientation.load());
}

void Device::setOrientation(Orientation orientation) const {
    const int old = gOrientation.exchange(static_cast<int>(orientation));
    if (old != static_cast<int>(orientation) && isGeneratingDeviceOrientationNotifications())
        NotificationCenter::defaultCenter().post(kOrientationDidChangeNotification, this);
}

void Device::beginGeneratingDeviceOrientationNotifications() const {
    ++gGenerating;
}

void Device::endGeneratingDeviceOrientationNotifications() const {
    int n = gGenerating.load();
    while (n > 0 && !gGenerating.compare_exchange_weak(n, n - 1)) {
    }
}

bool Device::isGeneratingDeviceOrientationNotifications() const {
    return gGenerating.load() > 0;
}

void Device::resetOrientation() {
    gOrientation = 0;
    gGenerating = 0;
}

}  // namespace plat
