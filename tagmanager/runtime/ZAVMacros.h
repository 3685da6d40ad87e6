#pragma once
// The macro library: facts about the app and the device, data-layer values, the current event,
// constants, versions, time and random numbers. Every macro answers a container value and never raises;
// a failure is the default value. Platform facts are read through virtual operations so that tests can
// substitute them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/base/Value.h"
#include "tagmanager/values/ZAVFunctionCallImplementation.h"

class ZAVDataLayer;

#define ZAV_MACRO_BODY(Class, id, cacheable) \
  public:                                    \
    static std::string functionId() {        \
        return id;                           \
    }                                        \
    bool isCacheable() const override {      \
        return cacheable;                    \
    }                                        \
    ZAVPValuePtr evaluate(const Properties& properties) override;

class ZAVAdvertiserId : public ZAVFunctionCallImplementation {
  public:
    ZAVAdvertiserId() : ZAVAdvertiserId(functionId()) {}
    static std::string functionId() { return "_adi"; }
    bool isCacheable() const override { return true; }
    ZAVPValuePtr evaluate(const Properties& properties) override;
    virtual std::optional<std::string> rawAdvertiserId();

  protected:
    explicit ZAVAdvertiserId(std::string id) : ZAVFunctionCallImplementation(std::move(id), {}) {}
};

class ZAVAdvertiserIdFixed : public ZAVAdvertiserId {
  public:
    ZAVAdvertiserIdFixed() : ZAVAdvertiserId(functionId()) {}
    static std::string functionId() { return "_aid"; }
};

class ZAVMobileAdnetUniqueIdMacro : public ZAVFunctionCallImplementation {
  public:
    ZAVMobileAdnetUniqueIdMacro() : ZAVFunctionCallImplementation(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVMobileAdnetUniqueIdMacro, "_awid", true)
    virtual std::optional<std::string> rawAdvertiserId();
};

class ZAVAdvertisingTrackingEnabledMacro : public ZAVFunctionCallImplementation {
  public:
    ZAVAdvertisingTrackingEnabledMacro() : ZAVFunctionCallImplementation(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVAdvertisingTrackingEnabledMacro, "_ate", true)
    virtual bool advertisingTrackingEnabled();
};

class ZAVAdnetClickReferrer : public ZAVFunctionCallImplementation {
  public:
    ZAVAdnetClickReferrer() : ZAVFunctionCallImplementation(functionId(), {conversionIdKey()}) {}
    ZAV_MACRO_BODY(ZAVAdnetClickReferrer, "_awcr", true)
    static std::string conversionIdKey() { return "conversion_id"; }
    static std::string componentKey() { return "component"; }
};

// The application facts read the main bundle's information values.
class ZAVBundleMacro : public ZAVFunctionCallImplementation {
  public:
    using ZAVFunctionCallImplementation::ZAVFunctionCallImplementation;
    virtual plat::Value::Dictionary infoDictionary();

  protected:
    // The text under the key; empty when absent or not text.
    std::string infoText(const std::string& key);
};

class ZAVAppId : public ZAVBundleMacro {
  public:
    ZAVAppId() : ZAVBundleMacro(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVAppId, "_ai", true)
};

class ZAVAppName : public ZAVBundleMacro {
  public:
    ZAVAppName() : ZAVBundleMacro(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVAppName, "_an", true)
};

class ZAVAppVersion : public ZAVBundleMacro {
  public:
    ZAVAppVersion() : ZAVBundleMacro(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVAppVersion, "_av", true)
};

class ZAVConstantMacro : public ZAVFunctionCallImplementation {
  public:
    ZAVConstantMacro() : ZAVFunctionCallImplementation(functionId(), {valueKey()}) {}
    ZAV_MACRO_BODY(ZAVConstantMacro, "_c", true)
    static std::string valueKey() { return "value"; }
};

class ZAVContainerVersionMacro : public ZAVFunctionCallImplementation {
  public:
    explicit ZAVContainerVersionMacro(std::string version)
        : ZAVFunctionCallImplementation(functionId(), {}), version_(std::move(version)) {}
    ZAV_MACRO_BODY(ZAVContainerVersionMacro, "_ctv", true)

  private:
    const std::string version_;
};

class ZAVDataLayerMacro : public ZAVFunctionCallImplementation {
  public:
    explicit ZAVDataLayerMacro(std::shared_ptr<ZAVDataLayer> dataLayer)
        : ZAVFunctionCallImplementation(functionId(), {nameKey()}), dataLayer_(std::move(dataLayer)) {}
    ZAV_MACRO_BODY(ZAVDataLayerMacro, "_v", false)
    static std::string nameKey() { return "name"; }
    static std::string defaultValueKey() { return "default_value"; }

  private:
    const std::shared_ptr<ZAVDataLayer> dataLayer_;
};

// What the event macro asks: the rule runtime, while it evaluates the rules of an event.
class ZAVCurrentEventSource {
  public:
    virtual ~ZAVCurrentEventSource() = default;
    // Empty outside an event.
    virtual std::optional<std::string> currentEventName() const = 0;
};

class ZAVEventMacro : public ZAVFunctionCallImplementation {
  public:
    // Not retained: the runtime owns its macros.
    explicit ZAVEventMacro(std::weak_ptr<const ZAVCurrentEventSource> runtime)
        : ZAVFunctionCallImplementation(functionId(), {}), runtime_(std::move(runtime)) {}
    ZAV_MACRO_BODY(ZAVEventMacro, "_e", false)

  private:
    const std::weak_ptr<const ZAVCurrentEventSource> runtime_;
};

class ZAVVuzVersionMacro : public ZAVFunctionCallImplementation {
  public:
    ZAVVuzVersionMacro() : ZAVFunctionCallImplementation(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVVuzVersionMacro, "_gtmv", true)
};

class ZAVLanguage : public ZAVFunctionCallImplementation {
  public:
    ZAVLanguage() : ZAVFunctionCallImplementation(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVLanguage, "_l", false)
    virtual std::vector<std::string> preferredLanguages();
};

// The device facts read the platform's device and screen.
class ZAVDeviceMacro : public ZAVFunctionCallImplementation {
  public:
    using ZAVFunctionCallImplementation::ZAVFunctionCallImplementation;
    virtual std::string deviceModel();
    virtual std::string systemVersion();
    // Width, height (points) and scale of the main screen.
    virtual std::tuple<double, double, double> screenSize();
};

class ZAVDeviceName : public ZAVDeviceMacro {
  public:
    ZAVDeviceName() : ZAVDeviceMacro(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVDeviceName, "_dn", true)
};

class ZAVOsVersion : public ZAVDeviceMacro {
  public:
    ZAVOsVersion() : ZAVDeviceMacro(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVOsVersion, "_ov", true)
};

class ZAVSdkVersion : public ZAVDeviceMacro {
  public:
    ZAVSdkVersion() : ZAVDeviceMacro(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVSdkVersion, "_sv", true)
};

class ZAVResolution : public ZAVDeviceMacro {
  public:
    ZAVResolution() : ZAVDeviceMacro(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVResolution, "_rs", true)
};

class ZAVPlatform : public ZAVFunctionCallImplementation {
  public:
    ZAVPlatform() : ZAVFunctionCallImplementation(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVPlatform, "_p", true)
};

class ZAVRandom : public ZAVFunctionCallImplementation {
  public:
    ZAVRandom() : ZAVFunctionCallImplementation(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVRandom, "_r", false)
    static std::string minKey() { return "min"; }
    static std::string maxKey() { return "max"; }
};

class ZAVRuntimeVersion : public ZAVFunctionCallImplementation {
  public:
    ZAVRuntimeVersion() : ZAVFunctionCallImplementation(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVRuntimeVersion, "_rv", true)
    static constexpr int64_t versionNumber() { return 92886563; }
};

class ZAVTime : public ZAVFunctionCallImplementation {
  public:
    ZAVTime() : ZAVFunctionCallImplementation(functionId(), {}) {}
    ZAV_MACRO_BODY(ZAVTime, "_t", false)
};

#undef ZAV_MACRO_BODY
