#pragma once
// Process-wide state (engine singletons, caches, the shared clock, the app home...) is put back to its
// start-up value after every test, so a test program passes whole, in any order, as well as one test per
// process. Each library the program links registers how to reset its own state (tests/support/reset/).
#include <functional>

namespace testsupport {

// Layers reset from the top down: what a library holds may point into the libraries below it.
enum class ResetLayer { Platform = 0, Engine = 1, Services = 2, Game = 3, Shell = 4 };

// Adds a reset step; returns true so it can initialise a namespace-scope flag.
bool registerReset(ResetLayer layer, const char* name, std::function<void()> reset);

// Runs every registered step, top layer first. The test main calls it after each test.
void resetProcessState();

}  // namespace testsupport
