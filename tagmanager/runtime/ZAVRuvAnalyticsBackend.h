#pragma once
// What the analytics tag needs of the analytics SDK, and nothing more: open a tracker by tracking id,
// remove it by name, install a logger. Tests put a recording tracker behind it; the default reaches the
// SDK's process-wide entry (ZAVRuvAnalyticsDefaultBackend.cpp).
#include <memory>
#include <string>

#include "analytics/base/RUVHitRecord.h"
#include "analytics/base/RUVLogger.h"

class ZAVRuvTracker {
  public:
    virtual ~ZAVRuvTracker() = default;
    // The name the SDK keeps the tracker under.
    virtual std::string name() const = 0;
    virtual void setAllowIDFACollection(bool allow) = 0;
    // One hit: field key ("&t", ...) to value.
    virtual void send(const RUVHitRecord& parameters) = 0;
};

class ZAVRuvAnalyticsBackend {
  public:
    virtual ~ZAVRuvAnalyticsBackend() = default;
    // The tracker kept under the tracking id as its name, made (with that tracking id) when missing; null
    // when no tracker can be had.
    virtual std::shared_ptr<ZAVRuvTracker> trackerWithTrackingId(const std::string& trackingId) = 0;
    virtual void removeTrackerByName(const std::string& name) = 0;
    // Replaces the SDK's logger; every later analytics log line goes to it.
    virtual void setLogger(std::shared_ptr<RUVLogger> logger) = 0;

    // The analytics SDK's shared instance behind this interface.
    static std::shared_ptr<ZAVRuvAnalyticsBackend> defaultBackend();
};
