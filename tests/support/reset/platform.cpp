// The platform layer's process-wide state back to how the program started.
#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/base/Random.h"
#include "platform/base/UncaughtException.h"
#include "platform/media/AudioSession.h"
#include "platform/net/URLLoader.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "tests/support/ProcessState.h"

namespace {

const std::filesystem::path startHome = plat::Paths::home();

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Platform, "platform", [] {
    // A load still running (a report a test did not wait for) would go on without its loader's timer.
    plat::URLLoader::discardForCurrentThread();
    plat::RunLoop::main().discardAll();
    plat::NotificationCenter::defaultCenter().removeAllObservers();
    plat::Application::setShared(nullptr);
    plat::Device::resetOrientation();
    plat::AudioSession::sharedInstance().reset();
    plat::UserDefaults::forgetStandard();
    if (plat::Paths::home() != startHome) plat::Paths::setHome(startHome);
    plat::Bundle::setMainResourcePath({});
    plat::Random::clearFixedSeed();
    plat::Clock::setShared(nullptr);
    plat::setLogSink(nullptr);
    if (plat::getUncaughtExceptionHandler()) plat::setUncaughtExceptionHandler(nullptr);
});

}  // namespace
