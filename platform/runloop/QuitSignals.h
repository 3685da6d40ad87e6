#pragma once
// How a program is asked to quit: SIGINT (Ctrl-C), SIGTERM, and SIGHUP (its terminal closed, its session
// dropped), less those the program was started with ignored (under nohup, or as a background job of a
// script), which stay ignored. Every thread holds them back (Thread::holdQuitsBack, first in main), and one
// thread of their own takes them the moment they arrive, whatever the others are doing: it records the
// quit, runs the program's own action (marking its home ending, say), wakes the program's main loop and,
// should the program's way out not have finished within a bound, ends it with one line. A second quit ends
// the program at once. Through a relaunch's exec, a quit waits, pending, for the program that follows. Where
// the thread cannot be started (no descriptor or thread left), the quits are taken by a signal handler
// instead, which does the same.
//
// After the first quit, the quits' taker takes no lock and allocates nothing: the main thread may be held
// anywhere (inside the allocator, or holding a lock), and the bound still ends the program.
//
// A child forked from the program begins with the quits let through, and those started ignored still
// ignored; the game's own answer to posix_spawn (game/shell/answers) does the same for the processes that
// libraries spawn.
#include <signal.h>

#include <string>

namespace plat {

class QuitSignals {
  public:
    // The quits the program takes: SIGINT, SIGTERM and SIGHUP, less those it was started with ignored. The
    // dispositions are read at the first call of this or startedIgnoring (first in main, through
    // Thread::holdQuitsBack), before the program or a library changes them.
    static sigset_t set();
    // Whether the program was started with `signal` (a quit, or SIGPIPE) ignored.
    static bool startedIgnoring(int signal);

    // What runs at the first quit, on the quits' thread or in a signal handler: async-signal-safe, taking no
    // lock that another thread may hold and allocating nothing.
    using Action = void (*)(int signal);
    using Wake = void (*)();

    // Starts taking the quits (once), for a program whose threads all hold them back; called on the main
    // thread. `onQuit` runs at the first quit, and `wake` (set by setWake) after it. If the program's way out
    // has not finished within `boundSeconds` of the first quit, it ends with one line on stderr ("%s" in it
    // stands for the signal's name): with status 1 and `lineIfNotStored` when storedOnTheWayOut() was not
    // called, else with 128 + the signal and `lineIfStored`. The bound counts only the way out's own time:
    // the time the main thread, which runs it, ran or was not runnable (blocked, sleeping, stopped), never
    // its waits for a processor, so a way out slowed by a busy machine is not cut. One starved of a
    // processor for good ends the same way `capSeconds` after the quit.
    static void install(Action onQuit, double boundSeconds, double capSeconds,
                        const std::string& lineIfNotStored, const std::string& lineIfStored);
    // What wakes the program's main loop at a quit (stopping its run loop, say).
    static void setWake(Wake wake);

    // The signal that asked to quit, or 0. Any thread.
    static int signalled();

    // The play is stored: only the rest of the way out is left.
    static void storedOnTheWayOut();
    // Stops taking quits, for right before a relaunch's exec: from then on a quit waits, pending, through the
    // exec for the program this one becomes, while `onQuit` still runs at once for it (so the home is marked
    // ending from the moment it comes). A quit taken before is signalled(). On the thread that installed
    // them.
    static void stopWatching();
};

}  // namespace plat
