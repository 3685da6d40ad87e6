#include "platform/storage/FileManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

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

fs::path FileManager::moveAside(const fs::path& path, const std::string& suffix, std::error_code& error) {
    for (int n = 1; n <= 1000; ++n) {
        fs::path aside = path;
        aside += n == 1 ? suffix : suffix + "-" + std::to_string(n);
        int rc = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the no-replace rename: the name is checked first instead.
            struct stat st {};
            if (::lstat(aside.c_str(), &st) == 0)
                errno = EEXIST;
            else
                rc = ::rename(path.c_str(), aside.c_str());
        }
        if (rc == 0) {
            error.clear();
            return aside;
        }
        if (errno != EEXIST) break;
    }
    error = std::error_code(errno, std::generic_category());
    return {};
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

std::optional<Bytes> FileManager::contentsAtPath(const fs::path& path, uint64_t maxSize) {
    int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        logError("cannot open %s: %s", path.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    struct stat st {};
    const char* problem = nullptr;
    if (::fstat(fd, &st) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        problem = "not a regular file";
    else if (static_cast<uint64_t>(st.st_size) > maxSize)
        problem = "too large";
    Bytes bytes;
    if (!problem) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        // The file may shrink while it is read; what was read is what counts.
        while (done < bytes.size()) {
            ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                problem = std::strerror(errno);
                break;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    if (problem) {
        logError("cannot read %s: %s", path.c_str(), problem);
        return std::nullopt;
    }
    return bytes;
}

bool FileManager::createFile(const fs::path& path, const Bytes& contents) {
    return writeFileAtomically(path, contents);
}

}  // namespace plat
