#pragma once
// The application's read-only resources. The main bundle's resource root is what the app sets (the game's
// --resources, or the assets its shell found with findDefaultResources); otherwise the app's own folder
// installed next to the program and named after its file (<prefix>/bin/app → <prefix>/share/app), else for
// a build's own program the assets/ folder of the source tree it was built from.
// A bundle's information values come from an "Info.plist" at its resource root. The main bundle starts
// from what the program alone tells (defaultInfoDictionary: named after its file), which that file and then
// the app (setMainIdentity, before anything reads the bundle or the home) or a test (setMainInfoValue)
// override. The app's name names its home folder and its preferences file; a name that cannot (a control
// character, too long for a file name with ".plist", its saves' temporary names or the name a damaged file
// is set aside under), wherever it came from, gives way to the program's.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/base/Value.h"
#include "platform/storage/ProgramFiles.h"

namespace plat {

class Bundle {
  public:
    static constexpr const char* kIdentifierKey = "CFBundleIdentifier";
    static constexpr const char* kNameKey = "CFBundleName";
    static constexpr const char* kShortVersionKey = "CFBundleShortVersionString";
    static constexpr const char* kVersionKey = "CFBundleVersion";
    static constexpr const char* kExecutableKey = "CFBundleExecutable";
    static constexpr const char* kInfoFileName = "Info.plist";

    explicit Bundle(std::filesystem::path resourcePath);

    // The main bundle as it stands now (a copy: a later setMainResourcePath does not change it).
    static Bundle main();
    // Taken absolute (from the current folder) and cleaned: no "." or ".." segment, no doubled or
    // trailing "/". An empty path restores the default root.
    static void setMainResourcePath(const std::filesystem::path& resourcePath);
    static std::filesystem::path defaultResourcePath();
    // Where the game's assets were looked for, and the folder that holds them, if one does: next to the
    // program, in the checkout, then where Linux programs look for data.
    static DataSearch findDefaultResources();

    const std::filesystem::path& resourcePath() const { return resourcePath_; }

    // The information values, read once per bundle object.
    const Value::Dictionary& infoDictionary() const;
    // Null when the key is absent.
    const Value& objectForInfoDictionaryKey(std::string_view key) const;
    // Empty when the bundle has none.
    std::string bundleIdentifier() const;
    // The name, as a folder or file may be named after it: the bundle's name when it is one, else the
    // name of the program that runs.
    std::string appName() const;

    // The file name of the program that runs ("app" when the system does not tell it).
    static std::string programName();
    // The program's values: its name and executable, both the program's file name; no identifier and no
    // version, which only the app can give.
    static Value::Dictionary defaultInfoDictionary();
    // The app's identifier, name and short version at once, as setMainInfoValue sets them. Refused (false,
    // with a line) once the main bundle or the home was read: what was named after the identity then
    // (the home, the preferences file) would no longer be the app's.
    static bool setMainIdentity(const std::string& identifier, const std::string& name,
                                const std::string& version);
    // Fixes the identity as it stands, as reading the main bundle does: the home calls it when it is read.
    static void fixMainIdentity();
    // Sets one value of the main bundle for the rest of the process (or until reset); a null value
    // removes the key, defaults included.
    static void setMainInfoValue(const std::string& key, Value value);
    // Back to the program's own values, as before anything read them (a test's fresh start).
    static void resetMainInfoValues();

    // The full path of the resource `name` (plus "." + type when a type is given) inside `directory`
    // under the resource root, when such a file or folder exists; else the empty path. Names that would
    // leave the resource root ("..") find nothing.
    std::filesystem::path pathForResource(std::string_view name, std::string_view type = {},
                                          std::string_view directory = {}) const;

  private:
    Bundle(std::filesystem::path resourcePath, std::shared_ptr<const Value::Dictionary> info);

    std::filesystem::path resourcePath_;
    mutable std::shared_ptr<const Value::Dictionary> info_;
};

}  // namespace plat
