#include "tagmanager/runtime/ZAVRuvAnalytics.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "analytics/hits/RUVDictionaryBuilder.h"
#include "platform/base/Error.h"
#include "tagmanager/base/RUVLoggerImpl.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/values/ZAVTypes.h"

namespace {

const ZAVRuvAnalytics::TextMap& defaultTransactionMap() {
    static const ZAVRuvAnalytics::TextMap map = {
        {"transactionId", "&ti"},       {"transactionAffiliation", "&ta"}, {"transactionTax", "&tt"},
        {"transactionShipping", "&ts"}, {"transactionTotal", "&tr"},       {"transactionCurrency", "&cu"}};
    return map;
}

const ZAVRuvAnalytics::TextMap& defaultItemMap() {
    static const ZAVRuvAnalytics::TextMap map = {{"name", "&in"},  {"sku", "&ic"},      {"category", "&iv"},
                                                 {"price", "&ip"}, {"quantity", "&iq"}, {"currency", "&cu"}};
    return map;
}

const char* const kProductActions[] = {"detail", "checkout", "checkout_option", "click",
                                       "add",    "remove",   "purchase",        "refund"};

std::string textOf(const ZAVObjectPtr& object) {
    return ZAVTypes::objectToString(object)->textValue();
}

// A value present in a map (the null marker counts as absent: it is the data layer's "cleared").
ZAVObjectPtr entryOf(const ZAVObjectPtr& map, const std::string& key) {
    if (!map || !map->isMap()) return nullptr;
    auto value = map->objectForKey(key);
    return value == ZAVObject::nullMarker() ? nullptr : value;
}

std::optional<std::string> optionalText(const ZAVObjectPtr& map, const std::string& key) {
    auto value = entryOf(map, key);
    if (!value) return std::nullopt;
    return textOf(value);
}

RUVHitRecord hitRecord(const ZAVRuvAnalytics::TextMap& fields) {
    return RUVHitRecord(fields.begin(), fields.end());
}

// The digits of the first match's group as an index; a number too long for 64 bits is the largest index.
std::optional<uint64_t> customIndex(const plat::Regex& regex, const std::string& key) {
    auto match = regex.firstMatch(key);
    if (!match) return std::nullopt;
    errno = 0;
    unsigned long long index = std::strtoull(match->group(1).c_str(), nullptr, 10);
    if (errno == ERANGE) index = UINT64_MAX;
    return static_cast<uint64_t>(index);
}

// Compiled once for every tag: a compiled pattern is immutable and shared across threads, and a runtime is
// made for every container load.
const std::shared_ptr<const plat::Regex>& dimensionRegex() {
    static const auto regex = plat::Regex::create("dimension(\\d+)");
    return regex;
}
const std::shared_ptr<const plat::Regex>& metricRegex() {
    static const auto regex = plat::Regex::create("metric(\\d+)");
    return regex;
}

}  // namespace

ZAVRuvAnalytics::ZAVRuvAnalytics(std::shared_ptr<ZAVDataLayer> dataLayer,
                                 std::shared_ptr<ZAVRuvAnalyticsBackend> backend)
    : ZAVTrackingTag(functionId(), {}),
      dataLayer_(std::move(dataLayer)),
      backend_(backend ? std::move(backend) : ZAVRuvAnalyticsBackend::defaultBackend()),
      productDimensionRegex_(dimensionRegex()),
      productMetricRegex_(metricRegex()) {}

std::shared_ptr<RUVLoggerImpl> ZAVRuvAnalytics::logger() const {
    std::lock_guard<std::mutex> lock(loggerMutex_);
    return logger_;
}

void ZAVRuvAnalytics::setLoggerIfNecessary() {
    std::shared_ptr<RUVLoggerImpl> installed;
    {
        std::lock_guard<std::mutex> lock(loggerMutex_);
        if (logger_) return;
        logger_ = installed = std::make_shared<RUVLoggerImpl>();
    }
    backend_->setLogger(installed);
}

std::shared_ptr<ZAVRuvTracker> ZAVRuvAnalytics::openTracker() {
    return backend_->trackerWithTrackingId(kDefaultTrackerName);
}

void ZAVRuvAnalytics::closeTracker(const std::shared_ptr<ZAVRuvTracker>& tracker) {
    backend_->removeTrackerByName(tracker->name());
}

void ZAVRuvAnalytics::evaluateTrackingTag(const Properties& properties) {
    setLoggerIfNecessary();
    auto tracker = openTracker();
    if (!tracker) return;
    // Closed however the hit building ends: a tracker left open would stay the SDK's default tracker.
    struct Close {
        ZAVRuvAnalytics* tag;
        const std::shared_ptr<ZAVRuvTracker>& tracker;
        ~Close() { tag->closeTracker(tracker); }
    } close{this, tracker};
    tracker->setAllowIDFACollection(checkBooleanPropertyForTag(properties, "collect_adid"));
    if (checkBooleanPropertyForTag(properties, "enable_ecommerce")) {
        sendEnhancedEcommerce(properties, *tracker);
    } else if (checkBooleanPropertyForTag(properties, "analytics_pass_through")) {
        tracker->send(hitRecord(ruvFieldsWithAnalyticsFields(
            ZAVFunctionCallImplementation::propertyForKey(properties, "analytics_fields"))));
    } else if (checkBooleanPropertyForTag(properties, "track_transaction")) {
        sendTransaction(properties, *tracker);
    } else {
        ZAVLog::warning("Ignoring unknown tag.");
    }
}

bool ZAVRuvAnalytics::checkBooleanPropertyForTag(const Properties& properties, const std::string& key) {
    auto value = ZAVFunctionCallImplementation::propertyForKey(properties, key);
    return value && value->boolean();
}

std::optional<std::string> ZAVRuvAnalytics::dataLayerString(const std::string& key) const {
    auto value = dataLayer_ ? dataLayer_->get(key) : nullptr;
    if (!value || value == ZAVObject::nullMarker()) return std::nullopt;
    return textOf(value);
}

std::optional<ZAVRuvAnalytics::TextMap> ZAVRuvAnalytics::valueToStringMap(const ZAVPValuePtr& value) {
    if (!value || value->type() != ZAVPValue_Type_Map) return std::nullopt;
    auto map = ZAVTypes::valueToObject(value);
    if (!map || !map->isMap()) return std::nullopt;
    TextMap texts;
    for (const auto& [key, item] : map->entries()) texts[textOf(key)] = textOf(item);
    return texts;
}

ZAVRuvAnalytics::TextMap ZAVRuvAnalytics::ruvFieldsWithAnalyticsFields(const ZAVPValuePtr& value) const {
    auto fields = valueToStringMap(value);
    if (!fields) return {};
    auto aip = fields->find("&aip");
    if (aip != fields->end()) {
        std::string lower = aip->second;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (turnOffAnonymizeIpValues_.count(lower)) fields->erase(aip);
    }
    return *fields;
}

ZAVObjectPtr ZAVRuvAnalytics::getArrayOfDictionariesFromObject(const ZAVObjectPtr& object) {
    if (!object) return nullptr;
    if (!object->isList())
        throw plat::Exception("IllegalArgumentException", "Expected dictionary entry to be of type NSArray");
    for (const auto& item : object->items()) {
        if (!item || !item->isMap())
            throw plat::Exception("IllegalArgumentException",
                                  "Each element of the array should be of type NSDictionary");
    }
    return object;
}

std::optional<plat::Value> ZAVRuvAnalytics::numberFromObject(const ZAVObjectPtr& object) {
    ZAVObjectPtr number = object && object->isNumber() ? object : nullptr;
    if (object && object->isText()) number = ZAVTypes::numberWithString(object->textValue());
    if (!number) return std::nullopt;
    if (number->isIntegerNumber()) return plat::Value(number->int64Value());
    return plat::Value(number->doubleValue());
}

ZAVRuvAnalytics::TextMap ZAVRuvAnalytics::transactionFieldsForTag(const Properties& properties) const {
    auto given = ZAVFunctionCallImplementation::propertyForKey(properties, "transaction_datalayer_map");
    if (!given) return defaultTransactionMap();
    return valueToStringMap(given).value_or(TextMap());
}

ZAVRuvAnalytics::TextMap ZAVRuvAnalytics::transactionItemFieldsForTag(const Properties& properties) const {
    auto given = ZAVFunctionCallImplementation::propertyForKey(properties, "transaction_item_datalayer_map");
    if (!given) return defaultItemMap();
    return valueToStringMap(given).value_or(TextMap());
}

void ZAVRuvAnalytics::sendTransaction(const Properties& properties, ZAVRuvTracker& tracker) {
    std::vector<RUVHitRecord> hits;
    try {
        std::string account =
            ZAVTypes::valueToString(ZAVFunctionCallImplementation::propertyForKey(properties, "account"))
                ->textValue();
        auto transactionId = dataLayerString("transactionId");
        if (!transactionId) {
            ZAVLog::error("Cannot find transactionId in data layer.");
            return;
        }
        auto fields = ruvFieldsWithAnalyticsFields(
            ZAVFunctionCallImplementation::propertyForKey(properties, "analytics_fields"));
        RUVHitRecord transaction = hitRecord(fields);
        transaction["&tid"] = account;
        transaction["&t"] = "transaction";
        for (const auto& [key, field] : transactionFieldsForTag(properties)) {
            if (auto text = dataLayerString(key)) transaction[field] = *text;
        }
        hits.push_back(std::move(transaction));

        auto products =
            getArrayOfDictionariesFromObject(dataLayer_ ? dataLayer_->get("transactionProducts") : nullptr);
        const TextMap itemMap = transactionItemFieldsForTag(properties);
        for (const auto& product : products ? products->items() : ZAVObject::List()) {
            if (!product->objectForKey("name")) {
                ZAVLog::error("Unable to send transaction item hit due to missing 'name' field.");
                return;
            }
            RUVHitRecord item = hitRecord(fields);
            item["&t"] = "item";
            item["&ti"] = *transactionId;
            for (const auto& [key, field] : itemMap) {
                auto value = product->objectForKey(key);
                if (!value) continue;
                item[field] = value == ZAVObject::nullMarker() ? RUVHitValue() : RUVHitValue(textOf(value));
            }
            hits.push_back(std::move(item));
        }
    } catch (const plat::Exception& e) {
        if (e.name() != "IllegalArgumentException") throw;
        ZAVLog::error("Unable to send transaction: " + e.reason());
        return;
    }
    for (const auto& hit : hits) tracker.send(hit);
}

void ZAVRuvAnalytics::sendEnhancedEcommerce(const Properties& properties, ZAVRuvTracker& tracker) {
    RUVDictionaryBuilder builder;
    plat::Value::Dictionary fields;
    for (const auto& [key, value] : ruvFieldsWithAnalyticsFields(
             ZAVFunctionCallImplementation::propertyForKey(properties, "analytics_fields")))
        fields.set(key, plat::Value(value));
    builder.setAll(plat::Value(std::move(fields)));

    ZAVObjectPtr ecommerce;
    if (checkBooleanPropertyForTag(properties, "ecommerce_use_data_layer")) {
        auto fromLayer = dataLayer_ ? dataLayer_->get("ecommerce") : nullptr;
        if (fromLayer && fromLayer->isMap()) ecommerce = fromLayer;
    } else {
        // The tag hands over container values: as an object, a map parameter can be looked into.
        auto macroData = ZAVTypes::valueToObject(
            ZAVFunctionCallImplementation::propertyForKey(properties, "ecommerce_macro_data"));
        auto inner = entryOf(macroData, "ecommerce");
        if (inner && inner->isMap()) ecommerce = inner;
    }

    if (ecommerce) {
        auto currency = builder.parameters().find("&cu");
        bool noCurrency = currency == builder.parameters().end() || !currency->second;
        if (auto code = optionalText(ecommerce, "currencyCode"); noCurrency && code)
            builder.set(*code, "&cu");

        if (auto impressions = getArrayOfDictionariesFromObject(entryOf(ecommerce, "impressions"))) {
            for (const auto& impression : impressions->items())
                builder.addProductImpression(productFromDataLayerDictionary(impression),
                                             optionalText(impression, "list"),
                                             optionalText(impression, "source"));
        }

        ZAVObjectPtr promotions;
        bool click = entryOf(ecommerce, "promoClick") != nullptr;
        if (click) {
            promotions =
                getArrayOfDictionariesFromObject(entryOf(entryOf(ecommerce, "promoClick"), "promotions"));
        } else if (auto view = entryOf(ecommerce, "promoView")) {
            promotions = getArrayOfDictionariesFromObject(entryOf(view, "promotions"));
        }
        if (promotions && !promotions->items().empty()) {
            for (const auto& promotion : promotions->items())
                builder.addPromotion(promotionFromDataLayerDictionary(promotion));
            builder.set(std::string(click ? "click" : "view"), "&promoa");
        }

        for (const char* name : kProductActions) {
            auto entry = entryOf(ecommerce, name);
            if (!entry) continue;
            if (auto products = getArrayOfDictionariesFromObject(entryOf(entry, "products"))) {
                for (const auto& product : products->items())
                    builder.addProduct(productFromDataLayerDictionary(product));
            }
            auto actionField = entryOf(entry, "actionField");
            auto action = actionField && actionField->isMap() ? actionDataFromDataLayerDictionary(actionField)
                                                              : std::make_shared<RUVEcommerceProductAction>();
            action->setAction(std::string(name));
            builder.setProductAction(action);
            break;
        }
    }
    tracker.send(builder.build());
}

std::shared_ptr<RUVEcommerceProduct> ZAVRuvAnalytics::productFromDataLayerDictionary(
    const ZAVObjectPtr& map) const {
    auto product = std::make_shared<RUVEcommerceProduct>();
    if (auto v = optionalText(map, "id")) product->setId(v);
    if (auto v = optionalText(map, "name")) product->setName(v);
    if (auto v = optionalText(map, "brand")) product->setBrand(v);
    if (auto v = optionalText(map, "category")) product->setCategory(v);
    if (auto v = optionalText(map, "variant")) product->setVariant(v);
    if (auto v = optionalText(map, "coupon")) product->setCouponCode(v);
    if (auto n = numberFromObject(entryOf(map, "position"))) product->setPosition(*n);
    if (auto n = numberFromObject(entryOf(map, "price"))) product->setPrice(*n);
    if (auto n = numberFromObject(entryOf(map, "quantity"))) product->setQuantity(*n);
    for (const auto& [keyObject, value] : map->entries()) {
        if (!keyObject || !keyObject->isText() || value == ZAVObject::nullMarker()) continue;
        const std::string& key = keyObject->textValue();
        if (auto index = productDimensionRegex_ ? customIndex(*productDimensionRegex_, key) : std::nullopt) {
            product->setCustomDimension(*index, textOf(value));
        } else if (auto metric =
                       productMetricRegex_ ? customIndex(*productMetricRegex_, key) : std::nullopt) {
            if (auto n = numberFromObject(value)) product->setCustomMetric(*metric, *n);
        }
    }
    return product;
}

std::shared_ptr<RUVEcommercePromotion> ZAVRuvAnalytics::promotionFromDataLayerDictionary(
    const ZAVObjectPtr& map) {
    auto promotion = std::make_shared<RUVEcommercePromotion>();
    if (auto v = optionalText(map, "id")) promotion->setId(v);
    if (auto v = optionalText(map, "name")) promotion->setName(v);
    if (auto v = optionalText(map, "creative")) promotion->setCreative(v);
    if (auto v = optionalText(map, "position")) promotion->setPosition(v);
    return promotion;
}

std::shared_ptr<RUVEcommerceProductAction> ZAVRuvAnalytics::actionDataFromDataLayerDictionary(
    const ZAVObjectPtr& map) {
    auto action = std::make_shared<RUVEcommerceProductAction>();
    if (auto v = optionalText(map, "id")) action->setTransactionId(v);
    if (auto v = optionalText(map, "affiliation")) action->setAffiliation(v);
    if (auto v = optionalText(map, "coupon")) action->setCouponCode(v);
    if (auto v = optionalText(map, "list")) action->setProductActionList(v);
    if (auto v = optionalText(map, "option")) action->setCheckoutOption(v);
    if (auto n = numberFromObject(entryOf(map, "revenue"))) action->setRevenue(*n);
    if (auto n = numberFromObject(entryOf(map, "tax"))) action->setTax(*n);
    if (auto n = numberFromObject(entryOf(map, "shipping"))) action->setShipping(*n);
    if (auto n = numberFromObject(entryOf(map, "step"))) action->setCheckoutStep(*n);
    return action;
}
