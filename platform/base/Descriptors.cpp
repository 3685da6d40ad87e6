#include "platform/base/Descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>

#include "platform/base/Log.h"

namespace plat {
namespace {

constexpr size_t kReserve = 4;

std::mutex reserveMutex;
std::array<int, kReserve> reserve{-1, -1, -1, -1};
std::atomic<bool> ranOut{false};
std::atomic<long long> atStart{-1};

void markCloseOnExec(int fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

// Every number up to the hard limit, for when not even /proc/self/fd can be opened: a descriptor opened
// before the soft limit was lowered may lie above it.
void markEachNumberCloseOnExec() {
    struct rlimit limit {};
    rlim_t end = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) end = std::min<rlim_t>(limit.rlim_max, INT_MAX);
    for (rlim_t fd = STDERR_FILENO + 1; fd < end; ++fd) markCloseOnExec(static_cast<int>(fd));
}

// One pass over /proc/self/fd, for a kernel without close_range's close-on-exec mode.
void markEachCloseOnExec() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) {
        markEachNumberCloseOnExec();
        return;
    }
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end || fd <= STDERR_FILENO || fd == own) continue;
        markCloseOnExec(static_cast<int>(fd));
    }
    ::closedir(dir);
}

}  // namespace

void openClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lowest free number: this very one, as the lower ones are open.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

unsigned long long raiseDescriptorLimit(unsigned long long wanted, unsigned long long* hard) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        if (hard) *hard = 0;
        return 0;
    }
    if (limit.rlim_cur < wanted && limit.rlim_cur < limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = std::min<rlim_t>(wanted, limit.rlim_max);
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (hard) *hard = limit.rlim_max;
    return limit.rlim_cur;
}

unsigned long long openDescriptorCount() {
    unsigned long long count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end != entry->d_name && !*end && fd != own) ++count;
        }
        ::closedir(dir);
        return count;
    }
    // Without /proc (or without a descriptor free to read it with): each number up to the hard limit.
    struct rlimit limit {};
    rlim_t end = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) end = std::min<rlim_t>(limit.rlim_max, INT_MAX);
    for (rlim_t fd = 0; fd < end; ++fd)
        if (::fcntl(static_cast<int>(fd), F_GETFD) >= 0) ++count;
    return count;
}

void noteStartingDescriptors() {
    atStart.store(static_cast<long long>(openDescriptorCount()));
}

unsigned long long startingDescriptorCount() {
    const long long noted = atStart.load();
    return noted >= 0 ? static_cast<unsigned long long>(noted) : openDescriptorCount();
}

void closeOnExecAll(bool useCloseRange) {
    if (!useCloseRange || ::syscall(SYS_close_range, STDERR_FILENO + 1, UINT_MAX, CLOSE_RANGE_CLOEXEC) != 0)
        markEachCloseOnExec();
}

void reserveDescriptors() {
    std::lock_guard<std::mutex> lock(reserveMutex);
    for (int& fd : reserve)
        if (fd < 0) fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

bool isOutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

void noteOutOfDescriptors(const char* what) {
    const int error = errno;
    {
        std::lock_guard<std::mutex> lock(reserveMutex);
        for (int& fd : reserve) {
            if (fd >= 0) ::close(fd);
            fd = -1;
        }
    }
    if (ranOut.exchange(true)) {
        errno = error;
        return;
    }
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        logError("out of open files (the limit is %llu): %s", static_cast<unsigned long long>(limit.rlim_cur),
                 what);
    else
        logError("out of open files: %s", what);
    errno = error;
}

bool outOfDescriptors() {
    return ranOut.load();
}

}  // namespace plat
