#pragma once
// How a program is asked to quit: SIGINT (Ctrl-C), SIGTERM, and SIGHUP (its terminal closed, its session
// dropped). The first one is taken the moment it arrives, whatever the program's threads are doing: a
// handler records it, runs the program's own signal-safe action (marking its home ending, say) and wakes a
// watcher thread, which wakes the program's main loop and, should the program not have ended within a
// bound, ends it with one line. A second quit ends the program at once.
//
// The handlers are caught, not ignored or held back, so that every process the program starts, however it
// is started, begins with the quits (and SIGPIPE) at their defaults: an exec resets what is caught.
#include <signal.h>

#include <functional>
#include <string>

namespace plat {

class QuitSignals {
  public:
    // SIGINT, SIGTERM and SIGHUP.
    static sigset_t set();

    // Installs the handlers, and a SIGPIPE handler that does nothing (a write to a connection whose other
    // end is gone fails with EPIPE instead of ending the program), and lets the quits through on the
    // calling thread. `onQuit` runs inside the handler at the first quit: it must be async-signal-safe.
    // For a program's main, before any library starts a thread. A quit held back through a relaunch's exec
    // is taken here.
    static void install(void (*onQuit)(int signal) = nullptr);

    // Catches SIGPIPE with a handler that does nothing, where it is ignored or at its default: a library
    // that ignores it for the whole process (a socket library does, as it makes its first socket) would
    // have every program the process then starts begin with it ignored.
    static void catchBrokenPipes();

    // The signal that asked to quit, or 0. Any thread.
    static int signalled();

    // Counts `signal` as the quit this program was asked for, as if it had arrived: for one that reached
    // the program this one was before an exec, and for tests.
    static void adopt(int signal);

    // Starts the watcher thread (once). At the first quit it runs `wake` on its own thread (for example,
    // stopping the main run loop); if the program has not ended `boundSeconds` later it writes one line to
    // stderr and ends the program: with status 1 and `lineIfNotStored` when storedOnTheWayOut() was not
    // called, else with 128 + the signal and `lineIfStored`.
    static void watch(std::function<void()> wake, double boundSeconds, std::string lineIfNotStored,
                      std::string lineIfStored);
    // The play is stored: only the rest of the way out is left.
    static void storedOnTheWayOut();
    // Ends the watcher and waits for it (a relaunch's exec, the end of a test). A quit that comes later
    // is still recorded by the handler; only the wake and the bound are gone.
    static void stopWatching();

    // Holds the quits back on the calling thread: one that comes then waits, pending, for a thread that
    // lets it through; through an exec too, for the program that follows. For right before a relaunch's
    // exec, on the thread that makes it.
    static void holdBackOnThisThread();

    // Puts everything back as before install() (handlers at their defaults, no quit recorded, no
    // watcher): for tests.
    static void resetForTesting();
};

}  // namespace plat
