#pragma once
// The analytics SDK's process-wide entry: its version, its worker thread and its logger slot.
#include <memory>

#include "analytics/RUVLogger.h"
#include "platform/runloop/Thread.h"

class RUV {
  public:
    static constexpr const char* kVersion = "3.12";

    // "RUVThread": made and started on first use, never stopped or destroyed. The hit store and the
    // dispatcher do all their work on it. Idle, it sleeps in its run loop.
    static plat::Thread& thread();
    // Queues a task on the worker without waiting.
    static void postToWorker(plat::RunLoop::Task task);

    // The installed logger (a RUVDefaultLogger at Warning until replaced). Read without the facade's lock
    // and without making the shared instance, so a line logged on the worker never waits for the facade.
    static std::shared_ptr<RUVLogger> sharedLogger();
    // Installs `logger` in the slot and returns the one it replaced; a null logger is refused (the slot
    // keeps, and the call returns, the current one).
    static std::shared_ptr<RUVLogger> exchangeSharedLogger(std::shared_ptr<RUVLogger> logger);

    RUV() = delete;
};
