// The app shell's process-wide state: the GL view factory it builds its window with.
#include "game/shell/AppController.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Shell, "gameshell",
                                                   [] { AppController::setGLViewFactory(nullptr); });

}  // namespace
