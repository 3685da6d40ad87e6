#pragma once
// Where a container keeps its last downloaded resource, and where it finds the default that the app ships.
// Reads of the saved file report to a load callback (on the background thread that it began, on the main
// thread how it ended); bundle reads answer directly.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tagmanager/container/ZAVLoadCallback.h"
#include "tagmanager/runtime/ZAVExpandedResource.h"
#include "wire/schema/ZAVPResourcewithmetadata.h"

class ZAVResourceStorage {
  public:
    virtual ~ZAVResourceStorage() = default;
    virtual void setLoadCallback(std::shared_ptr<ZAVSavedResourceLoadCallback> callback) = 0;
    virtual void loadResourceFromDiskInBackground() = 0;
    virtual void saveResourceToDiskInBackground(std::shared_ptr<const ZAVPResourceWithMetadata> resource) = 0;
    // Null when the bundle has no such default or it cannot be used (logged).
    virtual std::shared_ptr<ZAVPResource> loadResourceFromContainerFile(const std::string& containerId) = 0;
    virtual std::shared_ptr<const ZAVExpandedResource> loadExpandedResourceFromPlistFile(
        const std::string& containerId) = 0;
    virtual std::shared_ptr<const ZAVExpandedResource> loadExpandedResourceFromJsonFile(
        const std::string& containerId) = 0;
};
