#pragma once
// The worker queues of one RTB or house-network adapter, owned by it. A "ziz.api.scaleout" queue is new
// at every call and ends once its one piece of work is done; the "ziz.api.global" queue is the owner's one
// serial worker. Work that holds the adapter gives it back to the main run loop when done, so the adapter,
// and with it its queues, never dies off the main thread; its end stops the queues in order.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/base/Clock.h"

namespace plat {
class URLRequest;
}

class ADFRWorkQueues {
  public:
    static constexpr const char* kScaleoutName = "ziz.api.scaleout";
    static constexpr const char* kGlobalName = "ziz.api.global";
    // The display waiters' bound: at most 11 passes of half a second.
    static constexpr int kWaitPasses = 11;
    static constexpr double kWaitPassSeconds = 0.5;

    using Work = std::function<void()>;

    ADFRWorkQueues();
    // Stops the queues (see stop()); on the main thread.
    ~ADFRWorkQueues();
    ADFRWorkQueues(const ADFRWorkQueues&) = delete;
    ADFRWorkQueues& operator=(const ADFRWorkQueues&) = delete;

    // Runs `work` on a new serial queue of its own.
    void scaleout(Work work);
    // Runs `work` on the owner's serial worker, after what was handed in before.
    void global(Work work);
    // Waits for every piece of work handed in so far and ends the workers: the scaleout ones first, as
    // their work may hand more to the serial worker. On the main thread.
    void stop();

    // Hands `object` back to the main run loop, where its last reference (if this is it) goes.
    static void releaseOnMain(std::shared_ptr<void> object);
    // Every live owner's stop() (the end of a test); on the main thread.
    static void shutdown();
    // Workers alive now, of every owner.
    static size_t liveWorkers();

    // A synchronous GET from a worker thread: the body when the answer came with status 200.
    static std::optional<std::string> get(const plat::URLRequest& request);

    // Waits on `changed` (with `lock` held) until `done()` holds or the waiters' bound, counted on the
    // shared clock from `sinceMicros` (its monotonic time when the display was reported), ran out.
    template <typename Pred>
    static bool waitForDisplay(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                               int64_t sinceMicros, Pred done) {
        auto clock = plat::Clock::shared();
        const int64_t end = sinceMicros + static_cast<int64_t>(kWaitPasses * kWaitPassSeconds * 1e6);
        while (!done()) {
            if (clock.monotonicMicros() >= end) return false;
            // A virtual clock moves without telling anyone: the bound is looked at again now and then.
            changed.wait_for(lock, std::chrono::milliseconds(kBoundCheckMillis));
        }
        return true;
    }

  private:
    static constexpr int kBoundCheckMillis = 20;
    struct Pool;
    // Shared with the reaping posted to the main loop, which may come after the owner has gone.
    std::shared_ptr<Pool> pool_;
};
