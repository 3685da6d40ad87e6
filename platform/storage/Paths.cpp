#include "platform/storage/Paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
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
#include <vector>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/base/ProcessStat.h"
#include "platform/runloop/QuitSignals.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/HolderWatch.h"

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

// One line of the system's lock table, or of a descriptor's own locks in its fdinfo: "1: FLOCK  ADVISORY
// WRITE 1234 fe:00:10953105 0 EOF". One waiting for a lock has "->" before its kind, so it is none.
struct LockLine {
    std::string kind;
    long pid = 0;
    std::string where;
};

LockLine parseLockLine(const std::string& line) {
    std::istringstream in(line);
    std::string number, mode, access;
    LockLine lock;
    in >> number >> lock.kind >> mode >> access >> lock.pid >> lock.where;
    return lock;
}

// The lines of /proc/self/fdinfo/<fd>: the descriptor's mount and the locks of its own open file.
std::vector<std::string> fdInfoOf(int fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    std::vector<std::string> lines;
    for (std::string line; std::getline(info, line);) lines.push_back(line);
    return lines;
}

// The names the lock table may give the folder open as `fd`, "MAJ:MIN:INODE": the table names a file by
// the device of its file system as its mount lists it, which stat gives differently where a file system
// has volumes of its own inside it (btrfs), so both are taken.
std::vector<std::string> lockTableNamesOf(int fd) {
    std::vector<std::string> names;
    struct stat st {};
    if (fstat(fd, &st) != 0) return names;
    auto add = [&](unsigned major, unsigned minor) {
        char id[64];
        std::snprintf(id, sizeof id, "%02x:%02x:%lu", major, minor, static_cast<unsigned long>(st.st_ino));
        if (std::find(names.begin(), names.end(), id) == names.end()) names.emplace_back(id);
    };
    add(major(st.st_dev), minor(st.st_dev));
    std::string mount;
    for (const std::string& line : fdInfoOf(fd))
        if (line.rfind("mnt_id:", 0) == 0) std::istringstream(line.substr(7)) >> mount;
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; !mount.empty() && std::getline(mounts, line);) {
        // "47 28 0:41 / /home rw,relatime - btrfs /dev/loop0 rw": mount id, parent, device.
        std::istringstream in(line);
        std::string id, parent, device;
        unsigned major = 0, minor = 0;
        in >> id >> parent >> device;
        if (id != mount) continue;
        if (std::sscanf(device.c_str(), "%u:%u", &major, &minor) == 2) add(major, minor);
        break;
    }
    return names;
}

// One reading of the system's lock table, whole.
std::string systemLockTable() {
    std::ifstream locks("/proc/locks");
    std::ostringstream text;
    text << locks.rdbuf();
    return text.str();
}

std::function<std::string()>& lockTableReader() {
    static Lasting<std::function<std::string()>> reader;
    return *reader;
}

// The process that the system's lock table names as holding the file of those `names`; 0 when it names
// none. One reading can miss a line while other locks on the machine change.
long holderOf(const std::vector<std::string>& names) {
    const std::function<std::string()>& reader = lockTableReader();
    std::istringstream locks(reader ? reader() : systemLockTable());
    for (std::string line; std::getline(locks, line);) {
        const LockLine lock = parseLockLine(line);
        if (lock.kind == "FLOCK" && std::find(names.begin(), names.end(), lock.where) != names.end())
            return lock.pid;
    }
    return 0;
}

// Whether this process took the hold of the descriptor `fd` itself (before an exec, which keeps its
// id): the descriptor's own locks say so, whatever the file system and however busy the lock table.
bool holdsOwnLock(int fd) {
    for (const std::string& line : fdInfoOf(fd)) {
        if (line.rfind("lock:", 0) != 0) continue;
        const LockLine lock = parseLockLine(line.substr(5));
        if (lock.kind == "FLOCK" && lock.pid == ::getpid()) return true;
    }
    return false;
}

// The range of the ending mark: the first byte of the held folder's open file. The mark is a read lock
// there (of the open file, not of the process).
struct flock markRange(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 1;
    return range;
}

// Whether the holder of the folder open as `fd` has marked itself as ending: asked of the system
// directly, so no reading of a table can miss it.
bool markedEnding(int fd) {
    struct flock probe = markRange(F_WRLCK);
    return ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK && probe.l_pid == -1;
}

// Whether a quit waits, held back, for this process: one kept through the exec.
bool quitKept() {
    sigset_t pending;
    const sigset_t quits = QuitSignals::set();
    if (::sigpending(&pending) != 0) return false;
    for (int s = 1; s < NSIG; ++s)
        if (sigismember(&quits, s) == 1 && sigismember(&pending, s) == 1) return true;
    return false;
}

// Names the descriptor of a hold passed on to the program this process becomes (see passHoldOnExec).
constexpr const char* kPassedHold = "PLAT_HELD_HOME_FD";

// The descriptor of the hold that the program this process was before its exec passed on to it, or -1.
// Only a folder whose lock this very process took before its exec (which keeps its id) is taken: anything
// else in the variable (set by hand, or inherited from another process) is left as it is.
int passedHoldDescriptor() {
    const char* passed = std::getenv(kPassedHold);
    if (!passed) return -1;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(passed, &end, 10);
    if (errno || end == passed || number <= STDERR_FILENO || number > INT_MAX) return -1;
    // "<fd>:<pid>": the process that passed it, which an exec keeps. Where /proc is hidden the descriptor's
    // own locks cannot be read, and that the variable names this very process is what tells that the hold
    // was passed on to it rather than inherited from another.
    long passer = 0;
    if (*end == ':') {
        const char* pid = end + 1;
        passer = std::strtol(pid, &end, 10);
        if (errno || end == pid || passer != ::getpid()) return -1;
    }
    if (*end) return -1;
    const int fd = static_cast<int>(number);
    struct stat st {};
    const bool fdInfoReadable = !fdInfoOf(fd).empty();
    if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || (fdInfoReadable ? !holdsOwnLock(fd) : passer == 0))
        return -1;
    return fd;
}

// The passed hold that adoptPassedHold found at the start: its ending mark was settled then and is kept.
std::atomic<int> adoptedFd{-1};

// The hold passed on for the home open as `home`, now this program's; -1 when there is none.
int takePassedHold(int home) {
    const int fd = passedHoldDescriptor();
    // Taking the lock again on the descriptor that holds it changes nothing.
    if (fd < 0 || !sameFile(fd, home) || flock(fd, LOCK_EX | LOCK_NB) != 0) return -1;
    ::unsetenv(kPassedHold);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    if (fd == adoptedFd.load()) return fd;
    // A program that plays on is not ending, whatever its earlier self was asked; one that a quit kept
    // through the exec is waiting for is ending from now on.
    struct flock mark = markRange(quitKept() || QuitSignals::signalled() ? F_RDLCK : F_UNLCK);
    ::fcntl(fd, F_OFD_SETLK, &mark);
    return fd;
}

// Whether process `pid` is visibly ending: a kill sent to it, or its last thread ending. A killed process
// keeps its descriptors, and so its locks, until the last of its threads has ended and its memory is
// given back. A process that is gone is not ending: a lock the table still names it for is held by
// another.
bool ending(long pid) {
    const auto stat = ProcessStat::of(pid);
    if (!stat) return false;
    constexpr unsigned long kExiting = 0x4;
    if (stat->state == 'Z' || stat->state == 'X' || (stat->flags & kExiting)) return true;
    std::ifstream statusFile("/proc/" + std::to_string(pid) + "/status");
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
// a longer bound, so a game quit and started again at once starts as soon as the old one is gone; a wait
// that lasts says once what it waits for.
int lockFolder(int fd, const fs::path& home, long& holder) {
    constexpr auto kSilentWait = std::chrono::seconds(1);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::string> names = lockTableNamesOf(fd);
    HolderWatch watch;
    bool told = false;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno != EWOULDBLOCK) return errno;
        // Asked to quit while waiting: nothing of the home was touched yet.
        if (QuitSignals::signalled()) return ECANCELED;
        watch.look(holderOf(names), markedEnding(fd), ending);
        holder = watch.holder();
        const auto waited = std::chrono::steady_clock::now() - start;
        if (waited >= watch.bound()) return EWOULDBLOCK;
        if (watch.holderEnding() && !told && waited >= kSilentWait) {
            told = true;
            const std::string who = holder ? "process " + std::to_string(holder) : "the process";
            logInfo("waiting for %s, which holds the home %s, to end", who.c_str(), home.c_str());
        }
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

namespace {

// The user's home folder: HOME when it names one, else the password database's entry for the user; empty
// when neither does.
fs::path userHome() {
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return home;
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    int error;
    while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (size_t{1} << 20))
        buffer.resize(buffer.size() * 2);
    if (error == 0 && found && found->pw_dir && found->pw_dir[0] == '/') return found->pw_dir;
    return {};
}

}  // namespace

fs::path Paths::defaultHome() {
    return defaultHome(Bundle::main().appName());
}

// The XDG rules, as the data search reads them: a relative XDG_DATA_HOME or HOME is ignored (it would name a
// folder below wherever the program was started), and without HOME the user's home is the one the password
// database gives. Never a shared temporary folder, which another user could make first.
fs::path Paths::userFolder(const char* variable, const fs::path& underHome, const std::string& appName) {
    const char* xdg = std::getenv(variable);
    if (xdg && *xdg == '/') return fs::path(xdg) / appName;
    const fs::path user = userHome();
    return user.empty() ? fs::path() : user / underHome / appName;
}

fs::path Paths::defaultHome(const std::string& appName) {
    fs::path home = userFolder("XDG_DATA_HOME", ".local/share", appName);
    if (home.empty())
        logError("no home folder for %s: HOME names none, nor does the password database for user %u",
                 appName.c_str(), static_cast<unsigned>(::getuid()));
    return home;
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
    // An empty one is no folder: taken absolute, it would be wherever the program was started.
    if (home.empty()) return false;
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
            const int error = lockFolder(fd, absolute, holder);
            if (error) {
                ::close(fd);
                if (error == ECANCELED) return false;
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
        // A quit taken before the hold (or carried through the exec) marks it now: the handler found
        // nothing to mark then.
        if (QuitSignals::signalled()) markEnding();
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
    struct flock mark = markRange(F_RDLCK);
    const int saved = errno;
    ::fcntl(fd, F_OFD_SETLK, &mark);
    errno = saved;
}

void Paths::adoptPassedHold() {
    std::lock_guard<std::mutex> lock(pathsMutex());
    if (heldFd.load() >= 0 || adoptedFd.load() >= 0) return;
    const int fd = passedHoldDescriptor();
    if (fd < 0) return;
    heldFd = fd;
    adoptedFd = fd;
    // A quit kept through the exec (or taken now) keeps the mark the program before it made.
    if (quitKept() || QuitSignals::signalled()) {
        markEnding();
        return;
    }
    struct flock clear = markRange(F_UNLCK);
    ::fcntl(fd, F_OFD_SETLK, &clear);
    if (quitKept() || QuitSignals::signalled()) markEnding();
}

void Paths::setLockTableReader(std::function<std::string()> reader) {
    std::lock_guard<std::mutex> lock(pathsMutex());
    lockTableReader() = std::move(reader);
}

std::string Paths::passHoldOnExec() {
    std::lock_guard<std::mutex> lock(pathsMutex());
    const Hold& hold = holdSlot();
    if (hold.fd < 0 || ::fcntl(hold.fd, F_SETFD, 0) != 0) return {};
    return std::string(kPassedHold) + "=" + std::to_string(hold.fd) + ":" + std::to_string(::getpid());
}

fs::path Paths::home() {
    // Whatever the home is, what it holds is named after the identity as it stands (the preferences file).
    Bundle::fixMainIdentity();
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
