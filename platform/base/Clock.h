#pragma once
// The time source of the whole process. The real clock reads the system; the virtual clock moves only
// when told to, so headless runs and tests are repeatable. Everything that reads the time of day or
// measures elapsed time goes through Clock::shared().
#include <atomic>
#include <cstdint>
#include <memory>

namespace plat {

struct TimeVal {
    int64_t seconds = 0;
    int32_t microseconds = 0;
};

class VirtualClock;

class Clock {
  public:
    // The shared clock as a caller holds it: the clock stays alive while the handle does, even when
    // someone installs another one meanwhile. Bind it to a local (`auto clock = Clock::shared();`), never
    // to a reference.
    class Ref {
      public:
        explicit Ref(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}
        int64_t nowMicros() const { return clock_->nowMicros(); }
        int64_t monotonicMicros() const { return clock_->monotonicMicros(); }
        bool isVirtual() const { return clock_->isVirtual(); }
        double nowSeconds() const { return clock_->nowSeconds(); }
        TimeVal timeOfDay() const { return clock_->timeOfDay(); }
        const std::shared_ptr<Clock>& pointer() const { return clock_; }
        // The clock when it is a virtual one, else null.
        std::shared_ptr<VirtualClock> asVirtual() const;

      private:
        std::shared_ptr<Clock> clock_;
    };

    virtual ~Clock() = default;

    // Wall-clock time in microseconds since the Unix epoch (what gettimeofday and time() give).
    virtual int64_t nowMicros() const = 0;
    // A steady time in microseconds from an arbitrary origin, for measuring intervals.
    virtual int64_t monotonicMicros() const = 0;
    virtual bool isVirtual() const = 0;

    double nowSeconds() const { return static_cast<double>(nowMicros()) / 1e6; }
    TimeVal timeOfDay() const;

    static Ref shared();
    // Replaces the process-wide clock (null restores the real one); returns the clock it replaced.
    static std::shared_ptr<Clock> setShared(std::shared_ptr<Clock> clock);
};

class RealClock final : public Clock {
  public:
    int64_t nowMicros() const override;
    int64_t monotonicMicros() const override;
    bool isVirtual() const override { return false; }
};

class VirtualClock final : public Clock {
  public:
    // 2026-01-01 00:00:00 UTC: a fixed default start keeps runs repeatable.
    static constexpr int64_t kDefaultStartMicros = 1767225600LL * 1000000LL;

    explicit VirtualClock(int64_t startMicros = kDefaultStartMicros) : wall_(startMicros) {}

    int64_t nowMicros() const override { return wall_.load(); }
    int64_t monotonicMicros() const override { return steady_.load(); }
    bool isVirtual() const override { return true; }

    // Time passes: both the wall clock and the steady clock move.
    void advanceMicros(int64_t micros);
    void advance(double seconds);
    // The wall clock jumps (a device left alone for a while, a changed date); the steady clock stays.
    void jumpWallMicros(int64_t micros) { wall_ += micros; }
    void setWallMicros(int64_t micros) { wall_ = micros; }

  private:
    std::atomic<int64_t> wall_;
    std::atomic<int64_t> steady_{0};
};

}  // namespace plat
