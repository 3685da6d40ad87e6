#include "analytics/base/RUVWorker.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/base/Lasting.h"

namespace {

// How long the exit waits for the work queued before it and for the exit tasks.
constexpr auto kExitWait = std::chrono::seconds(3);

}  // namespace

struct RUVWorker::State {
    plat::Thread thread{"RUVThread"};
    // Over the thread's run loop; goes first.
    plat::SerialQueue queue{thread.runLoop()};
    // A child forked from this process has no worker.
    const pid_t pid = getpid();
    // Set at exit, after which sync() hands nothing more to the worker.
    std::mutex gate;
    bool stopped = false;
    // Given to atExit until the worker takes them at exit, after the work queued before (which may give
    // more).
    std::vector<plat::RunLoop::Task> exitTasks;
    bool exitTasksTaken = false;
    // Set when the exit stopped waiting for the worker: it parks at its next task.
    std::atomic<bool> abandoned{false};
    State() {
        thread.start();
        std::atexit(RUVWorker::onExit);
    }
};

namespace {

// Stopped for good: from here on the worker touches nothing that the exit handlers run down, and the
// process ends around it.
[[noreturn]] void park() {
    for (;;) pause();
}

}  // namespace

// Work may be posted to the worker until the process ends.
RUVWorker::State& RUVWorker::state() {
    static plat::Lasting<State> s;
    return *s;
}

plat::Thread& RUVWorker::thread() {
    return state().thread;
}

plat::SerialQueue& RUVWorker::queue() {
    return state().queue;
}

void RUVWorker::post(plat::RunLoop::Task task) {
    queue().async([task = std::move(task)] {
        if (state().abandoned.load()) park();
        task();
    });
}

void RUVWorker::sync(const plat::RunLoop::Task& task) {
    if (!task) return;
    State& s = state();
    if (s.thread.isCurrent()) {
        task();
        return;
    }
    // Shared with the task: the waiter may be gone before set_value has returned.
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    {
        std::lock_guard lock(s.gate);
        if (s.stopped) return;
        s.thread.post([&task, done] {
            if (state().abandoned.load()) park();
            task();
            done->set_value();
        });
    }
    finished.wait();
}

void RUVWorker::atExit(plat::RunLoop::Task task) {
    State& s = state();
    std::lock_guard lock(s.gate);
    if (!s.exitTasksTaken && task) s.exitTasks.push_back(std::move(task));
}

void RUVWorker::runExitTasks() {
    State& s = state();
    std::vector<plat::RunLoop::Task> tasks;
    {
        std::lock_guard lock(s.gate);
        s.exitTasksTaken = true;
        tasks.swap(s.exitTasks);
    }
    for (const auto& task : tasks) task();
}

void RUVWorker::onExit() {
    State& s = state();
    if (getpid() != s.pid) return;
    {
        std::lock_guard lock(s.gate);
        if (std::exchange(s.stopped, true)) return;
    }
    if (s.thread.isCurrent()) {
        runExitTasks();
        return;
    }
    // Behind the work queued so far, which still runs.
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    s.thread.post([done] {
        if (!state().abandoned.load()) runExitTasks();
        done->set_value();
        park();
    });
    if (finished.wait_for(kExitWait) == std::future_status::ready) return;
    // The worker still works (a store write, a delivery) on what is never destroyed; the exit goes on
    // without it, and the process ends with the exit, whatever the worker is doing by then. A write under way
    // is rolled back at the next open, and what was not delivered is sent by the next run.
    s.abandoned.store(true);
    RUV_LOG(RUVLogLevel::Warning,
            "The worker's exit work is not done after %lld s: the exit goes on without it",
            static_cast<long long>(kExitWait.count()));
}

void ruvLogLine(RUVLogLevel level, const char* function, const char* file, int line, const char* format,
                ...) {
    if (level == RUVLogLevel::None) return;
    const char* base = file ? std::strrchr(file, '/') : nullptr;
    base = base ? base + 1 : (file ? file : "");
    std::string text = ruvFormat("%s %s %s (%s:%d): ", "ZediveAnalytics", RUVWorker::kVersion,
                                 function ? function : "", base, line);
    va_list args;
    va_start(args, format);
    text += ruvVFormat(format, args);
    va_end(args);
    auto logger = RUVWorker::sharedLogger();
    switch (level) {
        case RUVLogLevel::Error:
            logger->error(text);
            break;
        case RUVLogLevel::Warning:
            logger->warning(text);
            break;
        case RUVLogLevel::Info:
            logger->info(text);
            break;
        case RUVLogLevel::Verbose:
            logger->verbose(text);
            break;
        case RUVLogLevel::None:
            break;
    }
}
