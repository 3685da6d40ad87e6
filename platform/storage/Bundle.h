#pragma once
// The application's read-only resources. The main bundle's resource root is what the program's
// --resources names; otherwise the game's assets as findDefaultResources finds them: installed next to the
// program, the assets/ folder of the source tree a build's own program was built from, or installed where
// Linux programs look for data.
// A bundle's information values come from an "Info.plist" at its resource root; the main bundle starts
// from the game's own values (defaultInfoDictionary), which that file and then the app or a test
// (setMainInfoValue) override.
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
    static constexpr const char* kInfoFileName = "Info.plist";

    explicit Bundle(std::filesystem::path resourcePath);

    // The main bundle as it stands now (a copy: a later setMainResourcePath does not change it).
    static Bundle main();
    // Taken absolute (from the current folder) and cleaned: no "." or ".." segment, no doubled or
    // trailing "/". An empty path restores the default root.
    static void setMainResourcePath(const std::filesystem::path& resourcePath);
    static std::filesystem::path defaultResourcePath();
    // Where the game's assets were looked for, and the folder that holds them, if one does.
    static DataSearch findDefaultResources();

    const std::filesystem::path& resourcePath() const { return resourcePath_; }

    // The information values, read once per bundle object.
    const Value::Dictionary& infoDictionary() const;
    // Null when the key is absent.
    const Value& objectForInfoDictionaryKey(std::string_view key) const;
    // Empty when the bundle has none.
    std::string bundleIdentifier() const;

    // The game's values: identifier, name, display name, short version and build number.
    static Value::Dictionary defaultInfoDictionary();
    // Sets one value of the main bundle for the rest of the process (or until reset); a null value
    // removes the key, defaults included.
    static void setMainInfoValue(const std::string& key, Value value);
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
