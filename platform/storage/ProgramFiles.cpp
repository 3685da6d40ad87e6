#include "platform/storage/ProgramFiles.h"

#include <fstream>
#include <iterator>
#include <system_error>

// Made by the build: the installed data folder relative to the installed programs (POTEMARU_INSTALLED_DATA).
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

fs::path checkoutFolder() {
    fs::path exeDir = executableFolder();
    if (exeDir.empty()) return {};
    std::ifstream note(exeDir / "potemaru-checkout", std::ios::binary);
    if (!note) return {};
    // The whole file is the path, whatever characters it holds.
    std::string root{std::istreambuf_iterator<char>(note), std::istreambuf_iterator<char>()};
    return root;
}

}  // namespace plat
