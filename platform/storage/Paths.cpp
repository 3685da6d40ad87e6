#include "platform/storage/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
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
#include "platform/storage/AtomicFile.h"

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

// The held folder's descriptor, for markEnding, which may run in a signal handler.
std::atomic<int> heldFd{-1};

void keep(Hold& hold, int fd) {
    hold.fd = fd;
    heldFd = fd;
}

void release(Hold& hold) {
    heldFd = -1;
    if (hold.fd >= 0) ::close(hold.fd);
    hold.fd = -1;
    hold.home.clear();
}

bool sameFile(int a, int b) {
    struct stat sa, sb;
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// What the system's table of locks says of the folder open as `fd`: the process holding it (0 when the
// table names none), and whether that holder has marked itself as ending (markEnding).
struct LockEntry {
    long holder = 0;
    bool ending = false;
};

LockEntry lockEntryOf(int fd) {
    LockEntry entry;
    struct stat st {};
    if (fstat(fd, &st) != 0) return entry;
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953105 0 EOF"; one waiting for a lock has "->" before its
        // kind, and the ending mark is a lock of the open folder itself, "OFDLCK ... -1 fe:00:10953105 ...".
        std::istringstream in(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        in >> number >> kind >> mode >> access >> pid >> where;
        if (where != id) continue;
        if (kind == "FLOCK") entry.holder = pid;
        if (kind == "OFDLCK") entry.ending = true;
    }
    return entry;
}

// Names the descriptor of a hold passed on to the program this process becomes (see passHoldOnExec).
constexpr const char* kPassedHold = "PLAT_HELD_HOME_FD";

// The hold that the program this process was passed on for the home open as `home`, now this program's;
// -1 when there is none. Only a descriptor of that very home whose lock this process took before its exec
// is taken: anything else in the variable (set by hand, or for another home) is left as it is.
int takePassedHold(int home) {
    const char* passed = std::getenv(kPassedHold);
    if (!passed) return -1;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(passed, &end, 10);
    if (errno || end == passed || *end || number <= STDERR_FILENO || number > INT_MAX) return -1;
    const int fd = static_cast<int>(number);
    struct stat st {};
    // The table names the process that took a lock, which an exec keeps; taking the lock again on this
    // descriptor then changes nothing, and fails if the lock is on another of the folder's descriptors.
    if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || !sameFile(fd, home) ||
        lockEntryOf(fd).holder != ::getpid() || flock(fd, LOCK_EX | LOCK_NB) != 0)
        return -1;
    ::unsetenv(kPassedHold);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

// Whether process `pid` is visibly ending: a kill sent to it, or its last thread ending. A killed process
// keeps its descriptors, and so its locks, until the last of its threads has ended and its memory is
// given back. A process that is gone is not ending: a lock the table still names it for is held by
// another.
bool ending(long pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream statFile(proc + "/stat");
    std::string stat;
    if (!std::getline(statFile, stat)) return false;
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
// process holds it, or the lock's error. Whoever holds it, the lock is tried again for a few seconds: a
// holder may let go at any moment, between a failed try and the look at who holds it too. A holder that
// is ending (killed, or marked by markEnding when asked to quit) is waited for until it has ended, within
// a longer bound, so a game quit and started again at once starts as soon as the old one is gone.
int lockFolder(int fd, long& holder) {
    constexpr auto kSettleWait = std::chrono::seconds(3);
    constexpr auto kEndingWait = std::chrono::seconds(30);
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno != EWOULDBLOCK) return errno;
        const LockEntry entry = lockEntryOf(fd);
        holder = entry.holder;
        const bool holderEnding = entry.ending || (holder && ending(holder));
        if (std::chrono::steady_clock::now() - start >= (holderEnding ? kEndingWait : kSettleWait))
            return EWOULDBLOCK;
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
    bool fresh = false;
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
        fresh = !(hold.fd >= 0 && sameFile(fd, hold.fd));
        if (!fresh) {
            ::close(fd);
        } else if (const int passed = takePassedHold(fd); passed >= 0) {
            ::close(fd);
            release(hold);
            keep(hold, passed);
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
            keep(hold, fd);
        }
        hold.home = absolute;
        homeSlot() = absolute;
    }
    if (!ensureLayout()) return false;
    // No save of this home runs now but this process's own, and none has started yet: a temporary left
    // in it is what a save cut short by the end of an earlier holder left.
    if (fresh) removeStaleTemporaryFilesUnder(absolute);
    return true;
}

void Paths::markEnding() {
    const int fd = heldFd.load();
    if (fd < 0) return;
    struct flock mark {};
    mark.l_type = F_RDLCK;
    mark.l_whence = SEEK_SET;
    mark.l_start = 0;
    mark.l_len = 1;
    ::fcntl(fd, F_OFD_SETLK, &mark);
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
