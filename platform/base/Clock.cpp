#include "platform/base/Clock.h"

#include <cmath>
#include <ctime>
#include <mutex>

#include "platform/base/Lasting.h"

namespace plat {
namespace {

std::mutex& clockMutex() {
    static Lasting<std::mutex> m;
    return *m;
}

std::shared_ptr<Clock>& clockSlot() {
    static Lasting<std::shared_ptr<Clock>> clock(std::make_shared<RealClock>());
    return *clock;
}

int64_t readClock(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

}  // namespace

TimeVal Clock::timeOfDay() const {
    int64_t micros = nowMicros();
    TimeVal tv;
    tv.seconds = micros / 1000000;
    tv.microseconds = static_cast<int32_t>(micros % 1000000);
    if (tv.microseconds < 0) {
        tv.microseconds += 1000000;
        tv.seconds -= 1;
    }
    return tv;
}

Clock::Ref Clock::shared() {
    std::lock_guard<std::mutex> lock(clockMutex());
    return Ref(clockSlot());
}

std::shared_ptr<VirtualClock> Clock::Ref::asVirtual() const {
    return std::dynamic_pointer_cast<VirtualClock>(clock_);
}

std::shared_ptr<Clock> Clock::setShared(std::shared_ptr<Clock> clock) {
    std::lock_guard<std::mutex> lock(clockMutex());
    std::shared_ptr<Clock> previous = clockSlot();
    clockSlot() = clock ? std::move(clock) : std::make_shared<RealClock>();
    return previous;
}

int64_t RealClock::nowMicros() const {
    return readClock(CLOCK_REALTIME);
}
int64_t RealClock::monotonicMicros() const {
    return readClock(CLOCK_MONOTONIC);
}

void VirtualClock::advanceMicros(int64_t micros) {
    wall_ += micros;
    steady_ += micros;
}

void VirtualClock::advance(double seconds) {
    advanceMicros(static_cast<int64_t>(std::llround(seconds * 1e6)));
}

}  // namespace plat
