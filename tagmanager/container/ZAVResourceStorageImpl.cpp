#include "tagmanager/container/ZAVResourceStorageImpl.h"

#include <exception>
#include <system_error>

#include "platform/base/Error.h"
#include "platform/base/Json.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/OutputStream.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVPreviewManager.h"
#include "tagmanager/container/ZAVSerialization.h"
#include "tagmanager/values/ZAVAsyncUtil.h"

namespace {

namespace fs = std::filesystem;
using SavedResult = ZAVTypeOrFailure<ZAVPResourceWithMetadata>;

// For log lines: an id may hold bytes that a log line should not.
std::string printableId(const std::string& id) {
    std::string out;
    for (char c : id) out += c == '\0' ? std::string("\\0") : std::string(1, c);
    return out;
}

// Runs one bundle read; whatever it throws is logged after `failed` and answered with null.
template <typename Read>
auto guarded(const std::string& failed, Read read) -> decltype(read()) {
    try {
        return read();
    } catch (const plat::Exception& e) {
        ZAVLog::warning(failed + e.reason());
    } catch (const std::exception& e) {
        ZAVLog::warning(failed + e.what());
    }
    return nullptr;
}

// The bundle file of a default (no type: the binary one); the empty path when there is none.
fs::path defaultFile(const std::string& containerId, const char* type) {
    if (!ZAVResourceStorageImpl::isUsableContainerId(containerId)) return {};
    return ZAVResourceStorageImpl::mainBundle().pathForResource(containerId, type);
}

}  // namespace

ZAVResourceStorageImpl::ZAVResourceStorageImpl(Private, std::string containerId)
    : containerId_(std::move(containerId)) {}

std::shared_ptr<ZAVResourceStorageImpl> ZAVResourceStorageImpl::create(std::string containerId) {
    return std::make_shared<ZAVResourceStorageImpl>(Private(), std::move(containerId));
}

std::shared_ptr<ZAVSavedResourceLoadCallback> ZAVResourceStorageImpl::loadCallback() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loadCallback_;
}

void ZAVResourceStorageImpl::setLoadCallback(std::shared_ptr<ZAVSavedResourceLoadCallback> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    loadCallback_ = std::move(callback);
}

fs::path ZAVResourceStorageImpl::dataPath() {
    fs::path path = plat::Paths::library() / "Application Support" / "Zedive" / "ZodAruzivu";
    std::error_code error;
    if (fs::is_directory(path, error)) return path;
    fs::create_directories(path, error);
    if (error || !fs::is_directory(path)) {
        ZAVLog::error("Create directory error: " +
                      (error ? error.message() : std::string("not a directory: ") + path.string()));
        throw plat::Exception("UnableToCreateDataDirectory", "");
    }
    return path;
}

bool ZAVResourceStorageImpl::isUsableContainerId(const std::string& containerId) {
    return containerId.find('/') == std::string::npos && containerId.find('\0') == std::string::npos;
}

fs::path ZAVResourceStorageImpl::resourceFilename() const {
    if (!isUsableContainerId(containerId_))
        throw plat::Exception("IllegalArgumentException",
                              "Container id cannot name a file: " + printableId(containerId_));
    return dataPath() / ("resource_" + containerId_);
}

std::optional<fs::path> ZAVResourceStorageImpl::savedFilePath() const {
    try {
        return resourceFilename();
    } catch (const plat::Exception& e) {
        // A missing data directory was logged where it failed; a bad id is logged here.
        if (e.name() != "UnableToCreateDataDirectory") ZAVLog::warning(e.reason());
        return std::nullopt;
    }
}

plat::Bundle ZAVResourceStorageImpl::mainBundle() {
    return plat::Bundle::main();
}

void ZAVResourceStorageImpl::loadResourceFromDiskInBackground() {
    auto self = shared_from_this();
    auto result = std::make_shared<std::optional<SavedResult>>();
    ZAVAsyncUtil::invokeAsync(
        [self, result]() -> ZAVObjectPtr {
            result->emplace(self->loadResourceFromDisk());
            return nullptr;
        },
        [self, result](ZAVObjectPtr) {
            auto callback = self->loadCallback();
            if (!callback || !*result) return;
            if (const auto& resource = (*result)->type())
                callback->onSuccess(resource);
            else
                callback->onFailure(static_cast<uint32_t>((*result)->failure()));
        });
}

ZAVTypeOrFailure<ZAVPResourceWithMetadata> ZAVResourceStorageImpl::loadResourceFromDisk() {
    if (auto callback = loadCallback()) callback->startLoad();
    if (ZAVPreviewManager::instance()->isPreviewingContainer(containerId_))
        return SavedResult(int64_t{ZAVLoadFailureNotAvailable});
    // No usable path (bad id, no data directory) means there is no saved copy to use: reported like a
    // missing file, so the container goes on to download.
    auto path = savedFilePath();
    if (!path) return SavedResult(int64_t{ZAVLoadFailureNotAvailable});
    std::error_code error;
    if (!fs::exists(*path, error)) {
        ZAVLog::debug("Resource not on disk");
        return SavedResult(int64_t{ZAVLoadFailureNotAvailable});
    }
    auto bytes = plat::FileManager::contentsAtPath(*path, kMaxSavedFileSize);
    if (!bytes) {
        ZAVLog::warning("Error reading resource from disk: cannot read " + path->string());
        return SavedResult(int64_t{ZAVLoadFailureIOError});
    }
    return resourceFromSavedBytes(bytes->data(), bytes->size());
}

ZAVTypeOrFailure<ZAVPResourceWithMetadata> ZAVResourceStorageImpl::resourceFromSavedBytes(
    const uint8_t* bytes, size_t size) {
    try {
        auto resource = ZAVPResourceWithMetadata::parseFromData(ZAVWireData::create(bytes, size),
                                                                ZAVPServingRoot::extensionRegistry());
        if (resource && resource->isInitialized()) return SavedResult(resource);
        ZAVLog::warning("Resource from disk not initialized.");
    } catch (const plat::Exception& e) {
        // A parse error without a reason is a file that ends inside a field: a write cut short.
        ZAVLog::warning("Error reading resource from disk: " + e.name() + ": " +
                        (e.reason().empty() ? "the data ends inside a field" : e.reason()));
    } catch (const std::exception& e) {
        ZAVLog::warning("Error reading resource from disk: " + std::string(e.what()));
    }
    return SavedResult(int64_t{ZAVLoadFailureIOError});
}

void ZAVResourceStorageImpl::saveResourceToDiskInBackground(
    std::shared_ptr<const ZAVPResourceWithMetadata> resource) {
    saveResourceToDiskInBackground(std::move(resource), nullptr);
}

void ZAVResourceStorageImpl::saveResourceToDiskInBackground(
    std::shared_ptr<const ZAVPResourceWithMetadata> resource, std::function<void(bool)> resultBlock) {
    auto self = shared_from_this();
    ZAVAsyncUtil::ResultBlock done;
    if (resultBlock)
        done = [resultBlock = std::move(resultBlock)](ZAVObjectPtr written) {
            resultBlock(written && written->int64Value() != 0);
        };
    ZAVAsyncUtil::invokeAsync(
        [self, resource = std::move(resource)]() -> ZAVObjectPtr {
            return ZAVObject::integer(resource && self->saveResourceToDisk(*resource) ? 1 : 0);
        },
        std::move(done));
}

bool ZAVResourceStorageImpl::saveResourceToDisk(const ZAVPResourceWithMetadata& resource) {
    auto path = savedFilePath();
    if (!path) return false;
    bool written = false;
    try {
        // Serialised whole first, so the file on disk is either the old one or the new one.
        auto out = plat::OutputStream::toMemory();
        out->open();
        resource.writeToOutputStream(out);
        out->close();
        written = plat::writeFileAtomically(*path, out->memoryContents());
    } catch (const plat::Exception& e) {
        ZAVLog::warning("Error writing resource: " + e.reason());
    } catch (const std::exception& e) {
        ZAVLog::warning("Error writing resource: " + std::string(e.what()));
    }
    if (written) return true;
    ZAVLog::warning("Error writing resource to disk. Removing resource from disk.");
    std::error_code error;
    fs::remove(*path, error);
    return false;
}

std::shared_ptr<ZAVPResource> ZAVResourceStorageImpl::loadResourceFromContainerFile(
    const std::string& containerId) {
    fs::path path = defaultFile(containerId, "");
    if (path.empty()) {
        ZAVLog::warning(
            zavFormat("Cannot find binary resource file '%s'.", printableId(containerId).c_str()));
        return nullptr;
    }
    ZAVLog::verbose("Loading default container from " + containerId);
    const std::string failed = "Error reading resource from binary container file: ";
    return guarded(failed, [&]() -> std::shared_ptr<ZAVPResource> {
        auto bytes = plat::FileManager::contentsAtPath(path, kMaxDefaultFileSize);
        if (!bytes) {
            ZAVLog::warning(failed + "cannot read " + path.string());
            return nullptr;
        }
        auto resource = ZAVPResource::parseFromData(ZAVWireData::create(std::move(*bytes)),
                                                    ZAVPServingRoot::extensionRegistry());
        if (resource && resource->isInitialized()) return resource;
        ZAVLog::warning("Resource from container not initialized.");
        return nullptr;
    });
}

std::shared_ptr<const ZAVExpandedResource> ZAVResourceStorageImpl::loadExpandedResourceFromPlistFile(
    const std::string& containerId) {
    fs::path path = defaultFile(containerId, "plist");
    if (path.empty()) {
        ZAVLog::warning(zavFormat("Cannot find resource file '%s.plist'.", printableId(containerId).c_str()));
        return nullptr;
    }
    ZAVLog::verbose(zavFormat("loading default container from %s.plist", containerId.c_str()));
    const std::string failed = "Error reading resource from plist file: ";
    return guarded(failed, [&]() -> std::shared_ptr<const ZAVExpandedResource> {
        // A file that is not a dictionary property list is an error, not an empty container.
        auto object = plat::PropertyList::readFile(path);
        if (!object || !object->isDictionary()) {
            ZAVLog::warning(failed + "not a dictionary property list");
            return nullptr;
        }
        return ZAVSerialization::expandedResourceFromDeserializedObject(&*object);
    });
}

std::shared_ptr<const ZAVExpandedResource> ZAVResourceStorageImpl::loadExpandedResourceFromJsonFile(
    const std::string& containerId) {
    fs::path path = defaultFile(containerId, "json");
    if (path.empty()) {
        ZAVLog::warning(zavFormat("Cannot find resource file '%s.json'.", printableId(containerId).c_str()));
        return nullptr;
    }
    ZAVLog::verbose(zavFormat("loading default container from %s.json", containerId.c_str()));
    const std::string failed = "Error reading resource from json file: ";
    return guarded(failed, [&]() -> std::shared_ptr<const ZAVExpandedResource> {
        auto bytes = plat::FileManager::contentsAtPath(path, kMaxDefaultFileSize);
        plat::Error error;
        auto object = bytes ? plat::Json::parse(bytes->data(), bytes->size(), &error) : std::nullopt;
        // A document that does not parse is an error, not an empty container.
        if (!object) {
            ZAVLog::warning(failed + (bytes ? error.localizedDescription() : "cannot read " + path.string()));
            return nullptr;
        }
        if (ZAVLog::logLevel() <= ZAVLoggerLogLevelVerbose)
            ZAVLog::verbose(plat::Json::write(*object).value_or(std::string()));
        return ZAVSerialization::expandedResourceFromDeserializedObject(&*object);
    });
}
