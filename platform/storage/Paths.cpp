#include "platform/storage/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"

namespace plat {
namespace fs = std::filesystem;
namespace {

std::mutex& pathsMutex() {
    static std::mutex m;
    return m;
}

fs::path& homeSlot() {
    static Lasting<fs::path> home;
    return *home;
}

// The home this process holds: its folder, open and locked; the system drops the lock when its last
// descriptor closes (at the latest when the process ends), and the home it was taken for.
struct Hold {
    int fd = -1;
    fs::path home;
};

Hold& holdSlot() {
    static Lasting<Hold> hold;
    return *hold;
}

void release(Hold& hold) {
    if (hold.fd >= 0) ::close(hold.fd);
    hold.fd = -1;
    hold.home.clear();
}

bool sameFile(int a, int b) {
    struct stat sa, sb;
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Names the descriptor of a hold passed on to the program this process becomes (see passHoldOnExec).
constexpr const char* kPassedHold = "PLAT_HELD_HOME_FD";

// A hold passed on by the program this process was becomes this one's; holdHome keeps it for the same home
// and lets it go for another.
void takePassedHold(Hold& hold) {
    const char* passed = std::getenv(kPassedHold);
    if (!passed) return;
    const int fd = std::atoi(passed);
    ::unsetenv(kPassedHold);
    struct stat st {};
    // Its lock came along with it: taking it again on the same open folder changes nothing.
    if (hold.fd >= 0 || fd <= STDERR_FILENO || fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) ||
        flock(fd, LOCK_EX | LOCK_NB) != 0)
        return;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    hold.fd = fd;
}

// The process holding a lock on the folder open as `fd`, as the system's table of locks names it; 0 when it
// is not found there.
long holderOf(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return 0;
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953105 0 EOF"; one waiting for it has "->" before FLOCK.
        std::istringstream in(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        in >> number >> kind >> mode >> access >> pid >> where;
        if (kind == "FLOCK" && where == id) return pid;
    }
    return 0;
}

// Whether process `pid` is on its way out: a kill sent to it, ending, or gone. A killed process keeps its
// descriptors, and so its locks, until the last of its threads has ended and its memory is given back.
bool goingAway(long pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream statFile(proc + "/stat");
    std::string stat;
    if (!std::getline(statFile, stat)) return true;
    // "pid (name) state ppid pgrp session tty tpgid flags ...": the name may hold anything but its last ')'.
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) return false;
    std::istringstream fields(stat.substr(nameEnd + 1));
    char state = 0;
    std::string skipped;
    unsigned long flags = 0;
    fields >> state >> skipped >> skipped >> skipped >> skipped >> skipped >> flags;
    constexpr unsigned long kExiting = 0x4;
    if (state == 'Z' || state == 'X' || (flags & kExiting)) return true;
    std::ifstream statusFile(proc + "/status");
    for (std::string line; std::getline(statusFile, line);) {
        if (line.rfind("ShdPnd:", 0) != 0 && line.rfind("SigPnd:", 0) != 0) continue;
        const unsigned long long pending = std::strtoull(line.c_str() + 7, nullptr, 16);
        if (pending >> (SIGKILL - 1) & 1) return true;
    }
    return false;
}

// Locks the home folder open as `fd`: 0, or EWOULDBLOCK with `holder` set (0 when unknown) when another
// process holds it, or the lock's error. A holder on its way out is waited for, a few seconds at most: a
// game killed and started again at once finds its home free as soon as the old one has ended.
int lockFolder(int fd, long& holder) {
    constexpr auto kMostWait = std::chrono::seconds(5);
    const auto deadline = std::chrono::steady_clock::now() + kMostWait;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno != EWOULDBLOCK) return errno;
        holder = holderOf(fd);
        if (!holder || !goingAway(holder) || std::chrono::steady_clock::now() >= deadline) return EWOULDBLOCK;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Homes are kept absolute, so that a later change of the working folder moves none of them.
fs::path absoluteOf(const fs::path& home) {
    std::error_code ec;
    fs::path absolute = fs::absolute(home, ec);
    return ec ? home : absolute;
}

}  // namespace

fs::path Paths::defaultHome(const std::string& appName) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg) return fs::path(xdg) / appName;
    const char* userHome = std::getenv("HOME");
    fs::path base = userHome && *userHome ? fs::path(userHome) : fs::temp_directory_path();
    return base / ".local" / "share" / appName;
}

bool Paths::setHome(const fs::path& home) {
    {
        std::lock_guard<std::mutex> lock(pathsMutex());
        homeSlot() = absoluteOf(home);
        if (holdSlot().fd >= 0 && holdSlot().home != homeSlot()) release(holdSlot());
    }
    return ensureLayout();
}

bool Paths::holdHome(const fs::path& home, std::string* inUse) {
    if (inUse) inUse->clear();
    const fs::path absolute = absoluteOf(home);
    std::error_code ec;
    {
        std::lock_guard<std::mutex> lock(pathsMutex());
        // Only the home folder itself is made here: its layout waits until the hold is taken.
        fs::create_directories(absolute, ec);
        if (ec) {
            logError("cannot create %s: %s", absolute.c_str(), ec.message().c_str());
            return false;
        }
        // The folder itself is locked: no file put in it, removed or linked can undo or redirect the hold,
        // and a lock needs no write, so a home whose folder is not the player's to write holds as well.
        const int fd = ::open(absolute.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            logError("cannot hold %s: %s", absolute.c_str(), std::strerror(errno));
            return false;
        }
        Hold& hold = holdSlot();
        takePassedHold(hold);
        if (hold.fd >= 0 && sameFile(fd, hold.fd)) {
            ::close(fd);
        } else {
            long holder = 0;
            const int error = lockFolder(fd, holder);
            if (error) {
                ::close(fd);
                if (error != EWOULDBLOCK) {
                    logError("cannot hold %s: %s", absolute.c_str(), std::strerror(error));
                    return false;
                }
                const std::string line = "the home " + absolute.string() + " is in use by " +
                                         (holder ? "process " + std::to_string(holder) : "another process");
                if (inUse)
                    *inUse = line;
                else
                    logError("%s", line.c_str());
                return false;
            }
            release(hold);
            hold.fd = fd;
        }
        hold.home = absolute;
        homeSlot() = absolute;
    }
    return ensureLayout();
}

std::string Paths::passHoldOnExec() {
    std::lock_guard<std::mutex> lock(pathsMutex());
    const Hold& hold = holdSlot();
    if (hold.fd < 0 || ::fcntl(hold.fd, F_SETFD, 0) != 0) return {};
    return std::string(kPassedHold) + "=" + std::to_string(hold.fd);
}

fs::path Paths::home() {
    std::lock_guard<std::mutex> lock(pathsMutex());
    if (homeSlot().empty()) homeSlot() = defaultHome();
    return homeSlot();
}

fs::path Paths::documents() {
    return home() / "Documents";
}
fs::path Paths::library() {
    return home() / "Library";
}
fs::path Paths::caches() {
    return library() / "Caches";
}
fs::path Paths::preferences() {
    return library() / "Preferences";
}
fs::path Paths::tmp() {
    return home() / "tmp";
}

bool Paths::ensureLayout() {
    for (const fs::path& dir : {documents(), caches(), preferences(), tmp()}) {
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) {
            logError("cannot create %s: %s", dir.c_str(), ec.message().c_str());
            return false;
        }
    }
    return true;
}

}  // namespace plat
