#pragma once
// Stands between the trackers and the collection server: samples, numbers, stamps and stores every hit,
// then sends the stored hits singly or in batches after a start-up delay, on a repeating timer, on demand,
// and again after every answered request until the store is empty.
//
// Store, timer and connection work runs on "RUVThread", and so does an answer's effect on the stored
// hits; the completion handler hears the outcome on the main queue. Timers and delayed work hold the
// dispatcher weakly and end with it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analytics/base/RUVHitRecord.h"
#include "analytics/dispatch/RUVReachabilityChecker.h"
#include "analytics/dispatch/RUVURLConnection.h"
#include "analytics/hits/RUVRequestBuilder.h"
#include "platform/base/Value.h"
#include "platform/runloop/RunLoop.h"

class RUVAdClient;
class RUVAnalyticsPropertiesStore;
class RUVDataStore;
class RUVTrackerModel;

enum RUVDispatchOutcome : int {
    RUVDispatchOutcomeNothingSent = 0,
    RUVDispatchOutcomeSent = 1,
    RUVDispatchOutcomeFailed = 2,
};

enum RUVBatchingStrategy : uint64_t {
    RUVBatchingStrategySingle = 0,
    RUVBatchingStrategyFitBody = 1,
    RUVBatchingStrategyTimeGap = 2,
    RUVBatchingStrategyHalveBySize = 3,
    RUVBatchingStrategyHalveByCount = 4,
    RUVBatchingStrategySessionSplit = 5,
};

enum RUVCompressionStrategy : uint64_t {
    RUVCompressionNone = 0,
    RUVCompressionDeflate = 1,
    RUVCompressionGzip = 2,
};

// All that a tracker knows of its dispatcher.
class RUVDispatchSender {
  public:
    virtual ~RUVDispatchSender() = default;
    // A hit dictionary: field keys to text (or null), optionally "timestamp" (a date) for its hit time.
    virtual void queueDispatch(const plat::Value::Dictionary& hit) = 0;
    // A model's "timestamp" parameter, when it holds decimal seconds since 1970, is the hit's time.
    virtual void queueModel(const RUVTrackerModel& model) = 0;
    // The store a tracker's model reads its client id from.
    virtual std::shared_ptr<RUVDataStore> dataStore() const = 0;
};

// What the dispatcher takes from the facade that makes it.
struct RUVDispatcherFacade {
    // The defaults key under which the facade keeps the time of its first set-up.
    std::string firstInitTimeStampKey;
    // Sends a campaign hit through the facade's tracker for `trackingId`.
    std::function<void(const std::string& trackingId, const RUVHitRecord& parameters)> sendWithTrackingId;
};

class RUVBatchingDispatcher : public RUVDispatchSender,
                              public RUVReachabilityDelegate,
                              public std::enable_shared_from_this<RUVBatchingDispatcher> {
  public:
    using CompletionHandler = std::function<void(RUVDispatchOutcome)>;
    // Makes and starts one request; the block runs once, later, on the main queue.
    using ConnectionFactory = std::function<std::shared_ptr<RUVURLConnection>(
        const plat::URLRequest& request, RUVURLConnection::CompletionHandler handler)>;

    static constexpr const char* kWillDispatchNotification = "RUVWillDispatchNotification";
    // The parameter that carries a hit's own time into intake (taken out there).
    static constexpr const char* kHitTimeKey = "timestamp";
    // A hit whose requests the collection server answered with a server error (5xx) this many times is
    // dropped.
    static constexpr int kMaxServerErrorTries = 3;

    // Over the shared hit store and properties store; null without a hit store. `optOut` is the facade's
    // flag as it is now.
    static std::shared_ptr<RUVBatchingDispatcher> dispatcher(bool optOut);
    // What dispatcher() makes instead (tests: stores in their own home); an empty one restores the default.
    using Maker = std::function<std::shared_ptr<RUVBatchingDispatcher>(bool optOut)>;
    static void setMaker(Maker maker);
    // The properties store must outlive the dispatcher and is used on the worker only.
    static std::shared_ptr<RUVBatchingDispatcher> create(std::shared_ptr<RUVDataStore> dataStore,
                                                         RUVAnalyticsPropertiesStore* propertiesStore,
                                                         bool optOut);
    ~RUVBatchingDispatcher() override;
    RUVBatchingDispatcher(const RUVBatchingDispatcher&) = delete;
    RUVBatchingDispatcher& operator=(const RUVBatchingDispatcher&) = delete;

    // Intake, from any thread; the work itself runs on the worker.
    void queueDispatch(const plat::Value::Dictionary& hit) override;
    void queueModel(const RUVTrackerModel& model) override;

    void dispatch();
    // With a handler, periodic dispatching stops (interval -1) and the handler gets this dispatch's
    // outcome; without one, each sent request starts the next until the store is drained.
    void dispatchWithCompletionHandler(CompletionHandler handler);

    double dispatchInterval() const;
    void setDispatchInterval(double seconds);
    std::optional<std::string> clientId() const;

    // The facade's opt-out changed: turning it on deletes every stored hit and drops new ones.
    void optOutChanged(bool optOut);
    bool optOut() const;

    void reachabilityStatusChanged(RUVReachabilityChecker& checker, int32_t status) override;

    bool hasHits() const;
    void setHasHits(bool hasHits);
    bool hostReachable() const;
    void setHostReachable(bool reachable);
    bool serverBatchingDisabled() const;
    void setServerBatchingDisabled(bool disabled);
    bool canDispatch() const;
    bool canScheduleDispatch() const;
    // Whether the repeating dispatch timer exists.
    bool hasTimer() const;
    bool hasConnection() const;

    // Worker only: one dispatch's records, oldest first, each with its payload (built once).
    struct PendingHit {
        plat::Value record;
        std::string payload;
    };
    std::vector<PendingHit> hitsForDispatch();
    std::vector<plat::Value> nextPendingHits();
    static size_t batchByTimeGap(const std::vector<PendingHit>& hits, size_t maxHits);
    static size_t batchBySessionSplit(const std::vector<PendingHit>& hits, size_t maxHits);
    std::string buildPayload(const std::vector<PendingHit>& hits) const;

    // ---- campaign attribution, during the first day after the facade's first set-up ----
    static constexpr const char* kCampaignInfoKey = "RUVCampaignInfoIAd";
    static constexpr double kCampaignWindowSeconds = 86400;
    // Worker: true when an asynchronous query to the attribution client was started.
    bool checkIAdCampaignAttributionWithHitParameters(const plat::Value::Dictionary& parameters);
    std::shared_ptr<RUVAdClient> adClientInstance() const;
    // The campaign hit for the tracking id and client of a stored hit; empty without either.
    static std::optional<plat::Value::Dictionary> buildIAdCampaignHitWithHitParameters(
        const plat::Value::Dictionary& parameters);
    static void insertHitTime(const plat::Value::Date& date, plat::Value::Dictionary* hit);
    // The first answer stored on the device wins for good; an attributed one sends the hit.
    void handleCampaignResult(bool attributed, const plat::Value::Dictionary& campaignHit);
    // On the worker, at most once per tracking id in this process and per tracking id in the
    // properties store.
    void sendIAdCampaignHit(const plat::Value::Dictionary& campaignHit);
    // Tests: the once-per-process log lines may go out again.
    static void forgetCampaignLogLines();

    // Settings; change them before hits flow (tests).
    uint64_t batchingStrategy() const { return batchingStrategy_; }
    void setBatchingStrategy(uint64_t strategy) { batchingStrategy_ = strategy; }
    uint64_t compressionStrategy() const { return compressionStrategy_; }
    void setCompressionStrategy(uint64_t strategy) { compressionStrategy_ = strategy; }
    uint64_t maxHitsPerDispatch() const { return maxHitsPerDispatch_; }
    void setMaxHitsPerDispatch(uint64_t count) { maxHitsPerDispatch_ = count; }
    double maxHitAge() const { return maxHitAge_; }
    void setMaxHitAge(double seconds) { maxHitAge_ = seconds; }
    uint64_t maxBodySize() const { return maxBodySize_; }
    void setMaxBodySize(uint64_t bytes) { maxBodySize_ = bytes; }
    uint64_t maxHitSize() const { return maxHitSize_; }
    void setMaxHitSize(uint64_t bytes) { maxHitSize_ = bytes; }
    double batchRetryInterval() const { return batchRetryInterval_; }
    void setBatchRetryInterval(double seconds) { batchRetryInterval_ = seconds; }
    void setUrlConnectionClass(ConnectionFactory factory);
    // Handed in by the facade when it takes the dispatcher; campaign hits need it.
    void setFacade(RUVDispatcherFacade facade);
    RUVDispatcherFacade facade() const;
    const RUVRequestBuilder& requestBuilder() const { return requestBuilder_; }
    const std::string& httpURL() const { return httpURL_; }
    const std::string& httpsURL() const { return httpsURL_; }
    const std::string& httpBatchURL() const { return httpBatchURL_; }
    const std::string& httpsBatchURL() const { return httpsBatchURL_; }
    std::shared_ptr<RUVDataStore> dataStore() const override { return dataStore_; }
    const std::shared_ptr<RUVReachabilityChecker>& reachability() const { return reachability_; }

  private:
    RUVBatchingDispatcher(std::shared_ptr<RUVDataStore> dataStore, RUVAnalyticsPropertiesStore* properties,
                          bool optOut);
    void setUp();
    // True (and `work` queued on the worker) when called elsewhere; false on the worker.
    bool rescheduleIfNeeded(std::function<void(RUVBatchingDispatcher&)> work);

    void intake(plat::Value::Dictionary hit);
    void persist(plat::Value record);
    void rescheduleDispatch();
    void cancelDispatch();
    void initialDispatch();
    void timerFired();
    void dispatchOnWorker();
    // True when the deletion was committed. `quiet` leaves a failure unlogged.
    bool deleteHits(const std::vector<plat::Value>& records, bool quiet = false);
    void deleteAllHits();
    // Deletes delivered records; those whose deletion fails are not sent again by this process.
    bool didSendHits(const std::vector<plat::Value>& records);
    // Worker: what a request's answer does to its records, straight from the connection; the handler
    // then hears the outcome on the main queue.
    void didSendHitsResponse(const std::vector<plat::Value>& records,
                             const std::optional<plat::URLResponse>& response,
                             const std::optional<plat::Error>& error);
    // Worker: a server error keeps the records for a later dispatch, up to kMaxServerErrorTries each.
    void keepAfterServerError(const std::vector<plat::Value>& records);
    void rememberUndeleted(const std::vector<plat::Value>& records);
    // Worker: tries again to delete what was delivered but could not be deleted; true when none is left.
    bool retryUndeleted();
    bool isUndeletedDelivery(const plat::Value& record);
    // Hands the outcome to the current handler; a failure with hits left and no timer starts one.
    void finishDispatch(RUVDispatchOutcome outcome);

    const std::shared_ptr<RUVDataStore> dataStore_;
    RUVAnalyticsPropertiesStore* const propertiesStore_;
    RUVRequestBuilder requestBuilder_;
    std::shared_ptr<RUVReachabilityChecker> reachability_;
    std::string httpURL_, httpsURL_, httpBatchURL_, httpsBatchURL_;
    // A collection server was configured when the URLs above were taken; without one nothing is sent
    // and no timer runs, and the hits stay stored.
    const bool configured_;

    // Read on the worker, set by the app (or a test) on any thread.
    std::atomic<uint64_t> batchingStrategy_{RUVBatchingStrategyTimeGap};
    std::atomic<uint64_t> compressionStrategy_{RUVCompressionGzip};
    std::atomic<uint64_t> maxHitsPerDispatch_{20};
    std::atomic<double> maxHitAge_{2592000.0};
    std::atomic<uint64_t> maxBodySize_{8192};
    std::atomic<uint64_t> maxHitSize_{8192};
    std::atomic<double> batchRetryInterval_{3600.0};

    // State that crosses threads (the worker, the main queue, callers).
    mutable std::mutex mutex_;
    bool hasHits_ = true;
    bool hostReachable_ = true;
    bool optOut_ = false;
    bool serverBatchingDisabled_ = false;
    double batchFailedTime_ = 0;
    double dispatchInterval_ = 120.0;
    std::shared_ptr<RUVURLConnection> connection_;
    ConnectionFactory connectionFactory_;
    RUVDispatcherFacade facade_;
    CompletionHandler defaultCompletionHandler_;
    CompletionHandler currentCompletionHandler_;
    plat::RunLoop::TimerId timer_ = 0;
    plat::RunLoop::TimerId delayedTimerFired_ = 0;

    // Worker only: tracking ids whose campaign hit was handled in this process.
    std::set<std::string> iAdCampaignTrackerIdCache_;
    // Worker only: records answered (or never sendable) whose deletion failed, by object id, with their
    // time (an id names the same hit only while its time matches).
    std::map<int64_t, double> undeleted_;
    bool undeletedFailureLogged_ = false;
    // Worker only: server errors met by each stored record in this process.
    std::map<int64_t, int> serverErrorTries_;
    // Worker only: the last fetch of pending hits failed (the hits are still there, unread).
    bool fetchFailed_ = false;
    bool fetchFailureLogged_ = false;
};
