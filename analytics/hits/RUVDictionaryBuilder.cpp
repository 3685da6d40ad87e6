#include "analytics/hits/RUVDictionaryBuilder.h"

#include <algorithm>

#include "analytics/base/RUVFields.h"
#include "analytics/base/RUVStringUtil.h"
#include "analytics/base/RUVUsageTracker.h"
#include "analytics/base/RUVUtil.h"
#include "analytics/base/RUVWorker.h"

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::withHitType(const char* hitType) {
    auto builder = create();
    builder->parameters_[RUVFieldHitType] = std::string(hitType);
    return builder;
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::createAppView() {
    RUVUsageTracker::trackAction("createAppView");
    return withHitType(RUVHitTypeScreenView);
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::createScreenView() {
    RUVUsageTracker::trackAction("createScreenView");
    return withHitType(RUVHitTypeScreenView);
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::createEventWithCategory(
    const std::optional<std::string>& category, const std::optional<std::string>& action,
    const std::optional<std::string>& label, const plat::Value& value) {
    RUVUsageTracker::trackAction("createEventWithCategory:action:label:value:");
    auto b = withHitType(RUVHitTypeEvent);
    b->parameters_[RUVFieldEventCategory] = valueForString(category);
    b->parameters_[RUVFieldEventAction] = valueForString(action);
    b->parameters_[RUVFieldEventLabel] = valueForString(label);
    b->parameters_[RUVFieldEventValue] = valueForNumber(value);
    return b;
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::createExceptionWithDescription(
    const std::optional<std::string>& description, const plat::Value& fatal) {
    RUVUsageTracker::trackAction("createExceptionWithDescription:withFatal:");
    return ruv_exceptionWithDescription(description, fatal);
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::ruv_exceptionWithDescription(
    const std::optional<std::string>& description, const plat::Value& fatal) {
    auto b = withHitType(RUVHitTypeException);
    b->parameters_[RUVFieldExceptionFatal] = valueForNumber(fatal);
    b->parameters_[RUVFieldExceptionDescription] = valueForString(description);
    return b;
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::createItemWithTransactionId(
    const std::optional<std::string>& transactionId, const std::optional<std::string>& name,
    const std::optional<std::string>& sku, const std::optional<std::string>& category,
    const plat::Value& price, const plat::Value& quantity, const std::optional<std::string>& currencyCode) {
    RUVUsageTracker::trackAction(
        "createItemWithTransactionId:name:sku:category:price:quantity:currencyCode:");
    auto b = withHitType(RUVHitTypeItem);
    b->parameters_[RUVFieldTransactionId] = valueForString(transactionId);
    b->parameters_[RUVFieldItemName] = valueForString(name);
    b->parameters_[RUVFieldItemSku] = valueForString(sku);
    b->parameters_[RUVFieldItemCategory] = valueForString(category);
    b->parameters_[RUVFieldItemPrice] = valueForNumber(price);
    b->parameters_[RUVFieldItemQuantity] = valueForNumber(quantity);
    b->parameters_[RUVFieldCurrencyCode] = valueForString(currencyCode);
    return b;
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::createSocialWithNetwork(
    const std::optional<std::string>& network, const std::optional<std::string>& action,
    const std::optional<std::string>& target) {
    RUVUsageTracker::trackAction("createSocialWithNetwork:action:target:");
    auto b = withHitType(RUVHitTypeSocial);
    b->parameters_[RUVFieldSocialNetwork] = valueForString(network);
    b->parameters_[RUVFieldSocialAction] = valueForString(action);
    b->parameters_[RUVFieldSocialTarget] = valueForString(target);
    return b;
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::createTimingWithCategory(
    const std::optional<std::string>& category, const plat::Value& interval,
    const std::optional<std::string>& name, const std::optional<std::string>& label) {
    RUVUsageTracker::trackAction("createTimingWithCategory:interval:name:label:");
    auto b = withHitType(RUVHitTypeTiming);
    b->parameters_[RUVFieldTimingCategory] = valueForString(category);
    b->parameters_[RUVFieldTimingName] = valueForString(name);
    b->parameters_[RUVFieldTimingInterval] = valueForNumber(interval);
    b->parameters_[RUVFieldTimingLabel] = valueForString(label);
    return b;
}

std::shared_ptr<RUVDictionaryBuilder> RUVDictionaryBuilder::createTransactionWithId(
    const std::optional<std::string>& transactionId, const std::optional<std::string>& affiliation,
    const plat::Value& revenue, const plat::Value& tax, const plat::Value& shipping,
    const std::optional<std::string>& currencyCode) {
    RUVUsageTracker::trackAction("createTransactionWithId:affiliation:revenue:tax:shipping:currencyCode:");
    auto b = withHitType(RUVHitTypeTransaction);
    b->parameters_[RUVFieldTransactionId] = valueForString(transactionId);
    b->parameters_[RUVFieldTransactionAffiliation] = valueForString(affiliation);
    b->parameters_[RUVFieldTransactionRevenue] = valueForNumber(revenue);
    b->parameters_[RUVFieldTransactionTax] = valueForNumber(tax);
    b->parameters_[RUVFieldTransactionShipping] = valueForNumber(shipping);
    b->parameters_[RUVFieldCurrencyCode] = valueForString(currencyCode);
    return b;
}

RUVHitValue RUVDictionaryBuilder::valueForString(const std::optional<std::string>& value) {
    return RUVUtil::valueForString(value);
}

RUVHitValue RUVDictionaryBuilder::valueForNumber(const plat::Value& value) {
    return RUVUtil::valueForNumber(value);
}

RUVDictionaryBuilder& RUVDictionaryBuilder::set(const std::optional<std::string>& value,
                                                const std::optional<std::string>& key) {
    RUVUsageTracker::trackAction("set:forKey:");
    return ruv_set(value, key);
}

RUVDictionaryBuilder& RUVDictionaryBuilder::ruv_set(const std::optional<std::string>& value,
                                                    const std::optional<std::string>& key) {
    if (!key) {
        RUVWorker::sharedLogger()->warning("nil key not allowed in setString");
        return *this;
    }
    parameters_[*key] = value;
    return *this;
}

RUVDictionaryBuilder& RUVDictionaryBuilder::setAll(const plat::Value& dictionary) {
    RUVUsageTracker::trackAction("setAll:");
    const auto* entries = dictionary.dictionaryIf();
    if (!entries) {
        RUVWorker::sharedLogger()->warning(std::string("Unexpected value type: ") +
                                           RUVUtil::typeName(dictionary));
        return *this;
    }
    for (const auto& [key, value] : *entries) {
        if (value.isNull()) {
            parameters_[key] = std::nullopt;
        } else if (const std::string* text = value.stringIf()) {
            parameters_[key] = *text;
        } else {
            RUVWorker::sharedLogger()->warning(std::string("Unexpected value type: ") +
                                               RUVUtil::typeName(value));
        }
    }
    return *this;
}

std::optional<std::string> RUVDictionaryBuilder::get(const std::string& key) const {
    RUVUsageTracker::trackAction("dictionaryGet:");
    auto it = parameters_.find(key);
    if (it == parameters_.end()) {
        RUVWorker::sharedLogger()->warning("Unexpected type in Builder: (null)");
        return std::nullopt;
    }
    return it->second;
}

RUVDictionaryBuilder& RUVDictionaryBuilder::setCampaignParametersFromUrl(const std::string& url) {
    RUVUsageTracker::trackAction("setCampaignParametersFromUrl:");
    std::string query = RUVStringUtil::urlParams(url);
    if (query.empty()) query = url;
    auto params = RUVStringUtil::decodeParametersFromQuery(query);
    static const std::pair<const char*, const char*> kCampaignKeys[] = {
        {"gclid", RUVFieldGclid},
        {"dclid", RUVFieldDclid},
        {"gmob_t", RUVFieldGmobT},
        {"utm_source", RUVFieldCampaignSource},
        {"utm_medium", RUVFieldCampaignMedium},
        {"utm_campaign", RUVFieldCampaignName},
        {"utm_term", RUVFieldCampaignKeyword},
        {"utm_content", RUVFieldCampaignContent},
        {"utm_id", RUVFieldCampaignId},
        {"aclid", RUVFieldAclid},
        {"anid", RUVFieldAnid},
    };
    for (const auto& [urlKey, fieldKey] : kCampaignKeys) {
        auto it = params.find(urlKey);
        parameters_[fieldKey] = it == params.end() ? RUVHitValue() : RUVHitValue(it->second);
    }
    return *this;
}

RUVDictionaryBuilder& RUVDictionaryBuilder::setProductAction(
    std::shared_ptr<RUVEcommerceProductAction> action) {
    productAction_ = std::move(action);
    return *this;
}

RUVDictionaryBuilder& RUVDictionaryBuilder::addProduct(std::shared_ptr<RUVEcommerceProduct> product) {
    if (!product) {
        RUVWorker::sharedLogger()->warning("nil product not allowed in addProduct");
        return *this;
    }
    products_.push_back(std::move(product));
    return *this;
}

RUVDictionaryBuilder& RUVDictionaryBuilder::addProductImpression(
    std::shared_ptr<RUVEcommerceProduct> product, const std::optional<std::string>& impressionList,
    const std::optional<std::string>& impressionSource) {
    if (!product) return *this;
    std::string name = impressionList.value_or("");
    auto it = std::find_if(impressionLists_.begin(), impressionLists_.end(),
                           [&](const ImpressionList& l) { return l.name == name; });
    if (it == impressionLists_.end()) {
        impressionLists_.push_back({name, impressionSource.value_or(""), {}});
        it = impressionLists_.end() - 1;
    }
    it->products.push_back(std::move(product));
    return *this;
}

RUVDictionaryBuilder& RUVDictionaryBuilder::addPromotion(std::shared_ptr<RUVEcommercePromotion> promotion) {
    if (!promotion) {
        RUVWorker::sharedLogger()->warning("nil promotion not allowed in addPromotion");
        return *this;
    }
    promotions_.push_back(std::move(promotion));
    return *this;
}

RUVHitRecord RUVDictionaryBuilder::build() const {
    RUVHitRecord out = parameters_;
    auto merge = [&out](const RUVHitRecord& more) {
        for (const auto& [k, v] : more) out[k] = v;
    };
    if (productAction_) merge(productAction_->build());
    for (size_t i = 0; i < products_.size(); ++i) merge(products_[i]->buildWithIndex(i + 1));
    for (size_t i = 0; i < promotions_.size(); ++i) merge(promotions_[i]->buildWithIndex(i + 1));
    for (size_t l = 0; l < impressionLists_.size(); ++l) {
        const auto& list = impressionLists_[l];
        std::string prefix = RUVEcommerceFields::impressionListForIndex(l + 1);
        out[prefix + RUVImpressionListFieldName] = list.name;
        if (!list.source.empty()) out[prefix + RUVImpressionListFieldSource] = list.source;
        for (size_t j = 0; j < list.products.size(); ++j)
            merge(list.products[j]->buildWithListIndex(l + 1, j + 1));
    }
    return out;
}
