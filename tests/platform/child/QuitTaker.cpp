// Takes its quits as the game does (bound 1 s), sends itself a SIGTERM, and then, by its argument:
//   held        its main thread stands still for good, and any allocation by another thread from then on
//               ends it with "allocated after the quit" and status 3 (as a main thread held inside the
//               allocator would hang it);
//   busy        its main thread does half a second of work on a processor that four other threads of it
//               share, then says "stored" and exits 0;
//   no-fds      the quits' thread cannot be made for want of a descriptor: prints the quit it took and
//               whether a signalfd is left open.
// The quit's action prints "quit".
#include <dirent.h>
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
#include <vector>

#include "platform/runloop/QuitSignals.h"
#include "platform/runloop/Thread.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SANITIZED 1
#endif
#endif

namespace {

std::atomic<pid_t> heldMain{0};

void onAllocation() {
    const pid_t main = heldMain.load(std::memory_order_relaxed);
    if (main && gettid() != main) {
        static const char line[] = "allocated after the quit\n";
        [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, line, sizeof line - 1);
        _exit(3);
    }
}

}  // namespace

#ifdef SANITIZED
#include <sanitizer/allocator_interface.h>
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

namespace {

// Whether the thread named `name` sleeps (in its wait for a quit).
bool sleeps(const char* name) {
    DIR* tasks = opendir("/proc/self/task");
    bool found = false;
    while (dirent* task = tasks ? readdir(tasks) : nullptr) {
        const std::string dir = std::string("/proc/self/task/") + task->d_name;
        char text[256] = {};
        FILE* stat = std::fopen((dir + "/stat").c_str(), "r");
        if (!stat) continue;
        const size_t n = std::fread(text, 1, sizeof text - 1, stat);
        std::fclose(stat);
        const std::string line(text, n);
        const std::string named = "(" + std::string(name) + ") S";
        found = found || line.find(named) != std::string::npos;
    }
    if (tasks) closedir(tasks);
    return found;
}

bool signalfdOpen() {
    bool open = false;
    DIR* fds = opendir("/proc/self/fd");
    while (dirent* fd = fds ? readdir(fds) : nullptr) {
        char target[64] = {};
        const std::string path = std::string("/proc/self/fd/") + fd->d_name;
        if (readlink(path.c_str(), target, sizeof target - 1) > 0 && std::strstr(target, "signalfd"))
            open = true;
    }
    if (fds) closedir(fds);
    return open;
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void onQuit(int) {
    [[maybe_unused]] const ssize_t n = write(STDOUT_FILENO, "quit\n", 5);
}

void install() {
    plat::QuitSignals::install(&onQuit, 1.0, "not stored %s", "stored %s");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    plat::Thread::holdQuitsBack();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (mode == "no-fds") {
        // Room for one descriptor: the quits' signalfd, but not the eventfd that stops its thread.
        close_range(3, ~0U, 0);
        rlimit was{}, tight{};
        getrlimit(RLIMIT_NOFILE, &was);
        tight = was;
        tight.rlim_cur = 4;
        setrlimit(RLIMIT_NOFILE, &tight);
        install();
        kill(getpid(), SIGTERM);
        setrlimit(RLIMIT_NOFILE, &was);
        std::printf("took %d, signalfd %s\n", plat::QuitSignals::signalled(),
                    signalfdOpen() ? "open" : "closed");
        return 0;
    }
    install();
    if (mode == "held") {
        watchAllocations();
        for (int i = 0; i < 1000 && !sleeps("quit-watch"); ++i) usleep(10000);
        heldMain = gettid();
        kill(getpid(), SIGTERM);
        for (;;) pause();
    }
    if (mode == "busy") {
        kill(getpid(), SIGTERM);
        while (!plat::QuitSignals::signalled()) usleep(1000);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
        std::atomic<bool> done{false};
        std::vector<std::thread> others;
        for (int i = 0; i < 4; ++i)
            others.emplace_back([&] {
                while (!done) {
                }
            });
        for (const double start = threadSeconds(); threadSeconds() - start < 0.5;) {
        }
        plat::QuitSignals::storedOnTheWayOut();
        done = true;
        for (std::thread& t : others) t.join();
        std::puts("stored");
        return 0;
    }
    return 2;
}
