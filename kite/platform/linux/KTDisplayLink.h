#pragma once
// The frame source: the screen refreshes 60 times a second (one repeating timer on the run loop the
// links are added to) and each scheduled link calls its target once every `frameInterval` refreshes.
// On a virtual clock the refreshes come exactly as fast as the clock is advanced.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/runloop/RunLoop.h"

namespace kite {

class KTDisplayLink : public std::enable_shared_from_this<KTDisplayLink> {
  public:
    static constexpr double kRefreshRate = 60.0;

    static std::shared_ptr<KTDisplayLink> displayLinkWithTarget(std::function<void()> target);
    ~KTDisplayLink();

    // Refreshes per call of the target; values below 1 mean every refresh.
    void setFrameInterval(int interval);
    int frameInterval() const { return frameInterval_; }
    void addToRunLoop(plat::RunLoop& loop);
    // Stops the calls for good (also from inside the target).
    void invalidate();
    bool isScheduled() const { return scheduled_; }

    // How many links are scheduled right now.
    static size_t scheduledCount();
    // Steady time (Clock::monotonicMicros) of the next refresh; -1 while no link is scheduled.
    static int64_t nextRefreshMicros();
    static uint64_t refreshCount();

  private:
    KTDisplayLink() = default;
    static void refresh();

    std::function<void()> target_;
    int frameInterval_ = 1;
    int refreshesSinceCall_ = 0;
    bool scheduled_ = false;
};

}  // namespace kite
