#include "platform/storage/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/base/Log.h"

namespace plat {
namespace fs = std::filesystem;

namespace {

bool writeAll(int fd, const uint8_t* p, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// ".NAME.tmp." followed by mkostemp's six characters.
std::string temporaryPrefix(const fs::path& path) {
    return "." + path.filename().string() + ".tmp.";
}
constexpr size_t kTemporarySuffixLength = 6;

}  // namespace

std::optional<fs::path> linkTarget(const fs::path& path) {
    fs::path at = path;
    // As many links as the kernel itself follows in one lookup.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        std::error_code ec;
        fs::path to = fs::read_symlink(at, ec);
        if (ec) return at;
        at = to.is_absolute() ? to : at.parent_path() / to;
    }
    errno = ELOOP;
    return std::nullopt;
}

int createTemporaryFile(const fs::path& path, std::string& temporary) {
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    temporary = (folder / (temporaryPrefix(path) + "XXXXXX")).string();
    return ::mkostemp(temporary.data(), O_CLOEXEC);
}

void syncFolder(const fs::path& folder) {
    int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

bool writeFileAtomically(const fs::path& link, const void* data, size_t size) {
    if (link.empty() || !link.has_filename()) {
        logError("cannot write a file without a name: \"%s\"", link.c_str());
        return false;
    }
    if (size > 0 && !data) {
        logError("cannot write %s: no bytes given", link.c_str());
        return false;
    }
    // A link is written through, so it keeps naming the file it names; one that cannot be followed is left.
    const std::optional<fs::path> target = linkTarget(link);
    if (!target) {
        logError("cannot write %s: %s", link.c_str(), std::strerror(errno));
        return false;
    }
    const fs::path& path = *target;
    std::string temp;
    int fd = createTemporaryFile(path, temp);
    if (fd < 0) {
        logError("cannot write %s: cannot create a temporary file: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    // A replaced file keeps its permissions, a new one is readable by all like an ordinary file; either way
    // its owner can read it back, or the next launch would find it unreadable.
    struct stat old {};
    mode_t mode = (::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644) | 0600;
    const char* failedStep = nullptr;
    int savedErrno = 0;
    if (::fchmod(fd, mode) != 0) {
        failedStep = "chmod";
    } else if (!writeAll(fd, static_cast<const uint8_t*>(data), size)) {
        failedStep = "write";
    } else if (::fsync(fd) != 0) {
        failedStep = "fsync";
    }
    if (failedStep) savedErrno = errno;
    if (::close(fd) != 0 && !failedStep) {
        failedStep = "close";
        savedErrno = errno;
    }
    if (!failedStep && ::rename(temp.c_str(), path.c_str()) != 0) {
        failedStep = "rename";
        savedErrno = errno;
    }
    if (failedStep) {
        ::unlink(temp.c_str());
        logError("cannot write %s: %s failed: %s", path.c_str(), failedStep, std::strerror(savedErrno));
        return false;
    }
    // Make the rename itself durable.
    syncFolder(path.parent_path());
    return true;
}

size_t removeStaleTemporaryFiles(const fs::path& link) {
    // A write through a link leaves its temporaries beside the file the link names.
    const fs::path path = linkTarget(link).value_or(link);
    if (!path.has_filename()) return 0;
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const std::string prefix = temporaryPrefix(path);
    size_t removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kTemporarySuffixLength ||
            name.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::error_code removeError;
        if (it->is_regular_file(removeError) && fs::remove(it->path(), removeError)) {
            logWarning("removed %s, left by a write that never finished", it->path().c_str());
            ++removed;
        }
    }
    return removed;
}

bool writeFileAtomically(const fs::path& path, std::string_view bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}

bool writeFileAtomically(const fs::path& path, const std::vector<uint8_t>& bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace plat
