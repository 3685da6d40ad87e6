#pragma once
// The SDK's worker "RUVThread", the installed logger and the SDK version: what every layer of the SDK
// needs, kept below the facade so that nothing borrows them from it.
#include <memory>

#include "analytics/base/RUVLogger.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/runloop/Thread.h"

class RUVWorker {
  public:
    static constexpr const char* kVersion = "3.12";

    // "RUVThread": made and started on first use, never stopped or destroyed. The hit store and the
    // dispatcher do all their work on it. Idle, it sleeps in its run loop.
    static plat::Thread& thread();
    // The worker as a queue: a completion queue for requests, and the way to run work there and wait.
    static plat::SerialQueue& queue();
    // Queues a task on the worker without waiting.
    static void post(plat::RunLoop::Task task) { queue().async(std::move(task)); }
    // Runs `task` on the worker and waits for it; on the worker it runs at once.
    static void sync(const plat::RunLoop::Task& task) { queue().sync(task); }

    // The installed logger (a RUVDefaultLogger at Warning until replaced), read without any lock.
    static std::shared_ptr<RUVLogger> sharedLogger();
    // Installs `logger` and returns the one it replaced; a null logger is refused (the slot keeps, and
    // the call returns, the current one).
    static std::shared_ptr<RUVLogger> exchangeSharedLogger(std::shared_ptr<RUVLogger> logger);

    RUVWorker() = delete;
};
