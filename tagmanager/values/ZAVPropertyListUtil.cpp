#include "tagmanager/values/ZAVPropertyListUtil.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/storage/AtomicFile.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/values/ZAVAsyncUtil.h"

namespace {

bool writeSerialized(const std::string& name, const std::optional<plat::Value>& value) {
    std::optional<plat::Bytes> bytes;
    if (value) bytes = plat::PropertyList::serialize(*value, plat::PropertyList::Format::Binary);
    if (!bytes) {
        ZAVLog::warning(zavFormat("Failed to Write property list %s with error %s", name.c_str(),
                                  "the object has no property-list form"));
        return false;
    }
    auto path = ZAVPropertyListUtil::plistFilePath(name);
    if (!plat::writeFileAtomically(path, *bytes)) {
        ZAVLog::warning(zavFormat("Failed to Write property list %s with error %s", name.c_str(),
                                  "the file could not be written"));
        return false;
    }
    return true;
}

}  // namespace

std::filesystem::path ZAVPropertyListUtil::plistFilePath(const std::string& name) {
    return plat::Paths::documents() / name;
}

ZAVObjectPtr ZAVPropertyListUtil::readPropertyList(const std::string& name) {
    auto path = plistFilePath(name);
    std::string bytes;
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (!error && size <= plat::PropertyList::kMaxInputSize) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (bytes.empty()) {
        ZAVLog::debug(zavFormat("No plist file: %s found.", path.c_str()));
        return nullptr;
    }
    plat::PropertyList::Format format = plat::PropertyList::Format::Xml;
    auto value = plat::PropertyList::parse(bytes.data(), bytes.size(), &format);
    if (!value) {
        ZAVLog::info(
            zavFormat("Error reading plist: %s, format: %lur", "the file is not a property list",
                      static_cast<unsigned long>(format == plat::PropertyList::Format::Xml ? 100 : 200)));
        return nullptr;
    }
    return ZAVObject::fromPlatformValue(*value);
}

bool ZAVPropertyListUtil::writePropertyList(const std::string& name, const ZAVObjectPtr& data) {
    return writeSerialized(name, ZAVObject::toPlatformValue(data));
}

void ZAVPropertyListUtil::writePropertyListAsync(const std::string& name, const ZAVObjectPtr& data) {
    // Converted now, so later changes by the caller cannot reach the file; the one serial queue keeps
    // two writes of the same file in call order.
    auto value = ZAVObject::toPlatformValue(data);
    ZAVAsyncUtil::invokeAsync([name, value]() -> ZAVObjectPtr {
        writeSerialized(name, value);
        return nullptr;
    });
}

bool ZAVPropertyListUtil::removePropertyList(const std::string& name) {
    auto path = plistFilePath(name);
    std::error_code error;
    bool removed = std::filesystem::remove(path, error);
    if (error && error != std::errc::no_such_file_or_directory)
        ZAVLog::error(
            zavFormat("Error clearing out plist: %s with error: %s", path.c_str(), error.message().c_str()));
    return removed;
}
