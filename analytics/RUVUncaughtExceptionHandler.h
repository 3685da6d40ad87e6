#pragma once
// Reports an exception nobody caught as a fatal exception hit on the default tracker, gives the dispatch
// five seconds (of real time, whatever the shared clock), then calls the handler that was installed
// before. At most one exception is reported per process; a second one bails out at once.
#include "platform/base/UncaughtException.h"

void RUVUncaughtExceptionHandler(const plat::Exception* exception);
// Installs the reporter in the platform's slot, saving what was there (nothing when already installed).
void RUVUncaughtExceptionHandlerInstall();
// Puts the saved handler back when the reporter is installed; a handler installed later stays.
void RUVUncaughtExceptionHandlerRemove();

// Tests: the saved handler; forgetting it and the once-per-process report; marking a report as running.
plat::UncaughtExceptionHandler RUVUncaughtExceptionHandlerPrevious();
void RUVUncaughtExceptionHandlerForget();
void RUVUncaughtExceptionHandlerSetReporting(bool reporting);
