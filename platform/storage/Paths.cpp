#include "platform/storage/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

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

// The home this process holds: the open lock file, whose lock the system drops when its last descriptor
// closes (at the latest when the process ends), and the home it was taken for.
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

// The process a holder wrote into the lock file, or 0 when it is not (yet) there.
long holderOf(int fd) {
    char text[24] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return end != text && *end == '\n' && pid > 0 ? pid : 0;
}

// Names this process in its lock file for the refusal of a second program. The lock holds without it.
void nameHolder(int fd) {
    char text[24];
    const int n = std::snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, text, static_cast<size_t>(n), 0) != n)
        logWarning("cannot name this process in the home's lock file: %s", std::strerror(errno));
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
        const fs::path file = absolute / ".lock";
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            logError("cannot hold %s: %s", absolute.c_str(), std::strerror(errno));
            return false;
        }
        Hold& hold = holdSlot();
        if (hold.fd >= 0 && sameFile(fd, hold.fd)) {
            ::close(fd);
        } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            const long holder = error == EWOULDBLOCK ? holderOf(fd) : 0;
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
        } else {
            nameHolder(fd);
            release(hold);
            hold.fd = fd;
        }
        hold.home = absolute;
        homeSlot() = absolute;
    }
    return ensureLayout();
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
