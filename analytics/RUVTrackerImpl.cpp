#include "analytics/RUVTrackerImpl.h"

#include "analytics/base/RUVFields.h"
#include "analytics/base/RUVWorker.h"
#include "platform/base/Clock.h"

namespace {

// Seconds from 1970 to the reference date, 1 January 2001 UTC.
constexpr double kReferenceDateSeconds = 978307200.0;

double nowSinceReferenceDate() {
    return plat::Clock::shared().nowSeconds() - kReferenceDateSeconds;
}

}  // namespace

std::shared_ptr<RUVTrackerImpl> RUVTrackerImpl::trackerWithDispatcher(
    std::shared_ptr<RUVDispatchSender> dispatcher, const std::string& name) {
    if (!dispatcher) {
        RUV_LOG(RUVLogLevel::Error, "initialization failed: dispatcher is required.");
        return nullptr;
    }
    return std::make_shared<RUVTrackerImpl>(std::move(dispatcher), name);
}

RUVTrackerImpl::RUVTrackerImpl(std::shared_ptr<RUVDispatchSender> dispatcher, std::string name)
    : name_(std::move(name)), dispatcher_(std::move(dispatcher)), model_(dispatcher_->dataStore()) {}

void RUVTrackerImpl::set(const std::string& key, const RUVHitValue& value) {
    usageTracker_.trackActionOnInstance("set:value:");
    ruv_set(key, value);
}

std::optional<std::string> RUVTrackerImpl::get(const std::string& key) {
    usageTracker_.trackActionOnInstance("get:");
    return ruv_get(key);
}

void RUVTrackerImpl::send(const RUVHitRecord& parameters) {
    usageTracker_.trackActionOnInstance("send:");
    ruv_send(parameters);
}

void RUVTrackerImpl::ruv_set(const std::string& key, const RUVHitValue& value) {
    std::lock_guard lock(mutex_);
    model_.setObject(value, key);
}

void RUVTrackerImpl::ruv_set(const RUVHitRecord& parameters) {
    for (const auto& [key, value] : parameters) ruv_set(key, value);
}

std::optional<std::string> RUVTrackerImpl::ruv_get(const std::string& key) {
    std::optional<RUVTrackerModel> copy;
    {
        std::lock_guard lock(mutex_);
        if (auto it = model_.parameters().find(key); it != model_.parameters().end()) return it->second;
        copy = model_;
    }
    // Computed values ("&cid", "&_crc") wait for the worker, which may itself be waiting for this tracker
    // (a campaign hit goes through send): they are read outside the lock.
    auto value = copy->objectForKey(key);
    if (!value) return std::nullopt;
    return *value;
}

bool RUVTrackerImpl::allowIDFACollection() const {
    std::lock_guard lock(mutex_);
    return allowIDFACollection_;
}

void RUVTrackerImpl::setAllowIDFACollection(bool allow) {
    std::lock_guard lock(mutex_);
    allowIDFACollection_ = allow;
    model_.setAllowIDFACollection(allow);
}

bool RUVTrackerImpl::shouldRateLimit() {
    std::lock_guard lock(mutex_);
    const double now = nowSinceReferenceDate();
    if (lastTrackTime_ != 0 && trackingCredits_ < kMaxTrackingCredits && now - lastTrackTime_ > 0) {
        trackingCredits_ += (now - lastTrackTime_) * kCreditsPerSecond;
        if (trackingCredits_ > kMaxTrackingCredits) trackingCredits_ = kMaxTrackingCredits;
    }
    lastTrackTime_ = now;
    if (trackingCredits_ >= 1.0) {
        trackingCredits_ -= 1.0;
        return false;
    }
    return true;
}

void RUVTrackerImpl::ruv_send(const RUVHitRecord& parameters) {
    auto type = parameters.find(RUVFieldHitType);
    const bool hasType = type != parameters.end() && type->second && !type->second->empty();
    if (!hasType) RUV_LOG(RUVLogLevel::Warning, "Bad or missing hit type.");

    std::lock_guard lock(mutex_);
    const bool unlimited = hasType && (*type->second == "transaction" || *type->second == "item");
    if (!unlimited && shouldRateLimit()) {
        RUV_LOG(RUVLogLevel::Info, "Excessive tracking detected and throttled.");
        return;
    }
    // A hit without a type of its own takes the tracker's; without either it counts as a screen view.
    std::optional<RUVHitValue> hitType;
    if (type != parameters.end()) {
        hitType = type->second;
    } else {
        hitType = model_.objectForKey(RUVFieldHitType);
    }
    if (!hitType || (*hitType && (**hitType == "appview" || **hitType == "screenview")))
        RUVTrackerModel::willSendScreenView();
    model_.setObject(RUVUsageTracker::getUsageSequence(), RUVFieldUsage);
    dispatcher_->queueModel(model_.copyWithOverride(parameters));
}

std::shared_ptr<RUVDispatchSender> RUVTrackerImpl::dispatcher() const {
    std::lock_guard lock(mutex_);
    return dispatcher_;
}

void RUVTrackerImpl::setDispatcher(std::shared_ptr<RUVDispatchSender> dispatcher) {
    std::lock_guard lock(mutex_);
    dispatcher_ = std::move(dispatcher);
}

RUVTrackerModel RUVTrackerImpl::model() const {
    std::lock_guard lock(mutex_);
    return model_;
}

void RUVTrackerImpl::setModel(RUVTrackerModel model) {
    std::lock_guard lock(mutex_);
    model_ = std::move(model);
}

double RUVTrackerImpl::trackingCredits() const {
    std::lock_guard lock(mutex_);
    return trackingCredits_;
}

void RUVTrackerImpl::setTrackingCredits(double credits) {
    std::lock_guard lock(mutex_);
    trackingCredits_ = credits;
}

double RUVTrackerImpl::lastTrackTime() const {
    std::lock_guard lock(mutex_);
    return lastTrackTime_;
}

void RUVTrackerImpl::setLastTrackTime(double secondsSinceReferenceDate) {
    std::lock_guard lock(mutex_);
    lastTrackTime_ = secondsSinceReferenceDate;
}
