#include "game/shell/WindowPlacement.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"

namespace fs = std::filesystem;

fs::path WindowPlacement::defaultPath() {
    const fs::path folder = plat::Paths::userFolder("XDG_STATE_HOME", ".local/state", "potemaru");
    return folder.empty() ? fs::path() : folder / "window";
}

std::optional<WindowPlacement> WindowPlacement::load(const fs::path& path) {
    if (path.empty()) return std::nullopt;
    const auto file = plat::FileManager::readFile(path, 4096);
    if (file.status == plat::FileManager::ReadResult::Status::Missing) return std::nullopt;
    if (!file.read()) {
        plat::logWarning("potemaru: the window's last size in %s could not be read (%s)", path.c_str(),
                         file.error.message().c_str());
        return std::nullopt;
    }
    const std::string text(file.bytes.begin(), file.bytes.end());
    WindowPlacement p;
    int fullscreen = 0, used = 0;
    if (std::sscanf(text.c_str(), "size %d %d\nfullscreen %d\n%n", &p.width, &p.height, &fullscreen, &used) !=
            3 ||
        used != static_cast<int>(text.size()) || p.width <= 0 || p.height <= 0 || p.width > 16384 ||
        p.height > 16384 || (fullscreen != 0 && fullscreen != 1)) {
        plat::logWarning("potemaru: %s holds no window size; the window is fitted to the screen",
                         path.c_str());
        return std::nullopt;
    }
    p.fullscreen = fullscreen == 1;
    return p;
}

bool WindowPlacement::save(const fs::path& path) const {
    if (path.empty()) return false;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    const std::string text = "size " + std::to_string(width) + " " + std::to_string(height) +
                             "\nfullscreen " + (fullscreen ? "1" : "0") + "\n";
    return plat::writeFileAtomically(path, text);
}
