#pragma once
// What a container hears of a download: it adopts a new resource (or keeps its rules when nothing
// changed), saves it unless the container is previewed, schedules the next download (12 hours after a
// success, 1 hour after a failure) and tells the caller's container callback (refresh type network).
// Every step runs under the container's lock.
#include <cstdint>
#include <memory>

#include "tagmanager/container/ZAVContainerLoadCallback.h"

class ZAVNetworkLoadCallback : public ZAVContainerLoadCallbackOf<ZAVPSupplementedResource> {
  public:
    ZAVNetworkLoadCallback(std::shared_ptr<ZAVContainerCallback> callback,
                           std::shared_ptr<ZAVContainer> container);
    static std::shared_ptr<ZAVNetworkLoadCallback> initWithCallback(
        std::shared_ptr<ZAVContainerCallback> callback, std::shared_ptr<ZAVContainer> container);

    // A resource that the expansion rejects is a server error (failure 3): nothing is kept or saved.
    void onSuccess(const std::shared_ptr<ZAVPSupplementedResource>& resource) override;
    void onFailure(uint32_t failure) override;
    // Load failure kind to refresh failure kind, as the download's road reports it.
    static uint32_t failureToRefreshFailure(uint32_t failure);
};
