#pragma once
// Tags: the calls of a container that act when their rules fire. A tag's evaluation does its work and
// answers the shared default value (a tag's result is never used or cached). "_img" requests a pixel URL
// through the hit sender, at most once per installation for an unrepeatable id; "_dlw" pushes maps into
// the data layer and clears saved keys by prefix.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tagmanager/hits/ZAVHitSender.h"
#include "tagmanager/values/ZAVFunctionCallImplementation.h"

class ZAVDataLayer;

class ZAVTrackingTag : public ZAVFunctionCallImplementation {
  public:
    using ZAVFunctionCallImplementation::ZAVFunctionCallImplementation;
    bool isCacheable() const override { return false; }
    // Runs evaluateTrackingTag, then answers ZAVTypes::defaultValue() whatever the tag did.
    ZAVPValuePtr evaluate(const Properties& properties) override;
    ZAVPValuePtr evaluateWithConverted(const Properties& properties,
                                       const ZAVConvertedValues& converted) override;
    virtual void evaluateTrackingTag(const Properties& properties) = 0;
    virtual void evaluateTrackingTagWithConverted(const Properties& properties, const ZAVConvertedValues&) {
        evaluateTrackingTag(properties);
    }
};

class ZAVArbitraryPixel : public ZAVTrackingTag {
  public:
    static constexpr const char* kUnrepeatableFile = "vuz_img_unrepeatable";

    // Hits go to `sender`, or to the shared dispatcher when none is given.
    explicit ZAVArbitraryPixel(std::shared_ptr<ZAVHitSender> sender = nullptr);
    static std::string functionId() { return "_img"; }
    static std::string urlKey() { return "url"; }
    static std::string unrepeatableKey() { return "unrepeatable"; }
    static std::string additionalParamsKey() { return "additional_params"; }

    void evaluateTrackingTag(const Properties& properties) override;

    // "key=value" per entry of the map, each side URL-encoded, in the map's order.
    static void addDictionary(const ZAVObjectPtr& map, std::vector<std::string>& array);
    static std::string getQueryParametersStringFromArray(const std::vector<std::string>& array);
    std::shared_ptr<ZAVHitSender> getHitSender() const;

    // The ids are shared by every pixel tag of the process, under one lock.
    static bool idProcessed(const std::string& id);
    static void cacheUnrepeatableId(const std::string& id);
    static bool idInCache(const std::string& id);
    static bool idInPlist(const std::string& id);
    // Empties the memory cache only; the file keeps every id.
    static void clearCache();

  private:
    const std::shared_ptr<ZAVHitSender> sender_;
};

class ZAVDataLayerWrite : public ZAVTrackingTag {
  public:
    explicit ZAVDataLayerWrite(std::shared_ptr<ZAVDataLayer> dataLayer);
    static std::string functionId() { return "_dlw"; }
    static std::string valueKey() { return "value"; }
    static std::string clearPrefixKey() { return "clear_data_layer_prefix"; }

    void evaluateTrackingTag(const Properties& properties) override;
    void evaluateTrackingTagWithConverted(const Properties& properties,
                                          const ZAVConvertedValues& converted) override;
    // Malformed arguments are ignored without a message.
    void pushToDataLayer(const ZAVPValuePtr& value,
                         const ZAVConvertedValues& converted = ZAVConvertedValues::none());
    void clearPersistent(const ZAVPValuePtr& value);

    std::shared_ptr<ZAVDataLayer> dataLayer() const;
    void setDataLayer(std::shared_ptr<ZAVDataLayer> dataLayer);

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<ZAVDataLayer> dataLayer_;
};
