#include "tagmanager/container/ZAVContainer.h"

#include <cmath>
#include <exception>

#include "platform/base/Clock.h"
#include "platform/base/Error.h"
#include "platform/runloop/RunLoop.h"
#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVDiskLoadCallback.h"
#include "tagmanager/container/ZAVNetworkLoadCallback.h"
#include "tagmanager/container/ZAVPreviewManager.h"
#include "tagmanager/container/ZAVResourceLoaderScheduler.h"
#include "tagmanager/container/ZAVResourceStorageImpl.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/runtime/ZAVExpandedResource.h"
#include "tagmanager/runtime/ZAVResourceUtil.h"
#include "tagmanager/runtime/ZAVRuntime.h"
#include "tagmanager/values/ZAVTypes.h"
#include "wire/schema/ZAVPResourcewithmetadata.h"

ZAVContainer::ZAVContainer(Private, std::string containerId, std::shared_ptr<ZAVContainerOwner> zodAruzivu,
                           std::shared_ptr<ZAVResourceStorage> resourceStorage)
    : containerId_(std::move(containerId)),
      zodAruzivu_(std::move(zodAruzivu)),
      resourceStorage_(std::move(resourceStorage)),
      lastLoadedSupplementedResource_(ZAVPSupplementedResource::message()) {}

ZAVContainer::~ZAVContainer() = default;

std::shared_ptr<ZAVContainer> ZAVContainer::initWithId(const std::string& containerId,
                                                       std::shared_ptr<ZAVContainerOwner> zodAruzivu,
                                                       std::shared_ptr<ZAVResourceStorage> resourceStorage) {
    auto container = std::make_shared<ZAVContainer>(Private(), containerId, std::move(zodAruzivu),
                                                    std::move(resourceStorage));
    container->createInitialContainer();
    return container;
}

std::shared_ptr<ZAVContainer> ZAVContainer::initWithId(const std::string& containerId,
                                                       std::shared_ptr<ZAVContainerOwner> zodAruzivu) {
    return initWithId(containerId, std::move(zodAruzivu), ZAVResourceStorageImpl::create(containerId));
}

// ---- initial resource and evaluator set-up

void ZAVContainer::createInitialContainer() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    auto storage = resourceStorage_;
    if (storage) {
        // A default that the expansion rejects counts as no default: the next form is tried, and at worst
        // the container starts empty rather than without any runtime (which would read as closed).
        if (auto resource = storage->loadResourceFromContainerFile(containerId_);
            resource && setupEvaluatorsWithResource(*resource))
            return;
        if (auto expanded = storage->loadExpandedResourceFromPlistFile(containerId_)) {
            setupEvaluatorsWithExpandedResource(std::move(expanded));
            return;
        }
        if (auto expanded = storage->loadExpandedResourceFromJsonFile(containerId_)) {
            setupEvaluatorsWithExpandedResource(std::move(expanded));
            return;
        }
    }
    ZAVLog::error("No default container found; creating an empty container.");
    setupEvaluatorsWithExpandedResource(ZAVExpandedResource::builder()->build());
}

bool ZAVContainer::setupEvaluatorsWithResource(const ZAVPResource& resource) {
    std::shared_ptr<const ZAVExpandedResource> expanded;
    try {
        expanded = ZAVResourceUtil::expandResource(resource);
    } catch (const plat::Exception& e) {
        if (e.name() != ZAVResourceUtil::exceptionName()) throw;
        // Named by its version, not by its whole text: a damaged resource's text runs to many lines, and
        // the reason was logged by the expansion just before.
        std::string name = "version \"" + (resource.hasVersion() ? resource.version()->utf8() : "") + "\"";
        ZAVLog::error(
            zavFormat("Not loading resource: %s because it is invalid: %s", name.c_str(), e.what()));
        return false;
    }
    setupEvaluatorsWithExpandedResource(std::move(expanded));
    return true;
}

void ZAVContainer::setupEvaluatorsWithExpandedResource(std::shared_ptr<const ZAVExpandedResource> resource) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    resourceVersion_ = resource->version();
    auto self = shared_from_this();
    auto macroAdapter = std::make_shared<ZAVFunctionCallMacroHandlerAdapter>(self);
    auto tagAdapter = std::make_shared<ZAVFunctionCallTagHandlerAdapter>(self);
    auto dataLayer = zodAruzivu_ ? zodAruzivu_->dataLayer() : nullptr;
    setRuntime(ZAVRuntime::runtimeWithResource(std::move(resource), std::move(dataLayer),
                                               std::move(macroAdapter), std::move(tagAdapter)));
}

void ZAVContainer::setSupplementals(const ZAVWireArray* supplementals) {
    auto current = runtime();
    if (!current || !supplementals) return;
    std::vector<std::shared_ptr<ZAVPSupplemental>> list;
    for (size_t i = 0; i < supplementals->count(); ++i)
        if (auto supplemental = std::dynamic_pointer_cast<ZAVPSupplemental>(supplementals->objectAtIndex(i)))
            list.push_back(std::move(supplemental));
    current->setSupplementals(list);
}

std::shared_ptr<ZAVRuntime> ZAVContainer::runtime() const {
    std::lock_guard<std::mutex> lock(runtimeMutex_);
    return runtime_;
}

void ZAVContainer::setRuntime(std::shared_ptr<ZAVRuntime> runtime) {
    std::shared_ptr<ZAVRuntime> old;
    {
        std::lock_guard<std::mutex> lock(runtimeMutex_);
        old = std::move(runtime_);
        runtime_ = std::move(runtime);
    }
    // The old runtime goes (unless a query still holds it) outside the pointer's lock.
}

// ---- queries

template <typename Result, typename Convert, typename Extract>
Result ZAVContainer::query(const char* operation, const std::string& key, Convert convert,
                           const ZAVObjectPtr& fallback, Extract extract) {
    try {
        // This copy keeps the runtime alive for the whole evaluation, whatever a load or close does.
        auto current = runtime();
        if (!current) {
            ZAVLog::error(std::string(operation) + " called for closed container");
            return extract(fallback);
        }
        auto result = current->evaluateMacroReference(key);
        auto converted = convert(result ? result->value() : nullptr);
        return extract(converted ? converted : fallback);
    } catch (...) {
        ZAVLog::error(
            zavFormat("%s%s%s", (std::string("Calling ") + operation + " threw an exception: ").c_str(),
                      zavExceptionReason(std::current_exception()).c_str(), " Returning default value."));
    }
    return extract(fallback);
}

bool ZAVContainer::booleanForKey(const std::string& key) {
    return query<bool>("booleanForKey", key, &ZAVTypes::valueToBoolean, ZAVTypes::defaultBoolean(),
                       [](const ZAVObjectPtr& object) { return object->boolValue(); });
}

double ZAVContainer::doubleForKey(const std::string& key) {
    return query<double>("doubleForKey", key, &ZAVTypes::valueToDouble, ZAVTypes::defaultDouble(),
                         [](const ZAVObjectPtr& object) { return object->doubleValue(); });
}

int64_t ZAVContainer::int64ForKey(const std::string& key) {
    return query<int64_t>("int64ForKey", key, &ZAVTypes::valueToInt64, ZAVTypes::defaultInt64(),
                          [](const ZAVObjectPtr& object) { return object->int64Value(); });
}

std::string ZAVContainer::stringForKey(const std::string& key) {
    return query<std::string>("stringForKey", key, &ZAVTypes::valueToString, ZAVTypes::defaultString(),
                              [](const ZAVObjectPtr& object) { return object->textValue(); });
}

// ---- handlers

void ZAVContainer::registerFunctionCallTagHandler(std::shared_ptr<ZAVFunctionCallTagHandler> handler,
                                                  const std::string& tagName) {
    std::lock_guard<std::mutex> lock(handlersMutex_);
    functionCallTagHandlers_[tagName] = std::move(handler);
}

void ZAVContainer::registerFunctionCallMacroHandler(std::shared_ptr<ZAVFunctionCallMacroHandler> handler,
                                                    const std::string& macroName) {
    std::lock_guard<std::mutex> lock(handlersMutex_);
    functionCallMacroHandlers_[macroName] = std::move(handler);
}

std::shared_ptr<ZAVFunctionCallTagHandler> ZAVContainer::functionCallTagHandlerForTag(
    const std::string& tagName) {
    std::lock_guard<std::mutex> lock(handlersMutex_);
    auto found = functionCallTagHandlers_.find(tagName);
    return found == functionCallTagHandlers_.end() ? nullptr : found->second;
}

std::shared_ptr<ZAVFunctionCallMacroHandler> ZAVContainer::functionCallMacroHandlerForMacro(
    const std::string& macroName) {
    std::lock_guard<std::mutex> lock(handlersMutex_);
    auto found = functionCallMacroHandlers_.find(macroName);
    return found == functionCallMacroHandlers_.end() ? nullptr : found->second;
}

// ---- events, refresh, close

void ZAVContainer::evaluateTags(const std::string& eventName) {
    try {
        if (auto current = runtime()) current->evaluateTags(eventName);
    } catch (...) {
        zavLogCallingException("evaluateTags");
    }
}

double ZAVContainer::currentTimeInMilliseconds() {
    return plat::Clock::shared().nowSeconds() * 1000.0;
}

bool ZAVContainer::useAvailableTokenWithCurrentTime(double nowMillis) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (lastRefreshMethodCalledTime_ == 0) {
        if (numTokens_ > 0) --numTokens_;
        return true;
    }
    double elapsed = nowMillis - lastRefreshMethodCalledTime_;
    // Also refuses a clock that went back, and a time that is not a number.
    if (!(elapsed >= kMinimumRefreshPeriodInBurstMode)) return false;
    if (numTokens_ < kMaximumTokenCount) {
        double earned = std::floor(elapsed / kMinimumRefreshPeriod);
        double room = static_cast<double>(kMaximumTokenCount - numTokens_);
        numTokens_ += static_cast<uint64_t>(earned < room ? earned : room);
    }
    if (numTokens_ == 0) return false;
    --numTokens_;
    return true;
}

void ZAVContainer::refresh() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    try {
        if (isClosed()) {
            ZAVLog::warning("refresh called for closed container");
            return;
        }
        if (isDefaultContainerRefreshMode()) {
            ZAVLog::warning("Container is in DEFAULT_CONTAINER mode. Refresh request is ignored.");
            return;
        }
        double now = currentTimeInMilliseconds();
        if (useAvailableTokenWithCurrentTime(now)) {
            ZAVLog::verbose("Container refresh requested.");
            loadAfterDelay(0);
            lastRefreshMethodCalledTime_ = now;
        } else {
            ZAVLog::verbose("Container refresh was called too often. Ignored.");
        }
    } catch (...) {
        zavLogCallingException("refresh");
    }
}

void ZAVContainer::close() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    try {
        if (networkLoadScheduler_) {
            networkLoadScheduler_->close();
            // The scheduler and the storage no longer hold the callbacks, so nothing holds the container
            // through them once a running load has ended.
            networkLoadScheduler_->setLoadCallback(nullptr);
        }
        networkLoadScheduler_ = nullptr;
        if (resourceStorage_) resourceStorage_->setLoadCallback(nullptr);
        resourceStorage_ = nullptr;
        if (diskLoadCallback_) diskLoadCallback_->close();
        diskLoadCallback_ = nullptr;
        if (networkLoadCallback_) networkLoadCallback_->close();
        networkLoadCallback_ = nullptr;
        setRuntime(nullptr);
        if (zodAruzivu_) zodAruzivu_->removeContainerById(containerId_);
    } catch (...) {
        zavLogCallingException("close");
    }
}

bool ZAVContainer::isDefault() const {
    return lastRefreshTime() == 0;
}

bool ZAVContainer::isDefaultContainerRefreshMode() const {
    return zodAruzivu_ && zodAruzivu_->refreshMode() == ZAVContainerOwner::kRefreshModeDefaultContainer;
}

// ---- loading

void ZAVContainer::loadWithCallback(std::shared_ptr<ZAVContainerCallback> callback) {
    loadWithCallback(std::move(callback), ZAVResourceLoaderScheduler::initWithContainerId(containerId_));
}

void ZAVContainer::loadWithCallback(std::shared_ptr<ZAVContainerCallback> callback,
                                    std::shared_ptr<ZAVResourceLoaderScheduler> scheduler) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (diskLoadCallback_)
        throw plat::Exception("ContainerAlreadyLoadedException",
                              "Container already loaded: container Id:" + containerId_);
    auto self = shared_from_this();
    diskLoadCallback_ = ZAVDiskLoadCallback::initWithCallback(callback, self);
    if (isDefaultContainerRefreshMode()) {
        ZAVLog::info("Container is in DEFAULT_CONTAINER mode. Use default container.");
        return;
    }
    if (!resourceStorage_ || !scheduler) {
        ZAVLog::warning("Container " + containerId_ + " is closed; nothing is loaded.");
        return;
    }
    resourceStorage_->setLoadCallback(diskLoadCallback_);
    networkLoadCallback_ = ZAVNetworkLoadCallback::initWithCallback(std::move(callback), self);
    scheduler->setLoadCallback(networkLoadCallback_);
    auto preview = ZAVPreviewManager::instance();
    if (preview->isPreviewingContainer(containerId_)) {
        ctfeUrlPathAndQuery_ = preview->ctfeUrlPath();
        scheduler->setCtfeUrlPathAndQuery(ctfeUrlPathAndQuery_);
    }
    if (ctfeServerAddress_) scheduler->setCtfeServerAddress(ctfeServerAddress_);
    networkLoadScheduler_ = std::move(scheduler);
    resourceStorage_->loadResourceFromDiskInBackground();
}

void ZAVContainer::loadAfterDelay(double delayMillis) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (isDefaultContainerRefreshMode() || !networkLoadScheduler_) return;
    if (!ctfeServerAddress_ && !ZAVEndpoints::isConfigured()) {
        // No server to ask, from the endpoints or the app: no timer waits for one, and a download due now
        // fails on the next turn of the main run loop, as one that found no network would. Its failure
        // asks for a later download, which waits for nothing either.
        if (!(delayMillis > 0))
            plat::RunLoop::main().post(
                [callback = networkLoadCallback_] { callback->onFailure(ZAVLoadFailureNotAvailable); });
        return;
    }
    std::optional<std::string> previousVersion;
    if (lastLoadedSupplementedResource_->hasFingerprint())
        previousVersion = lastLoadedSupplementedResource_->fingerprint()->utf8();
    networkLoadScheduler_->loadAfterDelay(delayMillis, std::move(previousVersion));
}

void ZAVContainer::saveResourceToDisk(const std::shared_ptr<const ZAVPSupplementedResource>& resource) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ZAVLog::verbose(zavFormat("Saving resource to disk with timestamp of %f", lastRefreshTime()));
    if (!resourceStorage_ || !resource) return;
    auto saved = ZAVPResourceWithMetadata::message();
    saved->setTimeStamp(ZAVTypes::saturatingInt64(lastRefreshTime()));
    saved->setResource(ZAVPResource::message());
    // The stored form shares the message: it is never changed once it is the last loaded resource.
    saved->setSupplementedResource(std::const_pointer_cast<ZAVPSupplementedResource>(resource));
    resourceStorage_->saveResourceToDiskInBackground(std::move(saved));
}

// ---- state

std::shared_ptr<ZAVResourceStorage> ZAVContainer::resourceStorage() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return resourceStorage_;
}

std::optional<std::string> ZAVContainer::ctfeServerAddress() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return ctfeServerAddress_;
}

void ZAVContainer::setCtfeServerAddress(std::optional<std::string> address) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ctfeServerAddress_ = std::move(address);
    if (networkLoadScheduler_) networkLoadScheduler_->setCtfeServerAddress(ctfeServerAddress_);
}

std::optional<std::string> ZAVContainer::ctfeUrlPathAndQuery() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return ctfeUrlPathAndQuery_;
}

void ZAVContainer::setCtfeUrlPathAndQuery(std::optional<std::string> pathAndQuery) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ctfeUrlPathAndQuery_ = std::move(pathAndQuery);
    if (networkLoadScheduler_) networkLoadScheduler_->setCtfeUrlPathAndQuery(ctfeUrlPathAndQuery_);
}

uint64_t ZAVContainer::numTokens() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return numTokens_;
}

double ZAVContainer::lastRefreshMethodCalledTime() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return lastRefreshMethodCalledTime_;
}

std::shared_ptr<const ZAVPSupplementedResource> ZAVContainer::lastLoadedSupplementedResource() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return lastLoadedSupplementedResource_;
}

void ZAVContainer::setLastLoadedSupplementedResource(
    std::shared_ptr<const ZAVPSupplementedResource> resource) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (resource) lastLoadedSupplementedResource_ = std::move(resource);
}

std::shared_ptr<ZAVNetworkLoadCallback> ZAVContainer::networkLoadCallback() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return networkLoadCallback_;
}

std::shared_ptr<ZAVDiskLoadCallback> ZAVContainer::diskLoadCallback() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return diskLoadCallback_;
}

std::shared_ptr<ZAVResourceLoaderScheduler> ZAVContainer::networkLoadScheduler() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return networkLoadScheduler_;
}

std::string ZAVContainer::resourceVersion() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return resourceVersion_;
}
