#pragma once
// How a program is asked to quit: SIGINT (Ctrl-C), SIGTERM, and SIGHUP (its terminal closed, its session
// dropped). Every thread holds them back (Thread::holdQuitsBack, first in main), and one thread of their
// own takes them the moment they arrive, whatever the others are doing: it records the quit, runs the
// program's own action (marking its home ending, say), wakes the program's main loop and, should the
// program not have ended within a bound, ends it with one line. A second quit ends the program at once.
// While no such thread runs (a relaunch's exec), a quit waits, pending, for the program that follows.
//
// The processes the program starts begin with the quits let through and SIGPIPE at its default, however
// they are started (posix_spawn, which the program answers for the C library, or fork).
#include <signal.h>

#include <functional>
#include <string>

namespace plat {

class QuitSignals {
  public:
    // SIGINT, SIGTERM and SIGHUP.
    static sigset_t set();

    // Starts the thread that takes the quits (once), for a program whose threads all hold them back.
    // `onQuit` runs on it at the first quit, and `wake` (set by setWake) after it. If the program has not
    // ended `boundSeconds` after the first quit, the thread writes one line to stderr ("%s" in it stands
    // for the signal's name) and ends the program: with status 1 and `lineIfNotStored` when
    // storedOnTheWayOut() was not called, else with 128 + the signal and `lineIfStored`.
    static void install(std::function<void(int signal)> onQuit, double boundSeconds,
                        std::string lineIfNotStored, std::string lineIfStored);
    // What wakes the program's main loop at a quit (stopping its run loop, say); run on the quit's thread.
    static void setWake(std::function<void()> wake);

    // The signal that asked to quit, or 0. Any thread.
    static int signalled();

    // The play is stored: only the rest of the way out is left.
    static void storedOnTheWayOut();
    // Ends the quit's thread and waits for it, for right before a relaunch's exec: from then on a quit
    // waits, pending, through the exec for the program this one becomes.
    static void stopWatching();
};

}  // namespace plat
