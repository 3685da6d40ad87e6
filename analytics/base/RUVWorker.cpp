#include "analytics/base/RUVWorker.h"

#include <atomic>

namespace {

// The thread and the queue over its run loop, owned together: the queue goes before the thread it runs
// on. Never destroyed, as work may be posted until the process ends.
struct Worker {
    plat::Thread thread{"RUVThread"};
    plat::SerialQueue queue{thread.runLoop()};
    Worker() { thread.start(); }
};

Worker& worker() {
    static auto* w = new Worker();
    return *w;
}

std::atomic<std::shared_ptr<RUVLogger>>& loggerSlot() {
    static std::atomic<std::shared_ptr<RUVLogger>> slot{std::make_shared<RUVDefaultLogger>()};
    return slot;
}

}  // namespace

plat::Thread& RUVWorker::thread() {
    return worker().thread;
}

plat::SerialQueue& RUVWorker::queue() {
    return worker().queue;
}

std::shared_ptr<RUVLogger> RUVWorker::sharedLogger() {
    return loggerSlot().load(std::memory_order_acquire);
}

std::shared_ptr<RUVLogger> RUVWorker::exchangeSharedLogger(std::shared_ptr<RUVLogger> logger) {
    if (!logger) return loggerSlot().load(std::memory_order_acquire);
    return loggerSlot().exchange(std::move(logger), std::memory_order_acq_rel);
}
