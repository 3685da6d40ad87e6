#include "platform/storage/ProgramFiles.h"

#include <sys/auxv.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

// Made by the build: the installed data folder (share/) relative to the installed programs
// (POTEMARU_INSTALLED_DATA), and the game's and the SDK's folders below it.
#include "PlatformPaths.h"

namespace plat {
namespace fs = std::filesystem;

fs::path executablePath() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return exe;
    const char* name = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (!name || !*name) name = program_invocation_name;
    // A bare name was looked up on PATH, and the kernel then names the whole path: a bare one here names
    // no folder.
    if (!name || !std::strchr(name, '/')) return {};
    exe = fs::canonical(name, ec);
    if (!ec) return exe;
    exe = fs::absolute(name, ec);
    return ec ? fs::path() : exe.lexically_normal();
}

namespace {

fs::path executableFolder() {
    return executablePath().parent_path();
}

bool isRegularFile(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The XDG base folders for data, most personal first. Relative entries are ignored, as the convention asks.
std::vector<fs::path> xdgDataFolders() {
    std::vector<fs::path> folders;
    const char* home = std::getenv("XDG_DATA_HOME");
    if (home && *home == '/') {
        folders.emplace_back(home);
    } else if (const char* user = std::getenv("HOME"); user && *user == '/') {
        folders.push_back(fs::path(user) / ".local/share");
    }
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string_view list = dirs && *dirs ? dirs : "/usr/local/share/:/usr/share/";
    while (!list.empty()) {
        const size_t colon = list.find(':');
        const std::string_view entry = list.substr(0, colon);
        if (!entry.empty() && entry.front() == '/') folders.emplace_back(entry);
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    return folders;
}

}  // namespace

fs::path gameDataFolder() {
    return POTEMARU_GAME_DATA;
}

fs::path sdkDataFolder() {
    return POTEMARU_SDK_DATA;
}

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

std::string DataSearch::lookedList() const {
    std::string list;
    for (const fs::path& folder : looked) {
        if (!list.empty()) list += ", ";
        list += folder.string();
    }
    return list;
}

DataSearch findData(const fs::path& relative, const fs::path& inCheckout, const fs::path& marker) {
    DataSearch search;
    auto holds = [&](const fs::path& folder) {
        if (folder.empty()) return false;
        const fs::path clean = folder.lexically_normal();
        for (const fs::path& seen : search.looked)
            if (seen == clean) return false;
        search.looked.push_back(clean);
        if (!isRegularFile(clean / marker)) return false;
        search.found = clean;
        return true;
    };
    if (holds(installedDataPath(relative))) return search;
    if (const fs::path checkout = checkoutFolder(); !checkout.empty() && holds(checkout / inCheckout))
        return search;
    for (const fs::path& base : xdgDataFolders())
        if (holds(base / relative)) return search;
    return search;
}

}  // namespace plat
