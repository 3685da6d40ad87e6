#include "platform/storage/Bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <system_error>

namespace plat {
namespace fs = std::filesystem;

namespace {

std::mutex& mainMutex() {
    static std::mutex m;
    return m;
}

fs::path& mainOverride() {
    static fs::path p;
    return p;
}

bool isDir(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

fs::path executableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

bool escapesRoot(const fs::path& relative) {
    int depth = 0;
    for (const fs::path& part : relative) {
        if (part == "..") {
            if (--depth < 0) return true;
        } else if (part != "." && !part.empty()) {
            ++depth;
        }
    }
    return false;
}

}  // namespace

Bundle::Bundle(fs::path resourcePath) : resourcePath_(std::move(resourcePath)) {}

fs::path Bundle::defaultResourcePath() {
    fs::path exeDir = executableFolder();
    if (!exeDir.empty()) {
        fs::path installed = exeDir.parent_path() / "share" / "potemaru" / "assets";
        if (isDir(installed)) return installed;
    }
#ifdef POTEMARU_SOURCE_ASSETS
    if (isDir(POTEMARU_SOURCE_ASSETS)) return fs::path(POTEMARU_SOURCE_ASSETS);
#endif
    std::error_code ec;
    return fs::absolute("assets", ec);
}

Bundle Bundle::main() {
    std::lock_guard<std::mutex> lock(mainMutex());
    if (mainOverride().empty()) mainOverride() = defaultResourcePath();
    return Bundle(mainOverride());
}

void Bundle::setMainResourcePath(const fs::path& resourcePath) {
    std::error_code ec;
    fs::path absolute = resourcePath.empty() ? fs::path() : fs::absolute(resourcePath, ec);
    std::lock_guard<std::mutex> lock(mainMutex());
    mainOverride() = resourcePath.empty() ? defaultResourcePath() : (ec ? resourcePath : absolute);
}

fs::path Bundle::pathForResource(std::string_view name, std::string_view type,
                                 std::string_view directory) const {
    if (name.empty()) return {};
    std::string file(name);
    if (!type.empty()) {
        if (type.front() != '.') file += '.';
        file += type;
    }
    fs::path relative = fs::path(std::string(directory)) / file;
    if (relative.is_absolute() || escapesRoot(relative)) return {};
    fs::path full = (resourcePath_ / relative).lexically_normal();
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0) return {};
    return full;
}

}  // namespace plat
