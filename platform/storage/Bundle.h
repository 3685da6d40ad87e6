#pragma once
// The application's read-only resources. The main bundle's resource root is what the program's
// --resources names; otherwise the installed assets folder next to the program, else the assets/
// folder of the source tree the program was built from.
#include <filesystem>
#include <string>
#include <string_view>

namespace plat {

class Bundle {
  public:
    explicit Bundle(std::filesystem::path resourcePath);

    // The main bundle as it stands now (a copy: a later setMainResourcePath does not change it).
    static Bundle main();
    // An empty path restores the default root.
    static void setMainResourcePath(const std::filesystem::path& resourcePath);
    static std::filesystem::path defaultResourcePath();

    const std::filesystem::path& resourcePath() const { return resourcePath_; }

    // The full path of the resource `name` (plus "." + type when a type is given) inside `directory`
    // under the resource root, when such a file or folder exists; else the empty path. Names that would
    // leave the resource root ("..") find nothing.
    std::filesystem::path pathForResource(std::string_view name, std::string_view type = {},
                                          std::string_view directory = {}) const;

  private:
    std::filesystem::path resourcePath_;
};

}  // namespace plat
