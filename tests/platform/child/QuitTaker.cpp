// Takes its quits as the game does (bound 1 s, cap 600 s or, "starved", 3 s; "quit" printed), sends itself a
// SIGTERM, then by its argument:
// "held", its main thread stands still for good, any allocation by another thread ending it with status 3;
// "busy", it works half a second of its own time on a processor four other threads share, and says "stored";
// "starved", it works for good at the idle priority on a processor four other threads share;
// "no-fds", with no descriptor for the quits' thread, prints the quit taken and whether fd 3 is a signalfd;
// "hangup", it sends itself a SIGHUP before the SIGTERM and prints the quit taken and whether a SIGHUP is
// pending.
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "platform/runloop/QuitSignals.h"
#include "platform/runloop/Thread.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED 1
#elif defined(__has_feature)
#define SANITIZED (__has_feature(address_sanitizer) || __has_feature(thread_sanitizer))
#endif

namespace {

std::atomic<pid_t> mainThread{0};

void onAllocation() {
    const pid_t main = mainThread.load(std::memory_order_relaxed);
    if (main && gettid() != main) {
        [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, "allocated by another thread\n", 28);
        _exit(3);
    }
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void onQuit(int) {
    [[maybe_unused]] const ssize_t n = write(STDOUT_FILENO, "quit\n", 5);
}

}  // namespace

#if SANITIZED
// The sanitizers' runtime calls these on every allocation and free (declared here: not every compiler
// ships the header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
static void onMalloc(const volatile void*, size_t) {
    onAllocation();
}
static void watchAllocations() {
    __sanitizer_install_malloc_and_free_hooks(&onMalloc, nullptr);
}
#else
extern "C" void* __libc_malloc(size_t);
extern "C" void* malloc(size_t size) {
    onAllocation();
    return __libc_malloc(size);
}
static void watchAllocations() {}
#endif

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    plat::Thread::holdQuitsBack();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    rlimit was{};
    getrlimit(RLIMIT_NOFILE, &was);
    if (mode == "no-fds") {
        // Room for one descriptor: the quits' signalfd, but not the eventfd that stops its thread.
        close_range(3, ~0U, 0);
        rlimit tight = was;
        tight.rlim_cur = 4;
        setrlimit(RLIMIT_NOFILE, &tight);
    } else {
        // From here on only the main thread may allocate.
        watchAllocations();
        mainThread = gettid();
    }
    plat::QuitSignals::install(&onQuit, 1.0, mode == "starved" ? 3.0 : 600.0, "not stored %s", "stored %s");
    if (mode == "hangup") kill(getpid(), SIGHUP);
    kill(getpid(), SIGTERM);
    if (mode == "held")
        for (;;) pause();
    if (mode == "hangup") {
        while (!plat::QuitSignals::signalled()) usleep(1000);
        sigset_t pending;
        sigpending(&pending);
        std::printf("took %d, SIGHUP %s\n", plat::QuitSignals::signalled(),
                    sigismember(&pending, SIGHUP) ? "pending" : "not pending");
        return 0;
    }
    if (mode == "no-fds") {
        setrlimit(RLIMIT_NOFILE, &was);
        char three[64] = {};
        [[maybe_unused]] const ssize_t n = readlink("/proc/self/fd/3", three, sizeof three - 1);
        std::printf("took %d, signalfd %s\n", plat::QuitSignals::signalled(),
                    std::strstr(three, "signalfd") ? "open" : "closed");
        return 0;
    }
    while (!plat::QuitSignals::signalled()) usleep(1000);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof one, &one);
    for (int i = 0; i < 4; ++i)
        std::thread([] {
            while (mainThread.load(std::memory_order_relaxed)) continue;
        }).detach();
    if (mode == "starved") {
        const sched_param idle{};
        sched_setscheduler(0, SCHED_IDLE, &idle);
        while (mainThread.load(std::memory_order_relaxed)) continue;
    }
    for (const double start = threadSeconds(); threadSeconds() - start < 0.5;) continue;
    plat::QuitSignals::storedOnTheWayOut();
    std::puts("stored");
    _exit(0);
}
