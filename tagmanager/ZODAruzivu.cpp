#include "tagmanager/ZODAruzivu.h"

#include <chrono>
#include <thread>
#include <vector>

#include "analytics/RUV.h"
#include "tagmanager/base/ZAVWorkers.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/container/ZAVPreviewManager.h"
#include "tagmanager/datalayer/ZAVAutoEventTracking.h"
#include "tagmanager/datalayer/ZAVClickReferrerUtil.h"
#include "tagmanager/datalayer/ZAVDataLayerPersistentStoreImpl.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tagmanager/runtime/ZAVRuntime.h"

namespace {

std::mutex& classLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<ZODAruzivu>& sharedInstance() {
    static std::shared_ptr<ZODAruzivu> instance;
    return instance;
}

}  // namespace

ZODAruzivu::ZODAruzivu(Private) {}

ZODAruzivu::~ZODAruzivu() = default;

std::shared_ptr<ZODAruzivu> ZODAruzivu::init() {
    return initWithSameInstance(true);
}

std::shared_ptr<ZODAruzivu> ZODAruzivu::initWithSameInstance(bool sameInstance) {
    std::lock_guard<std::mutex> lock(classLock());
    auto& shared = sharedInstance();
    if (shared && sameInstance) return shared;
    auto manager = std::make_shared<ZODAruzivu>(Private());
    manager->setUp();
    shared = manager;
    return manager;
}

std::shared_ptr<ZODAruzivu> ZODAruzivu::instance() {
    return init();
}

void ZODAruzivu::clearManagerInstance() {
    std::lock_guard<std::mutex> lock(classLock());
    sharedInstance() = nullptr;
}

void ZODAruzivu::resetInstance() {
    std::shared_ptr<ZODAruzivu> manager;
    {
        std::lock_guard<std::mutex> lock(classLock());
        manager.swap(sharedInstance());
    }
    if (!manager) return;
    // Outside the class lock: a closing container takes the manager's lock.
    for (const auto& [id, container] : manager->containers()) container->close();
    // The saved entries' load reads the store file in the background; it is done before the caller's
    // files go (bounded: a store that never answers is not waited for beyond ten seconds).
    for (int i = 0; i < 1000 && !manager->dataLayer()->isPersistentStoreLoaded(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The saves it queued are written too. The data layer itself may outlive the manager for a moment
    // (the load's answer lets go of it on the store's queue), and would then finish them only later.
    // A store whose load never answered is not waited for.
    if (manager->dataLayer()->isPersistentStoreLoaded()) manager->store_->waitUntilIdle();
    if (ZAVAutoEventTracking::ZAVdataLayer() == manager->dataLayer())
        ZAVAutoEventTracking::setTAGDataLayer(nullptr);
}

void ZODAruzivu::shutdown() {
    ZAVDispatcher::resetInstance();
    ZAVWorkers::shutdown();
}

void ZODAruzivu::setUp() {
    store_ = std::make_shared<ZAVDataLayerPersistentStoreImpl>();
    dataLayer_ = ZAVDataLayer::create(store_);
    dataLayer_->registerListener(std::make_shared<ZODAruzivuListener>(weak_from_this()));
    dataLayer_->registerListener(std::make_shared<ZAVAdnetClickReferrerListener>());
    ZAVAutoEventTracking::setTAGDataLayer(dataLayer_);
}

// ---- containers

std::shared_ptr<ZAVContainer> ZODAruzivu::openContainerById(const std::string& containerId,
                                                            std::shared_ptr<ZAVContainerCallback> callback) {
    try {
        std::shared_ptr<ZAVContainer> container;
        {
            std::lock_guard<std::recursive_mutex> lock(lock_);
            if (containers_.count(containerId)) {
                ZAVLog::error(zavFormat("Container id: %s has already been opened", containerId.c_str()));
                return nullptr;
            }
            // The new container is known to nobody yet, so taking its lock here cannot wait on a close.
            container = containerById(containerId);
            if (!container) return nullptr;
            if (ctfeServerAddress_) container->setCtfeServerAddress(ctfeServerAddress_);
            containers_[containerId] = container;
        }
        container->loadWithCallback(std::move(callback));
        return container;
    } catch (...) {
        zavLogCallingException("openContainerById");
    }
    return nullptr;
}

std::shared_ptr<ZAVContainer> ZODAruzivu::containerById(const std::string& containerId) {
    try {
        return ZAVContainer::initWithId(containerId, shared_from_this());
    } catch (...) {
        zavLogCallingException("containerById");
    }
    return nullptr;
}

std::shared_ptr<ZAVContainer> ZODAruzivu::getContainerById(const std::string& containerId) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    auto found = containers_.find(containerId);
    return found == containers_.end() ? nullptr : found->second;
}

void ZODAruzivu::removeContainerById(const std::string& containerId) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    containers_.erase(containerId);
}

std::map<std::string, std::shared_ptr<ZAVContainer>> ZODAruzivu::containers() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return containers_;
}

void ZODAruzivu::refreshTagsInAllContainers(const std::string& eventName) {
    try {
        // A copy taken under the lock, used outside it: a container closing meanwhile changes the map, and
        // evaluation may push (and so open or close containers) on this thread.
        for (const auto& [id, container] : containers()) container->evaluateTags(eventName);
    } catch (...) {
        zavLogCallingException("refreshTagsInAllContainers");
    }
}

bool ZODAruzivu::previewWithUrl(const std::optional<std::string>& url) {
    try {
        auto preview = ZAVPreviewManager::instance();
        if (!preview->generatePreviewDataForUrl(url)) return false;
        auto previewedId = preview->containerId();
        auto mode = preview->previewMode();
        auto path = preview->ctfeUrlPath();
        // The containers are called outside the manager's lock, as everywhere: a refresh takes the
        // container's lock, and a closing container holds that while it takes the manager's.
        if (mode == 0) {
            if (previewedId) {
                if (auto container = getContainerById(*previewedId)) {
                    container->setCtfeUrlPathAndQuery(path);
                    container->refresh();
                }
            }
        } else if (mode == 1) {
            for (const auto& [id, container] : containers()) {
                if (previewedId && id == *previewedId) {
                    container->setCtfeUrlPathAndQuery(path);
                    container->refresh();
                } else if (container->ctfeUrlPathAndQuery()) {
                    container->setCtfeUrlPathAndQuery(std::nullopt);
                    container->refresh();
                }
            }
        }
        return true;
    } catch (...) {
        zavLogCallingException("previewWithUrl");
    }
    return false;
}

// ---- logging

std::shared_ptr<ZAVLogger> ZODAruzivu::logger() const {
    return ZAVLog::logger();
}

void ZODAruzivu::setLogger(std::shared_ptr<ZAVLogger> logger) {
    ZAVLog::setLogger(std::move(logger));
}

// ---- dispatch

void ZODAruzivu::dispatch() {
    try {
        ZAVDispatcher::instance()->dispatch();
        RUV::sharedInstance()->dispatch();
    } catch (...) {
        zavLogCallingException("dispatch");
    }
}

double ZODAruzivu::dispatchInterval() {
    try {
        return ZAVDispatcher::instance()->dispatchInterval();
    } catch (...) {
        zavLogCallingException("dispatchInterval");
    }
    return 0;
}

void ZODAruzivu::setDispatchInterval(double seconds) {
    try {
        ZAVDispatcher::instance()->setDispatchInterval(seconds);
        RUV::sharedInstance()->setDispatchInterval(seconds);
    } catch (...) {
        zavLogCallingException("setDispatchInterval");
    }
}

void ZODAruzivu::dispatchWithCompletionHandler(DispatchHandler handler) {
    try {
        if (!handler) {
            dispatch();
            return;
        }
        RUV::sharedInstance()->dispatchWithCompletionHandler([handler](RUVDispatchOutcome result) {
            try {
                switch (result) {
                    case RUVDispatchOutcomeNothingSent:
                        ZAVDispatcher::instance()->dispatchWithCallback(handler);
                        break;
                    case RUVDispatchOutcomeSent:
                    case RUVDispatchOutcomeFailed:
                        handler(result);
                        break;
                    default:
                        break;
                }
            } catch (...) {
                zavLogCallingException("dispatchWithCompletionHandler");
            }
        });
    } catch (...) {
        zavLogCallingException("dispatchWithCompletionHandler");
    }
}

// ---- settings

std::optional<std::string> ZODAruzivu::ctfeServerAddress() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return ctfeServerAddress_;
}

void ZODAruzivu::setCtfeServerAddress(std::optional<std::string> address) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ctfeServerAddress_ = std::move(address);
}

// ---- the data layer's listener

void ZODAruzivuListener::changed(const ZAVObjectPtr& update) {
    if (!update || !update->isMap()) return;
    auto event = update->objectForKey("event");
    if (!event) return;
    ZAVRuntime::UpdateScope scope(update);
    if (auto manager = zodAruzivu_.lock()) manager->refreshTagsInAllContainers(event->description());
}
