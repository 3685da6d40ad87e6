#pragma once
// The app's data folders, laid out like a phone app's sandbox under one home folder:
//   Documents/  Library/  Library/Caches/  Library/Preferences/  tmp/
// The home is ${XDG_DATA_HOME:-~/.local/share}/<app name>/ unless set (the program's --home, tests' temp
// dirs).
#include <filesystem>
#include <string>

namespace plat {

class Paths {
  public:
    static std::filesystem::path defaultHome(const std::string& appName = "potemaru");

    // Sets the home folder and creates its layout; false (with a log line) when it cannot be made.
    static bool setHome(const std::filesystem::path& home);
    static std::filesystem::path home();

    static std::filesystem::path documents();
    static std::filesystem::path library();
    static std::filesystem::path caches();
    static std::filesystem::path preferences();
    static std::filesystem::path tmp();

    // Creates any missing folder of the layout under the current home.
    static bool ensureLayout();
};

}  // namespace plat
