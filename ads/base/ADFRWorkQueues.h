#pragma once
// The worker queues of the RTB and house-network adapters. A "ziz.api.scaleout" queue is new at every
// call and ends once its one piece of work is done; the global queue is one shared worker. Work that
// holds an adapter gives it back to the main run loop when done, so no view ever dies off the main
// thread. shutdown() waits for all work and joins every worker (the end of a test).
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
    // Runs `work` on a new serial queue of its own.
    static void scaleout(Work work);
    // Runs `work` on the shared worker, after what was handed in before.
    static void global(Work work);
    // Hands `object` back to the main run loop, where its last reference (if this is it) goes.
    static void releaseOnMain(std::shared_ptr<void> object);
    // Waits for every piece of work handed in so far and ends every worker; callable on the main thread.
    static void shutdown();
    // Workers alive now (the global one included).
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
};
