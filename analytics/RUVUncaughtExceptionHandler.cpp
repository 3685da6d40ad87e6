#include "analytics/RUVUncaughtExceptionHandler.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "analytics/RUV.h"
#include "analytics/RUVTrackerImpl.h"
#include "analytics/base/RUVExceptionParser.h"
#include "analytics/base/RUVLogger.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "platform/base/Clock.h"
#include "platform/runloop/RunLoop.h"

namespace {

constexpr uint32_t kMaxDescriptionLength = 150;
constexpr double kDispatchWaitSeconds = 5.0;

std::atomic<plat::UncaughtExceptionHandler>& previous() {
    static std::atomic<plat::UncaughtExceptionHandler> handler{nullptr};
    return handler;
}

std::atomic<uint32_t>& reporting() {
    static std::atomic<uint32_t> flag{0};
    return flag;
}

// Lets the dispatcher's work and the answers that come back to this thread's run loop happen, for at most
// `seconds` of real time: the process is ending, and a virtual clock does not move meanwhile. It stops
// early once `done` holds.
template <typename Done>
void runCurrentLoopFor(double seconds, Done done) {
    plat::RunLoop& loop = plat::RunLoop::current();
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until && !done()) {
        // On a virtual clock with timers pending the loop does not wait; keep from spinning hot.
        if (loop.runOnce(0.01) == 0 && plat::Clock::shared().isVirtual())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

void RUVUncaughtExceptionHandler(const plat::Exception* exception) {
    uint32_t expected = 0;
    if (!reporting().compare_exchange_strong(expected, 1, std::memory_order_seq_cst)) {
        RUV_LOG(RUVLogLevel::Warning, "Bailing on multiple uncaught exceptions: %s",
                exception ? exception->reason().c_str() : "(null)");
        return;
    }
    if (!exception) return;
    RUV_LOG(RUVLogLevel::Warning, "Uncaught exception: %s", exception->reason().c_str());
    const std::string description =
        RUVExceptionParser::exceptionDescription(*exception, kMaxDescriptionLength);
    const RUVHitRecord hit =
        RUVDictionaryBuilder::ruv_exceptionWithDescription(description, plat::Value(true))->build();
    auto ruv = RUV::sharedInstance();
    if (auto tracker = ruv->defaultTracker()) {
        if (auto* impl = dynamic_cast<RUVTrackerImpl*>(tracker.get())) {
            impl->ruv_send(hit);
        } else {
            tracker->send(hit);
        }
    }
    ruv->dispatch();
    // The report is through once the worker has taken the hit and the dispatch (queued before this marker)
    // and the dispatcher holds neither a request nor a hit any more.
    auto queued = std::make_shared<std::atomic<bool>>(false);
    RUV::postToWorker([queued] { queued->store(true); });
    std::shared_ptr<RUVBatchingDispatcher> dispatcher = ruv->dispatcher();
    runCurrentLoopFor(kDispatchWaitSeconds, [&] {
        return queued->load() && dispatcher && !dispatcher->hasConnection() && !dispatcher->hasHits();
    });
    if (plat::UncaughtExceptionHandler next = previous().load()) next(exception);
}

void RUVUncaughtExceptionHandlerInstall() {
    const plat::UncaughtExceptionHandler current = plat::getUncaughtExceptionHandler();
    if (current == &RUVUncaughtExceptionHandler) return;
    previous().store(current);
    plat::setUncaughtExceptionHandler(&RUVUncaughtExceptionHandler);
}

void RUVUncaughtExceptionHandlerRemove() {
    if (plat::getUncaughtExceptionHandler() != &RUVUncaughtExceptionHandler) return;
    plat::setUncaughtExceptionHandler(previous().load());
}

plat::UncaughtExceptionHandler RUVUncaughtExceptionHandlerPrevious() {
    return previous().load();
}

void RUVUncaughtExceptionHandlerForget() {
    previous().store(nullptr);
    reporting().store(0);
}

void RUVUncaughtExceptionHandlerSetReporting(bool on) {
    reporting().store(on ? 1 : 0);
}
