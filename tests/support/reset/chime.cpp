// The audio engine's singletons: the engine facade ends, which ends the audio manager and closes the device.
#include "chime/AudioEngine.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered =
    testsupport::registerReset(testsupport::ResetLayer::Services, "chime", [] { ::AudioEngine::end(); });

}  // namespace
