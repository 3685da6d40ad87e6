#pragma once
// What a container needs of the tag manager that made it: the refresh mode, the shared data layer its
// rules read and write, and the map of open containers it leaves when it closes. The tag-manager facade
// fills this in; tests give a small stand-in.
#include <cstdint>
#include <memory>
#include <string>

class ZAVDataLayer;

class ZAVContainerOwner {
  public:
    // 0 standard: containers load from storage and the network.
    static constexpr int32_t kRefreshModeStandard = 0;
    // 1: containers keep the default from the application bundle; nothing is read or downloaded.
    static constexpr int32_t kRefreshModeDefaultContainer = 1;

    virtual ~ZAVContainerOwner() = default;
    virtual int32_t refreshMode() const = 0;
    virtual std::shared_ptr<ZAVDataLayer> dataLayer() const = 0;
    // Called by a closing container, with its own lock held.
    virtual void removeContainerById(const std::string& containerId) = 0;
};
