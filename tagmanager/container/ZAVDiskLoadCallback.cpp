#include "tagmanager/container/ZAVDiskLoadCallback.h"

#include <algorithm>
#include <exception>

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVLog.h"

ZAVDiskLoadCallback::ZAVDiskLoadCallback(std::shared_ptr<ZAVContainerCallback> callback,
                                         std::shared_ptr<ZAVContainer> container)
    : ZAVContainerLoadCallbackOf(std::move(callback), std::move(container), ZAVRefreshTypeSaved) {}

std::shared_ptr<ZAVDiskLoadCallback> ZAVDiskLoadCallback::initWithCallback(
    std::shared_ptr<ZAVContainerCallback> callback, std::shared_ptr<ZAVContainer> container) {
    return std::make_shared<ZAVDiskLoadCallback>(std::move(callback), std::move(container));
}

uint32_t ZAVDiskLoadCallback::failureToRefreshFailure(uint32_t failure) {
    return refreshFailureFor(failure, ZAVRefreshFailureNoSavedContainer, ZAVRefreshFailureIOError);
}

void ZAVDiskLoadCallback::onSuccess(const std::shared_ptr<ZAVPResourceWithMetadata>& resource) {
    std::lock_guard<std::recursive_mutex> lock(container_->monitor());
    // A closed container stays closed: a read that ends after close sets up no new runtime.
    if (container_->isClosed()) return;
    // A download adopted first is newer than any saved copy: the copy is only reported.
    if (container_->isDefault()) {
        bool adopted = false;
        try {
            adopted = resource && adopt(*resource);
        } catch (const plat::Exception& e) {
            ZAVLog::error("Saved resource not loaded: " + e.reason());
        } catch (const std::exception& e) {
            ZAVLog::error(std::string("Saved resource not loaded: ") + e.what());
        }
        if (!adopted) {
            // Unusable like a file that does not parse; the download that follows may mend it.
            onFailure(ZAVLoadFailureIOError);
            return;
        }
    }
    reportSuccess();
}

bool ZAVDiskLoadCallback::adopt(const ZAVPResourceWithMetadata& saved) {
    auto next = ZAVPSupplementedResource::message();
    std::shared_ptr<ZAVPResource> resource;
    if (saved.hasSupplementedResource()) {
        auto supplemented = saved.supplementedResource();
        if (supplemented->hasResource()) resource = supplemented->resource();
        next = std::move(supplemented);
    } else if (saved.hasResource()) {
        resource = saved.resource();
        next->setResource(resource);
        if (resource->hasVersion()) next->setFingerprint(resource->version());
    }
    if (!resource) {
        ZAVLog::warning("Resource from disk holds no resource.");
        return false;
    }
    if (!container_->setupEvaluatorsWithResource(*resource)) return false;
    container_->setLastLoadedSupplementedResource(next);
    if (next->hasSupplementalArray()) container_->setSupplementals(next->supplementalArray().get());

    ZAVLog::verbose(
        zavFormat("Setting refresh time to saved time: %lld", static_cast<long long>(saved.timeStamp())));
    container_->setLastRefreshTime(static_cast<double>(saved.timeStamp()));
    // Due 12 hours after the saved time: at once when that has passed, never later than 12 hours from now
    // (a time stamp in the future).
    double delay = container_->lastRefreshTime() + ZAVContainer::kRefreshPeriodOnSuccess -
                   ZAVContainer::currentTimeInMilliseconds();
    delay = std::clamp(delay, 0.0, ZAVContainer::kRefreshPeriodOnSuccess);
    container_->loadAfterDelay(delay);
    return true;
}

void ZAVDiskLoadCallback::onFailure(uint32_t failure) {
    std::lock_guard<std::recursive_mutex> lock(container_->monitor());
    reportFailure(failureToRefreshFailure(failure));
    if (container_->isDefault()) container_->loadAfterDelay(0);
}
