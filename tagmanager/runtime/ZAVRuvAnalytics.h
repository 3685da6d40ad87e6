#pragma once
// "_ua": turns a firing tag's parameters, and for e-commerce the data layer's contents, into analytics
// hits: one pass-through hit of the tag's fields, a classic transaction with one hit per item, or one
// enhanced e-commerce hit. Each evaluation opens the shared tracker "__VUZ_DEFAULT_TRACKER__", sends,
// and removes it again.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "analytics/hits/RUVEcommerce.h"
#include "platform/base/Regex.h"
#include "tagmanager/runtime/ZAVRuvAnalyticsBackend.h"
#include "tagmanager/runtime/ZAVTrackingTag.h"

class RUVLoggerImpl;

class ZAVRuvAnalytics : public ZAVTrackingTag {
  public:
    using TextMap = std::map<std::string, std::string>;
    static constexpr const char* kDefaultTrackerName = "__VUZ_DEFAULT_TRACKER__";

    // The analytics SDK's shared instance when no backend is given.
    explicit ZAVRuvAnalytics(std::shared_ptr<ZAVDataLayer> dataLayer,
                             std::shared_ptr<ZAVRuvAnalyticsBackend> backend = nullptr);
    static std::string functionId() { return "_ua"; }

    void evaluateTrackingTag(const Properties& properties) override;

    // True only for a present value whose boolean field is true.
    static bool checkBooleanPropertyForTag(const Properties& properties, const std::string& key);
    // The text form of the data layer's value; nothing for none or the null marker.
    std::optional<std::string> dataLayerString(const std::string& key) const;
    // A map value's pairs as texts, in order; nothing for anything else.
    static std::optional<TextMap> valueToStringMap(const ZAVPValuePtr& value);
    // The hit fields a hit starts from; "&aip" left out when it turns anonymising off.
    TextMap ruvFieldsWithAnalyticsFields(const ZAVPValuePtr& value) const;
    // Nothing for nothing; raises "IllegalArgumentException" for a non-list or a list holding a non-map.
    static ZAVObjectPtr getArrayOfDictionariesFromObject(const ZAVObjectPtr& object);
    // A number unchanged, a text scanned as a number; nothing otherwise.
    static std::optional<plat::Value> numberFromObject(const ZAVObjectPtr& object);

    std::shared_ptr<RUVEcommerceProduct> productFromDataLayerDictionary(const ZAVObjectPtr& map) const;
    static std::shared_ptr<RUVEcommercePromotion> promotionFromDataLayerDictionary(const ZAVObjectPtr& map);
    static std::shared_ptr<RUVEcommerceProductAction> actionDataFromDataLayerDictionary(
        const ZAVObjectPtr& map);

    const std::shared_ptr<ZAVDataLayer>& dataLayer() const { return dataLayer_; }
    std::shared_ptr<RUVLoggerImpl> logger() const;

  private:
    std::shared_ptr<ZAVRuvTracker> openTracker();
    void closeTracker(const std::shared_ptr<ZAVRuvTracker>& tracker);
    void setLoggerIfNecessary();
    void sendTransaction(const Properties& properties, ZAVRuvTracker& tracker);
    void sendEnhancedEcommerce(const Properties& properties, ZAVRuvTracker& tracker);
    TextMap transactionFieldsForTag(const Properties& properties) const;
    TextMap transactionItemFieldsForTag(const Properties& properties) const;

    const std::shared_ptr<ZAVDataLayer> dataLayer_;
    const std::shared_ptr<ZAVRuvAnalyticsBackend> backend_;
    const std::set<std::string> turnOffAnonymizeIpValues_{"", "0", "false"};
    const std::shared_ptr<const plat::Regex> productDimensionRegex_;
    const std::shared_ptr<const plat::Regex> productMetricRegex_;
    mutable std::mutex loggerMutex_;
    std::shared_ptr<RUVLoggerImpl> logger_;
};
