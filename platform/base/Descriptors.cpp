#include "platform/base/Descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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

// One pass over /proc/self/fd, for a kernel without close_range's close-on-exec mode.
void markEachCloseOnExec() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return;
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end || fd <= STDERR_FILENO || fd == own) continue;
        const int flags = ::fcntl(static_cast<int>(fd), F_GETFD);
        if (flags >= 0) ::fcntl(static_cast<int>(fd), F_SETFD, flags | FD_CLOEXEC);
    }
    ::closedir(dir);
}

}  // namespace

void closeOnExecAll() {
    if (::syscall(SYS_close_range, STDERR_FILENO + 1, UINT_MAX, CLOSE_RANGE_CLOEXEC) != 0)
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
