// The tag manager's process-wide state: the current logger and the background queue of its async work.
#include "tagmanager/ZAVAsyncUtil.h"
#include "tagmanager/ZAVLog.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Services, "tagmanager", [] {
    ZAVAsyncUtil::shutdown();
    ZAVLog::resetToDefault();
});

}  // namespace
