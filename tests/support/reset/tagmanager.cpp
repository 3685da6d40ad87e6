// The tag manager's process-wide state: the current logger, the background queue of its
// async work and the click-referrer cache.
#include "tagmanager/ZAVAsyncUtil.h"
#include "tagmanager/ZAVClickReferrerUtil.h"
#include "tagmanager/ZAVDispatcher.h"
#include "tagmanager/ZAVLog.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Services, "tagmanager", [] {
    ZAVAsyncUtil::shutdown();
    ZAVClickReferrerUtil::clearCache();
    ZAVLog::resetToDefault();
});

// The hit-delivery layer: the shared dispatcher, then its worker thread after the work handed to it.
const bool hitsRegistered = testsupport::registerReset(testsupport::ResetLayer::Services, "tagmanager hits",
                                                       [] { ZAVDispatcher::resetInstance(); });

}  // namespace
