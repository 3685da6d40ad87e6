#include "platform/ui/Device.h"

#include <cstdlib>

namespace plat {

const Device& Device::current() {
    static const Device device;
    return device;
}

double Device::systemVersionNumber() const {
    return std::strtod(systemVersion_.c_str(), nullptr);
}

}  // namespace plat
