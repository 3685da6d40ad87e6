#pragma once
// The vocabulary of a hit: field keys, hit types, e-commerce field names and the keys made by index.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* RUVFieldHitType = "&t";
inline constexpr const char* RUVFieldProtocolVersion = "&v";
inline constexpr const char* RUVFieldTrackingId = "&tid";
inline constexpr const char* RUVFieldClientId = "&cid";
inline constexpr const char* RUVFieldDataSource = "&ds";
inline constexpr const char* RUVFieldSdkVersion = "&_v";
inline constexpr const char* RUVFieldAnonymizeIp = "&aip";
inline constexpr const char* RUVFieldSessionControl = "&sc";
inline constexpr const char* RUVFieldDeviceModel = "&dm";
inline constexpr const char* RUVFieldScreenResolution = "&sr";
inline constexpr const char* RUVFieldLanguage = "&ul";
inline constexpr const char* RUVFieldNonInteraction = "&ni";
inline constexpr const char* RUVFieldScreenName = "&cd";
inline constexpr const char* RUVFieldAdnetId = "&a";
inline constexpr const char* RUVFieldAppName = "&an";
inline constexpr const char* RUVFieldAppVersion = "&av";
inline constexpr const char* RUVFieldAppId = "&aid";
inline constexpr const char* RUVFieldAppInstallerId = "&aiid";
inline constexpr const char* RUVFieldUserId = "&uid";
inline constexpr const char* RUVFieldEventCategory = "&ec";
inline constexpr const char* RUVFieldEventAction = "&ea";
inline constexpr const char* RUVFieldEventLabel = "&el";
inline constexpr const char* RUVFieldEventValue = "&ev";
inline constexpr const char* RUVFieldSocialNetwork = "&sn";
inline constexpr const char* RUVFieldSocialAction = "&sa";
inline constexpr const char* RUVFieldSocialTarget = "&st";
inline constexpr const char* RUVFieldTransactionId = "&ti";
inline constexpr const char* RUVFieldTransactionAffiliation = "&ta";
inline constexpr const char* RUVFieldTransactionRevenue = "&tr";
inline constexpr const char* RUVFieldTransactionShipping = "&ts";
inline constexpr const char* RUVFieldTransactionTax = "&tt";
inline constexpr const char* RUVFieldCurrencyCode = "&cu";
inline constexpr const char* RUVFieldItemPrice = "&ip";
inline constexpr const char* RUVFieldItemQuantity = "&iq";
inline constexpr const char* RUVFieldItemSku = "&ic";
inline constexpr const char* RUVFieldItemName = "&in";
inline constexpr const char* RUVFieldItemCategory = "&iv";
inline constexpr const char* RUVFieldCampaignSource = "&cs";
inline constexpr const char* RUVFieldCampaignMedium = "&cm";
inline constexpr const char* RUVFieldCampaignName = "&cn";
inline constexpr const char* RUVFieldCampaignKeyword = "&ck";
inline constexpr const char* RUVFieldCampaignContent = "&cc";
inline constexpr const char* RUVFieldCampaignId = "&ci";
inline constexpr const char* RUVFieldAclid = "&aclid";
inline constexpr const char* RUVFieldAnid = "&anid";
inline constexpr const char* RUVFieldGclid = "&gclid";
inline constexpr const char* RUVFieldDclid = "&dclid";
inline constexpr const char* RUVFieldGmobT = "&gmob_t";
inline constexpr const char* RUVFieldTimingCategory = "&utc";
inline constexpr const char* RUVFieldTimingName = "&utv";
inline constexpr const char* RUVFieldTimingInterval = "&utt";
inline constexpr const char* RUVFieldTimingLabel = "&utl";
inline constexpr const char* RUVFieldExceptionDescription = "&exd";
inline constexpr const char* RUVFieldExceptionFatal = "&exf";
inline constexpr const char* RUVFieldSampleRate = "&sf";
inline constexpr const char* RUVFieldIdfa = "&idfa";
inline constexpr const char* RUVFieldAdTargetingEnabled = "&ate";
inline constexpr const char* RUVFieldQueueTime = "&qt";
inline constexpr const char* RUVFieldCacheBuster = "&z";
inline constexpr const char* RUVFieldUsage = "&_u";
inline constexpr const char* RUVFieldHitTime = "&ht";
inline constexpr const char* RUVFieldHitSequence = "&_s";
inline constexpr const char* RUVFieldUseSecure = "useSecure";
inline constexpr const char* RUVFieldCrc = "&_crc";

// Every field key, in table order.
inline constexpr std::array<const char*, 64> RUVFieldKeyTable{
    RUVFieldHitType,
    RUVFieldProtocolVersion,
    RUVFieldTrackingId,
    RUVFieldClientId,
    RUVFieldDataSource,
    RUVFieldSdkVersion,
    RUVFieldAnonymizeIp,
    RUVFieldSessionControl,
    RUVFieldDeviceModel,
    RUVFieldScreenResolution,
    RUVFieldLanguage,
    RUVFieldNonInteraction,
    RUVFieldScreenName,
    RUVFieldAdnetId,
    RUVFieldAppName,
    RUVFieldAppVersion,
    RUVFieldAppId,
    RUVFieldAppInstallerId,
    RUVFieldUserId,
    RUVFieldEventCategory,
    RUVFieldEventAction,
    RUVFieldEventLabel,
    RUVFieldEventValue,
    RUVFieldSocialNetwork,
    RUVFieldSocialAction,
    RUVFieldSocialTarget,
    RUVFieldTransactionId,
    RUVFieldTransactionAffiliation,
    RUVFieldTransactionRevenue,
    RUVFieldTransactionShipping,
    RUVFieldTransactionTax,
    RUVFieldCurrencyCode,
    RUVFieldItemPrice,
    RUVFieldItemQuantity,
    RUVFieldItemSku,
    RUVFieldItemName,
    RUVFieldItemCategory,
    RUVFieldCampaignSource,
    RUVFieldCampaignMedium,
    RUVFieldCampaignName,
    RUVFieldCampaignKeyword,
    RUVFieldCampaignContent,
    RUVFieldCampaignId,
    RUVFieldAclid,
    RUVFieldAnid,
    RUVFieldGclid,
    RUVFieldDclid,
    RUVFieldGmobT,
    RUVFieldTimingCategory,
    RUVFieldTimingName,
    RUVFieldTimingInterval,
    RUVFieldTimingLabel,
    RUVFieldExceptionDescription,
    RUVFieldExceptionFatal,
    RUVFieldSampleRate,
    RUVFieldIdfa,
    RUVFieldAdTargetingEnabled,
    RUVFieldQueueTime,
    RUVFieldCacheBuster,
    RUVFieldUsage,
    RUVFieldHitTime,
    RUVFieldHitSequence,
    RUVFieldUseSecure,
    RUVFieldCrc,
};

inline constexpr const char* RUVHitTypeAppView = "appview";
inline constexpr const char* RUVHitTypeScreenView = "screenview";
inline constexpr const char* RUVHitTypeEvent = "event";
inline constexpr const char* RUVHitTypeSocial = "social";
inline constexpr const char* RUVHitTypeTransaction = "transaction";
inline constexpr const char* RUVHitTypeItem = "item";
inline constexpr const char* RUVHitTypeException = "exception";
inline constexpr const char* RUVHitTypeTiming = "timing";
inline constexpr const char* RUVHitTypeData = "data";

// Enhanced e-commerce field names (the transaction keys of a product action are the RUVFieldTransaction*
// keys).
inline constexpr const char* RUVProductFieldId = "id";
inline constexpr const char* RUVProductFieldName = "nm";
inline constexpr const char* RUVProductFieldBrand = "br";
inline constexpr const char* RUVProductFieldCategory = "ca";
inline constexpr const char* RUVProductFieldVariant = "va";
inline constexpr const char* RUVProductFieldPrice = "pr";
inline constexpr const char* RUVProductFieldQuantity = "qt";
inline constexpr const char* RUVProductFieldCouponCode = "cc";
inline constexpr const char* RUVProductFieldPosition = "ps";
inline constexpr const char* RUVProductActionFieldAction = "&pa";
inline constexpr const char* RUVProductActionFieldCouponCode = "&tcc";
inline constexpr const char* RUVProductActionFieldCheckoutStep = "&cos";
inline constexpr const char* RUVProductActionFieldCheckoutOption = "&col";
inline constexpr const char* RUVProductActionFieldList = "&pal";
inline constexpr const char* RUVProductActionFieldListSource = "&pls";
inline constexpr const char* RUVImpressionListFieldName = "nm";
inline constexpr const char* RUVImpressionListFieldSource = "ls";
inline constexpr const char* RUVPromotionFieldId = "id";
inline constexpr const char* RUVPromotionFieldName = "nm";
inline constexpr const char* RUVPromotionFieldCreative = "cr";
inline constexpr const char* RUVPromotionFieldPosition = "ps";
inline constexpr const char* RUVFieldPromotionAction = "&promoa";
inline constexpr const char* RUVPromotionActionView = "view";
inline constexpr const char* RUVPromotionActionClick = "click";

class RUVFields {
  public:
    static std::string contentGroupForIndex(uint64_t index);
    static std::string customDimensionForIndex(uint64_t index);
    static std::string customMetricForIndex(uint64_t index);
    RUVFields() = delete;
};

class RUVEcommerceFields {
  public:
    static std::string stripAmpersandIfPresent(std::string_view text);
    // "&pr<index><suffix>", "&pr<index>" without a suffix; a suffix loses its leading "&".
    static std::string productFieldForIndex(uint64_t index, const std::optional<std::string>& suffix);
    static std::string impressionListForIndex(uint64_t index);
    // "<listPrefix>pi<index><suffix>".
    static std::string productImpressionForList(std::string_view listPrefix, uint64_t index,
                                                const std::optional<std::string>& suffix);
    static std::string promotionForIndex(uint64_t index, const std::optional<std::string>& suffix);
    RUVEcommerceFields() = delete;
};
