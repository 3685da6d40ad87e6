#include "platform/storage/Paths.h"

#include <cstdlib>
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
        std::error_code ec;
        fs::path absolute = fs::absolute(home, ec);
        homeSlot() = ec ? home : absolute;
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
