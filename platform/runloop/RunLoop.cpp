#include "platform/runloop/RunLoop.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/base/Assert.h"
#include "platform/base/Clock.h"
#include "platform/base/Descriptors.h"
#include "platform/base/Lasting.h"
#include "platform/base/Log.h"

namespace plat {
namespace {

// Asked on every post, watch and pass of the loop: two system calls each time were a measurable share of
// a short network load, so each thread works it out once (and again in a forked child).
thread_local int tIsMainThread = -1;

bool onProcessMainThread() {
    if (tIsMainThread < 0) {
        static const bool forkHandler = [] {
            pthread_atfork(nullptr, nullptr, [] { tIsMainThread = -1; });
            return true;
        }();
        (void)forkHandler;
        tIsMainThread = static_cast<pid_t>(syscall(SYS_gettid)) == getpid() ? 1 : 0;
    }
    return tIsMainThread == 1;
}

int64_t secondsToMicros(double seconds) {
    if (!(seconds > 0)) return 0;  // negative and NaN both mean "now"
    if (seconds > 1e12) return std::numeric_limits<int64_t>::max() / 4;
    return static_cast<int64_t>(std::llround(seconds * 1e6));
}

int waitMillis(double seconds) {
    if (std::isnan(seconds)) return 0;
    if (seconds < 0) return -1;
    double ms = std::ceil(seconds * 1000.0);
    if (ms > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(ms);
}

short toPollEvents(unsigned events) {
    short e = 0;
    if (events & RunLoop::kReadable) e |= POLLIN;
    if (events & RunLoop::kWritable) e |= POLLOUT;
    return e;
}

unsigned fromPollEvents(short revents) {
    unsigned e = 0;
    if (revents & (POLLIN | POLLPRI)) e |= RunLoop::kReadable;
    if (revents & POLLOUT) e |= RunLoop::kWritable;
    if (revents & POLLHUP) e |= RunLoop::kHangUp;
    if (revents & (POLLERR | POLLNVAL)) e |= RunLoop::kError;
    return e;
}

thread_local std::unique_ptr<RunLoop> tCurrentLoop;
thread_local RunLoop* tAdoptedLoop = nullptr;

}  // namespace

RunLoop::RunLoop() {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) return;
    // Without its wake-up the loop still runs what is posted to it, at its next look a moment later.
    if (isOutOfDescriptors(errno))
        noteOutOfDescriptors("a run loop has no wake-up descriptor");
    else
        logError("RunLoop: no wake-up descriptor: %s", std::strerror(errno));
}

RunLoop::~RunLoop() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

void RunLoop::discardAll() {
    std::vector<Task> posted;
    std::vector<Timer> timers;
    std::vector<Watch> watches;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        posted.swap(posted_);
        timers.swap(timers_);
        watches.swap(watches_);
    }
    // The callbacks die outside the lock: their captures may post or cancel on this loop.
}

RunLoop& RunLoop::main() {
    static RunLoop& loop = []() -> RunLoop& {
        static Lasting<RunLoop> made;
        made->isMain_ = true;
        return *made;
    }();
    return loop;
}

RunLoop& RunLoop::current() {
    if (tAdoptedLoop) return *tAdoptedLoop;
    if (onProcessMainThread()) return main();
    if (!tCurrentLoop) {
        tCurrentLoop = std::make_unique<RunLoop>();
        tCurrentLoop->bindToCurrentThread();
    }
    return *tCurrentLoop;
}

void RunLoop::adoptForCurrentThread(RunLoop* loop) {
    tAdoptedLoop = loop;
    if (loop) loop->bindToCurrentThread();
}

void RunLoop::bindToCurrentThread() {
    owner_.store(std::this_thread::get_id());
}

bool RunLoop::isCurrent() const {
    if (isMain_) return onProcessMainThread();
    return owner_.load() == std::this_thread::get_id();
}

void RunLoop::wakeUp() {
    if (wakeFd_ < 0) return;
    uint64_t one = 1;
    ssize_t n = write(wakeFd_, &one, sizeof one);
    (void)n;  // EAGAIN means a wake-up is already pending, which is all we need
}

void RunLoop::drainWakeFd() {
    uint64_t value = 0;
    while (read(wakeFd_, &value, sizeof value) > 0) {
    }
}

void RunLoop::post(Task task) {
    if (!task) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(task));
    }
    wakeUp();
}

RunLoop::TimerId RunLoop::addTimer(double delaySeconds, Task callback, double repeatSeconds) {
    if (!callback) return 0;
    int64_t now = Clock::shared().monotonicMicros();
    Timer t{};
    t.created = now;
    t.delayExact = static_cast<double>(secondsToMicros(delaySeconds));
    if (delaySeconds > 0 && delaySeconds < 1e6) t.delayExact = delaySeconds * 1e6;
    t.due = now + std::llround(t.delayExact);
    if (repeatSeconds > 0 && std::isfinite(repeatSeconds)) {
        t.intervalExact = std::max(1.0, repeatSeconds * 1e6);
        t.intervalMicros = static_cast<int64_t>(t.intervalExact);
    }
    t.callback = std::make_shared<Task>(std::move(callback));
    TimerId id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = t.id = nextId_++;
        timers_.push_back(std::move(t));
    }
    if (!isCurrent()) wakeUp();
    return id;
}

void RunLoop::cancelTimer(TimerId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    if (it != timers_.end()) timers_.erase(it);
}

bool RunLoop::hasTimer(TimerId id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
}

std::optional<int64_t> RunLoop::timerDueMicros(TimerId id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Timer& t : timers_)
        if (t.id == id) return t.due;
    return std::nullopt;
}

std::optional<int64_t> RunLoop::nextTimerDueMicros() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<int64_t> next;
    for (const Timer& t : timers_) {
        if (!next || t.due < *next) next = t.due;
    }
    return next;
}

RunLoop::WatchId RunLoop::watchFd(int fd, unsigned events, FdCallback callback) {
    if (fd < 0 || !callback) {
        logError("RunLoop: cannot watch fd %d", fd);
        return 0;
    }
    WatchId id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextId_++;
        watches_.push_back(Watch{id, fd, events, std::make_shared<FdCallback>(std::move(callback)), false});
    }
    if (!isCurrent()) wakeUp();
    return id;
}

void RunLoop::unwatchFd(WatchId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(watches_.begin(), watches_.end(), [id](const Watch& w) { return w.id == id; });
    if (it != watches_.end()) watches_.erase(it);
}

int RunLoop::runPosted() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (posted_.empty()) return 0;
        running_tasks_.swap(posted_);
    }
    // Tasks posted while these run wait for the next pass, so a task that re-posts itself cannot starve
    // timers and fds.
    int count = 0;
    for (Task& task : running_tasks_) {
        task();
        ++count;
    }
    running_tasks_.clear();
    return count;
}

int RunLoop::runDueTimers() {
    int64_t now = Clock::shared().monotonicMicros();
    const size_t depth = dueDepth_;
    if (dueByDepth_.size() <= depth) dueByDepth_.resize(depth + 1);
    {
        auto& due = dueByDepth_[depth];
        due.clear();
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Timer& t : timers_) {
            if (t.due <= now) due.emplace_back(t.due, t.id);
        }
        if (due.empty()) return 0;
        std::sort(due.begin(), due.end());
    }
    // A callback may add or cancel timers or run a nested pass, which takes the next depth's list; this
    // pass's list is indexed afresh each time because a nested pass may grow the outer vector.
    ++dueDepth_;
    struct DepthGuard {
        size_t& depth;
        ~DepthGuard() { --depth; }
    } guard{dueDepth_};
    int count = 0;
    for (size_t i = 0; i < dueByDepth_[depth].size(); ++i) {
        const auto id = dueByDepth_[depth][i].second;
        std::shared_ptr<Task> callback;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it =
                std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
            if (it == timers_.end() || it->due > now) continue;
            callback = it->callback;
            if (it->intervalMicros > 0) {
                // Tick k is due at created + delay + k * interval, rounded once, so ticks never drift.
                double elapsed = static_cast<double>(now - it->created) - it->delayExact;
                uint64_t next =
                    static_cast<uint64_t>(std::max(0.0, std::floor(elapsed / it->intervalExact))) + 1;
                it->ticks = std::max(it->ticks + 1, next);
                it->due = it->created + std::llround(it->delayExact + it->ticks * it->intervalExact);
                if (it->due <= now) it->due = now + 1;
            } else {
                timers_.erase(it);
            }
        }
        (*callback)();
        ++count;
    }
    return count;
}

int RunLoop::pollAndDispatch(int timeoutMillis) {
    pollfds_.clear();
    pollIds_.clear();
    pollfds_.push_back(pollfd{wakeFd_, POLLIN, 0});
    pollIds_.push_back(0);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Watch& w : watches_) {
            pollfds_.push_back(pollfd{w.fd, toPollEvents(w.events), 0});
            pollIds_.push_back(w.id);
        }
    }
    constexpr int kLookWithoutWakeUp = 10;
    if (wakeFd_ < 0 && (timeoutMillis < 0 || timeoutMillis > kLookWithoutWakeUp))
        timeoutMillis = kLookWithoutWakeUp;
    int n = poll(pollfds_.data(), pollfds_.size(), timeoutMillis);
    if (n < 0) {
        if (errno != EINTR) logError("RunLoop: poll failed: %s", std::strerror(errno));
        return 0;
    }
    if (n == 0) return 0;
    if (pollfds_[0].revents) {
        drainWakeFd();
        wakeDrained_ = true;
    }
    int count = 0;
    for (size_t i = 1; i < pollfds_.size(); ++i) {
        if (!pollfds_[i].revents) continue;
        std::shared_ptr<FdCallback> callback;
        int fd = pollfds_[i].fd;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            WatchId id = pollIds_[i];
            auto it =
                std::find_if(watches_.begin(), watches_.end(), [id](const Watch& w) { return w.id == id; });
            if (it == watches_.end()) continue;  // unwatched by an earlier callback of this pass
            callback = it->callback;
        }
        (*callback)(fd, fromPollEvents(pollfds_[i].revents));
        ++count;
    }
    return count;
}

int RunLoop::runOnce(double maxWaitSeconds) {
    if (!isMain_ && owner_.load() == std::thread::id{}) bindToCurrentThread();
    PLAT_ASSERT(isCurrent(), "RunLoop::runOnce must be called on the loop's own thread");

    int ran = runPosted();
    ran += runDueTimers();
    wakeDrained_ = false;
    ran += pollAndDispatch(0);
    // A post that landed after runPosted() looked has had its wake-up drained just now: run it here, or
    // the wait below would sleep with the task queued.
    if (wakeDrained_) ran += runPosted();
    if (ran > 0 || stopRequested_.load()) return ran;

    int timeout = waitMillis(maxWaitSeconds);
    const auto clock = Clock::shared();
    if (clock.isVirtual()) {
        if (nextTimerDueMicros()) timeout = 0;  // waiting would not bring a virtual timer closer
    } else {
        if (auto next = nextTimerDueMicros()) {
            int64_t until = *next - clock.monotonicMicros();
            int ms = until <= 0 ? 0 : static_cast<int>(std::min<int64_t>((until + 999) / 1000, 1 << 30));
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        }
    }
    if (timeout == 0) return 0;
    ran += pollAndDispatch(timeout);
    ran += runPosted();
    ran += runDueTimers();
    return ran;
}

void RunLoop::run() {
    running_.store(true);
    while (!stopRequested_.load()) {
        const auto clock = Clock::shared();
        if (!clock.isVirtual()) {
            runOnce(-1);
            continue;
        }
        if (runOnce(0) > 0 || stopRequested_.load()) continue;
        auto next = nextTimerDueMicros();
        const auto virtualClock = clock.asVirtual();
        if (next && isMain_ && virtualClock) {
            // Idle on a virtual clock: time jumps straight to the next timer instead of sleeping.
            int64_t delta = *next - clock.monotonicMicros();
            if (delta > 0) virtualClock->advanceMicros(delta);
        } else {
            // Only the main loop moves virtual time; other loops look again shortly.
            if (next) {
                pollAndDispatch(1);
            } else {
                runOnce(-1);
            }
        }
    }
    stopRequested_.store(false);
    running_.store(false);
}

void RunLoop::stop() {
    stopRequested_.store(true);
    wakeUp();
}

}  // namespace plat
