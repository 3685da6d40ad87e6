#include "platform/storage/FileManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"

namespace plat {
namespace fs = std::filesystem;

bool FileManager::fileExists(const fs::path& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool FileManager::fileExists(const fs::path& path, bool* isDirectory) {
    struct stat st {};
    bool exists = !path.empty() && ::stat(path.c_str(), &st) == 0;
    if (isDirectory) *isDirectory = exists && S_ISDIR(st.st_mode);
    return exists;
}

bool FileManager::isDirectory(const fs::path& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileManager::isRegularFile(const fs::path& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileManager::isReadable(const fs::path& path) {
    return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

bool FileManager::createDirectory(const fs::path& path, bool withIntermediates) {
    std::error_code ec;
    if (withIntermediates) {
        fs::create_directories(path, ec);
        if (!ec && isDirectory(path)) return true;
    } else {
        if (fs::create_directory(path, ec)) return true;
        if (!ec) ec = std::make_error_code(std::errc::file_exists);
    }
    if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
    logError("cannot create folder %s: %s", path.c_str(), ec.message().c_str());
    return false;
}

bool FileManager::removeItem(const fs::path& path) {
    std::error_code ec;
    auto removed = fs::remove_all(path, ec);
    if (ec || removed == 0 || removed == static_cast<std::uintmax_t>(-1)) {
        if (!ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
        logError("cannot remove %s: %s", path.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

bool FileManager::moveItem(const fs::path& from, const fs::path& to) {
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        logError("cannot move %s to %s: the destination exists", from.c_str(), to.c_str());
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        logError("cannot move %s to %s: %s", from.c_str(), to.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

namespace {

bool occupied(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Renames without replacing; errno EEXIST when `to` is taken.
bool renameNoReplace(const fs::path& from, const fs::path& to) {
    int rc = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace rename: the name is checked first instead.
        if (occupied(to)) {
            errno = EEXIST;
            return false;
        }
        rc = ::rename(from.c_str(), to.c_str());
    }
    return rc == 0;
}

// How many names a set-aside tries: "<path><suffix>", then "-2" up to this.
constexpr int kMostAsideNames = 1000;

fs::path withSuffix(const fs::path& path, const std::string& suffix, int n) {
    fs::path aside = path;
    aside += n == 1 ? suffix : suffix + "-" + std::to_string(n);
    return aside;
}

fs::path withCompanion(const fs::path& path, const char* companion) {
    fs::path p = path;
    p += companion;
    return p;
}

// Opens a regular file to read, never blocking: a pipe or device in its place is refused (EINVAL), as is a
// folder (EISDIR). The descriptor, or -1 with errno set.
int openRegularFile(const fs::path& path, struct stat& st) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    int problem = 0;
    if (::fstat(fd, &st) != 0)
        problem = errno;
    else if (S_ISDIR(st.st_mode))
        problem = EISDIR;
    else if (!S_ISREG(st.st_mode))
        problem = EINVAL;
    if (!problem) return fd;
    ::close(fd);
    errno = problem;
    return -1;
}

bool copyAll(int in, int out) {
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0;
        if (!writeAll(out, buffer, static_cast<size_t>(n))) return false;
    }
}

// Copies a regular file, synced to disk, into a new temporary named for `owner`, which the owner's
// removeStaleTemporaryFiles clears away should this be cut short. Its path; empty (nothing left) with errno
// set when the copy fails.
fs::path copyToTemporary(const fs::path& from, const fs::path& owner) {
    struct stat st {};
    int in = openRegularFile(from, st);
    if (in < 0) return {};
    std::string temporary;
    int out = createTemporaryFile(owner, temporary);
    if (out < 0) {
        int error = errno;
        ::close(in);
        errno = error;
        return {};
    }
    bool ok = copyAll(in, out) && ::fsync(out) == 0;
    int error = errno;
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) return temporary;
    ::unlink(temporary.c_str());
    errno = error;
    return {};
}

// Is "<aside>" or a companion's name of it taken? A file that is not there leaves its own name free.
bool asideTaken(const fs::path& aside, std::span<const char* const> companions, bool mainThere) {
    bool taken = !mainThere && occupied(aside);
    for (const char* c : companions) taken = taken || occupied(withCompanion(aside, c));
    return taken;
}

// Renames `sources` (the file, then one per companion; empty where there is none) under the first free
// "<path><suffix>[-n]", each with its companion's ending, without replacing anything. The file goes first
// and the companions follow it; a failure midway leaves the file aside and the caller hears what stayed.
fs::path moveUnderFreeName(const fs::path& path, const std::string& suffix,
                           std::span<const char* const> companions, const std::vector<fs::path>& sources,
                           std::error_code& error) {
    const bool mainThere = !sources[0].empty();
    int failure = EEXIST;
    for (int n = 1; n <= kMostAsideNames; ++n) {
        const fs::path aside = withSuffix(path, suffix, n);
        if (asideTaken(aside, companions, mainThere)) continue;
        if (mainThere && !renameNoReplace(sources[0], aside)) {
            if (errno == EEXIST) continue;
            failure = errno;
            break;
        }
        error.clear();
        for (size_t i = 0; i < companions.size(); ++i) {
            const fs::path& from = sources[i + 1];
            if (!from.empty() && !renameNoReplace(from, withCompanion(aside, companions[i])))
                error = std::error_code(errno, std::generic_category());
            if (error) return aside;
        }
        syncFolder(aside.parent_path());
        return aside;
    }
    error = std::error_code(failure, std::generic_category());
    return {};
}

// The record of the companions' copies being placed under `aside`, made before the first of them takes its
// name and removed once the file's copy has followed: a kill in between leaves it for removeUnplacedCopies
// to find. One longer than the kept name, it fits wherever a companion's kept name does.
fs::path placingRecord(const fs::path& aside) {
    return aside.parent_path() / ("." + aside.filename().string());
}

// Records of an earlier version were named ".<file>.placing.<kept name>" and held nothing.
std::string earlierRecordPrefix(const fs::path& path) {
    return "." + path.filename().string() + ".placing.";
}

// A record holds a line per companion's copy, "<ending> <inode>" (the rename into place keeps the inode):
// far less than this.
constexpr uint64_t kRecordMaxSize = 4096;

// Made only where nothing is, so a stale record is never taken over, and on disk before the first rename.
// False, with errno set and nothing left, when it cannot be.
bool writeRecord(const fs::path& record, const std::string& lines) {
    const int fd = ::open(record.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    bool ok = writeAll(fd, lines.data(), lines.size()) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) return true;
    ::unlink(record.c_str());
    errno = error;
    return false;
}

// The inode a record lists for each companion; none for one that cannot be read or holds no such line.
std::vector<std::pair<std::string, ino_t>> readRecord(const fs::path& record) {
    std::vector<std::pair<std::string, ino_t>> listed;
    const FileManager::ReadResult read = FileManager::readFile(record, kRecordMaxSize);
    if (!read.read()) return listed;
    std::istringstream lines(std::string(read.bytes.begin(), read.bytes.end()));
    std::string ending;
    uint64_t inode = 0;
    while (lines >> ending >> inode) listed.emplace_back(ending, static_cast<ino_t>(inode));
    return listed;
}

// Renames the copies in `sources` (as above, all there but absent companions) under the first free name,
// the companions first and the file last, so that a kept file always has its companions beside it. A
// failure midway takes back what was placed: the caller is left with all or nothing.
fs::path placeCopiesUnderFreeName(const fs::path& path, const std::string& suffix,
                                  std::span<const char* const> companions,
                                  const std::vector<fs::path>& sources, std::error_code& error) {
    // The record lists each companion's copy by its inode, so that it only ever takes back these very
    // files. With no companion to place, the file's one rename needs no record.
    std::string lines;
    for (size_t i = 0; i < companions.size(); ++i) {
        struct stat st {};
        if (sources[i + 1].empty()) continue;
        if (::lstat(sources[i + 1].c_str(), &st) != 0) {
            error = std::error_code(errno, std::generic_category());
            return {};
        }
        lines += std::string(companions[i]) + " " + std::to_string(st.st_ino) + "\n";
    }
    int failure = EEXIST;
    for (int n = 1; n <= kMostAsideNames && failure == EEXIST; ++n) {
        const fs::path aside = withSuffix(path, suffix, n);
        // The file goes last here, so its own name is looked at too.
        if (asideTaken(aside, companions, false)) continue;
        const fs::path record = placingRecord(aside);
        if (!lines.empty()) {
            if (!writeRecord(record, lines)) {
                failure = errno;
                continue;
            }
            syncFolder(aside.parent_path());
        }
        std::vector<fs::path> placed;
        bool ok = true;
        for (size_t i = 0; ok && i < companions.size(); ++i) {
            const fs::path to = withCompanion(aside, companions[i]);
            if (sources[i + 1].empty()) continue;
            ok = renameNoReplace(sources[i + 1], to);
            if (ok) placed.push_back(to);
        }
        if (ok) ok = renameNoReplace(sources[0], aside);
        failure = ok ? 0 : errno;
        if (!ok)
            for (const fs::path& p : placed) ::unlink(p.c_str());
        syncFolder(aside.parent_path());
        if (!lines.empty()) ::unlink(record.c_str());
        if (ok) {
            error.clear();
            return aside;
        }
    }
    error = std::error_code(failure, std::generic_category());
    return {};
}

// A move goes on with the companions when the file itself is missing.
fs::path moveWithCompanions(const fs::path& path, const std::string& suffix,
                            std::span<const char* const> companions, std::error_code& error) {
    std::vector<fs::path> sources{occupied(path) ? path : fs::path()};
    bool any = !sources[0].empty();
    for (const char* c : companions) {
        const fs::path from = withCompanion(path, c);
        sources.push_back(occupied(from) ? from : fs::path());
        any = any || !sources.back().empty();
    }
    if (!any) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
        return {};
    }
    return moveUnderFreeName(path, suffix, companions, sources, error);
}

}  // namespace

size_t FileManager::longestAsideName(std::string_view fileName, std::string_view suffix) {
    return withSuffix(std::string(fileName), std::string(suffix), kMostAsideNames).string().size();
}

fs::path FileManager::moveAside(const fs::path& path, const std::string& suffix, std::error_code& error) {
    return moveWithCompanions(path, suffix, {}, error);
}

fs::path FileManager::moveAside(const fs::path& path, const std::string& suffix,
                                std::span<const char* const> companions, std::error_code& error) {
    return moveWithCompanions(path, suffix, companions, error);
}

fs::path FileManager::copyAside(const fs::path& path, const std::string& suffix,
                                std::span<const char* const> companions, std::error_code& error) {
    // Each copy is made whole under a temporary name first, then all are renamed into place: a kept name
    // never holds part of a copy, even after a kill.
    if (!occupied(path)) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
        return {};
    }
    std::vector<fs::path> temporaries;
    auto copy = [&](const fs::path& from) {
        fs::path temporary = copyToTemporary(from, path);
        if (temporary.empty()) error = std::error_code(errno, std::generic_category());
        temporaries.push_back(temporary);
        return !temporary.empty();
    };
    bool ok = copy(path);
    for (const char* c : companions) {
        const fs::path from = withCompanion(path, c);
        if (!ok) break;
        if (occupied(from))
            ok = copy(from);
        else
            temporaries.emplace_back();
    }
    fs::path aside = ok ? placeCopiesUnderFreeName(path, suffix, companions, temporaries, error) : fs::path();
    // What was placed is under its kept name now; what is left is not wanted.
    for (const fs::path& t : temporaries)
        if (!t.empty()) ::unlink(t.c_str());
    return aside;
}

size_t FileManager::removeUnplacedCopies(const fs::path& path, const std::string& keptSuffix,
                                         std::span<const char* const> companions) {
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const std::string file = path.filename().string(), keptStem = file + keptSuffix,
                      earlier = earlierRecordPrefix(path);
    auto isKeptName = [&](std::string_view name) {
        return name.starts_with(keptStem) && name != file &&
               std::all_of(name.begin() + static_cast<std::ptrdiff_t>(keptStem.size()), name.end(),
                           [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
    };
    // The records and the kept names they stand for, empty where a record names none, found before any is
    // removed.
    std::vector<std::pair<std::string, std::string>> records;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with('.') && isKeptName(std::string_view(name).substr(1)))
            records.emplace_back(name, name.substr(1));
        else if (name.starts_with(earlier)) {
            const std::string rest = name.substr(earlier.size());
            records.emplace_back(name, isKeptName(rest) ? rest : std::string());
        }
    }
    size_t removed = 0;
    for (const auto& [name, kept] : records) {
        const fs::path record = folder / name;
        struct stat st {};
        if (::lstat(record.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            // Whatever is in it is nobody's record to take back.
            if (::rmdir(record.c_str()) == 0)
                logWarning("removed %s, an empty folder at the name of a record of a copy aside",
                           record.c_str());
            else
                logWarning("left %s, a folder at the name of a record of a copy aside, with what it holds",
                           record.c_str());
            continue;
        }
        if (kept.empty()) {
            if (::unlink(record.c_str()) == 0)
                logWarning("removed %s, a record of a copy aside that names no kept copy of %s",
                           record.c_str(), path.c_str());
            continue;
        }
        // Without its file, what was placed of a copy is no copy; a companion is taken back only while it
        // is still the file the copy placed. An earlier version's record lists nothing.
        const fs::path aside = folder / kept;
        if (!occupied(aside) && S_ISREG(st.st_mode)) {
            for (const auto& listed : readRecord(record)) {
                if (std::none_of(companions.begin(), companions.end(),
                                 [&](const char* c) { return listed.first == c; }))
                    continue;
                const fs::path orphan = withCompanion(aside, listed.first.c_str());
                struct stat placed {};
                if (::lstat(orphan.c_str(), &placed) != 0 || !S_ISREG(placed.st_mode) ||
                    placed.st_ino != listed.second || ::unlink(orphan.c_str()) != 0)
                    continue;
                logWarning("removed %s, placed by a copy aside that never finished", orphan.c_str());
                ++removed;
            }
        }
        ::unlink(record.c_str());
    }
    return removed;
}

bool FileManager::copyItem(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        logError("cannot copy %s to %s: %s", from.c_str(), to.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

std::optional<std::vector<std::string>> FileManager::contentsOfDirectory(const fs::path& path) {
    std::error_code ec;
    fs::directory_iterator it(path, ec), end;
    std::vector<std::string> names;
    for (; !ec && it != end; it.increment(ec)) names.push_back(it->path().filename().string());
    if (ec) {
        logError("cannot list %s: %s", path.c_str(), ec.message().c_str());
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<FileManager::Attributes> FileManager::attributesOfItem(const fs::path& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        logError("cannot read the attributes of %s: %s", path.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    Attributes a;
    if (S_ISREG(st.st_mode))
        a.type = FileType::Regular;
    else if (S_ISDIR(st.st_mode))
        a.type = FileType::Directory;
    else if (S_ISLNK(st.st_mode))
        a.type = FileType::SymbolicLink;
    a.size = static_cast<uint64_t>(st.st_size);
    a.modificationDate.secondsSince1970 =
        static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
    a.permissions = st.st_mode & 07777;
    return a;
}

FileManager::ReadResult FileManager::readFile(const fs::path& path, uint64_t maxSize) {
    ReadResult result;
    auto fail = [&](int error) {
        // A file where a folder of the path belongs leaves nothing at the path either.
        const bool missing = error == ENOENT || error == ENOTDIR;
        result.status = missing ? ReadResult::Status::Missing : ReadResult::Status::Unreadable;
        result.error = std::error_code(error, std::generic_category());
        result.bytes.clear();
        return result;
    };
    if (path.empty()) return fail(ENOENT);
    struct stat st {};
    int fd = openRegularFile(path, st);
    if (fd < 0) return fail(errno);
    int problem = 0;
    if (static_cast<uint64_t>(st.st_size) > maxSize) {
        result.status = ReadResult::Status::TooLarge;
    } else {
        result.bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        // The file may shrink while it is read; what was read is what counts. One that grew is read on,
        // up to the limit.
        for (;;) {
            if (done == result.bytes.size()) {
                if (done >= maxSize) break;
                result.bytes.resize(std::min<uint64_t>(maxSize, done + 4096));
            }
            ssize_t n = ::read(fd, result.bytes.data() + done, result.bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                problem = errno;
                break;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        result.bytes.resize(done);
        if (!problem) {
            // Bytes beyond the limit: the file grew past it while it was read.
            char extra;
            if (done >= maxSize && ::read(fd, &extra, 1) == 1)
                result.status = ReadResult::Status::TooLarge;
            else
                result.status = ReadResult::Status::Read;
        }
    }
    ::close(fd);
    if (problem) return fail(problem);
    if (result.status == ReadResult::Status::TooLarge) result.bytes.clear();
    return result;
}

std::optional<Bytes> FileManager::contentsAtPath(const fs::path& path, uint64_t maxSize) {
    ReadResult result = readFile(path, maxSize);
    switch (result.status) {
        case ReadResult::Status::Read:
            return std::move(result.bytes);
        case ReadResult::Status::TooLarge:
            logError("cannot read %s: too large", path.c_str());
            break;
        case ReadResult::Status::Missing:
            logError("cannot open %s: %s", path.c_str(), result.error.message().c_str());
            break;
        case ReadResult::Status::Unreadable:
            logError("cannot read %s: %s", path.c_str(),
                     result.error.value() == EINVAL ? "not a regular file" : result.error.message().c_str());
            break;
    }
    return std::nullopt;
}

bool FileManager::createFile(const fs::path& path, const Bytes& contents) {
    return writeFileAtomically(path, contents);
}

}  // namespace plat
