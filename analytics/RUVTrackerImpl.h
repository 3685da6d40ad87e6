#pragma once
// The SDK's tracker: one tracking property's persistent parameters, a token bucket that throttles what is
// sent through it, and the hand-over of every hit to the dispatcher. Made only by RUV, one per name.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "analytics/RUVTracker.h"
#include "analytics/base/RUVUsageTracker.h"
#include "analytics/dispatch/RUVBatchingDispatcher.h"
#include "analytics/hits/RUVTrackerModel.h"

class RUVTrackerImpl : public RUVTracker {
  public:
    static constexpr double kMaxTrackingCredits = 60.0;
    static constexpr double kCreditsPerSecond = 0.5;

    // Null, with an error line, without a dispatcher.
    static std::shared_ptr<RUVTrackerImpl> trackerWithDispatcher(
        std::shared_ptr<RUVDispatchSender> dispatcher, const std::string& name);
    // `dispatcher` must not be null (trackerWithDispatcher checks); the model is made over its data store.
    RUVTrackerImpl(std::shared_ptr<RUVDispatchSender> dispatcher, std::string name);
    ~RUVTrackerImpl() override = default;
    RUVTrackerImpl(const RUVTrackerImpl&) = delete;
    RUVTrackerImpl& operator=(const RUVTrackerImpl&) = delete;

    // The recorded operations (usage codes K, J, L).
    void set(const std::string& key, const RUVHitValue& value) override;
    std::optional<std::string> get(const std::string& key) override;
    void send(const RUVHitRecord& parameters) override;

    // The same without a usage record (the SDK's own callers).
    void ruv_set(const std::string& key, const RUVHitValue& value);
    std::optional<std::string> ruv_get(const std::string& key);
    void ruv_set(const RUVHitRecord& parameters);
    void ruv_send(const RUVHitRecord& parameters);

    std::string name() const override { return name_; }
    bool allowIDFACollection() const override;
    void setAllowIDFACollection(bool allow) override;

    // True when a hit sent now must be dropped; moves the bucket either way.
    bool shouldRateLimit();

    std::shared_ptr<RUVDispatchSender> dispatcher() const;
    void setDispatcher(std::shared_ptr<RUVDispatchSender> dispatcher);
    // A copy, taken under the tracker's lock.
    RUVTrackerModel model() const;
    void setModel(RUVTrackerModel model);
    const RUVUsageTracker& usageTracker() const { return usageTracker_; }
    double trackingCredits() const;
    void setTrackingCredits(double credits);
    double lastTrackTime() const;
    void setLastTrackTime(double secondsSinceReferenceDate);

  private:
    const std::string name_;
    RUVUsageTracker usageTracker_;
    // Guards everything below; held from the rate limit to the hand-over of a hit.
    mutable std::recursive_mutex mutex_;
    std::shared_ptr<RUVDispatchSender> dispatcher_;
    RUVTrackerModel model_;
    bool allowIDFACollection_ = false;
    double trackingCredits_ = kMaxTrackingCredits;
    double lastTrackTime_ = 0;
};
