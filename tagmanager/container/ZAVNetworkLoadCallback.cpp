#include "tagmanager/container/ZAVNetworkLoadCallback.h"

#include <exception>

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVPreviewManager.h"

ZAVNetworkLoadCallback::ZAVNetworkLoadCallback(std::shared_ptr<ZAVContainerCallback> callback,
                                               std::shared_ptr<ZAVContainer> container)
    : ZAVContainerLoadCallbackOf(std::move(callback), std::move(container), ZAVRefreshTypeNetwork) {}

std::shared_ptr<ZAVNetworkLoadCallback> ZAVNetworkLoadCallback::initWithCallback(
    std::shared_ptr<ZAVContainerCallback> callback, std::shared_ptr<ZAVContainer> container) {
    return std::make_shared<ZAVNetworkLoadCallback>(std::move(callback), std::move(container));
}

uint32_t ZAVNetworkLoadCallback::failureToRefreshFailure(uint32_t failure) {
    return refreshFailureFor(failure, ZAVRefreshFailureNoNetwork, ZAVRefreshFailureNetworkError);
}

void ZAVNetworkLoadCallback::onSuccess(const std::shared_ptr<ZAVPSupplementedResource>& resource) {
    std::lock_guard<std::recursive_mutex> lock(container_->monitor());
    // A download that ends after close sets up no new runtime.
    if (container_->isClosed()) return;
    if (!resource) {
        onFailure(ZAVLoadFailureServerError);
        return;
    }
    auto last = container_->lastLoadedSupplementedResource();
    // Built anew rather than changed in place: the previous one may be on its way to the disk.
    auto next = ZAVPSupplementedResource::message();
    if (resource->hasResource()) {
        bool adopted = false;
        try {
            adopted = container_->setupEvaluatorsWithResource(*resource->resource());
        } catch (const plat::Exception& e) {
            ZAVLog::error("Downloaded resource not loaded: " + e.reason());
        } catch (const std::exception& e) {
            ZAVLog::error(std::string("Downloaded resource not loaded: ") + e.what());
        }
        // A resource the rules cannot be built from is not kept, saved or fingerprinted: the next request
        // still names the version in force, so the server sends a whole resource again.
        if (!adopted) {
            onFailure(ZAVLoadFailureServerError);
            return;
        }
        next->setResource(resource->resource());
    } else if (last->hasResource()) {
        next->setResource(last->resource());
    } else {
        onFailure(ZAVLoadFailureServerError);
        return;
    }
    if (resource->supplementalArray_Count() > 0) {
        container_->setSupplementals(resource->supplementalArray().get());
        next->setSupplementalArray(resource->supplementalArray());
    } else if (last->hasSupplementalArray()) {
        next->setSupplementalArray(last->supplementalArray());
    }
    container_->setLastRefreshTime(ZAVContainer::currentTimeInMilliseconds());
    if (resource->hasFingerprint() && !resource->fingerprint()->utf8().empty())
        next->setFingerprint(resource->fingerprint());
    else if (next->resource()->hasVersion())
        next->setFingerprint(next->resource()->version());
    ZAVLog::verbose(zavFormat("Setting refresh time to current time: %f", container_->lastRefreshTime()));
    container_->setLastLoadedSupplementedResource(next);
    // A previewed version is not the container's own: it never replaces the saved copy.
    if (!ZAVPreviewManager::instance()->isPreviewingContainer(container_->containerId()))
        container_->saveResourceToDisk(next);
    container_->loadAfterDelay(ZAVContainer::kRefreshPeriodOnSuccess);
    reportSuccess();
}

void ZAVNetworkLoadCallback::onFailure(uint32_t failure) {
    std::lock_guard<std::recursive_mutex> lock(container_->monitor());
    container_->loadAfterDelay(ZAVContainer::kRefreshPeriodOnFailure);
    reportFailure(failureToRefreshFailure(failure));
}
