#include "wire/schema/ZAVPServing.h"

#include "wire/schema/ZAVPTypeSystem.h"
#include "wire/schema/ZAVWireDescriptorProtos.h"
#include "wire/schema/ZAVWireSettings.h"

namespace {

constexpr ZAVWireEnumValueDescription kZAVPResourceTypeValues[] = {
    {"JsResource", 1},    {"NsResource", 2},       {"PixelCollection", 3}, {"SetCookie", 4},
    {"GetCookie", 5},     {"ClearCache", 6},       {"RawProto", 7},        {"ObsoleteMobileResource", 8},
    {"ExperimentApi", 9}, {"AndroidResource", 10}, {"IosResource", 11},
};
bool ZAVPResourceTypeIsValid(int32_t value) {
    return value >= 1 && value <= 11;
}

constexpr ZAVWireEnumValueDescription kZAVPResourceStateValues[] = {
    {"Preview", 1},
    {"Live", 2},
};
bool ZAVPResourceStateIsValid(int32_t value) {
    return value >= 1 && value <= 2;
}

constexpr ZAVWireEnumValueDescription kZAVPSupplementedResourceId_ResourceTypeValues[] = {
    {"Resource", 1},
    {"Settings", 2},
    {"Experiment", 3},
};
bool ZAVPSupplementedResourceId_ResourceTypeIsValid(int32_t value) {
    return value >= 1 && value <= 3;
}

constexpr ZAVWireEnumValueDescription kZAVPCacheOption_CacheLevelValues[] = {
    {"NoCache", 1},
    {"Private", 2},
    {"Public", 3},
};
bool ZAVPCacheOption_CacheLevelIsValid(int32_t value) {
    return value >= 1 && value <= 3;
}

constexpr uint8_t kZAVPResourceTextNames[] = {0x01, 0x12, 0x68, 0xA6, 0xA4, 0xA5, 0xA8, 0x00};
const char* const kZAVPCacheOptionEnums[] = {"ZAVPCacheOption_CacheLevel"};
const char* const kZAVPSupplementedResourceIdEnums[] = {"ZAVPSupplementedResourceId_ResourceType"};
constexpr ZAVWireExtensionDescription kZAVPServingValue_ext = {
    "ZAVPServingValue_ext", ZAVWireTypeMessage, "ZAVPValue", 101, {}, "ZAVPServingValue", 0, nullptr};

}  // namespace

const ZAVWireClass& ZAVPResourceTypeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{.name = "ZAVPResourceTypeEnumDescriptor",
                                     .enumDescriptor = ZAVPResourceTypeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVPResourceTypeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVPResourceType", kZAVPResourceTypeValues, 11, ZAVPResourceTypeIsValid);
    return d.get();
}

const ZAVWireClass& ZAVPResourceStateEnumDescriptor::wireClass() {
    static const ZAVWireClass record{.name = "ZAVPResourceStateEnumDescriptor",
                                     .enumDescriptor = ZAVPResourceStateEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVPResourceStateEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVPResourceState", kZAVPResourceStateValues, 2, ZAVPResourceStateIsValid);
    return d.get();
}

const ZAVWireClass& ZAVPSupplementedResourceId_ResourceTypeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVPSupplementedResourceId_ResourceTypeEnumDescriptor",
        .enumDescriptor = ZAVPSupplementedResourceId_ResourceTypeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVPSupplementedResourceId_ResourceTypeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVPSupplementedResourceId_ResourceType", kZAVPSupplementedResourceId_ResourceTypeValues, 3,
        ZAVPSupplementedResourceId_ResourceTypeIsValid);
    return d.get();
}

const ZAVWireClass& ZAVPCacheOption_CacheLevelEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVPCacheOption_CacheLevelEnumDescriptor",
        .enumDescriptor = ZAVPCacheOption_CacheLevelEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVPCacheOption_CacheLevelEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName("ZAVPCacheOption_CacheLevel",
                                                                        kZAVPCacheOption_CacheLevelValues, 3,
                                                                        ZAVPCacheOption_CacheLevelIsValid);
    return d.get();
}

ZAVWIRE_MESSAGE_IMPL(ZAVPResource, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false,
                     kZAVPResourceTextNames)
ZAVWIRE_MESSAGE_IMPL(ZAVPProperty, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPFunctionCall, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPRule, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPServingValue, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPCacheOption, &ZAVPServingRoot::wireClass(), kZAVPCacheOptionEnums, 1, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPSupplementedResourceId, &ZAVPServingRoot::wireClass(),
                     kZAVPSupplementedResourceIdEnums, 1, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPContainer, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPSupplementedResource, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false,
                     nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPSupplemental, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPRuvExperimentSupplemental, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPRuvExperimentRandom, &ZAVPServingRoot::wireClass(), nullptr, 0, nullptr, 0, false,
                     nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPRuvServerSideExperimentSupplemental, &ZAVPServingRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPRuvServerSideExperimentCombination, &ZAVPServingRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVPRuvServerSideExperimentWeightBucket, &ZAVPServingRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)

const ZAVWireClass& ZAVPServingRoot::wireClass() {
    static const ZAVWireClass record{.name = "ZAVPServingRoot",
                                     .extensionRegistry = ZAVPServingRoot::extensionRegistry};
    return record;
}

const ZAVWireExtensionRegistry* ZAVPServingRoot::extensionRegistry() {
    static ZAVWireFileRootRegistry slot;
    return slot.get([](ZAVWireExtensionRegistry& registry) {
        registry.addExtension(ZAVWireFileRootRegistry::makeExtension(&kZAVPServingValue_ext));
        registry.addExtensions(ZAVPTypeSystemRoot::extensionRegistry());
        registry.addExtensions(ZAVWireSettingsRoot::extensionRegistry());
        registry.addExtensions(ZAVWireObjectivecDescriptorRoot::extensionRegistry());
    });
}

const ZAVWireExtensionField& ZAVPServingValue::ext() {
    static const ZAVWireExtensionFieldPtr extension = [] {
        ZAVPServingRoot::extensionRegistry();
        return ZAVWireGlobalExtensionNamed("ZAVPServingValue_ext");
    }();
    return *extension;
}
