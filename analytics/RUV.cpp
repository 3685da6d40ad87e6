#include "analytics/RUV.h"

#include <vector>

#include "analytics/RUVTrackerImpl.h"
#include "analytics/RUVUncaughtExceptionHandler.h"
#include "analytics/base/RUVFields.h"
#include "analytics/base/RUVStringUtil.h"
#include "analytics/base/RUVUsageTracker.h"
#include "analytics/store/RUVDataStore.h"
#include "platform/base/Clock.h"
#include "platform/base/Lasting.h"
#include "platform/storage/UserDefaults.h"

namespace {

std::recursive_mutex& classLock() {
    static std::recursive_mutex m;
    return m;
}

std::shared_ptr<RUV>& sharedSlot() {
    static plat::Lasting<std::shared_ptr<RUV>> slot;
    return *slot;
}

}  // namespace

RUVURLConnectionClass RUVURLConnectionClass::standard() {
    return RUVURLConnectionClass{
        [](const plat::URLRequest& request, RUVURLConnection::CompletionHandler handler) {
            return RUVURLConnection::create(request, std::move(handler), &RUV::workerQueue());
        },
        [](bool dryRun) { RUVURLConnection::setDryRun(dryRun); }};
}

// ---- class operations ------------------------------------------------------------------------------

std::shared_ptr<RUV> RUV::sharedInstance() {
    std::lock_guard lock(classLock());
    if (!sharedSlot()) create();
    return sharedSlot();
}

std::shared_ptr<RUV> RUV::create() {
    std::lock_guard lock(classLock());
    if (sharedSlot()) return nullptr;
    std::shared_ptr<RUV> instance(new RUV());
    // Published first: the set-up below may ask for the shared instance.
    sharedSlot() = instance;
    instance->init();
    return instance;
}

void RUV::resetSharedInstance() {
    std::shared_ptr<RUV> old;
    {
        std::lock_guard lock(classLock());
        old = std::move(sharedSlot());
        sharedSlot().reset();
    }
}

// ---- set-up ----------------------------------------------------------------------------------------

RUV::RUV() = default;

RUV::~RUV() = default;

void RUV::init() {
    trackerImplClass_ = [](std::shared_ptr<RUVDispatchSender> dispatcher, const std::string& name) {
        return RUVTrackerImpl::trackerWithDispatcher(std::move(dispatcher), name);
    };
    urlConnectionClass_ = RUVURLConnectionClass::standard();
    if (!dispatcher()) RUV_LOG(RUVLogLevel::Error, "Dispatcher initialization failed: %s", "(null)");
    auto defaults = plat::UserDefaults::standard();
    if (!defaults->objectForKey(kFirstInitTimeStampKey)) {
        defaults->setObject(plat::Value(plat::Value::Date{plat::Clock::shared().nowSeconds()}),
                            kFirstInitTimeStampKey);
        defaults->synchronize();
    }
}

std::shared_ptr<RUVBatchingDispatcher> RUV::dispatcher() {
    std::lock_guard lock(mutex_);
    return dispatcherLocked();
}

std::shared_ptr<RUVBatchingDispatcher> RUV::dispatcherLocked() {
    if (!dispatcher_) {
        std::optional<plat::Error> error;
        if (!createDispatcher(&error)) {
            RUV_LOG(RUVLogLevel::Error, "Cannot initiate dispatcher: %s",
                    error ? error->localizedDescription().c_str() : "(null)");
        }
    }
    return dispatcher_;
}

bool RUV::createDispatcher(std::optional<plat::Error>*) {
    std::lock_guard lock(mutex_);
    if (dispatcher_) return true;
    auto made = RUVBatchingDispatcher::dispatcher(optOut_);
    if (made) {
        made->setUrlConnectionClass(RUVURLConnectionClass::standard().create);
        setDispatcherLocked(std::move(made));
    }
    return dispatcher_ != nullptr;
}

void RUV::setDispatcher(std::shared_ptr<RUVBatchingDispatcher> dispatcher) {
    std::shared_ptr<RUVBatchingDispatcher> old;
    {
        std::lock_guard lock(mutex_);
        old = dispatcher_;
        setDispatcherLocked(std::move(dispatcher));
    }
}

void RUV::setDispatcherLocked(std::shared_ptr<RUVBatchingDispatcher> dispatcher) {
    if (dispatcherObserver_) optOutObservers_.erase(std::exchange(dispatcherObserver_, 0));
    dispatcher_ = std::move(dispatcher);
    if (!dispatcher_) return;
    dispatcher_->setFacade(RUVDispatcherFacade{
        kFirstInitTimeStampKey, [](const std::string& trackingId, const RUVHitRecord& parameters) {
            if (auto tracker = RUV::sharedInstance()->trackerWithTrackingId(trackingId))
                tracker->send(parameters);
        }});
    // The dispatcher deletes stored hits when the user opts out.
    std::weak_ptr<RUVBatchingDispatcher> weak = dispatcher_;
    dispatcherObserver_ = nextObserver_++;
    optOutObservers_[dispatcherObserver_] = [weak](bool optOut) {
        if (auto d = weak.lock()) d->optOutChanged(optOut);
    };
}

// ---- trackers --------------------------------------------------------------------------------------

std::shared_ptr<RUVTracker> RUV::defaultTracker() {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("defaultTracker");
    return defaultTracker_.lock();
}

void RUV::setDefaultTracker(const std::shared_ptr<RUVTracker>& tracker) {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("setDefaultTracker:");
    defaultTracker_ = tracker;
}

std::shared_ptr<RUVTracker> RUV::trackerWithTrackingId(const std::string& trackingId) {
    return trackerWithName(trackingId, trackingId);
}

std::shared_ptr<RUVTracker> RUV::trackerWithName(const std::string& name, const std::string& trackingId) {
    const std::string trimmed = RUVStringUtil::trim(name);
    if (trimmed.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Nil or empty name supplied. Cannot create tracker.");
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("trackerWithName:trackingId:");
    if (auto it = trackers_.find(trimmed); it != trackers_.end()) return it->second;
    std::shared_ptr<RUVTrackerImpl> tracker =
        trackerImplClass_ ? trackerImplClass_(dispatcherLocked(), trimmed) : nullptr;
    if (!tracker) return nullptr;
    tracker->ruv_set(RUVFieldTrackingId, trackingId);
    trackers_[trimmed] = tracker;
    if (defaultTracker_.expired()) defaultTracker_ = tracker;
    return tracker;
}

void RUV::removeTrackerByName(const std::string& name) {
    // Released after the lock.
    std::shared_ptr<RUVTracker> removed;
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("removeTrackerByName:");
    auto it = trackers_.find(name);
    if (it == trackers_.end()) return;
    removed = it->second;
    trackers_.erase(removed->name());
    if (defaultTracker_.lock() == removed) defaultTracker_.reset();
}

std::map<std::string, std::shared_ptr<RUVTracker>> RUV::trackers() {
    std::lock_guard lock(mutex_);
    return trackers_;
}

void RUV::setTrackers(std::map<std::string, std::shared_ptr<RUVTracker>> trackers) {
    std::lock_guard lock(mutex_);
    trackers_.swap(trackers);
}

RUV::TrackerImplClass RUV::trackerImplClass() {
    std::lock_guard lock(mutex_);
    return trackerImplClass_;
}

void RUV::setTrackerImplClass(TrackerImplClass factory) {
    std::lock_guard lock(mutex_);
    trackerImplClass_ = std::move(factory);
}

// ---- dispatching -----------------------------------------------------------------------------------

std::optional<std::string> RUV::clientId() {
    std::shared_ptr<RUVBatchingDispatcher> d;
    {
        std::lock_guard lock(mutex_);
        RUVUsageTracker::trackAction("clientId");
        d = dispatcherLocked();
    }
    // Reading the store waits for the worker, which may be waiting for this lock.
    return d ? d->clientId() : std::nullopt;
}

double RUV::dispatchInterval() {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("dispatchInterval");
    auto d = dispatcherLocked();
    return d ? d->dispatchInterval() : 0;
}

void RUV::setDispatchInterval(double seconds) {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("setDispatchInterval:");
    if (auto d = dispatcherLocked()) d->setDispatchInterval(seconds);
}

void RUV::dispatch() {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("dispatch");
    if (auto d = dispatcherLocked()) d->dispatch();
}

void RUV::dispatchWithCompletionHandler(CompletionHandler handler) {
    {
        std::lock_guard lock(mutex_);
        RUVUsageTracker::trackAction("dispatchWithCompletionHandler:");
        if (auto d = dispatcherLocked()) {
            d->dispatchWithCompletionHandler(std::move(handler));
            return;
        }
    }
    // Nothing can be sent without a dispatcher; the caller still hears so.
    if (handler) handler(RUVDispatchOutcomeNothingSent);
}

void RUV::reset() {
    std::shared_ptr<RUVBatchingDispatcher> oldDispatcher;
    std::map<std::string, std::shared_ptr<RUVTracker>> oldTrackers;
    {
        std::lock_guard lock(mutex_);
        setDispatchInterval(-1);
        oldTrackers.swap(trackers_);
        defaultTracker_.reset();
        oldDispatcher = dispatcher_;
        setDispatcherLocked(nullptr);
    }
    // Released outside the lock: its teardown may wait for the worker, and the worker may be waiting for
    // the lock.
    oldTrackers.clear();
    oldDispatcher.reset();
    RUVWorker::sync([] {});
    RUVDataStore::deleteStoreFile(RUVDataStore::kOldStoreFileName);
    RUVDataStore::deleteStoreFile(RUVDataStore::kStoreFileName);
}

// ---- flags -----------------------------------------------------------------------------------------

bool RUV::trackUncaughtExceptions() {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("trackUncaughtExceptions");
    return trackUncaughtExceptions_;
}

void RUV::setTrackUncaughtExceptions(bool track) {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("setTrackUncaughtExceptions:");
    if (track) {
        RUVUncaughtExceptionHandlerInstall();
    } else {
        RUVUncaughtExceptionHandlerRemove();
    }
    trackUncaughtExceptions_ = track;
}

void RUV::setDryRun(bool dryRun) {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("setDryRun:");
    dryRun_ = dryRun;
    if (urlConnectionClass_.setDryRun) urlConnectionClass_.setDryRun(dryRun);
}

bool RUV::dryRun() {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("dryRun");
    return dryRun_;
}

bool RUV::optOut() {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("optOut");
    return optOut_;
}

void RUV::setOptOut(bool optOut) {
    std::vector<OptOutObserver> observers;
    {
        std::lock_guard lock(mutex_);
        RUVUsageTracker::trackAction("setOptOut:");
        optOut_ = optOut;
        for (const auto& [token, observer] : optOutObservers_) observers.push_back(observer);
    }
    for (const auto& observer : observers) observer(optOut);
}

uint64_t RUV::addOptOutObserver(OptOutObserver observer) {
    std::lock_guard lock(mutex_);
    const uint64_t token = nextObserver_++;
    optOutObservers_[token] = std::move(observer);
    return token;
}

void RUV::removeOptOutObserver(uint64_t token) {
    std::lock_guard lock(mutex_);
    optOutObservers_.erase(token);
}

std::shared_ptr<RUVLogger> RUV::logger() {
    std::lock_guard lock(mutex_);
    RUVUsageTracker::trackAction("logger");
    return sharedLogger();
}

void RUV::setLogger(std::shared_ptr<RUVLogger> logger) {
    std::lock_guard lock(mutex_);
    if (!logger || logger == sharedLogger()) return;
    RUVUsageTracker::trackAction("setLogger:");
    exchangeSharedLogger(std::move(logger));
}

RUVURLConnectionClass RUV::urlConnectionClass() {
    std::lock_guard lock(mutex_);
    return urlConnectionClass_;
}

void RUV::setUrlConnectionClass(RUVURLConnectionClass connectionClass) {
    std::lock_guard lock(mutex_);
    urlConnectionClass_ = std::move(connectionClass);
    if (urlConnectionClass_.setDryRun) urlConnectionClass_.setDryRun(dryRun_);
}
