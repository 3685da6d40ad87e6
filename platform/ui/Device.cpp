#include "platform/ui/Device.h"

#include <sys/utsname.h>

#include <cstdlib>

namespace plat {

Device::Device() {
    struct utsname names {};
    machine_ = ::uname(&names) == 0 && names.machine[0] ? names.machine : "unknown";
}

const Device& Device::current() {
    static const Device device;
    return device;
}

double Device::systemVersionNumber() const {
    return std::strtod(systemVersion_.c_str(), nullptr);
}

}  // namespace plat
