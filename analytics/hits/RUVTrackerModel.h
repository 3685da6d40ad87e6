#pragma once
// One tracker's hit parameters, and the parameters that describe the app and the device, computed when a
// hit is built. A key set to nothing is kept as the null marker and hides the computed value.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analytics/base/RUVHitRecord.h"

class RUVDataStore;

// The advertising-identifier provider, looked up as "ZAVActualAdIdAccess" in the class registry.
class RUVAdIdProvider {
  public:
    virtual ~RUVAdIdProvider() = default;
    virtual std::optional<std::string> retrieveId() = 0;
    virtual bool retrieveTrackingFlag() = 0;
};

class RUVTrackerModel {
  public:
    static constexpr const char* kProviderClassName = "ZAVActualAdIdAccess";

    // A null store logs a warning and makes one (for tests).
    explicit RUVTrackerModel(std::shared_ptr<RUVDataStore> dataStore = nullptr);

    // The stored value (null marker included), else the computed one; nothing for an unknown key.
    std::optional<RUVHitValue> objectForKey(const std::string& key) const;
    // An empty key does nothing; a null value stores the null marker.
    void setObject(const RUVHitValue& value, const std::string& key);
    RUVHitRecord buildDictionary() const;
    // Copy with every entry of `overrides` set on it.
    RUVTrackerModel copyWithOverride(const RUVHitRecord& overrides) const;

    // The process-wide screen-view counter, moved atomically by every tracker; wraps past 2^31-1 to 1.
    static void willSendScreenView();

    static const RUVHitRecord& forcedParameters();
    static const RUVHitRecord& defaultParameters();
    // Required keys in order, then the default parameters' keys.
    static const std::vector<std::string>& requiredParameters();

    bool allowIDFACollection() const { return allowIDFACollection_; }
    void setAllowIDFACollection(bool allow) { allowIDFACollection_ = allow; }
    const RUVHitRecord& parameters() const { return parameters_; }
    void setParameters(RUVHitRecord parameters) { parameters_ = std::move(parameters); }
    const std::shared_ptr<RUVDataStore>& dataStore() const { return dataStore_; }
    void setDataStore(std::shared_ptr<RUVDataStore> store) { dataStore_ = std::move(store); }

    // Computed values.
    std::optional<std::string> adnetId() const;
    std::optional<std::string> crc() const;
    std::optional<std::string> clientId() const;
    std::optional<std::string> idfa() const;
    std::optional<std::string> adTargetingEnabled() const;

    // The screen-view counter's value (tests).
    static uint32_t screenViewCounter();
    static void setScreenViewCounter(uint32_t value);

  private:
    std::optional<std::string> computed(const std::string& key, bool* known) const;
    static std::shared_ptr<RUVAdIdProvider> provider();

    bool allowIDFACollection_ = false;
    RUVHitRecord parameters_;
    std::shared_ptr<RUVDataStore> dataStore_;
};
