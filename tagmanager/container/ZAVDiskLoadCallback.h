#pragma once
// What a container hears of the read of its saved copy: it adopts the copy while nothing better has been
// adopted, schedules the next download from the copy's time stamp, and tells the caller's container
// callback (refresh type saved). Every step runs under the container's lock.
#include <cstdint>
#include <memory>

#include "tagmanager/container/ZAVContainerLoadCallback.h"
#include "wire/schema/ZAVPResourcewithmetadata.h"

class ZAVDiskLoadCallback : public ZAVContainerLoadCallbackOf<ZAVPResourceWithMetadata> {
  public:
    ZAVDiskLoadCallback(std::shared_ptr<ZAVContainerCallback> callback,
                        std::shared_ptr<ZAVContainer> container);
    static std::shared_ptr<ZAVDiskLoadCallback> initWithCallback(
        std::shared_ptr<ZAVContainerCallback> callback, std::shared_ptr<ZAVContainer> container);

    // A copy whose resource cannot be used counts as a read error (failure 2).
    void onSuccess(const std::shared_ptr<ZAVPResourceWithMetadata>& resource) override;
    void onFailure(uint32_t failure) override;
    // Load failure kind to refresh failure kind, as the saved copy's road reports it.
    static uint32_t failureToRefreshFailure(uint32_t failure);

  private:
    // Adopts the copy; false when its resource cannot be used.
    bool adopt(const ZAVPResourceWithMetadata& saved);
};
