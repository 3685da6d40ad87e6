#pragma once
// What callers hold of a tracker: hit parameters that persist between hits, and sending a hit.
#include <optional>
#include <string>

#include "analytics/base/RUVHitRecord.h"

class RUVTracker {
  public:
    virtual ~RUVTracker() = default;
    // A null value hides the key (and its computed value) from later hits.
    virtual void set(const std::string& key, const RUVHitValue& value) = 0;
    // The stored or computed text; empty for the null marker and for keys that have no value.
    virtual std::optional<std::string> get(const std::string& key) = 0;
    // Normally a builder's build().
    virtual void send(const RUVHitRecord& parameters) = 0;
    virtual std::string name() const = 0;
    virtual bool allowIDFACollection() const = 0;
    virtual void setAllowIDFACollection(bool allow) = 0;
};
