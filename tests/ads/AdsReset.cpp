// The ad SDK's process-wide state back to how the program started, after every test.
#include "ads/ADFRIpApiManager.h"
#include "ads/ADFRRandom.h"
#include "platform/net/Endpoints.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Services, "ads", [] {
    ADFRIpApiManager::resetShared();
    ADFRRandom::setDrawSource(nullptr);
    plat::Endpoints::shared().reset();
});

}  // namespace
