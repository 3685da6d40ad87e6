// Accelerometer datagram text: comma-separated fields read as decimal numbers.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kite/accelerometer/AccelerometerSimulation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto reading = kite::AccelerometerSimulation::parseReading(text)) {
        volatile double sink = reading->timestamp() + reading->x() + reading->y() + reading->z();
        (void)sink;
    }
    for (size_t cut = 0; cut <= size && cut < 64; ++cut)
        kite::AccelerometerSimulation::doubleValue(text.substr(cut));
    return 0;
}
