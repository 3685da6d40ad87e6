#include "platform/storage/AdvertisingId.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"
#include "platform/storage/UserDefaults.h"

namespace plat {

namespace {

enum class Read { Found, Missing, Damaged, Failed };

// The 36-character text form, with or without a line end after it. Failed (errno kept) when the file
// could not be read this time, which says nothing about what it holds.
Read readIdentifier(const std::filesystem::path& path, std::optional<Uuid>* id) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Read::Missing : Read::Failed;
    char buffer[64];
    size_t size = 0;
    while (size < sizeof buffer) {
        ssize_t n = ::read(fd, buffer + size, sizeof buffer - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int error = errno;
            ::close(fd);
            errno = error;
            return Read::Failed;
        }
        if (n == 0) break;
        size += static_cast<size_t>(n);
    }
    ::close(fd);
    std::string text(buffer, size);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    *id = Uuid::parse(text);
    return *id ? Read::Found : Read::Damaged;
}

}  // namespace

AdvertisingId& AdvertisingId::shared() {
    static AdvertisingId* service = new AdvertisingId();
    return *service;
}

std::filesystem::path AdvertisingId::filePath() {
    return Paths::library() / kFileName;
}

bool AdvertisingId::isAdvertisingTrackingEnabled() const {
    return !UserDefaults::standard()->boolForKey(kTrackingLimitedKey);
}

std::optional<Uuid> AdvertisingId::advertisingIdentifier() {
    if (!isAdvertisingTrackingEnabled()) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::filesystem::path path = filePath();
    std::optional<Uuid> id;
    std::filesystem::path aside;
    switch (readIdentifier(path, &id)) {
        case Read::Found:
            return id;
        case Read::Failed:
            // Out of descriptors, an I/O error, a folder in its place: the identifier may be fine, and a
            // new one would change the install's for good. It is read again at the next call.
            logWarning("AdvertisingId: %s cannot be read now (%s); no identifier this time", path.c_str(),
                       std::strerror(errno));
            return std::nullopt;
        case Read::Damaged: {
            std::error_code ec;
            aside = FileManager::moveAside(path, ".unreadable", ec);
            if (aside.empty()) {
                logWarning(
                    "AdvertisingId: %s holds no identifier and cannot be set aside (%s); no identifier",
                    path.c_str(), ec.message().c_str());
                return std::nullopt;
            }
            break;
        }
        case Read::Missing:
            break;
    }
    Uuid made = Uuid::random();
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (!writeFileAtomically(path, made.string() + "\n")) {
        logWarning("AdvertisingId: %s cannot be written; no advertising identifier", path.c_str());
        return std::nullopt;
    }
    if (!aside.empty())
        logWarning("AdvertisingId: %s held no identifier; kept as %s and a new identifier made", path.c_str(),
                   aside.c_str());
    return made;
}

}  // namespace plat
