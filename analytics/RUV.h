#pragma once
// The analytics SDK's process-wide entry: trackers by name, the default tracker, the one hit dispatcher,
// the global flags, the logger and the worker thread "RUVThread".
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

#include "analytics/RUVBatchingDispatcher.h"
#include "analytics/RUVLogger.h"
#include "analytics/RUVTracker.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/runloop/Thread.h"

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
    static constexpr const char* kVersion = "3.12";
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

    // "RUVThread": made and started on first use, never stopped or destroyed. The hit store and the
    // dispatcher do all their work on it. Idle, it sleeps in its run loop.
    static plat::Thread& thread();
    // Queues a task on the worker without waiting.
    static void postToWorker(plat::RunLoop::Task task);
    // The worker as a completion queue: the dispatcher's requests answer there, so a delivered batch is
    // deleted without waiting for a turn of the main queue.
    static plat::SerialQueue& workerQueue();

    // The installed logger (a RUVDefaultLogger at Warning until replaced). Read without the facade's lock
    // and without making the shared instance, so a line logged on the worker never waits for the facade.
    static std::shared_ptr<RUVLogger> sharedLogger();
    // Installs `logger` in the slot and returns the one it replaced; a null logger is refused (the slot
    // keeps, and the call returns, the current one).
    static std::shared_ptr<RUVLogger> exchangeSharedLogger(std::shared_ptr<RUVLogger> logger);

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
