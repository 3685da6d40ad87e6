// The app shell's process-wide state: the GL view factory it builds its window with, and the game's
// identity, which the program gives itself at its start.
#include "game/shell/AppController.h"
#include "platform/storage/Bundle.h"
#include "tests/support/ProcessState.h"

namespace {

// Whatever read the bundle or the home before (another layer's start), the program gives itself its identity.
const bool identity = (plat::Bundle::resetMainInfoValues(), AppController::adoptIdentity(), true);

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Shell, "gameshell", [] {
    AppController::setGLViewFactory(nullptr);
    plat::Bundle::resetMainInfoValues();
    AppController::adoptIdentity();
});

}  // namespace
