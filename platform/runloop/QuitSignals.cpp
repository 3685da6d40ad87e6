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
std::atomic<long long> boundNanos{10 * kNanos}, capNanos{60 * kNanos};
// The main thread (the one that installed): its id, its state (/proc/thread-self/stat) and its scheduling
// figures (schedstat). From the first quit on: when it came, the figures then, and the time the main thread
// has been seen not runnable since.
std::atomic<long> mainThread{0};
std::atomic<int> mainStat{-1}, mainSchedstat{-1};
std::atomic<long long> firstAt{0}, ranAtFirst{-1}, waitedAtFirst{-1}, idleSinceFirst{0};

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

long long readNumber(const char*& at) {
    long long number = 0;
    for (; *at >= '0' && *at <= '9'; ++at) number = number * 10 + (*at - '0');
    return number;
}

// How long the main thread has run and waited for a processor, in nanoseconds (its schedstat: "<on the
// processor> <waiting for one> <time slices>"); false when the system does not say.
bool mainFigures(long long* ran, long long* waited) {
    const int fd = mainSchedstat.load();
    char text[96];
    const long n = fd < 0 ? -1 : ::syscall(SYS_pread64, fd, text, sizeof text - 1, 0L);
    if (n <= 0) return false;
    text[n] = 0;
    const char* at = text;
    *ran = readNumber(at);
    if (*at++ != ' ' || *at < '0' || *at > '9') return false;
    *waited = readNumber(at);
    // A thread that has run shows some time on the processor; a system that keeps no figures shows none.
    return *ran > 0;
}

// Whether the main thread is runnable (on a processor, or waiting for one) rather than blocked, sleeping or
// stopped: the state after the command's name in its stat, "<tid> (<name>) <state> ...".
bool mainRunnable() {
    const int fd = mainStat.load();
    char text[128];
    const long n = fd < 0 ? -1 : ::syscall(SYS_pread64, fd, text, sizeof text - 1, 0L);
    if (n <= 0) return true;
    text[n] = 0;
    const char* state = nullptr;
    for (const char* at = text; *at; ++at)
        if (*at == ')') state = at + 2;
    return !state || state >= text + n || *state == 'R';
}

// How much of the bound has passed: the main thread's own time since the first quit, the time it ran and
// the time it was not runnable, never a wait for a processor. The system adds a wait to the figures only
// when it ends, so the time not runnable (the time since the quit less the time run and waited) is only
// taken at a look that finds no wait under way: the main thread not runnable before and after the figures
// are read, or the look made on the main thread itself, which then holds its processor. Between such looks
// it stays as last taken. Where the system does not say, the time since the quit.
long long boundPassed() {
    const long long since = nowNanos() - firstAt.load();
    const bool onMain = ::syscall(SYS_gettid) == mainThread.load();
    if (!onMain && mainStat.load() < 0) return since;
    const bool idleBefore = onMain || !mainRunnable();
    long long ran = 0, waited = 0;
    const long long at = nowNanos();
    if (ranAtFirst.load() < 0 || !mainFigures(&ran, &waited)) return since;
    ran -= ranAtFirst.load();
    if (idleBefore && (onMain || !mainRunnable())) {
        const long long idle = at - firstAt.load() - ran - (waited - waitedAtFirst.load());
        if (idle > idleSinceFirst.load()) idleSinceFirst.store(idle);
    }
    return ran + idleSinceFirst.load();
}

// Looks again no sooner than this while the main thread waits for a processor (its own time then stands).
constexpr long long kLeastLook = 10 * kNanos / 1000;

// The time until the bound or the cap could first have passed (the way out's own time passes no faster
// than the clock); 0 when one has.
long long boundLeft() {
    const long long left =
        std::min(boundNanos.load() - boundPassed(), capNanos.load() - (nowNanos() - firstAt.load()));
    return left <= 0 ? 0 : std::max(left, kLeastLook);
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
    long long ran = 0, waited = 0;
    if (mainFigures(&ran, &waited)) {
        waitedAtFirst.store(waited);
        ranAtFirst.store(ran);
    }
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
        const long long left = boundLeft();
        if (left == 0) endAtTheBound();
        const int second = nextQuit(quits, stopSeen.load() ? -1 : stopFd, left);
        if (second == 0) sayStopSeen();
        if (second > 0) endBy(second);
    }
}

// Where no thread could take them: the quits' handler, and the bound's alarm, which looks again when the
// bound may have passed.
void armAlarm(long long nanos) {
    itimerval in{};
    in.it_value.tv_sec = nanos / kNanos;
    in.it_value.tv_usec = std::max(1LL, nanos % kNanos / 1000);
    ::syscall(SYS_setitimer, ITIMER_REAL, &in, nullptr);
}

std::atomic<bool> handlerTookOne{false};

void onQuitSignal(int signal) {
    const int saved = errno;
    // Two quits at once may reach two threads: one is the first.
    if (handlerTookOne.exchange(true)) endBy(signal);
    takeFirst(signal);
    armAlarm(boundLeft());
    errno = saved;
}

void onBoundAlarm(int) {
    const int saved = errno;
    const long long left = boundLeft();
    if (left == 0) endAtTheBound();
    armAlarm(left);
    errno = saved;
}

void takeQuitsByHandler() {
    struct sigaction action {};
    action.sa_handler = &onQuitSignal;
    action.sa_flags = SA_RESTART;
    action.sa_mask = QuitSignals::set();
    sigaddset(&action.sa_mask, SIGALRM);
    const sigset_t quits = QuitSignals::set();
    for (int s : kQuits)
        if (sigismember(&quits, s) == 1) ::sigaction(s, &action, nullptr);
    action.sa_handler = &onBoundAlarm;
    ::sigaction(SIGALRM, &action, nullptr);
    pthread_sigmask(SIG_UNBLOCK, &quits, nullptr);
}

// A child forked from a thread of the program (all hold the quits back) starts what it runs with them let
// through; those the program was started with ignored it never held back, and they stay ignored.
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

// The quits and SIGPIPE that the program was started with ignored.
const sigset_t& ignoredAtStart() {
    static const sigset_t ignored = [] {
        sigset_t signals;
        sigemptyset(&signals);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            struct sigaction now {};
            if (::sigaction(s, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) sigaddset(&signals, s);
        }
        return signals;
    }();
    return ignored;
}

}  // namespace

sigset_t QuitSignals::set() {
    sigset_t quits;
    sigemptyset(&quits);
    for (int s : kQuits)
        if (!startedIgnoring(s)) sigaddset(&quits, s);
    return quits;
}

bool QuitSignals::startedIgnoring(int signal) {
    return sigismember(&ignoredAtStart(), signal) == 1;
}

void QuitSignals::install(Action onQuit, double boundSeconds, double capSeconds,
                          const std::string& lineIfNotStored, const std::string& lineIfStored) {
    std::lock_guard<std::mutex> lock(watcherMutex());
    Watcher& w = watcher();
    if (w.thread.joinable() || w.byHandler) return;
    boundLines.store(makeLines(lineIfNotStored, lineIfStored));
    boundNanos.store(std::llround(boundSeconds * kNanos));
    capNanos.store(std::llround(std::max(capSeconds, boundSeconds) * kNanos));
    onQuitAction.store(onQuit);
    static std::once_flag once;
    std::call_once(once, [] {
        pthread_atfork(nullptr, nullptr, &letQuitsThroughInChild);
        // Caught rather than ignored: a write to a connection whose other end is gone fails with EPIPE
        // instead of ending the program, and a program this one execs begins with it at its default (or
        // ignored, as this one began).
        if (!startedIgnoring(SIGPIPE)) {
            struct sigaction pipe {};
            pipe.sa_handler = &onBrokenPipe;
            pipe.sa_flags = SA_RESTART;
            ::sigaction(SIGPIPE, &pipe, nullptr);
        }
    });
    const sigset_t quits = set();
    int fd = ::signalfd(-1, &quits, SFD_CLOEXEC);
    const int stopFd = fd < 0 ? -1 : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd >= 0 && stopFd < 0) {
        ::close(fd);
        fd = -1;
    }
    if (mainSchedstat.load() < 0) {
        mainThread.store(::syscall(SYS_gettid));
        mainSchedstat.store(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC));
        mainStat.store(::open("/proc/thread-self/stat", O_RDONLY | O_CLOEXEC));
    }
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
