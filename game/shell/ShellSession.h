#pragma once
// The potemaru program's session: holds and sets up the app's home (a home held by another program is
// refused with one line and exit status 1), resources, audio and randomness from the options, picks the
// window or the headless screen, and runs the app shell (AppController) on it until the window closes, the
// frames run out or the script quits. A scripted relaunch starts the program again in the same process id, at
// the next session frame and at the wall clock it reached.
#include <string>
#include <vector>

#include "game/shell/ShellOptions.h"

// `args` are the program's arguments without the program name. The application object (AppDelegate)
// must already exist. `startupId` names the launcher's startup sequence, which the window ends once its first
// frame shows (empty: none). Returns the exit status.
int runShellSession(const ShellOptions& options, const std::vector<std::string>& args,
                    const std::string& startupId = {});

// The scheduled reminders of the app home in use, one per line: fire date (UTC), time zone, text.
std::string describeNotifications();
