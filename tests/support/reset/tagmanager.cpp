// The tag manager's process-wide state: the facade's shared instance, the openers' waiting lists, the
// current logger, the background queue of its async work, the click-referrer cache, the pixel tag's
// ids, the advertising-id provider, the screen-event settings and the preview state.
#include "tagmanager/ZAVContainerOpener.h"
#include "tagmanager/ZODAruzivu.h"
#include "tagmanager/base/ZAVAdIdAccess.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVPreviewManager.h"
#include "tagmanager/datalayer/ZAVAutoEventTracking.h"
#include "tagmanager/datalayer/ZAVClickReferrerUtil.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tagmanager/runtime/ZAVTrackingTag.h"
#include "tagmanager/values/ZAVAsyncUtil.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Services, "tagmanager", [] {
    // First: its open containers hold it, and its data layer is the screen events' one.
    ZODAruzivu::resetInstance();
    ZAVContainerOpener::resetNotifiers();
    ZAVAsyncUtil::shutdown();
    ZAVClickReferrerUtil::clearCache();
    ZAVArbitraryPixel::clearCache();
    ZAVLog::resetToDefault();
    ZAVAdIdAccess::forgetProvider();
    ZAVAutoEventTracking::setTAGAutoEventMask(0);
    ZAVAutoEventTracking::setTAGDataLayer(nullptr);
    ZAVPreviewManager::resetInstance();
});

// The hit-delivery layer: the shared dispatcher, then its worker thread after the work handed to it.
const bool hitsRegistered = testsupport::registerReset(testsupport::ResetLayer::Services, "tagmanager hits",
                                                       [] { ZAVDispatcher::resetInstance(); });

}  // namespace
