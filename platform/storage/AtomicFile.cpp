#include "platform/storage/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/base/Descriptors.h"
#include "platform/base/Log.h"

namespace plat {
namespace fs = std::filesystem;

bool writeAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
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

namespace {

// ".NAME.tmp." followed by mkostemp's six characters.
std::string temporaryPrefix(const fs::path& path) {
    return "." + path.filename().string() + ".tmp.";
}
constexpr size_t kTemporarySuffixLength = 6;

// What a save may not replace at `path`, or null: only a regular file is replaced (and, where the save
// writes its own path, a link, which is a name and not what it names). `st` receives what is there.
const char* unreplaceable(const fs::path& path, Links links, struct stat& st) {
    if (::lstat(path.c_str(), &st) != 0) return nullptr;
    if (S_ISREG(st.st_mode) || (S_ISLNK(st.st_mode) && links == Links::Replace)) return nullptr;
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    if (S_ISLNK(st.st_mode)) return "a link put there while it was written";
    return "not a regular file";
}

// The ".NAME.tmp." that `name` begins with when it is one of writeFileAtomically's temporaries (followed
// by mkostemp's six letters and digits); empty when it is none.
std::string_view temporaryStem(std::string_view name) {
    constexpr std::string_view kTmp = ".tmp.";
    if (name.size() < 2 + kTmp.size() + kTemporarySuffixLength || name[0] != '.') return {};
    const std::string_view stem = name.substr(0, name.size() - kTemporarySuffixLength);
    const bool random = std::all_of(name.begin() + static_cast<std::ptrdiff_t>(stem.size()), name.end(),
                                    [](unsigned char c) { return std::isalnum(c) != 0; });
    return random && stem.ends_with(kTmp) ? stem : std::string_view();
}

// Removes `entry` with a line when it is a regular file itself: a save never leaves a link.
bool removeTemporary(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!fs::is_regular_file(entry.symlink_status(ec)) || ec || !fs::remove(entry.path(), ec)) return false;
    logWarning("removed %s, left by a write that never finished", entry.path().c_str());
    return true;
}

// Removes the temporaries of saves of `path` left in its folder.
size_t sweep(const fs::path& path) {
    if (!path.has_filename()) return 0;
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const std::string prefix = temporaryPrefix(path);
    size_t removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (temporaryStem(it->path().filename().string()) == prefix && removeTemporary(*it)) ++removed;
    return removed;
}

}  // namespace

std::optional<fs::path> linkTarget(const fs::path& path) {
    // As many links as the system's own lookup follows, so that a file that reads can also be saved.
    constexpr int kMostLinks = 40;
    fs::path at = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        if (hops == kMostLinks) break;
        std::error_code ec;
        fs::path to = fs::read_symlink(at, ec);
        if (ec) return at;
        at = to.is_absolute() ? to : at.parent_path() / to;
    }
    errno = ELOOP;
    return std::nullopt;
}

size_t temporaryNameLength(std::string_view fileName) {
    return temporaryPrefix(fs::path(std::string(fileName))).size() + kTemporarySuffixLength;
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

bool writeFileAtomically(const fs::path& name, const void* data, size_t size, Links links) {
    if (name.empty() || !name.has_filename()) {
        logError("cannot write a file without a name: \"%s\"", name.c_str());
        return false;
    }
    if (size > 0 && !data) {
        logError("cannot write %s: no bytes given", name.c_str());
        return false;
    }
    // A link written through keeps naming the file it names; one that cannot be followed is left.
    const std::optional<fs::path> target = links == Links::WriteThrough ? linkTarget(name) : name;
    if (!target) {
        logError("cannot write %s: %s", name.c_str(), std::strerror(errno));
        return false;
    }
    const fs::path& path = *target;
    struct stat old {};
    auto refuse = [&](const char* what) {
        logError("cannot write %s: %s is %s, not a regular file; it is left as it is", name.c_str(),
                 path.c_str(), what);
        return false;
    };
    if (const char* what = unreplaceable(path, links, old)) return refuse(what);
    std::string temp;
    int fd = createTemporaryFile(path, temp);
    if (fd < 0) {
        const int error = errno;
        logError("cannot write %s: cannot create a temporary file: %s", path.c_str(), std::strerror(error));
        if (isOutOfDescriptors(error)) noteOutOfDescriptors("a save could not open its file");
        return false;
    }
    // A replaced file keeps its permissions, a new one (or one in a link's place) is readable by all like an
    // ordinary file; either way its owner can read it back, or the next launch would find it unreadable.
    mode_t mode = (S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0644) | 0600;
    const char* failedStep = nullptr;
    int savedErrno = 0;
    if (::fchmod(fd, mode) != 0) {
        failedStep = "chmod";
    } else if (!writeAll(fd, data, size)) {
        failedStep = "write";
    } else if (::fsync(fd) != 0) {
        failedStep = "fsync";
    }
    if (failedStep) savedErrno = errno;
    if (::close(fd) != 0 && !failedStep) {
        failedStep = "close";
        savedErrno = errno;
    }
    // The rename replaces what is at the final name now: something put there while the bytes were written
    // is looked at too.
    const char* put = failedStep ? nullptr : unreplaceable(path, links, old);
    if (!failedStep && !put && ::rename(temp.c_str(), path.c_str()) != 0) {
        failedStep = "rename";
        savedErrno = errno;
    }
    if (failedStep || put) {
        ::unlink(temp.c_str());
        if (put) return refuse(put);
        logError("cannot write %s: %s failed: %s", path.c_str(), failedStep, std::strerror(savedErrno));
        return false;
    }
    // Make the rename itself durable.
    syncFolder(path.parent_path());
    return true;
}

size_t removeStaleTemporaryFiles(const fs::path& path, Links links) {
    size_t removed = sweep(path);
    // A save through a link leaves its temporaries beside the file the link names.
    if (links == Links::WriteThrough) {
        const std::optional<fs::path> target = linkTarget(path);
        if (target && *target != path) removed += sweep(*target);
    }
    return removed;
}

size_t removeStaleTemporaryFilesUnder(const fs::path& folder) {
    size_t removed = 0;
    std::error_code ec;
    // Links are not followed: what lies beyond one is not this folder's.
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec))
        if (!temporaryStem(it->path().filename().string()).empty() && removeTemporary(*it)) ++removed;
    return removed;
}

bool writeFileAtomically(const fs::path& path, std::string_view bytes, Links links) {
    return writeFileAtomically(path, bytes.data(), bytes.size(), links);
}

bool writeFileAtomically(const fs::path& path, const std::vector<uint8_t>& bytes, Links links) {
    return writeFileAtomically(path, bytes.data(), bytes.size(), links);
}

}  // namespace plat
