// Prints the signals it was started with ignored ("Started" and its SigIgn line), holds the quits back and
// takes them on their own thread (as the game does), ignores SIGPIPE (as the web engine's socket library
// leaves it), then starts `grep Sig /proc/self/status` three times, through
// posix_spawn, through fork and exec, and through posix_spawn with the child's mask (the quits held back) and
// defaults (the quits alone) set by the caller: each child prints the signals it began with.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/runloop/QuitSignals.h"
#include "platform/runloop/Thread.h"

extern char** environ;

int main() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigIgn:", 0) == 0) std::cout << "Started" << line << std::endl;
    plat::Thread::holdQuitsBack();
    plat::QuitSignals::install([](int) {}, 10, 60, "", "");
    std::signal(SIGPIPE, SIG_IGN);
    char grep[] = "grep", pattern[] = "^Sig", file[] = "/proc/self/status";
    char* argv[] = {grep, pattern, file, nullptr};
    pid_t spawned = -1;
    if (posix_spawnp(&spawned, "grep", nullptr, nullptr, argv, environ) != 0) return 2;
    waitpid(spawned, nullptr, 0);
    const pid_t forked = fork();
    if (forked == 0) {
        execvp("grep", argv);
        _exit(127);
    }
    waitpid(forked, nullptr, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    const sigset_t quits = plat::QuitSignals::set();
    posix_spawnattr_setsigmask(&attributes, &quits);
    posix_spawnattr_setsigdefault(&attributes, &quits);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (posix_spawnp(&spawned, "grep", nullptr, &attributes, argv, environ) != 0) return 2;
    posix_spawnattr_destroy(&attributes);
    waitpid(spawned, nullptr, 0);
    plat::QuitSignals::stopWatching();
    return 0;
}
