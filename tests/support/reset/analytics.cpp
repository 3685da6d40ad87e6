// The analytics SDK's process-wide state: the facade's shared instance (with its dispatcher and trackers),
// the dispatcher maker a test installed, the campaign check's once-only log lines, the exception reporter's
// saved handler and report flag; then the worker finishes what their release queued.
#include <future>

#include "analytics/RUV.h"
#include "analytics/RUVBatchingDispatcher.h"
#include "analytics/RUVUncaughtExceptionHandler.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Services, "analytics", [] {
    RUV::resetSharedInstance();
    RUVBatchingDispatcher::setMaker(nullptr);
    RUVUncaughtExceptionHandlerForget();
    RUVBatchingDispatcher::forgetCampaignLogLines();
    std::promise<void> done;
    RUV::postToWorker([&done] { done.set_value(); });
    done.get_future().wait();
});

}  // namespace
