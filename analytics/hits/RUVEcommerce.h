#pragma once
// Enhanced e-commerce records: a product, a promotion and the product action. Each holds its fields as
// name → text (or the null marker); the builder turns them into indexed hit keys.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "analytics/base/RUVHitRecord.h"
#include "platform/base/Value.h"

// The setters every record shares; they return the record itself so calls chain.
template <typename Derived>
class RUVEcommerceRecord {
  public:
    // An absent key logs "nil key not allowed in setString" and changes nothing.
    Derived& setString(const std::optional<std::string>& value, const std::optional<std::string>& key);
    const RUVHitRecord& parameters() const { return parameters_; }
    void setParameters(RUVHitRecord parameters) { parameters_ = std::move(parameters); }

  protected:
    // Numbers are kept as their text; anything but a number is the null marker.
    Derived& storeNumber(const plat::Value& value, const std::optional<std::string>& key);
    Derived& self() { return static_cast<Derived&>(*this); }
    RUVHitRecord parameters_;
};

class RUVEcommerceProduct : public RUVEcommerceRecord<RUVEcommerceProduct> {
  public:
    // An absent key logs "nil key not allowed in setNumber" and changes nothing.
    RUVEcommerceProduct& setNumber(const plat::Value& value, const std::optional<std::string>& key) {
        return storeNumber(value, key);
    }
    RUVEcommerceProduct& setId(const std::optional<std::string>& v);
    RUVEcommerceProduct& setName(const std::optional<std::string>& v);
    RUVEcommerceProduct& setBrand(const std::optional<std::string>& v);
    RUVEcommerceProduct& setCategory(const std::optional<std::string>& v);
    RUVEcommerceProduct& setVariant(const std::optional<std::string>& v);
    RUVEcommerceProduct& setPrice(const plat::Value& v);
    RUVEcommerceProduct& setQuantity(const plat::Value& v);
    RUVEcommerceProduct& setCouponCode(const std::optional<std::string>& v);
    RUVEcommerceProduct& setPosition(const plat::Value& v);
    RUVEcommerceProduct& setCustomDimension(uint64_t index, const std::optional<std::string>& v);
    RUVEcommerceProduct& setCustomMetric(uint64_t index, const plat::Value& v);

    // Keys "&pr<index><field>".
    RUVHitRecord buildWithIndex(uint64_t index) const;
    // Keys "&il<listIndex>pi<index><field>".
    RUVHitRecord buildWithListIndex(uint64_t listIndex, uint64_t index) const;
};

class RUVEcommercePromotion : public RUVEcommerceRecord<RUVEcommercePromotion> {
  public:
    RUVEcommercePromotion& setId(const std::optional<std::string>& v);
    RUVEcommercePromotion& setName(const std::optional<std::string>& v);
    RUVEcommercePromotion& setCreative(const std::optional<std::string>& v);
    RUVEcommercePromotion& setPosition(const std::optional<std::string>& v);

    // Keys "&promo<index><field>".
    RUVHitRecord buildWithIndex(uint64_t index) const;
};

class RUVEcommerceProductAction : public RUVEcommerceRecord<RUVEcommerceProductAction> {
  public:
    RUVEcommerceProductAction& setNumber(const plat::Value& value, const std::optional<std::string>& key) {
        return storeNumber(value, key);
    }
    RUVEcommerceProductAction& setAction(const std::optional<std::string>& v);
    RUVEcommerceProductAction& setTransactionId(const std::optional<std::string>& v);
    RUVEcommerceProductAction& setAffiliation(const std::optional<std::string>& v);
    RUVEcommerceProductAction& setRevenue(const plat::Value& v);
    RUVEcommerceProductAction& setTax(const plat::Value& v);
    RUVEcommerceProductAction& setShipping(const plat::Value& v);
    RUVEcommerceProductAction& setCouponCode(const std::optional<std::string>& v);
    RUVEcommerceProductAction& setCheckoutStep(const plat::Value& v);
    RUVEcommerceProductAction& setCheckoutOption(const std::optional<std::string>& v);
    RUVEcommerceProductAction& setProductActionList(const std::optional<std::string>& v);
    RUVEcommerceProductAction& setProductListSource(const std::optional<std::string>& v);

    // Its names are already hit keys.
    RUVHitRecord build() const { return parameters_; }
};
