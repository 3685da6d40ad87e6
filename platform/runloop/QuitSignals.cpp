#include "platform/runloop/QuitSignals.h"

#include <dlfcn.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/base/Lasting.h"

namespace plat {
namespace {

constexpr int kQuits[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> askedBy{0};
std::atomic<bool> stored{false};
// Set once install() has run: only then does the program answer for posix_spawn.
std::atomic<bool> installed{false};

struct Watcher {
    std::thread thread;
    int stopFd = -1;
    std::function<void(int)> onQuit;
    std::function<void()> wake;
    double bound = 10;
    std::string lineIfNotStored, lineIfStored;
};

Watcher& watcher() {
    static Lasting<Watcher> w;
    return *w;
}

std::mutex& watcherMutex() {
    static Lasting<std::mutex> m;
    return *m;
}

// The line with "%s" standing for the signal's name.
std::string lineFor(const std::string& line, int signal) {
    const char* abbrev = sigabbrev_np(signal);
    const std::string name = abbrev ? std::string("SIG") + abbrev : std::to_string(signal);
    std::string out = line;
    if (const size_t at = out.find("%s"); at != std::string::npos) out.replace(at, 2, name);
    return out + "\n";
}

// Waits for a quit on `quits` (a signalfd) or for `stopFd`, at most `millis` (-1: without end): the signal
// taken, 0 when stopped, -1 when the time ran out.
int nextQuit(int quits, int stopFd, int millis) {
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {quits, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, millis);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || fds[0].revents) return 0;
        if (n == 0) return -1;
        signalfd_siginfo info{};
        if (::read(quits, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            return static_cast<int>(info.ssi_signo);
    }
}

void watchForQuits(Watcher* w, int quits) {
    pthread_setname_np(pthread_self(), "quit-watch");
    const int first = nextQuit(quits, w->stopFd, -1);
    if (first <= 0) return;
    askedBy.store(first);
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(watcherMutex());
        wake = w->wake;
    }
    if (w->onQuit) w->onQuit(first);
    if (wake) wake();
    const int second = nextQuit(quits, w->stopFd, static_cast<int>(std::lround(w->bound * 1000)));
    if (second == 0) return;
    if (second > 0) {
        // Asked again: the program ends now, by that signal.
        ::signal(second, SIG_DFL);
        sigset_t it;
        sigemptyset(&it);
        sigaddset(&it, second);
        pthread_sigmask(SIG_UNBLOCK, &it, nullptr);
        ::raise(second);
        ::_exit(128 + second);
    }
    const bool wasStored = stored.load();
    const std::string line = lineFor(wasStored ? w->lineIfStored : w->lineIfNotStored, first);
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(wasStored ? 128 + first : 1);
}

// A child forked from a thread of the program (all hold the quits back) starts what it runs with them let
// through.
void letQuitsThroughInChild() {
    const sigset_t quits = QuitSignals::set();
    pthread_sigmask(SIG_UNBLOCK, &quits, nullptr);
}

void onBrokenPipe(int) {}

using Spawn = int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*, const posix_spawnattr_t*,
                      char* const[], char* const[]);

// Spawns through the C library's own `name`, the child beginning with the quits let through and them and
// SIGPIPE at their defaults, unless the caller's attributes set its mask themselves.
int spawnWithDefaults(const char* name, pid_t* pid, const char* path,
                      const posix_spawn_file_actions_t* actions, const posix_spawnattr_t* given,
                      char* const argv[], char* const envp[]) {
    const auto library = reinterpret_cast<Spawn>(dlsym(RTLD_NEXT, name));
    if (!library) return ENOSYS;
    if (!installed.load()) return library(pid, path, actions, given, argv, envp);
    posix_spawnattr_t attributes;
    if (given) {
        attributes = *given;
    } else {
        posix_spawnattr_init(&attributes);
    }
    short flags = 0;
    posix_spawnattr_getflags(&attributes, &flags);
    if (!(flags & POSIX_SPAWN_SETSIGMASK)) {
        sigset_t mask;
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        for (int s : kQuits) sigdelset(&mask, s);
        posix_spawnattr_setsigmask(&attributes, &mask);
    }
    sigset_t defaults;
    sigemptyset(&defaults);
    if (flags & POSIX_SPAWN_SETSIGDEF) posix_spawnattr_getsigdefault(&attributes, &defaults);
    for (int s : kQuits) sigaddset(&defaults, s);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             static_cast<short>(flags | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
    const int result = library(pid, path, actions, &attributes, argv, envp);
    if (!given) posix_spawnattr_destroy(&attributes);
    return result;
}

}  // namespace

sigset_t QuitSignals::set() {
    sigset_t quits;
    sigemptyset(&quits);
    for (int s : kQuits) sigaddset(&quits, s);
    return quits;
}

void QuitSignals::install(std::function<void(int signal)> onQuit, double boundSeconds,
                          std::string lineIfNotStored, std::string lineIfStored) {
    std::lock_guard<std::mutex> lock(watcherMutex());
    Watcher& w = watcher();
    if (w.thread.joinable()) return;
    const sigset_t quits = set();
    const int fd = ::signalfd(-1, &quits, SFD_CLOEXEC);
    w.stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0 || w.stopFd < 0) return;
    if (!installed.exchange(true)) {
        pthread_atfork(nullptr, nullptr, &letQuitsThroughInChild);
        // Caught rather than ignored: a write to a connection whose other end is gone fails with EPIPE
        // instead of ending the program, and a program this one execs begins with it at its default.
        struct sigaction pipe {};
        pipe.sa_handler = &onBrokenPipe;
        pipe.sa_flags = SA_RESTART;
        ::sigaction(SIGPIPE, &pipe, nullptr);
    }
    w.onQuit = std::move(onQuit);
    w.bound = boundSeconds;
    w.lineIfNotStored = std::move(lineIfNotStored);
    w.lineIfStored = std::move(lineIfStored);
    w.thread = std::thread([&w, fd] {
        watchForQuits(&w, fd);
        ::close(fd);
    });
}

void QuitSignals::setWake(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(watcherMutex());
    watcher().wake = std::move(wake);
}

int QuitSignals::signalled() {
    return askedBy.load();
}

void QuitSignals::storedOnTheWayOut() {
    stored.store(true);
}

void QuitSignals::stopWatching() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(watcherMutex());
        Watcher& w = watcher();
        if (!w.thread.joinable()) return;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(w.stopFd, &one, sizeof one);
        thread = std::move(w.thread);
    }
    thread.join();
    std::lock_guard<std::mutex> lock(watcherMutex());
    ::close(watcher().stopFd);
    watcher().stopFd = -1;
}

}  // namespace plat

// The C library's process spawns, answered by the program (which exports the names: the platform library's
// link options) so that the processes a library starts, the web engine's among them, begin with the quits
// let through and SIGPIPE at its default, where they would inherit the quits held back and SIGPIPE ignored
// (as the engine's socket library leaves it).
extern "C" __attribute__((visibility("default"))) int posix_spawn(pid_t* pid, const char* path,
                                                                  const posix_spawn_file_actions_t* actions,
                                                                  const posix_spawnattr_t* attributes,
                                                                  char* const argv[], char* const envp[]) {
    return plat::spawnWithDefaults("posix_spawn", pid, path, actions, attributes, argv, envp);
}

extern "C" __attribute__((visibility("default"))) int posix_spawnp(pid_t* pid, const char* file,
                                                                   const posix_spawn_file_actions_t* actions,
                                                                   const posix_spawnattr_t* attributes,
                                                                   char* const argv[], char* const envp[]) {
    return plat::spawnWithDefaults("posix_spawnp", pid, file, actions, attributes, argv, envp);
}
