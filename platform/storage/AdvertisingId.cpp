#include "platform/storage/AdvertisingId.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"
#include "platform/storage/UserDefaults.h"

namespace plat {

namespace {

// Room for the 36-character text form and a line end; anything longer holds no identifier.
constexpr uint64_t kMaxFileSize = 64;

std::optional<Uuid> identifierIn(const Bytes& bytes) {
    std::string text(bytes.begin(), bytes.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return Uuid::parse(text);
}

}  // namespace

AdvertisingId& AdvertisingId::shared() {
    static Lasting<AdvertisingId> service;
    return *service;
}

std::filesystem::path AdvertisingId::filePath() {
    return Paths::library() / kFileName;
}

bool AdvertisingId::isAdvertisingTrackingEnabled() const {
    auto defaults = UserDefaults::standard();
    // Settings that could not be read may hold the user's limit.
    return !defaults->storedSettingsUnread() && !defaults->boolForKey(kTrackingLimitedKey);
}

std::optional<Uuid> AdvertisingId::advertisingIdentifier() {
    if (!isAdvertisingTrackingEnabled()) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::filesystem::path path = filePath();
    auto read = FileManager::readFile(path, kMaxFileSize);
    std::filesystem::path aside;
    if (read.status == FileManager::ReadResult::Status::Unreadable) {
        // Out of descriptors, an I/O error, a folder in its place: the identifier may be fine, and a new
        // one would change the install's for good. It is read again at the next call.
        logWarning("AdvertisingId: %s cannot be read now (%s); no identifier this time", path.c_str(),
                   std::strerror(read.error.value()));
        return std::nullopt;
    }
    if (read.status != FileManager::ReadResult::Status::Missing) {
        if (auto id = read.read() ? identifierIn(read.bytes) : std::nullopt) return id;
        std::error_code ec;
        aside = FileManager::moveAside(path, ".unreadable", ec);
        if (aside.empty()) {
            logWarning("AdvertisingId: %s holds no identifier and cannot be set aside (%s); no identifier",
                       path.c_str(), ec.message().c_str());
            return std::nullopt;
        }
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
