// The ad SDK's process-wide state back to how the program started, after every test.
#include "ads/base/ADFRRandom.h"
#include "ads/base/ADFRWorkQueues.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "platform/net/Endpoints.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Services, "ads", [] {
    // The workers first: their work may still hold adapters and read the shared state below.
    ADFRWorkQueues::shutdown();
    ADFRIpApiManager::resetShared();
    ADFRRandom::setDrawSource(nullptr);
    plat::Endpoints::shared().reset();
});

}  // namespace
