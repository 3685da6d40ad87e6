#include "analytics/RUV.h"

#include <atomic>

namespace {

std::atomic<std::shared_ptr<RUVLogger>>& loggerSlot() {
    static std::atomic<std::shared_ptr<RUVLogger>> slot{std::make_shared<RUVDefaultLogger>()};
    return slot;
}

}  // namespace

plat::Thread& RUV::thread() {
    // Deliberately never destroyed: work may be posted to it until the process ends.
    static plat::Thread* worker = [] {
        auto* t = new plat::Thread("RUVThread");
        t->start();
        return t;
    }();
    return *worker;
}

void RUV::postToWorker(plat::RunLoop::Task task) {
    thread().post(std::move(task));
}

std::shared_ptr<RUVLogger> RUV::sharedLogger() {
    return loggerSlot().load(std::memory_order_acquire);
}

std::shared_ptr<RUVLogger> RUV::exchangeSharedLogger(std::shared_ptr<RUVLogger> logger) {
    if (!logger) return loggerSlot().load(std::memory_order_acquire);
    return loggerSlot().exchange(std::move(logger), std::memory_order_acq_rel);
}
