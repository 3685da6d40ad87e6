#include "analytics/hits/RUVEcommerce.h"

#include "analytics/base/RUVFields.h"
#include "analytics/base/RUVUtil.h"
#include "analytics/base/RUVWorker.h"

template <typename Derived>
Derived& RUVEcommerceRecord<Derived>::setString(const std::optional<std::string>& value,
                                                const std::optional<std::string>& key) {
    if (!key) {
        RUVWorker::sharedLogger()->warning("nil key not allowed in setString");
        return self();
    }
    parameters_[*key] = RUVUtil::valueForString(value);
    return self();
}

template <typename Derived>
Derived& RUVEcommerceRecord<Derived>::storeNumber(const plat::Value& value,
                                                  const std::optional<std::string>& key) {
    if (!key) {
        RUVWorker::sharedLogger()->warning("nil key not allowed in setNumber");
        return self();
    }
    parameters_[*key] = RUVUtil::valueForNumber(value);
    return self();
}

template class RUVEcommerceRecord<RUVEcommerceProduct>;
template class RUVEcommerceRecord<RUVEcommercePromotion>;
template class RUVEcommerceRecord<RUVEcommerceProductAction>;

// Product.
RUVEcommerceProduct& RUVEcommerceProduct::setId(const std::optional<std::string>& v) {
    return setString(v, RUVProductFieldId);
}
RUVEcommerceProduct& RUVEcommerceProduct::setName(const std::optional<std::string>& v) {
    return setString(v, RUVProductFieldName);
}
RUVEcommerceProduct& RUVEcommerceProduct::setBrand(const std::optional<std::string>& v) {
    return setString(v, RUVProductFieldBrand);
}
RUVEcommerceProduct& RUVEcommerceProduct::setCategory(const std::optional<std::string>& v) {
    return setString(v, RUVProductFieldCategory);
}
RUVEcommerceProduct& RUVEcommerceProduct::setVariant(const std::optional<std::string>& v) {
    return setString(v, RUVProductFieldVariant);
}
RUVEcommerceProduct& RUVEcommerceProduct::setPrice(const plat::Value& v) {
    return setNumber(v, RUVProductFieldPrice);
}
RUVEcommerceProduct& RUVEcommerceProduct::setQuantity(const plat::Value& v) {
    return setNumber(v, RUVProductFieldQuantity);
}
RUVEcommerceProduct& RUVEcommerceProduct::setCouponCode(const std::optional<std::string>& v) {
    return setString(v, RUVProductFieldCouponCode);
}
RUVEcommerceProduct& RUVEcommerceProduct::setPosition(const plat::Value& v) {
    return setNumber(v, RUVProductFieldPosition);
}
RUVEcommerceProduct& RUVEcommerceProduct::setCustomDimension(uint64_t index,
                                                             const std::optional<std::string>& v) {
    return setString(v, RUVFields::customDimensionForIndex(index));
}
RUVEcommerceProduct& RUVEcommerceProduct::setCustomMetric(uint64_t index, const plat::Value& v) {
    return setNumber(v, RUVFields::customMetricForIndex(index));
}

RUVHitRecord RUVEcommerceProduct::buildWithIndex(uint64_t index) const {
    RUVHitRecord out;
    for (const auto& [name, value] : parameters_)
        out[RUVEcommerceFields::productFieldForIndex(index, name)] = value;
    return out;
}

RUVHitRecord RUVEcommerceProduct::buildWithListIndex(uint64_t listIndex, uint64_t index) const {
    RUVHitRecord out;
    std::string list = RUVEcommerceFields::impressionListForIndex(listIndex);
    for (const auto& [name, value] : parameters_) {
        out[RUVEcommerceFields::productImpressionForList(list, index, name)] = value;
    }
    return out;
}

// Promotion.
RUVEcommercePromotion& RUVEcommercePromotion::setId(const std::optional<std::string>& v) {
    return setString(v, RUVPromotionFieldId);
}
RUVEcommercePromotion& RUVEcommercePromotion::setName(const std::optional<std::string>& v) {
    return setString(v, RUVPromotionFieldName);
}
RUVEcommercePromotion& RUVEcommercePromotion::setCreative(const std::optional<std::string>& v) {
    return setString(v, RUVPromotionFieldCreative);
}
RUVEcommercePromotion& RUVEcommercePromotion::setPosition(const std::optional<std::string>& v) {
    return setString(v, RUVPromotionFieldPosition);
}

RUVHitRecord RUVEcommercePromotion::buildWithIndex(uint64_t index) const {
    RUVHitRecord out;
    for (const auto& [name, value] : parameters_)
        out[RUVEcommerceFields::promotionForIndex(index, name)] = value;
    return out;
}

// Product action.
RUVEcommerceProductAction& RUVEcommerceProductAction::setAction(const std::optional<std::string>& v) {
    return setString(v, RUVProductActionFieldAction);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setTransactionId(const std::optional<std::string>& v) {
    return setString(v, RUVFieldTransactionId);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setAffiliation(const std::optional<std::string>& v) {
    return setString(v, RUVFieldTransactionAffiliation);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setRevenue(const plat::Value& v) {
    return setNumber(v, RUVFieldTransactionRevenue);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setTax(const plat::Value& v) {
    return setNumber(v, RUVFieldTransactionTax);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setShipping(const plat::Value& v) {
    return setNumber(v, RUVFieldTransactionShipping);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setCouponCode(const std::optional<std::string>& v) {
    return setString(v, RUVProductActionFieldCouponCode);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setCheckoutStep(const plat::Value& v) {
    return setNumber(v, RUVProductActionFieldCheckoutStep);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setCheckoutOption(const std::optional<std::string>& v) {
    return setString(v, RUVProductActionFieldCheckoutOption);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setProductActionList(
    const std::optional<std::string>& v) {
    return setString(v, RUVProductActionFieldList);
}
RUVEcommerceProductAction& RUVEcommerceProductAction::setProductListSource(
    const std::optional<std::string>& v) {
    return setString(v, RUVProductActionFieldListSource);
}
