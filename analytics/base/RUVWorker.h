#pragma once
// The SDK's worker "RUVThread", the installed logger with the SDK log line, and the SDK version: what
// every layer of the SDK needs, kept below the facade so that nothing borrows them from it.
#include <atomic>
#include <memory>

#include "analytics/base/RUVLogger.h"
#include "platform/base/Lasting.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/runloop/Thread.h"

class RUVWorker {
  public:
    static constexpr const char* kVersion = "3.12";

    // "RUVThread": made and started on first use, never destroyed. The hit store and the dispatcher do
    // all their work on it. Idle, it sleeps in its run loop. When the process exits it runs what was
    // queued before, then the tasks given to atExit, and stops for good. The exit waits a bounded time for
    // this; a worker not done by then parks at its next task and the exit goes on without it (the rest of
    // the app's exit handlers and statics run, and the process ends as the app's exit ends it). What the
    // worker touches is never destroyed, so it may still work while the exit runs statics down; what it
    // left undone stays stored for the next start. exit() called on the worker runs those tasks there.
    static plat::Thread& thread();
    // The worker as a queue. As the dispatcher's completion queue, a delivered batch is deleted without
    // waiting for a turn of the main queue; sync() is the one way to run work there and wait.
    static plat::SerialQueue& queue();
    static void post(plat::RunLoop::Task task);
    // Runs `task` on the worker and waits for it; on the worker it runs at once. Once the worker has
    // stopped at exit the task is not run.
    static void sync(const plat::RunLoop::Task& task);

    // Runs `task` on the worker at exit, after the work queued before the exit, in the order given (see
    // thread()); one given once those tasks have started never runs.
    static void atExit(plat::RunLoop::Task task);

    // The installed logger (a RUVDefaultLogger at Warning until replaced). Read without any lock, so a
    // line logged on the worker never waits for the facade.
    static std::shared_ptr<RUVLogger> sharedLogger() { return loggerSlot().load(std::memory_order_acquire); }
    // Installs `logger` and returns the one it replaced; a null logger is refused (the slot keeps, and
    // the call returns, the current one).
    static std::shared_ptr<RUVLogger> exchangeSharedLogger(std::shared_ptr<RUVLogger> logger) {
        if (!logger) return sharedLogger();
        return loggerSlot().exchange(std::move(logger), std::memory_order_acq_rel);
    }

  private:
    struct State;
    static State& state();
    static void onExit();
    static void runExitTasks();
    // Lines are logged until the process ends.
    static std::atomic<std::shared_ptr<RUVLogger>>& loggerSlot() {
        static plat::Lasting<std::atomic<std::shared_ptr<RUVLogger>>> slot(
            std::make_shared<RUVDefaultLogger>());
        return *slot;
    }
};

// Sends "ZediveAnalytics 3.12 <function> (<file base name>:<line>): <message>" to the installed logger's
// operation for `level` (None sends nothing).
void ruvLogLine(RUVLogLevel level, const char* function, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// The SDK log line, e.g. RUV_LOG(RUVLogLevel::Error, "Datastore error: %s", text.c_str()).
#define RUV_LOG(level, ...) ::ruvLogLine((level), __PRETTY_FUNCTION__, __FILE__, __LINE__, __VA_ARGS__)
