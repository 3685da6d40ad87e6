// The app shell's process-wide state: the GL view factory it builds its window with, and the game's
// identity, which the program gives itself at its start.
#include "game/shell/AppController.h"
#include "tests/support/ProcessState.h"

namespace {

const bool identity = (AppController::adoptIdentity(), true);

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Shell, "gameshell", [] {
    AppController::setGLViewFactory(nullptr);
    AppController::adoptIdentity();
});

}  // namespace
