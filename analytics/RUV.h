#pragma once
// The analytics SDK's process-wide entry: trackers by name, the default tracker, the one hit dispatcher,
// the global flags, and (from RUVWorker) the logger and the worker thread "RUVThread".
//
// The shared instance is published before its set-up runs, under a recursive class lock, so code that
// asks for it during set-up (on the same thread) gets the object being set up. Every public instance
// operation holds the instance's recursive lock; nothing done under it waits for the worker, because work
// on the worker (a campaign hit) may ask for that lock.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "analytics/RUVTracker.h"
#include "analytics/base/RUVWorker.h"
#include "analytics/dispatch/RUVBatchingDispatcher.h"

class RUVTrackerImpl;

// The network class as the facade holds it: how to make a request, and its class-wide dry run.
struct RUVURLConnectionClass {
    RUVBatchingDispatcher::ConnectionFactory create;
    std::function<void(bool dryRun)> setDryRun;
    // RUVURLConnection.
    static RUVURLConnectionClass standard();
};

class RUV {
  public:
    static constexpr const char* kVersion = RUVWorker::kVersion;
    static constexpr const char* kFirstInitTimeStampKey = "RUVFirstInitTimeStamp";

    using TrackerImplClass = std::function<std::shared_ptr<RUVTrackerImpl>(
        std::shared_ptr<RUVDispatchSender> dispatcher, const std::string& name)>;
    using CompletionHandler = RUVBatchingDispatcher::CompletionHandler;
    using OptOutObserver = std::function<void(bool optOut)>;

    // Makes the instance on first use; the same object afterwards.
    static std::shared_ptr<RUV> sharedInstance();
    // Makes, publishes and sets up the shared instance; null when one exists already.
    static std::shared_ptr<RUV> create();
    // Tests: forgets the shared instance (with its dispatcher and trackers) so the next call makes anew.
    static void resetSharedInstance();

    // RUVWorker's, as the SDK's public face.
    static plat::Thread& thread() { return RUVWorker::thread(); }
    static void postToWorker(plat::RunLoop::Task task) { RUVWorker::post(std::move(task)); }
    static plat::SerialQueue& workerQueue() { return RUVWorker::queue(); }
    static std::shared_ptr<RUVLogger> sharedLogger() { return RUVWorker::sharedLogger(); }
    static std::shared_ptr<RUVLogger> exchangeSharedLogger(std::shared_ptr<RUVLogger> logger) {
        return RUVWorker::exchangeSharedLogger(std::move(logger));
    }

    ~RUV();
    RUV(const RUV&) = delete;
    RUV& operator=(const RUV&) = delete;

    std::shared_ptr<RUVTracker> defaultTracker();
    // Not retained: the default tracker is whatever `trackers` (or the caller) keeps alive.
    void setDefaultTracker(const std::shared_ptr<RUVTracker>& tracker);
    std::optional<std::string> clientId();
    // 0 without a dispatcher.
    double dispatchInterval();
    void setDispatchInterval(double seconds);
    bool trackUncaughtExceptions();
    void setTrackUncaughtExceptions(bool track);
    // The tracker kept under the trimmed name, made with `trackingId` (untrimmed) as its "&tid" when new;
    // null for a blank name or without a dispatcher.
    std::shared_ptr<RUVTracker> trackerWithName(const std::string& name, const std::string& trackingId);
    std::shared_ptr<RUVTracker> trackerWithTrackingId(const std::string& trackingId);
    void dispatch();
    // The handler gets the dispatch's outcome; without a dispatcher it gets 0 at once.
    void dispatchWithCompletionHandler(CompletionHandler handler);
    void removeTrackerByName(const std::string& name);
    void setDryRun(bool dryRun);
    bool dryRun();
    bool optOut();
    // Observers hear the new value on the calling thread, after the lock is released.
    void setOptOut(bool optOut);
    std::shared_ptr<RUVLogger> logger();
    void setLogger(std::shared_ptr<RUVLogger> logger);

    uint64_t addOptOutObserver(OptOutObserver observer);
    void removeOptOutObserver(uint64_t token);

    // Made on first use and retried on every later call until it exists; null while it cannot be.
    std::shared_ptr<RUVBatchingDispatcher> dispatcher();
    bool createDispatcher(std::optional<plat::Error>* error);
    void setDispatcher(std::shared_ptr<RUVBatchingDispatcher> dispatcher);
    // Forgets trackers and dispatcher, waits for the worker, deletes both hit files with their journals.
    // Flags, logger and the first-init time stay.
    void reset();

    std::map<std::string, std::shared_ptr<RUVTracker>> trackers();
    void setTrackers(std::map<std::string, std::shared_ptr<RUVTracker>> trackers);
    TrackerImplClass trackerImplClass();
    void setTrackerImplClass(TrackerImplClass factory);
    RUVURLConnectionClass urlConnectionClass();
    void setUrlConnectionClass(RUVURLConnectionClass connectionClass);

  private:
    RUV();
    void init();
    // Caller holds the lock.
    std::shared_ptr<RUVBatchingDispatcher> dispatcherLocked();
    void setDispatcherLocked(std::shared_ptr<RUVBatchingDispatcher> dispatcher);

    std::recursive_mutex mutex_;
    bool trackUncaughtExceptions_ = false;
    bool dryRun_ = false;
    bool optOut_ = false;
    std::shared_ptr<RUVBatchingDispatcher> dispatcher_;
    uint64_t dispatcherObserver_ = 0;
    std::map<std::string, std::shared_ptr<RUVTracker>> trackers_;
    std::weak_ptr<RUVTracker> defaultTracker_;
    TrackerImplClass trackerImplClass_;
    RUVURLConnectionClass urlConnectionClass_;
    std::map<uint64_t, OptOutObserver> optOutObservers_;
    uint64_t nextObserver_ = 1;
};
