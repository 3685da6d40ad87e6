// The analytics SDK's process-wide state: the facade's shared instance (with its dispatcher and trackers),
// the dispatcher maker a test installed, the campaign check's once-only log lines, the exception reporter's
// saved handler and report flag; then the worker finishes what their release queued, and the usage codes
// no hit took are dropped.
#include <future>

#include "analytics/RUV.h"
#include "analytics/RUVUncaughtExceptionHandler.h"
#include "analytics/base/RUVUsageTracker.h"
#include "analytics/dispatch/RUVBatchingDispatcher.h"
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
    RUVUsageTracker::getUsageSequence();  // codes of calls no hit took (a last setOptOut:, say)
});

}  // namespace
