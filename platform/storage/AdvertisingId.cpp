#include "platform/storage/AdvertisingId.h"

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Paths.h"
#include "platform/storage/UserDefaults.h"

namespace plat {

namespace {

// The 36-character text form, with or without a line end after it.
std::optional<Uuid> readIdentifier(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text;
    text.resize(64);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return Uuid::parse(text);
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
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        if (auto id = readIdentifier(path)) return id;
        // A damaged file is kept for whoever wants to look at it; the install gets a new identifier.
        std::filesystem::path aside = path;
        aside += ".unreadable";
        std::filesystem::rename(path, aside, ec);
        logWarning("AdvertisingId: %s is unreadable; moved to %s and a new identifier made", path.c_str(),
                   aside.c_str());
    }
    Uuid id = Uuid::random();
    std::filesystem::create_directories(path.parent_path(), ec);
    if (!writeFileAtomically(path, id.string() + "\n")) {
        logWarning("AdvertisingId: %s cannot be written; no advertising identifier", path.c_str());
        return std::nullopt;
    }
    return id;
}

}  // namespace plat
