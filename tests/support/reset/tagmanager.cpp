// The tag manager's process-wide state: the current logger, the background queue of its
// async work and the click-referrer cache.
#include "tagmanager/ZAVAsyncUtil.h"
#include "tagmanager/ZAVClickReferrerUtil.h"
#include "tagmanager/ZAVLog.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Services, "tagmanager", [] {
    ZAVAsyncUtil::shutdown();
    ZAVClickReferrerUtil::clearCache();
    ZAVLog::resetToDefault();
});

}  // namespace
