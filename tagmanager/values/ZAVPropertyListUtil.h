#pragma once
// Named property-list files in the app's Documents folder (the click-referrer cache, the pixel tag's ids).
#include <filesystem>
#include <string>

#include "tagmanager/values/ZAVObject.h"

class ZAVPropertyListUtil {
  public:
    ZAVPropertyListUtil() = delete;
    static std::filesystem::path plistFilePath(const std::string& name);
    // Null when the file is missing (logged at debug level) or does not parse (logged at info level).
    static ZAVObjectPtr readPropertyList(const std::string& name);
    // A binary property list, written atomically; false with a warning when the object has no property-list
    // form or the file could not be written.
    static bool writePropertyList(const std::string& name, const ZAVObjectPtr& data);
    // The object is taken as it is now; writes of one file land in the order they were asked for.
    static void writePropertyListAsync(const std::string& name, const ZAVObjectPtr& data);
    // A missing file is removed silently; other failures are logged.
    static bool removePropertyList(const std::string& name);
};
