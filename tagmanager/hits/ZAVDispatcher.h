#pragma once
// The process-wide sender of tag hits. Hits are throttled, queued in the hit store and sent in batches
// by GET: on a repeating timer while there are hits, the network is reachable and the interval is
// positive; once shortly after start; and on demand. A 2xx answer deletes the hit; a failure while
// reachable marks it for a retry no sooner than two minutes later, until four hours after its first
// failure, when the next answer of any kind deletes it. A delivered hit whose deletion fails (a read-only
// or locked store) ends its dispatch as failed and is not sent again by this process; its deletion is
// tried again at each later dispatch. Timer, dispatch and completion work runs on ZAVThread;
// sendHitToUrl and setDispatchInterval may be called on any thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/hits/ZAVDataProvider.h"
#include "tagmanager/hits/ZAVDispatchUtil.h"
#include "tagmanager/hits/ZAVHitSender.h"
#include "tagmanager/hits/ZAVNetworking.h"
#include "tagmanager/hits/ZAVRateLimiter.h"

class ZAVDispatcher : public ZAVHitSender, public std::enable_shared_from_this<ZAVDispatcher> {
  public:
    // Dispatch results.
    enum Result : int { kNoData = 0, kGood = 1, kError = 2 };
    using Callback = std::function<void(int result)>;

    static constexpr double kDefaultDispatchInterval = 120;
    static constexpr uint64_t kDefaultMaxRequestsPerDispatch = 40;
    static constexpr double kInitialDispatchDelay = 1.0;
    static constexpr double kGiveUpAfterSeconds = 14400;

    // The shared dispatcher, made on first use.
    static std::shared_ptr<ZAVDispatcher> instance();
    // The shared dispatcher if it was made; nothing is made.
    static std::shared_ptr<ZAVDispatcher> existingInstance();
    // Drops the shared dispatcher, cancelling its requests, and ends ZAVThread after the work handed to
    // it (a test's leftovers); the next instance() starts afresh.
    static void resetInstance();

    ~ZAVDispatcher() override;
    ZAVDispatcher(const ZAVDispatcher&) = delete;
    ZAVDispatcher& operator=(const ZAVDispatcher&) = delete;

    bool sendHitToUrl(const std::string& url) override;
    std::shared_ptr<ZAVLogger> logger() const override;
    void setLogger(std::weak_ptr<ZAVLogger> logger) override;

    void dispatch() { dispatchWithCallback(nullptr); }
    // With a callback at most one hit is sent and the callback hears one result: 0 also when nothing was
    // sent (a dispatch in flight, no network or hits, or no hit due for a retry yet).
    void dispatchWithCallback(Callback callback);

    double dispatchInterval() const;
    void setDispatchInterval(double seconds);
    uint64_t maxRequestsPerDispatch() const { return maxRequestsPerDispatch_.load(); }
    void setMaxRequestsPerDispatch(uint64_t count) { maxRequestsPerDispatch_.store(count); }
    std::optional<std::string> wrapperUrl() const;
    void setWrapperUrl(std::optional<std::string> url);
    std::optional<std::string> wrapperQueryParameter() const;
    void setWrapperQueryParameter(std::optional<std::string> parameter);

    // Only with a configured tag-manager server: without one the hits wait in the store.
    bool canDispatch() const {
        return ZAVEndpoints::isConfigured(false) && network_->isReachable() && store_->hasHits();
    }
    bool canScheduleDispatch() const { return dispatchInterval() > 0 && canDispatch(); }

    // ZAVThread only.
    void rescheduleDispatch();
    void timerFired();
    // The running timer's interval; empty when none runs.
    std::optional<double> timerInterval() const { return timerInterval_; }
    size_t operationCount() const { return operations_.size(); }

    const std::shared_ptr<ZAVDataProvider>& store() const { return store_; }
    const std::shared_ptr<ZAVNetworking>& network() const { return network_; }
    const std::shared_ptr<ZAVRateLimiter>& rateLimiter() const { return rateLimiter_; }

  private:
    ZAVDispatcher();
    static std::shared_ptr<ZAVDispatcher> create();
    void observe();
    void initialDispatch();
    // A change of anything canScheduleDispatch depends on, handled on ZAVThread.
    void scheduleInputsChanged();
    void canScheduleDispatchChanged();
    void startTimer();
    void cancelTimer();
    void sendHits(std::vector<ZAVHit> hits, const Callback& callback);
    void deliveredHitNotDeleted(const ZAVHit& hit);
    // Tries the deletions that failed before again; those that succeed are forgotten.
    void retryUndeleted();
    void hitCompleted(const ZAVHit& hit, ZAVNetOperation& operation, const Callback& callback);

    std::shared_ptr<ZAVDataProvider> store_;
    std::shared_ptr<ZAVNetworking> network_;
    std::shared_ptr<ZAVRateLimiter> rateLimiter_;
    std::atomic<uint64_t> maxRequestsPerDispatch_{kDefaultMaxRequestsPerDispatch};
    mutable std::mutex mutex_;  // the settings below, set from any thread
    double dispatchInterval_ = kDefaultDispatchInterval;
    std::optional<std::string> wrapperUrl_;
    std::optional<std::string> wrapperQueryParameter_;
    std::weak_ptr<ZAVLogger> logger_;

    // ZAVThread only.
    std::set<const ZAVNetOperation*> operations_;
    // Hits delivered in this process whose deletion has not been saved, by id: never sent again.
    std::map<int64_t, ZAVHit> undeleted_;
    ZAVDispatchUtil::Timer timer_;
    std::optional<double> timerInterval_;
    ZAVDispatchUtil::Timer delayedTimerFired_;
};
