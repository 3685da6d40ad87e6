#include "platform/net/InFlight.h"

#include <atomic>

namespace plat {

namespace {
std::atomic<size_t> counters[2];
}

void InFlight::begin(InFlightKind kind) {
    counters[static_cast<int>(kind)].fetch_add(1);
}

void InFlight::end(InFlightKind kind) {
    // Never below zero, whatever an unbalanced caller does.
    auto& counter = counters[static_cast<int>(kind)];
    size_t value = counter.load();
    while (value > 0 && !counter.compare_exchange_weak(value, value - 1)) {
    }
}

size_t InFlight::count(InFlightKind kind) {
    return counters[static_cast<int>(kind)].load();
}

}  // namespace plat
