#include "platform/runloop/QuitSignals.h"

#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <sys/eventfd.h>
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

// What the handler reads: plain atomics and a descriptor that stays open for the life of the process.
std::atomic<int> askedBy{0};
std::atomic<void (*)(int)> onQuit{nullptr};
std::atomic<int> quitFd{-1};
std::atomic<bool> stored{false};

void wakeWatcher() {
    const int fd = quitFd.load();
    if (fd < 0) return;
    const uint64_t one = 1;
    // A full counter already wakes it.
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

void onQuitSignal(int signal) {
    const int savedErrno = errno;
    int none = 0;
    if (askedBy.compare_exchange_strong(none, signal)) {
        if (auto action = onQuit.load()) action(signal);
        wakeWatcher();
    } else {
        // Asked again: the program ends now, by this signal, once the handler returns and lets it through.
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        ::sigaction(signal, &byDefault, nullptr);
        ::raise(signal);
    }
    errno = savedErrno;
}

void onBrokenPipe(int) {}

// A child forked from a thread that holds quits back starts the program it runs with them let through.
void letQuitsThroughInChild() {
    sigset_t through = QuitSignals::set();
    sigaddset(&through, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &through, nullptr);
}

struct Watcher {
    std::thread thread;
    int stopFd = -1;
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

// Waits for `fd` to be readable, at most `millis` (-1: without end); true when it is.
bool readable(int fd, int millis) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int n = ::poll(&p, 1, millis);
        if (n >= 0) return n > 0;
        if (errno != EINTR) return false;
    }
}

void watchForQuits(Watcher* w, int eventFd) {
    // Of the signals only the quits reach this thread, so that one thread always lets them through, the
    // main thread held still in a driver or not.
    sigset_t others;
    sigfillset(&others);
    for (int s : kQuits) sigdelset(&others, s);
    pthread_sigmask(SIG_SETMASK, &others, nullptr);
    pthread_setname_np(pthread_self(), "quit-watch");
    pollfd fds[2] = {{w->stopFd, POLLIN, 0}, {eventFd, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t drained = ::read(eventFd, &count, sizeof count);
        if (askedBy.load()) break;
    }
    if (w->wake) w->wake();
    const int millis = static_cast<int>(std::lround(w->bound * 1000));
    if (readable(w->stopFd, millis)) return;
    const int signal = askedBy.load();
    const bool wasStored = stored.load();
    const std::string line = lineFor(wasStored ? w->lineIfStored : w->lineIfNotStored, signal);
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(wasStored ? 128 + signal : 1);
}

}  // namespace

sigset_t QuitSignals::set() {
    sigset_t quits;
    sigemptyset(&quits);
    for (int s : kQuits) sigaddset(&quits, s);
    return quits;
}

void QuitSignals::install(void (*action)(int signal)) {
    onQuit.store(action);
    if (quitFd.load() < 0) {
        quitFd.store(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        pthread_atfork(nullptr, nullptr, &letQuitsThroughInChild);
    }
    struct sigaction quit {};
    quit.sa_handler = &onQuitSignal;
    quit.sa_mask = set();
    quit.sa_flags = SA_RESTART;
    for (int s : kQuits) {
        struct sigaction before {};
        ::sigaction(s, nullptr, &before);
        // A program started to ignore its hangup (nohup) or Ctrl-C (a background job) keeps doing so.
        if (s != SIGTERM && before.sa_handler == SIG_IGN) continue;
        ::sigaction(s, &quit, nullptr);
    }
    catchBrokenPipes();
    sigset_t through = set();
    sigaddset(&through, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &through, nullptr);
}

void QuitSignals::catchBrokenPipes() {
    struct sigaction pipe {};
    pipe.sa_handler = &onBrokenPipe;
    pipe.sa_flags = SA_RESTART;
    ::sigaction(SIGPIPE, &pipe, nullptr);
}

int QuitSignals::signalled() {
    return askedBy.load();
}

void QuitSignals::adopt(int signal) {
    int none = 0;
    if (askedBy.compare_exchange_strong(none, signal)) wakeWatcher();
}

void QuitSignals::watch(std::function<void()> wake, double boundSeconds, std::string lineIfNotStored,
                        std::string lineIfStored) {
    std::lock_guard<std::mutex> lock(watcherMutex());
    Watcher& w = watcher();
    if (w.thread.joinable() || quitFd.load() < 0) return;
    w.stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (w.stopFd < 0) return;
    w.wake = std::move(wake);
    w.bound = boundSeconds;
    w.lineIfNotStored = std::move(lineIfNotStored);
    w.lineIfStored = std::move(lineIfStored);
    w.thread = std::thread(&watchForQuits, &w, quitFd.load());
}

void QuitSignals::storedOnTheWayOut() {
    stored.store(true);
}

void QuitSignals::stopWatching() {
    std::lock_guard<std::mutex> lock(watcherMutex());
    Watcher& w = watcher();
    if (!w.thread.joinable()) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(w.stopFd, &one, sizeof one);
    w.thread.join();
    ::close(w.stopFd);
    w.stopFd = -1;
    w.wake = nullptr;
}

void QuitSignals::holdBackOnThisThread() {
    const sigset_t quits = set();
    pthread_sigmask(SIG_BLOCK, &quits, nullptr);
}

void QuitSignals::resetForTesting() {
    stopWatching();
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int s : kQuits) ::sigaction(s, &byDefault, nullptr);
    ::sigaction(SIGPIPE, &byDefault, nullptr);
    onQuit.store(nullptr);
    askedBy.store(0);
    stored.store(false);
    uint64_t count = 0;
    if (const int fd = quitFd.load(); fd >= 0) {
        [[maybe_unused]] const ssize_t drained = ::read(fd, &count, sizeof count);
    }
}

}  // namespace plat
