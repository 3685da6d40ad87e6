#pragma once
// Assembles one hit's parameters before it is sent: the create operations make a builder for each hit type,
// the setters add fields, the e-commerce records add indexed keys, and build() gives the record.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analytics/base/RUVHitRecord.h"
#include "analytics/hits/RUVEcommerce.h"
#include "platform/base/Value.h"

class RUVDictionaryBuilder {
  public:
    RUVDictionaryBuilder() = default;
    static std::shared_ptr<RUVDictionaryBuilder> create() { return std::make_shared<RUVDictionaryBuilder>(); }

    // Each sets "&t" first, then its arguments in order; strings as they are, numbers as their text, an
    // absent string or anything but a number as the null marker.
    static std::shared_ptr<RUVDictionaryBuilder> createAppView();
    static std::shared_ptr<RUVDictionaryBuilder> createScreenView();
    static std::shared_ptr<RUVDictionaryBuilder> createEventWithCategory(
        const std::optional<std::string>& category, const std::optional<std::string>& action,
        const std::optional<std::string>& label, const plat::Value& value);
    static std::shared_ptr<RUVDictionaryBuilder> createExceptionWithDescription(
        const std::optional<std::string>& description, const plat::Value& fatal);
    // As createExceptionWithDescription, recording no usage (the uncaught-exception reporter's own).
    static std::shared_ptr<RUVDictionaryBuilder> ruv_exceptionWithDescription(
        const std::optional<std::string>& description, const plat::Value& fatal);
    static std::shared_ptr<RUVDictionaryBuilder> createItemWithTransactionId(
        const std::optional<std::string>& transactionId, const std::optional<std::string>& name,
        const std::optional<std::string>& sku, const std::optional<std::string>& category,
        const plat::Value& price, const plat::Value& quantity,
        const std::optional<std::string>& currencyCode);
    static std::shared_ptr<RUVDictionaryBuilder> createSocialWithNetwork(
        const std::optional<std::string>& network, const std::optional<std::string>& action,
        const std::optional<std::string>& target);
    static std::shared_ptr<RUVDictionaryBuilder> createTimingWithCategory(
        const std::optional<std::string>& category, const plat::Value& interval,
        const std::optional<std::string>& name, const std::optional<std::string>& label);
    static std::shared_ptr<RUVDictionaryBuilder> createTransactionWithId(
        const std::optional<std::string>& transactionId, const std::optional<std::string>& affiliation,
        const plat::Value& revenue, const plat::Value& tax, const plat::Value& shipping,
        const std::optional<std::string>& currencyCode);

    static RUVHitValue valueForString(const std::optional<std::string>& value);
    static RUVHitValue valueForNumber(const plat::Value& value);

    // An absent key logs "nil key not allowed in setString" and changes nothing.
    RUVDictionaryBuilder& set(const std::optional<std::string>& value, const std::optional<std::string>& key);
    RUVDictionaryBuilder& ruv_set(const std::optional<std::string>& value,
                                  const std::optional<std::string>& key);
    // Copies a dictionary's string and null entries; other values are skipped with a warning.
    RUVDictionaryBuilder& setAll(const plat::Value& dictionary);
    // The stored text; empty for the null marker, and, with a warning, for a key never set.
    std::optional<std::string> get(const std::string& key) const;
    // Sets the eleven campaign keys from a URL's query (or the whole text when it has no "?"); a key the URL
    // lacks becomes the null marker.
    RUVDictionaryBuilder& setCampaignParametersFromUrl(const std::string& url);
    RUVDictionaryBuilder& setProductAction(std::shared_ptr<RUVEcommerceProductAction> action);
    // A null product or promotion is ignored with a warning.
    RUVDictionaryBuilder& addProduct(std::shared_ptr<RUVEcommerceProduct> product);
    RUVDictionaryBuilder& addProductImpression(std::shared_ptr<RUVEcommerceProduct> product,
                                               const std::optional<std::string>& impressionList,
                                               const std::optional<std::string>& impressionSource);
    RUVDictionaryBuilder& addPromotion(std::shared_ptr<RUVEcommercePromotion> promotion);

    // The hit: the parameters, then the product action, products, promotions and impression lists.
    RUVHitRecord build() const;

    const RUVHitRecord& parameters() const { return parameters_; }
    void setParameters(RUVHitRecord parameters) { parameters_ = std::move(parameters); }

  private:
    struct ImpressionList {
        std::string name;
        std::string source;
        std::vector<std::shared_ptr<RUVEcommerceProduct>> products;
    };

    static std::shared_ptr<RUVDictionaryBuilder> withHitType(const char* hitType);

    RUVHitRecord parameters_;
    // In order of first use; a list's source is the one it was first given.
    std::vector<ImpressionList> impressionLists_;
    std::vector<std::shared_ptr<RUVEcommerceProduct>> products_;
    std::vector<std::shared_ptr<RUVEcommercePromotion>> promotions_;
    std::shared_ptr<RUVEcommerceProductAction> productAction_;
};
