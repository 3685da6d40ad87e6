#include "platform/storage/ProgramFiles.h"

#include <system_error>

// Made by the build: the checkout's assets/ folder (POTEMARU_SOURCE_ASSETS), the build's programs folder
// (POTEMARU_BUILD_PROGRAMS) and the installed data folder relative to the installed programs
// (POTEMARU_INSTALLED_DATA).
#include "PlatformPaths.h"

namespace plat {
namespace fs = std::filesystem;

namespace {

fs::path executableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

}  // namespace

fs::path installedDataPath(const fs::path& relative) {
    fs::path exeDir = executableFolder();
    if (exeDir.empty()) return {};
    return (exeDir / POTEMARU_INSTALLED_DATA / relative).lexically_normal();
}

bool runsFromBuild() {
    fs::path exeDir = executableFolder();
    std::error_code ec;
    return !exeDir.empty() && fs::equivalent(exeDir, POTEMARU_BUILD_PROGRAMS, ec);
}

fs::path checkoutAssets() {
    return POTEMARU_SOURCE_ASSETS;
}

}  // namespace plat
