#pragma once
// Where a program's own read-only files are. An installed program finds them from its own place
// (<prefix>/bin/potemaru → <prefix>/share/games/potemaru/), wherever the tree was moved or unpacked, and
// else where Linux programs look for data ($XDG_DATA_HOME, $XDG_DATA_DIRS), so a copy of the program in
// another folder still finds what was installed. Only a program that the build made and runs from the
// build's programs folder reads files of the checkout, so an installed one never opens the checkout or the
// build.
#include <filesystem>
#include <string>
#include <vector>

namespace plat {

// The program's own file. Where /proc is hidden (a sandbox, a container), the name it was started by,
// taken from the folder it was started in and followed through links as /proc/self/exe would be; empty
// when neither tells.
std::filesystem::path executablePath();

// The installed data folders below a data folder (share/), as the install names them: the game's
// ("games/potemaru", where Debian keeps a game's static data) and the SDK's ("potemaru-sdk"). Neither is
// named like an app's home (share/<app>/), so a player who deletes a home deletes no installed file.
std::filesystem::path gameDataFolder();
std::filesystem::path sdkDataFolder();

// <prefix>/share/<relative> for the program that runs, whether or not it exists; empty when the program's
// own place cannot be read.
std::filesystem::path installedDataPath(const std::filesystem::path& relative);

// The root of the checkout that built the program that runs, when it is one of the build's own programs
// (its folder holds the build's note "potemaru-checkout"); empty for any other, an installed one above all.
std::filesystem::path checkoutFolder();

struct DataSearch {
    // The first folder that holds the data; empty when none does.
    std::filesystem::path found;
    // Every folder looked in, in order, each once.
    std::vector<std::filesystem::path> looked;

    // The folders looked in, as one line: "A, B, C".
    std::string lookedList() const;
};

// Looks for a program's read-only data, a folder that holds `marker` (a file every copy of the data holds;
// a folder that merely exists is not the data): installedDataPath(relative); then, for one of the build's
// own programs, <checkout>/<inCheckout>; then <dir>/<relative> for $XDG_DATA_HOME (default
// ~/.local/share) and each folder of $XDG_DATA_DIRS (default /usr/local/share/:/usr/share/).
DataSearch findData(const std::filesystem::path& relative, const std::filesystem::path& inCheckout,
                    const std::filesystem::path& marker);

}  // namespace plat
