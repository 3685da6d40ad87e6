#pragma once
// One container's storage: the saved file "resource_<id>" under Library/Application Support/Zedive/
// ZodAruzivu, read and written in the background (ZAVAsyncUtil), and the bundle defaults (binary,
// property list, JSON).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/storage/Bundle.h"
#include "tagmanager/container/ZAVResourceStorage.h"
#include "tagmanager/values/ZAVTypeOrFailure.h"

class ZAVResourceStorageImpl : public ZAVResourceStorage,
                               public std::enable_shared_from_this<ZAVResourceStorageImpl> {
  public:
    // Larger saved files are refused unread: a container is a few hundred kilobytes.
    static constexpr uint64_t kMaxSavedFileSize = 32ull * 1024 * 1024;
    // Bundle defaults are bounded the same way.
    static constexpr uint64_t kMaxDefaultFileSize = 32ull * 1024 * 1024;

  private:
    // Background work keeps the storage alive through shared ownership, so it is only made by create.
    struct Private {
        explicit Private() = default;
    };

  public:
    ZAVResourceStorageImpl(Private, std::string containerId);
    static std::shared_ptr<ZAVResourceStorageImpl> create(std::string containerId);

    const std::string& containerId() const { return containerId_; }
    std::shared_ptr<ZAVSavedResourceLoadCallback> loadCallback() const;
    void setLoadCallback(std::shared_ptr<ZAVSavedResourceLoadCallback> callback) override;

    // The data directory, made when missing; throws "UnableToCreateDataDirectory" when it cannot be.
    static std::filesystem::path dataPath();
    // The saved file's full path. Throws as dataPath does, and "IllegalArgumentException" for a container
    // id that cannot be part of a file name (it holds "/" or NUL).
    std::filesystem::path resourceFilename() const;
    static bool isUsableContainerId(const std::string& containerId);
    static plat::Bundle mainBundle();

    void loadResourceFromDiskInBackground() override;
    // On the calling thread; the callback's startLoad is called from here.
    ZAVTypeOrFailure<ZAVPResourceWithMetadata> loadResourceFromDisk();
    void saveResourceToDiskInBackground(std::shared_ptr<const ZAVPResourceWithMetadata> resource) override;
    void saveResourceToDiskInBackground(std::shared_ptr<const ZAVPResourceWithMetadata> resource,
                                        std::function<void(bool)> resultBlock);
    // Written whole to a temporary file and renamed over the saved file. False (logged) when anything
    // fails; the saved file is removed then.
    bool saveResourceToDisk(const ZAVPResourceWithMetadata& resource);

    std::shared_ptr<ZAVPResource> loadResourceFromContainerFile(const std::string& containerId) override;
    std::shared_ptr<const ZAVExpandedResource> loadExpandedResourceFromPlistFile(
        const std::string& containerId) override;
    std::shared_ptr<const ZAVExpandedResource> loadExpandedResourceFromJsonFile(
        const std::string& containerId) override;

    // The saved-file read after the file's bytes are in hand (a fuzz target drives this directly).
    static ZAVTypeOrFailure<ZAVPResourceWithMetadata> resourceFromSavedBytes(const uint8_t* bytes,
                                                                             size_t size);

  private:
    // The saved file's path, or none (logged) when there can be no such file.
    std::optional<std::filesystem::path> savedFilePath() const;

    const std::string containerId_;
    // Set on the main thread, read by background reads.
    mutable std::mutex mutex_;
    std::shared_ptr<ZAVSavedResourceLoadCallback> loadCallback_;
};
