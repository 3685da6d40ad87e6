// The game's process-wide state: its globals, the character table and the bridge to the app shell.
#include "game/Bridge.h"
#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "tests/support/ProcessState.h"

namespace {

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Game, "game", [] {
    setBridgeReceiver(nullptr);
    GameGlobals::reset();
    CharaTable::reload();
});

}  // namespace
