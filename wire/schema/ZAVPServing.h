#pragma once
// The serving schema: the compiled container resource, the supplemented resource, experiments, the envelope
// and the extension that turns nested values into value indices.
#include <cstdint>

#include "wire/ZAVWireGeneratedMessage.h"
#include "wire/schema/ZAVPTypeSystem.h"
#include "wire/schema/ZAVWireSettings.h"

enum ZAVPResourceType : int32_t {
    ZAVPResourceType_JsResource = 1,
    ZAVPResourceType_NsResource = 2,
    ZAVPResourceType_PixelCollection = 3,
    ZAVPResourceType_SetCookie = 4,
    ZAVPResourceType_GetCookie = 5,
    ZAVPResourceType_ClearCache = 6,
    ZAVPResourceType_RawProto = 7,
    ZAVPResourceType_ObsoleteMobileResource = 8,
    ZAVPResourceType_ExperimentApi = 9,
    ZAVPResourceType_AndroidResource = 10,
    ZAVPResourceType_IosResource = 11,
};
struct ZAVPResourceTypeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVPResourceState : int32_t {
    ZAVPResourceState_Preview = 1,
    ZAVPResourceState_Live = 2,
};
struct ZAVPResourceStateEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVPSupplementedResourceId_ResourceType : int32_t {
    ZAVPSupplementedResourceId_ResourceType_Resource = 1,
    ZAVPSupplementedResourceId_ResourceType_Settings = 2,
    ZAVPSupplementedResourceId_ResourceType_Experiment = 3,
};
struct ZAVPSupplementedResourceId_ResourceTypeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVPCacheOption_CacheLevel : int32_t {
    ZAVPCacheOption_CacheLevel_NoCache = 1,
    ZAVPCacheOption_CacheLevel_Private = 2,
    ZAVPCacheOption_CacheLevel_Public = 3,
};
struct ZAVPCacheOption_CacheLevelEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

class ZAVPResource;
class ZAVPProperty;
class ZAVPFunctionCall;
class ZAVPRule;
class ZAVPServingValue;
class ZAVPCacheOption;
class ZAVPSupplementedResourceId;
class ZAVPContainer;
class ZAVPSupplementedResource;
class ZAVPSupplemental;
class ZAVPRuvExperimentSupplemental;
class ZAVPRuvExperimentRandom;
class ZAVPRuvServerSideExperimentSupplemental;
class ZAVPRuvServerSideExperimentCombination;
class ZAVPRuvServerSideExperimentWeightBucket;

class ZAVPCacheOption final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("level", 1,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(1), "ZAVPCacheOption_CacheLevel"),
        ZAVWireFieldRecord("expirationSeconds", 2, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("gcacheExpirationSeconds", 3, ZAVWireFieldOptional, ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPCacheOption, kFields)
    ZAVWIRE_ENUM_FIELD(ZAVPCacheOption_CacheLevel, level, Level, 0)
    ZAVWIRE_SCALAR_FIELD(int32_t, expirationSeconds, ExpirationSeconds, 1)
    ZAVWIRE_SCALAR_FIELD(int32_t, gcacheExpirationSeconds, GcacheExpirationSeconds, 2)
};

class ZAVPResource final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("keyArray", 1, ZAVWireFieldRepeated, ZAVWireTypeString),
        ZAVWireFieldRecord("valueArray", 2, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPValue"),
        ZAVWireFieldRecord("propertyArray", 3, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPProperty"),
        ZAVWireFieldRecord("macroArray", 4, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPFunctionCall"),
        ZAVWireFieldRecord("tagArray", 5, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPFunctionCall"),
        ZAVWireFieldRecord("predicateArray", 6, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVPFunctionCall"),
        ZAVWireFieldRecord("ruleArray", 7, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPRule"),
        ZAVWireFieldRecord("previewAuthCode", 9, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("malwareScanAuthCode", 10, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("templateVersionSet", 12, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeString, ZAVWireDefaultString("")),
        ZAVWireFieldRecord("version", 13, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("liveJsCacheOption", 14, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVPCacheOption"),
        ZAVWireFieldRecord("reportingSampleRate", 15, ZAVWireFieldOptional, ZAVWireTypeFloat),
        ZAVWireFieldRecord("usageContextArray", 16, ZAVWireFieldRepeated, ZAVWireTypeString),
        ZAVWireFieldRecord("resourceFormatVersion", 17, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt32, ZAVWireDefaultInt32(0)),
        ZAVWireFieldRecord("obsoleteEnableAutoEventTracking", 18,
                           ZAVWireFieldOptional | ZAVWireFieldTextFormatNameCustom, ZAVWireTypeBool),
        ZAVWireFieldRecord("supplementalArray", 19, ZAVWireFieldRepeated, ZAVWireTypeString),
        ZAVWireFieldRecord("triggerCompilationEnabled", 20,
                           ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeBool,
                           ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("zediveDomainAccount", 21, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPResource, kFields)
    ZAVWIRE_ARRAY_FIELD(keyArray, KeyArray, 0)
    ZAVWIRE_ARRAY_FIELD(valueArray, ValueArray, 1)
    ZAVWIRE_ARRAY_FIELD(propertyArray, PropertyArray, 2)
    ZAVWIRE_ARRAY_FIELD(macroArray, MacroArray, 3)
    ZAVWIRE_ARRAY_FIELD(tagArray, TagArray, 4)
    ZAVWIRE_ARRAY_FIELD(predicateArray, PredicateArray, 5)
    ZAVWIRE_ARRAY_FIELD(ruleArray, RuleArray, 6)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, previewAuthCode, PreviewAuthCode, 7)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, malwareScanAuthCode, MalwareScanAuthCode, 8)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, templateVersionSet, TemplateVersionSet, 9)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, version, Version, 10)
    ZAVWIRE_OBJECT_FIELD(ZAVPCacheOption, liveJsCacheOption, LiveJsCacheOption, 11)
    ZAVWIRE_SCALAR_FIELD(float, reportingSampleRate, ReportingSampleRate, 12)
    ZAVWIRE_ARRAY_FIELD(usageContextArray, UsageContextArray, 13)
    ZAVWIRE_SCALAR_FIELD(int32_t, resourceFormatVersion, ResourceFormatVersion, 14)
    ZAVWIRE_SCALAR_FIELD(bool, obsoleteEnableAutoEventTracking, ObsoleteEnableAutoEventTracking, 15)
    ZAVWIRE_ARRAY_FIELD(supplementalArray, SupplementalArray, 16)
    ZAVWIRE_SCALAR_FIELD(bool, triggerCompilationEnabled, TriggerCompilationEnabled, 17)
    ZAVWIRE_SCALAR_FIELD(bool, zediveDomainAccount, ZediveDomainAccount, 18)
};

class ZAVPProperty final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("key", 1, ZAVWireFieldRequired, ZAVWireTypeInt32),
        ZAVWireFieldRecord("value", 2, ZAVWireFieldRequired, ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPProperty, kFields)
    ZAVWIRE_SCALAR_FIELD(int32_t, key, Key, 0)
    ZAVWIRE_SCALAR_FIELD(int32_t, value, Value, 1)
};

class ZAVPFunctionCall final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("serverSide", 1, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("function", 2, ZAVWireFieldRequired, ZAVWireTypeInt32),
        ZAVWireFieldRecord("propertyArray", 3, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("name", 4, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("liveOnly", 6, ZAVWireFieldOptional, ZAVWireTypeBool),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPFunctionCall, kFields)
    ZAVWIRE_SCALAR_FIELD(bool, serverSide, ServerSide, 0)
    ZAVWIRE_SCALAR_FIELD(int32_t, function, Function, 1)
    ZAVWIRE_ARRAY_FIELD(propertyArray, PropertyArray, 2)
    ZAVWIRE_SCALAR_FIELD(int32_t, name, Name, 3)
    ZAVWIRE_SCALAR_FIELD(bool, liveOnly, LiveOnly, 4)
};

class ZAVPRule final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("positivePredicateArray", 1, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("negativePredicateArray", 2, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("addTagArray", 3, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("removeTagArray", 4, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("addTagRuleNameArray", 5, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("removeTagRuleNameArray", 6, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("addMacroArray", 7, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("removeMacroArray", 8, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("addMacroRuleNameArray", 9, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("removeMacroRuleNameArray", 10, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("addTagRuleTriggerIdArray", 11, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("removeTagRuleTriggerIdArray", 12, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("addMacroRuleTriggerIdArray", 13, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("removeMacroRuleTriggerIdArray", 14, ZAVWireFieldRepeated, ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPRule, kFields)
    ZAVWIRE_ARRAY_FIELD(positivePredicateArray, PositivePredicateArray, 0)
    ZAVWIRE_ARRAY_FIELD(negativePredicateArray, NegativePredicateArray, 1)
    ZAVWIRE_ARRAY_FIELD(addTagArray, AddTagArray, 2)
    ZAVWIRE_ARRAY_FIELD(removeTagArray, RemoveTagArray, 3)
    ZAVWIRE_ARRAY_FIELD(addTagRuleNameArray, AddTagRuleNameArray, 4)
    ZAVWIRE_ARRAY_FIELD(removeTagRuleNameArray, RemoveTagRuleNameArray, 5)
    ZAVWIRE_ARRAY_FIELD(addMacroArray, AddMacroArray, 6)
    ZAVWIRE_ARRAY_FIELD(removeMacroArray, RemoveMacroArray, 7)
    ZAVWIRE_ARRAY_FIELD(addMacroRuleNameArray, AddMacroRuleNameArray, 8)
    ZAVWIRE_ARRAY_FIELD(removeMacroRuleNameArray, RemoveMacroRuleNameArray, 9)
    ZAVWIRE_ARRAY_FIELD(addTagRuleTriggerIdArray, AddTagRuleTriggerIdArray, 10)
    ZAVWIRE_ARRAY_FIELD(removeTagRuleTriggerIdArray, RemoveTagRuleTriggerIdArray, 11)
    ZAVWIRE_ARRAY_FIELD(addMacroRuleTriggerIdArray, AddMacroRuleTriggerIdArray, 12)
    ZAVWIRE_ARRAY_FIELD(removeMacroRuleTriggerIdArray, RemoveMacroRuleTriggerIdArray, 13)
};

class ZAVPServingValue final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("listItemArray", 1, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("mapKeyArray", 2, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("mapValueArray", 3, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("macroReference", 4, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("templateTokenArray", 5, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("macroNameReference", 6, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("tagReference", 7, ZAVWireFieldOptional, ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPServingValue, kFields)
    ZAVWIRE_ARRAY_FIELD(listItemArray, ListItemArray, 0)
    ZAVWIRE_ARRAY_FIELD(mapKeyArray, MapKeyArray, 1)
    ZAVWIRE_ARRAY_FIELD(mapValueArray, MapValueArray, 2)
    ZAVWIRE_SCALAR_FIELD(int32_t, macroReference, MacroReference, 3)
    ZAVWIRE_ARRAY_FIELD(templateTokenArray, TemplateTokenArray, 4)
    ZAVWIRE_SCALAR_FIELD(int32_t, macroNameReference, MacroNameReference, 5)
    ZAVWIRE_SCALAR_FIELD(int32_t, tagReference, TagReference, 6)
    // The extension ZAVPServingValue_ext (number 101 of ZAVPValue).
    static const ZAVWireExtensionField& ext();
};

class ZAVPSupplementedResourceId final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord(
            "type", 1, ZAVWireFieldRequired | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
            ZAVWireTypeEnum, ZAVWireDefaultInt32(1), "ZAVPSupplementedResourceId_ResourceType"),
        ZAVWireFieldRecord("id_p", 2, ZAVWireFieldRequired, ZAVWireTypeString),
        ZAVWireFieldRecord("version", 3, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("settingsType", 4, ZAVWireFieldOptional, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPSupplementedResourceId, kFields)
    ZAVWIRE_ENUM_FIELD(ZAVPSupplementedResourceId_ResourceType, type, Type, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, id_p, Id_p, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, version, Version, 2)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, settingsType, SettingsType, 3)
};

class ZAVPSupplementedResource final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("supplementalArray", 1, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVPSupplemental"),
        ZAVWireFieldRecord("resource", 2, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "ZAVPResource"),
        ZAVWireFieldRecord("fingerprint", 3, ZAVWireFieldOptional, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPSupplementedResource, kFields)
    ZAVWIRE_ARRAY_FIELD(supplementalArray, SupplementalArray, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVPResource, resource, Resource, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, fingerprint, Fingerprint, 2)
};

class ZAVPContainer final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("jsResource", 1, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "ZAVPResource"),
        ZAVWireFieldRecord("id_p", 2, ZAVWireFieldRequired, ZAVWireTypeMessage, {},
                           "ZAVPSupplementedResourceId"),
        ZAVWireFieldRecord("state", 3,
                           ZAVWireFieldRequired | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(1), "ZAVPResourceState"),
        ZAVWireFieldRecord("supplementedResource", 4, ZAVWireFieldRequired, ZAVWireTypeMessage, {},
                           "ZAVPSupplementedResource"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPContainer, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVPResource, jsResource, JsResource, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVPSupplementedResourceId, id_p, Id_p, 1)
    ZAVWIRE_ENUM_FIELD(ZAVPResourceState, state, State, 2)
    ZAVWIRE_OBJECT_FIELD(ZAVPSupplementedResource, supplementedResource, SupplementedResource, 3)
};

class ZAVPRuvExperimentSupplemental final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("valueToPushArray", 1, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPValue"),
        ZAVWireFieldRecord("valueToClearArray", 2, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPValue"),
        ZAVWireFieldRecord("experimentRandomArray", 3, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVPRuvExperimentRandom"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPRuvExperimentSupplemental, kFields)
    ZAVWIRE_ARRAY_FIELD(valueToPushArray, ValueToPushArray, 0)
    ZAVWIRE_ARRAY_FIELD(valueToClearArray, ValueToClearArray, 1)
    ZAVWIRE_ARRAY_FIELD(experimentRandomArray, ExperimentRandomArray, 2)
};

class ZAVPRuvServerSideExperimentSupplemental final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("experimentKey", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("enabled", 2, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("inclusionProbability", 3, ZAVWireFieldOptional, ZAVWireTypeDouble),
        ZAVWireFieldRecord("combinationArray", 4, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVPRuvServerSideExperimentCombination"),
        ZAVWireFieldRecord("weightBucketArray", 5, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVPRuvServerSideExperimentWeightBucket"),
        ZAVWireFieldRecord("weightBucketMassSumArray", 6, ZAVWireFieldRepeated, ZAVWireTypeDouble),
        ZAVWireFieldRecord("experimentId", 7, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("lastUpdateTimeMs", 8, ZAVWireFieldOptional, ZAVWireTypeInt64),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPRuvServerSideExperimentSupplemental, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, experimentKey, ExperimentKey, 0)
    ZAVWIRE_SCALAR_FIELD(bool, enabled, Enabled, 1)
    ZAVWIRE_SCALAR_FIELD(double, inclusionProbability, InclusionProbability, 2)
    ZAVWIRE_ARRAY_FIELD(combinationArray, CombinationArray, 3)
    ZAVWIRE_ARRAY_FIELD(weightBucketArray, WeightBucketArray, 4)
    ZAVWIRE_ARRAY_FIELD(weightBucketMassSumArray, WeightBucketMassSumArray, 5)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, experimentId, ExperimentId, 6)
    ZAVWIRE_SCALAR_FIELD(int64_t, lastUpdateTimeMs, LastUpdateTimeMs, 7)
};

class ZAVPSupplemental final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("value", 2, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "ZAVPValue"),
        ZAVWireFieldRecord("experimentSupplemental", 3, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVPRuvExperimentSupplemental"),
        ZAVWireFieldRecord("serverSideExperimentSupplemental", 4, ZAVWireFieldOptional, ZAVWireTypeMessage,
                           {}, "ZAVPRuvServerSideExperimentSupplemental"),
        ZAVWireFieldRecord("settings", 5, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "ZAVWireSettings"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPSupplemental, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVPValue, value, Value, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVPRuvExperimentSupplemental, experimentSupplemental, ExperimentSupplemental, 2)
    ZAVWIRE_OBJECT_FIELD(ZAVPRuvServerSideExperimentSupplemental, serverSideExperimentSupplemental,
                         ServerSideExperimentSupplemental, 3)
    ZAVWIRE_OBJECT_FIELD(ZAVWireSettings, settings, Settings, 4)
};

class ZAVPRuvExperimentRandom final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("key", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("minRandom", 2, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt64, ZAVWireDefaultInt(0)),
        ZAVWireFieldRecord("maxRandom", 3, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt64, ZAVWireDefaultInt(2147483647)),
        ZAVWireFieldRecord("retainOriginalValue", 4, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("lifetimeInMilliseconds", 5, ZAVWireFieldOptional, ZAVWireTypeInt64),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPRuvExperimentRandom, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, key, Key, 0)
    ZAVWIRE_SCALAR_FIELD(int64_t, minRandom, MinRandom, 1)
    ZAVWIRE_SCALAR_FIELD(int64_t, maxRandom, MaxRandom, 2)
    ZAVWIRE_SCALAR_FIELD(bool, retainOriginalValue, RetainOriginalValue, 3)
    ZAVWIRE_SCALAR_FIELD(int64_t, lifetimeInMilliseconds, LifetimeInMilliseconds, 4)
};

class ZAVPRuvServerSideExperimentCombination final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("variationIndexArray", 1, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("weightsVectorArray", 2, ZAVWireFieldRepeated, ZAVWireTypeDouble),
        ZAVWireFieldRecord("enabled", 3, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeBool,
                           ZAVWireDefaultBits(1)),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPRuvServerSideExperimentCombination, kFields)
    ZAVWIRE_ARRAY_FIELD(variationIndexArray, VariationIndexArray, 0)
    ZAVWIRE_ARRAY_FIELD(weightsVectorArray, WeightsVectorArray, 1)
    ZAVWIRE_SCALAR_FIELD(bool, enabled, Enabled, 2)
};

class ZAVPRuvServerSideExperimentWeightBucket final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("combinationWeightSumArray", 1, ZAVWireFieldRepeated, ZAVWireTypeDouble),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPRuvServerSideExperimentWeightBucket, kFields)
    ZAVWIRE_ARRAY_FIELD(combinationWeightSumArray, CombinationWeightSumArray, 0)
};

struct ZAVPServingRoot {
    static const ZAVWireClass& wireClass();
    static const ZAVWireExtensionRegistry* extensionRegistry();
};
