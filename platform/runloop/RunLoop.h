#pragma once
// One run loop per thread: tasks posted from any thread, timers on the shared clock's steady time, and
// file-descriptor watches, all run on the loop's own thread. poll() waits; an eventfd wakes it.
//
// With a virtual clock time only moves when someone advances it, so the loop never sleeps waiting for a
// timer: runOnce() runs what is due and returns, and run() moves the clock to the next timer when idle.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <poll.h>

namespace plat {

class RunLoop {
  public:
    using Task = std::function<void()>;
    using TimerId = uint64_t;
    using WatchId = uint64_t;

    enum FdEvent : unsigned { kReadable = 1, kWritable = 2, kHangUp = 4, kError = 8 };
    // Receives the fd and the FdEvent bits that happened.
    using FdCallback = std::function<void(int fd, unsigned events)>;

    RunLoop();
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // The process's main thread's loop (usable, for posting, from any thread).
    static RunLoop& main();
    // The calling thread's loop, made on first use; on the main thread it is main().
    static RunLoop& current();

    // Thread-safe; wakes the loop. Tasks run in the order they were posted.
    void post(Task task);

    // Timers fire on the loop's thread once `delaySeconds` of steady time have passed, then every
    // `repeatSeconds` when that is positive. A late repeating timer fires once and skips the missed
    // ticks. Thread-safe; a cancelled timer never fires again, even from inside its own callback.
    TimerId addTimer(double delaySeconds, Task callback, double repeatSeconds = 0);
    void cancelTimer(TimerId id);
    bool hasTimer(TimerId id) const;
    // Steady time at which that timer is next due; empty when there is no such timer.
    std::optional<int64_t> timerDueMicros(TimerId id) const;
    // Steady time (Clock::monotonicMicros) at which the earliest timer is due.
    std::optional<int64_t> nextTimerDueMicros() const;

    // Watches `fd` for the FdEvent bits in `events`; the callback runs on the loop's thread.
    WatchId watchFd(int fd, unsigned events, FdCallback callback);
    void unwatchFd(WatchId id);

    // Runs whatever is ready now; if nothing was, waits up to `maxWaitSeconds` (real time, shortened to
    // the next timer with a real clock; no waiting for timers with a virtual clock) and runs what became
    // ready. With a virtual clock and timers pending it does not wait at all. Returns how many tasks, timers
    // and fd callbacks ran. Must be called on the loop's thread.
    int runOnce(double maxWaitSeconds = 0);
    // Runs until stop() (which may come from any thread or from a task).
    void run();
    void stop();
    bool isRunning() const { return running_.load(); }

    // True when called on the thread that runs this loop.
    bool isCurrent() const;
    // Wakes a waiting runOnce()/run() without posting anything.
    void wakeUp();
    // Drops every posted task, timer and watch without running them (a test's leftovers).
    void discardAll();

  private:
    struct Timer {
        TimerId id;
        int64_t created;
        double delayExact;  // microseconds after `created` of the first tick
        int64_t intervalMicros;
        double intervalExact;  // microseconds, kept fractional so 60 Hz ticks do not drift
        uint64_t ticks;
        int64_t due;
        std::shared_ptr<Task> callback;
    };
    struct Watch {
        WatchId id;
        int fd;
        unsigned events;
        std::shared_ptr<FdCallback> callback;
        bool removed;
    };

    int runPosted();
    int runDueTimers();
    int pollAndDispatch(int timeoutMillis);
    void bindToCurrentThread();
    void drainWakeFd();

    mutable std::mutex mutex_;
    std::vector<Task> posted_;
    std::vector<Task> running_tasks_;
    std::vector<Timer> timers_;
    std::vector<Watch> watches_;
    std::vector<pollfd> pollfds_;
    std::vector<WatchId> pollIds_;
    // One due list per nesting depth of runDueTimers (a timer callback may run the loop again): each keeps
    // its capacity, so a pass allocates only when it sees more due timers than any pass before it.
    std::vector<std::vector<std::pair<int64_t, TimerId>>> dueByDepth_;
    size_t dueDepth_ = 0;
    uint64_t nextId_ = 1;
    int wakeFd_ = -1;
    bool wakeDrained_ = false;  // set by pollAndDispatch when it consumed the wake-up
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::thread::id> owner_{};
    bool isMain_ = false;

    friend class Thread;
    // Makes `loop` what current() returns on the calling thread (a Thread's own loop).
    static void adoptForCurrentThread(RunLoop* loop);
};

}  // namespace plat
