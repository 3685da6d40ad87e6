#include "platform/runloop/QuitSignals.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/base/Lasting.h"

namespace plat {
namespace {

constexpr int kQuits[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kQuitCount = sizeof kQuits / sizeof kQuits[0];
constexpr long long kNanos = 1000000000;

// The lines of the bound, made at install for each quit: [quit][stored].
struct Lines {
    std::string text[kQuitCount][2];
};

std::atomic<int> askedBy{0};
std::atomic<bool> stored{false};
std::atomic<QuitSignals::Action> onQuitAction{nullptr};
std::atomic<QuitSignals::Wake> wakeAction{nullptr};
std::atomic<const Lines*> boundLines{nullptr};
std::atomic<long long> boundNanos{10 * kNanos};
// The main thread's scheduling figures (/proc/thread-self/schedstat of the thread that installed), and what
// the bound started from at the first quit.
std::atomic<int> mainSchedstat{-1};
std::atomic<long long> firstAt{0}, waitedAtFirst{-1};

// What runs on the main thread's side only (install, stopWatching); the quits' taker never takes it.
struct Watcher {
    std::thread thread;
    int stopFd = -1;
    bool byHandler = false;
};

Watcher& watcher() {
    static Lasting<Watcher> w;
    return *w;
}

std::mutex& watcherMutex() {
    static Lasting<std::mutex> m;
    return *m;
}

// From the first quit on, only system calls made directly: no library wrapper (a sanitizer's among them)
// stands between the quits' taker and the kernel.
long long nowNanos() {
    timespec t{};
    ::syscall(SYS_clock_gettime, CLOCK_MONOTONIC, &t);
    return t.tv_sec * kNanos + t.tv_nsec;
}

// How long the main thread has waited for a processor, in nanoseconds (the second figure of its schedstat,
// "<on the processor> <waiting for one> <time slices>"); -1 when the system does not say.
long long mainWaitedNanos() {
    const int fd = mainSchedstat.load();
    if (fd < 0) return -1;
    char text[96];
    const long n = ::syscall(SYS_pread64, fd, text, sizeof text - 1, 0L);
    if (n <= 0) return -1;
    text[n] = 0;
    const char* at = text;
    while (*at >= '0' && *at <= '9') ++at;
    if (*at++ != ' ' || *at < '0' || *at > '9') return -1;
    long long waited = 0;
    for (; *at >= '0' && *at <= '9'; ++at) waited = waited * 10 + (*at - '0');
    return waited;
}

// How much of the bound has passed: the time since the first quit, less the main thread's waits for a
// processor meanwhile.
long long boundPassed() {
    long long passed = nowNanos() - firstAt.load();
    const long long before = waitedAtFirst.load(), now = before < 0 ? -1 : mainWaitedNanos();
    if (now >= before && before >= 0) passed -= now - before;
    return passed;
}

int quitIndex(int signal) {
    for (int i = 0; i < kQuitCount; ++i)
        if (kQuits[i] == signal) return i;
    return 0;
}

[[noreturn]] void exitNow(int status) {
    for (;;) ::syscall(SYS_exit_group, status);
}

// The bound has passed with the way out unfinished: one line, and the end.
[[noreturn]] void endAtTheBound() {
    const bool wasStored = stored.load();
    if (const Lines* lines = boundLines.load()) {
        const std::string& line = lines->text[quitIndex(askedBy.load())][wasStored ? 1 : 0];
        ::syscall(SYS_write, STDERR_FILENO, line.data(), line.size());
    }
    exitNow(wasStored ? 128 + askedBy.load() : 1);
}

// Asked again: the program ends now, by that signal.
[[noreturn]] void endBy(int signal) {
    struct {
        void* handler;
        unsigned long flags;
        void* restorer;
        uint64_t mask;
    } byDefault{reinterpret_cast<void*>(SIG_DFL), 0, nullptr, 0};
    ::syscall(SYS_rt_sigaction, signal, &byDefault, nullptr, sizeof byDefault.mask);
    const uint64_t it = uint64_t{1} << (signal - 1);
    ::syscall(SYS_rt_sigprocmask, SIG_UNBLOCK, &it, nullptr, sizeof it);
    ::syscall(SYS_tgkill, ::syscall(SYS_getpid), ::syscall(SYS_gettid), signal);
    exitNow(128 + signal);
}

// The first quit: recorded, the bound started, the program's action run and its main loop woken.
void takeFirst(int signal) {
    firstAt.store(nowNanos());
    waitedAtFirst.store(mainWaitedNanos());
    askedBy.store(signal);
    if (const QuitSignals::Action onQuit = onQuitAction.load()) onQuit(signal);
    if (const QuitSignals::Wake wake = wakeAction.load()) wake();
}

// Set by the quits' thread once it has seen stopWatching's word: from then on it takes no quit for a
// relaunch's exec to cut short.
std::atomic<int> stopSeen{0};

void sayStopSeen() {
    stopSeen.store(1);
    ::syscall(SYS_futex, reinterpret_cast<int*>(&stopSeen), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

// Waits for a quit on `quits` (a signalfd) or for `stopFd` (-1: none), at most `nanos` (-1: without end): the
// signal taken, 0 when stopped, -1 when the time ran out.
int nextQuit(int quits, int stopFd, long long nanos) {
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {quits, POLLIN, 0}};
    timespec wait{nanos / kNanos, nanos % kNanos};
    for (;;) {
        const long n = ::syscall(SYS_ppoll, fds, 2, nanos < 0 ? nullptr : &wait, nullptr, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || fds[0].revents) return 0;
        if (n == 0) return -1;
        signalfd_siginfo info{};
        if (::syscall(SYS_read, quits, &info, sizeof info) == static_cast<long>(sizeof info))
            return static_cast<int>(info.ssi_signo);
    }
}

// After stopWatching, with no quit taken: a quit stays pending for the program the exec makes, and the
// program's action runs at once for it (marking the home ending), until the exec ends this thread.
[[noreturn]] void passQuitsOn(int quits) {
    pollfd fd{quits, POLLIN, 0};
    while (::syscall(SYS_ppoll, &fd, 1, nullptr, nullptr, 0) <= 0 || !(fd.revents & POLLIN)) {
    }
    uint64_t pending = 0;
    ::syscall(SYS_rt_sigpending, &pending, sizeof pending);
    int signal = SIGTERM;
    for (int s : kQuits)
        if (pending >> (s - 1) & 1) signal = s;
    if (const QuitSignals::Action onQuit = onQuitAction.load()) onQuit(signal);
    for (;;) ::syscall(SYS_ppoll, nullptr, 0, nullptr, nullptr, 0);
}

// Takes the quits until the program ends or execs: it never returns.
[[noreturn]] void watchForQuits(int quits, int stopFd) {
    pthread_setname_np(pthread_self(), "quit-watch");
    const int first = nextQuit(quits, stopFd, -1);
    if (first <= 0) {
        sayStopSeen();
        passQuitsOn(quits);
    }
    takeFirst(first);
    for (;;) {
        const long long left = boundNanos.load() - boundPassed();
        if (left <= 0) endAtTheBound();
        const int second = nextQuit(quits, stopSeen.load() ? -1 : stopFd, left);
        if (second == 0) sayStopSeen();
        if (second > 0) endBy(second);
    }
}

// Where no thread could take them: the quits' handler, and the bound's alarm. The alarm counts in whole
// seconds, and looks again when the main thread's waits for a processor put the bound further away.
void armAlarm(long long nanos) {
    itimerval in{};
    in.it_value.tv_sec = std::max(1LL, (nanos + kNanos - 1) / kNanos);
    ::syscall(SYS_setitimer, ITIMER_REAL, &in, nullptr);
}

std::atomic<bool> handlerTookOne{false};

void onQuitSignal(int signal) {
    const int saved = errno;
    // Two quits at once may reach two threads: one is the first.
    if (handlerTookOne.exchange(true)) endBy(signal);
    takeFirst(signal);
    armAlarm(boundNanos.load());
    errno = saved;
}

void onBoundAlarm(int) {
    const int saved = errno;
    const long long left = boundNanos.load() - boundPassed();
    if (left <= 0) endAtTheBound();
    armAlarm(left);
    errno = saved;
}

void takeQuitsByHandler() {
    struct sigaction action {};
    action.sa_handler = &onQuitSignal;
    action.sa_flags = SA_RESTART;
    action.sa_mask = QuitSignals::set();
    sigaddset(&action.sa_mask, SIGALRM);
    for (int s : kQuits) ::sigaction(s, &action, nullptr);
    action.sa_handler = &onBoundAlarm;
    ::sigaction(SIGALRM, &action, nullptr);
    const sigset_t quits = QuitSignals::set();
    pthread_sigmask(SIG_UNBLOCK, &quits, nullptr);
}

// A child forked from a thread of the program (all hold the quits back) starts what it runs with them let
// through.
void letQuitsThroughInChild() {
    const sigset_t quits = QuitSignals::set();
    pthread_sigmask(SIG_UNBLOCK, &quits, nullptr);
}

void onBrokenPipe(int) {}

// The lines for each quit, "%s" standing for its name.
const Lines* makeLines(const std::string& notStored, const std::string& wasStored) {
    static Lasting<Lines> made;
    for (int i = 0; i < kQuitCount; ++i) {
        const char* abbrev = sigabbrev_np(kQuits[i]);
        const std::string name = abbrev ? std::string("SIG") + abbrev : std::to_string(kQuits[i]);
        for (int s = 0; s < 2; ++s) {
            std::string line = s ? wasStored : notStored;
            if (const size_t at = line.find("%s"); at != std::string::npos) line.replace(at, 2, name);
            made->text[i][s] = line + "\n";
        }
    }
    return &*made;
}

}  // namespace

sigset_t QuitSignals::set() {
    sigset_t quits;
    sigemptyset(&quits);
    for (int s : kQuits) sigaddset(&quits, s);
    return quits;
}

void QuitSignals::install(Action onQuit, double boundSeconds, const std::string& lineIfNotStored,
                          const std::string& lineIfStored) {
    std::lock_guard<std::mutex> lock(watcherMutex());
    Watcher& w = watcher();
    if (w.thread.joinable() || w.byHandler) return;
    boundLines.store(makeLines(lineIfNotStored, lineIfStored));
    boundNanos.store(std::llround(boundSeconds * kNanos));
    onQuitAction.store(onQuit);
    static std::once_flag once;
    std::call_once(once, [] {
        pthread_atfork(nullptr, nullptr, &letQuitsThroughInChild);
        // Caught rather than ignored: a write to a connection whose other end is gone fails with EPIPE
        // instead of ending the program, and a program this one execs begins with it at its default.
        struct sigaction pipe {};
        pipe.sa_handler = &onBrokenPipe;
        pipe.sa_flags = SA_RESTART;
        ::sigaction(SIGPIPE, &pipe, nullptr);
    });
    const sigset_t quits = set();
    int fd = ::signalfd(-1, &quits, SFD_CLOEXEC);
    const int stopFd = fd < 0 ? -1 : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd >= 0 && stopFd < 0) {
        ::close(fd);
        fd = -1;
    }
    if (mainSchedstat.load() < 0)
        mainSchedstat.store(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC));
    if (stopFd >= 0) {
        try {
            w.thread = std::thread([fd, stopFd] { watchForQuits(fd, stopFd); });
            w.stopFd = stopFd;
            return;
        } catch (const std::system_error&) {
        }
    }
    // No descriptor or thread to take them with: never deaf, the quits go to a handler.
    if (fd >= 0) ::close(fd);
    if (stopFd >= 0) ::close(stopFd);
    w.byHandler = true;
    takeQuitsByHandler();
}

void QuitSignals::setWake(Wake wake) {
    wakeAction.store(wake);
}

int QuitSignals::signalled() {
    return askedBy.load();
}

void QuitSignals::storedOnTheWayOut() {
    stored.store(true);
}

void QuitSignals::stopWatching() {
    std::lock_guard<std::mutex> lock(watcherMutex());
    Watcher& w = watcher();
    if (w.byHandler) {
        // Held back again, they wait for the program the exec makes.
        const sigset_t quits = set();
        pthread_sigmask(SIG_BLOCK, &quits, nullptr);
        w.byHandler = false;
        return;
    }
    if (!w.thread.joinable()) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(w.stopFd, &one, sizeof one);
    while (stopSeen.load() == 0)
        ::syscall(SYS_futex, reinterpret_cast<int*>(&stopSeen), FUTEX_WAIT_PRIVATE, 0, nullptr, nullptr, 0);
    // It goes on until the program ends or execs, and touches only what is never destroyed.
    w.thread.detach();
    ::close(w.stopFd);
    w.stopFd = -1;
}

}  // namespace plat
