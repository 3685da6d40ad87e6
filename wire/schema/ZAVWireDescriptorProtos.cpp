#include "wire/schema/ZAVWireDescriptorProtos.h"

namespace {

constexpr ZAVWireEnumValueDescription kZAVWireFieldDescriptorProto_TypeValues[] = {
    {"TypeDouble", 1},    {"TypeFloat", 2},   {"TypeInt64", 3},   {"TypeUint64", 4}, {"TypeInt32", 5},
    {"TypeFixed64", 6},   {"TypeFixed32", 7}, {"TypeBool", 8},    {"TypeString", 9}, {"TypeGroup", 10},
    {"TypeMessage", 11},  {"TypeBytes", 12},  {"TypeUint32", 13}, {"TypeEnum", 14},  {"TypeSfixed32", 15},
    {"TypeSfixed64", 16}, {"TypeSint32", 17}, {"TypeSint64", 18},
};
bool ZAVWireFieldDescriptorProto_TypeIsValid(int32_t value) {
    return value == 1 || value == 2 || value == 3 || value == 4 || value == 5 || value == 6 || value == 7 ||
           value == 8 || value == 9 || value == 10 || value == 11 || value == 12 || value == 13 ||
           value == 14 || value == 15 || value == 16 || value == 17 || value == 18;
}

constexpr ZAVWireEnumValueDescription kZAVWireFieldDescriptorProto_LabelValues[] = {
    {"LabelOptional", 1},
    {"LabelRequired", 2},
    {"LabelRepeated", 3},
};
bool ZAVWireFieldDescriptorProto_LabelIsValid(int32_t value) {
    return value == 1 || value == 2 || value == 3;
}

constexpr ZAVWireEnumValueDescription kZAVWireFileOptions_CompatibilityLevelValues[] = {
    {"NoCompatibility", 0},
    {"Proto1Compatible", 100},
    {"DeprecatedProto1Compatible", 50},
};
bool ZAVWireFileOptions_CompatibilityLevelIsValid(int32_t value) {
    return value == 0 || value == 100 || value == 50;
}

constexpr ZAVWireEnumValueDescription kZAVWireFileOptions_OptimizeModeValues[] = {
    {"Speed", 1},
    {"CodeSize", 2},
    {"LiteRuntime", 3},
};
bool ZAVWireFileOptions_OptimizeModeIsValid(int32_t value) {
    return value == 1 || value == 2 || value == 3;
}

constexpr ZAVWireEnumValueDescription kZAVWireFieldOptions_CTypeValues[] = {
    {"String", 0},
    {"Cord", 1},
    {"StringPiece", 2},
};
bool ZAVWireFieldOptions_CTypeIsValid(int32_t value) {
    return value == 0 || value == 1 || value == 2;
}

constexpr ZAVWireEnumValueDescription kZAVWireFieldOptions_JTypeValues[] = {
    {"Normal", 0},
    {"Bytes", 1},
    {"ExperimentalByteBuffer", 2},
};
bool ZAVWireFieldOptions_JTypeIsValid(int32_t value) {
    return value == 0 || value == 1 || value == 2;
}

constexpr ZAVWireEnumValueDescription kZAVWireFieldOptions_JSTypeValues[] = {
    {"JsNormal", 0},
    {"JsString", 1},
    {"JsNumber", 2},
};
bool ZAVWireFieldOptions_JSTypeIsValid(int32_t value) {
    return value == 0 || value == 1 || value == 2;
}

constexpr ZAVWireEnumValueDescription kZAVWireMethodOptions_ProtocolValues[] = {
    {"Tcp", 0},
    {"Udp", 1},
};
bool ZAVWireMethodOptions_ProtocolIsValid(int32_t value) {
    return value == 0 || value == 1;
}

constexpr ZAVWireEnumValueDescription kZAVWireMethodOptions_SecurityLevelValues[] = {
    {"None", 0},
    {"Integrity", 1},
    {"PrivacyAndIntegrity", 2},
    {"StrongPrivacyAndIntegrity", 3},
};
bool ZAVWireMethodOptions_SecurityLevelIsValid(int32_t value) {
    return value == 0 || value == 1 || value == 2 || value == 3;
}

constexpr ZAVWireEnumValueDescription kZAVWireMethodOptions_FormatValues[] = {
    {"Uncompressed", 0},
    {"BriskCompressed", 1},
};
bool ZAVWireMethodOptions_FormatIsValid(int32_t value) {
    return value == 0 || value == 1;
}

constexpr ZAVWireEnumValueDescription kZAVWireMethodOptions_LogLevelValues[] = {
    {"LogNone", 0},
    {"LogHeaderOnly", 1},
    {"LogHeaderAndNonPrivatePayloadInternal", 2},
    {"LogHeaderAndFilteredPayload", 3},
    {"LogHeaderAndPayload", 4},
};
bool ZAVWireMethodOptions_LogLevelIsValid(int32_t value) {
    return value == 0 || value == 1 || value == 2 || value == 3 || value == 4;
}

constexpr ZAVWireEnumValueDescription kZAVWireStreamOptions_TokenUnitValues[] = {
    {"Message", 0},
    {"Byte", 1},
};
bool ZAVWireStreamOptions_TokenUnitIsValid(int32_t value) {
    return value == 0 || value == 1;
}

const char* const kZAVWireFieldDescriptorProtoEnums[] = {"ZAVWireFieldDescriptorProto_Type",
                                                         "ZAVWireFieldDescriptorProto_Label"};
constexpr ZAVWireExtensionRangeDescription kZAVWireFileOptionsRanges[] = {{1000, 536870912}};
const char* const kZAVWireFileOptionsEnums[] = {"ZAVWireFileOptions_CompatibilityLevel",
                                                "ZAVWireFileOptions_OptimizeMode"};
constexpr ZAVWireExtensionRangeDescription kZAVWireMessageOptionsRanges[] = {{1000, 536870912}};
constexpr ZAVWireExtensionRangeDescription kZAVWireFieldOptionsRanges[] = {{1000, 536870912}};
const char* const kZAVWireFieldOptionsEnums[] = {"ZAVWireFieldOptions_CType", "ZAVWireFieldOptions_JType",
                                                 "ZAVWireFieldOptions_JSType"};
constexpr ZAVWireExtensionRangeDescription kZAVWireEnumOptionsRanges[] = {{1000, 536870912}};
constexpr ZAVWireExtensionRangeDescription kZAVWireEnumValueOptionsRanges[] = {{1000, 536870912}};
constexpr ZAVWireExtensionRangeDescription kZAVWireServiceOptionsRanges[] = {{1000, 536870912}};
constexpr ZAVWireExtensionRangeDescription kZAVWireMethodOptionsRanges[] = {{1000, 536870912}};
const char* const kZAVWireMethodOptionsEnums[] = {
    "ZAVWireMethodOptions_Protocol", "ZAVWireMethodOptions_SecurityLevel", "ZAVWireMethodOptions_Format",
    "ZAVWireMethodOptions_LogLevel"};
constexpr ZAVWireExtensionRangeDescription kZAVWireStreamOptionsRanges[] = {{1000, 536870912}};
const char* const kZAVWireStreamOptionsEnums[] = {"ZAVWireStreamOptions_TokenUnit"};
constexpr ZAVWireExtensionDescription kObjectivecFileOptions = {
    "ZAVWireObjectivecDescriptorRoot_objectivecFileOptions",
    ZAVWireTypeMessage,
    "ZAVWireFileOptions",
    1002,
    {},
    "ZAVWireObjectiveCFileOptions",
    0,
    nullptr};

}  // namespace

const ZAVWireClass& ZAVWireFieldDescriptorProto_TypeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireFieldDescriptorProto_TypeEnumDescriptor",
        .enumDescriptor = ZAVWireFieldDescriptorProto_TypeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireFieldDescriptorProto_TypeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireFieldDescriptorProto_Type", kZAVWireFieldDescriptorProto_TypeValues, 18,
        ZAVWireFieldDescriptorProto_TypeIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireFieldDescriptorProto_LabelEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireFieldDescriptorProto_LabelEnumDescriptor",
        .enumDescriptor = ZAVWireFieldDescriptorProto_LabelEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireFieldDescriptorProto_LabelEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireFieldDescriptorProto_Label", kZAVWireFieldDescriptorProto_LabelValues, 3,
        ZAVWireFieldDescriptorProto_LabelIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireFileOptions_CompatibilityLevelEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireFileOptions_CompatibilityLevelEnumDescriptor",
        .enumDescriptor = ZAVWireFileOptions_CompatibilityLevelEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireFileOptions_CompatibilityLevelEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireFileOptions_CompatibilityLevel", kZAVWireFileOptions_CompatibilityLevelValues, 3,
        ZAVWireFileOptions_CompatibilityLevelIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireFileOptions_OptimizeModeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireFileOptions_OptimizeModeEnumDescriptor",
        .enumDescriptor = ZAVWireFileOptions_OptimizeModeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireFileOptions_OptimizeModeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireFileOptions_OptimizeMode", kZAVWireFileOptions_OptimizeModeValues, 3,
        ZAVWireFileOptions_OptimizeModeIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireFieldOptions_CTypeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireFieldOptions_CTypeEnumDescriptor",
        .enumDescriptor = ZAVWireFieldOptions_CTypeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireFieldOptions_CTypeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireFieldOptions_CType", kZAVWireFieldOptions_CTypeValues, 3, ZAVWireFieldOptions_CTypeIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireFieldOptions_JTypeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireFieldOptions_JTypeEnumDescriptor",
        .enumDescriptor = ZAVWireFieldOptions_JTypeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireFieldOptions_JTypeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireFieldOptions_JType", kZAVWireFieldOptions_JTypeValues, 3, ZAVWireFieldOptions_JTypeIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireFieldOptions_JSTypeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireFieldOptions_JSTypeEnumDescriptor",
        .enumDescriptor = ZAVWireFieldOptions_JSTypeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireFieldOptions_JSTypeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName("ZAVWireFieldOptions_JSType",
                                                                        kZAVWireFieldOptions_JSTypeValues, 3,
                                                                        ZAVWireFieldOptions_JSTypeIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireMethodOptions_ProtocolEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireMethodOptions_ProtocolEnumDescriptor",
        .enumDescriptor = ZAVWireMethodOptions_ProtocolEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireMethodOptions_ProtocolEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireMethodOptions_Protocol", kZAVWireMethodOptions_ProtocolValues, 2,
        ZAVWireMethodOptions_ProtocolIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireMethodOptions_SecurityLevelEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireMethodOptions_SecurityLevelEnumDescriptor",
        .enumDescriptor = ZAVWireMethodOptions_SecurityLevelEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireMethodOptions_SecurityLevelEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireMethodOptions_SecurityLevel", kZAVWireMethodOptions_SecurityLevelValues, 4,
        ZAVWireMethodOptions_SecurityLevelIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireMethodOptions_FormatEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireMethodOptions_FormatEnumDescriptor",
        .enumDescriptor = ZAVWireMethodOptions_FormatEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireMethodOptions_FormatEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName("ZAVWireMethodOptions_Format",
                                                                        kZAVWireMethodOptions_FormatValues, 2,
                                                                        ZAVWireMethodOptions_FormatIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireMethodOptions_LogLevelEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireMethodOptions_LogLevelEnumDescriptor",
        .enumDescriptor = ZAVWireMethodOptions_LogLevelEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireMethodOptions_LogLevelEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireMethodOptions_LogLevel", kZAVWireMethodOptions_LogLevelValues, 5,
        ZAVWireMethodOptions_LogLevelIsValid);
    return d.get();
}

const ZAVWireClass& ZAVWireStreamOptions_TokenUnitEnumDescriptor::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireStreamOptions_TokenUnitEnumDescriptor",
        .enumDescriptor = ZAVWireStreamOptions_TokenUnitEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireStreamOptions_TokenUnitEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireStreamOptions_TokenUnit", kZAVWireStreamOptions_TokenUnitValues, 2,
        ZAVWireStreamOptions_TokenUnitIsValid);
    return d.get();
}

ZAVWIRE_MESSAGE_IMPL(ZAVWireFileDescriptorSet, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireFileDescriptorProto, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireDescriptorProto, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireDescriptorProto_ExtensionRange, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireFieldDescriptorProto, &ZAVWireDescriptorRoot::wireClass(),
                     kZAVWireFieldDescriptorProtoEnums, 2, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireOneofDescriptorProto, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireEnumDescriptorProto, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireEnumValueDescriptorProto, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireServiceDescriptorProto, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr,
                     0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireMethodDescriptorProto, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr,
                     0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireStreamDescriptorProto, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr,
                     0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireFileOptions, &ZAVWireDescriptorRoot::wireClass(), kZAVWireFileOptionsEnums, 2,
                     kZAVWireFileOptionsRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireMessageOptions, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0,
                     kZAVWireMessageOptionsRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireFieldOptions, &ZAVWireDescriptorRoot::wireClass(), kZAVWireFieldOptionsEnums, 3,
                     kZAVWireFieldOptionsRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireFieldOptions_UpgradedOption, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireEnumOptions, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0,
                     kZAVWireEnumOptionsRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireEnumValueOptions, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0,
                     kZAVWireEnumValueOptionsRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireServiceOptions, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0,
                     kZAVWireServiceOptionsRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireMethodOptions, &ZAVWireDescriptorRoot::wireClass(), kZAVWireMethodOptionsEnums, 4,
                     kZAVWireMethodOptionsRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireStreamOptions, &ZAVWireDescriptorRoot::wireClass(), kZAVWireStreamOptionsEnums, 1,
                     kZAVWireStreamOptionsRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireUninterpretedOption, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireUninterpretedOption_NamePart, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireSourceCodeInfo, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireSourceCodeInfo_Location, &ZAVWireDescriptorRoot::wireClass(), nullptr, 0, nullptr,
                     0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireObjectiveCFileOptions, &ZAVWireObjectivecDescriptorRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)

const ZAVWireClass& ZAVWireDescriptorRoot::wireClass() {
    static const ZAVWireClass record{.name = "ZAVWireDescriptorRoot", .extensionRegistry = nullptr};
    return record;
}

const ZAVWireExtensionRegistry* ZAVWireDescriptorRoot::extensionRegistry() {
    return nullptr;
}

const ZAVWireClass& ZAVWireObjectivecDescriptorRoot::wireClass() {
    static const ZAVWireClass record{.name = "ZAVWireObjectivecDescriptorRoot",
                                     .extensionRegistry = ZAVWireObjectivecDescriptorRoot::extensionRegistry};
    return record;
}

const ZAVWireExtensionRegistry* ZAVWireObjectivecDescriptorRoot::extensionRegistry() {
    static ZAVWireFileRootRegistry slot;
    return slot.get([](ZAVWireExtensionRegistry& registry) {
        registry.addExtension(ZAVWireFileRootRegistry::makeExtension(&kObjectivecFileOptions));
        registry.addExtensions(ZAVWireDescriptorRoot::extensionRegistry());
    });
}

const ZAVWireExtensionField& ZAVWireObjectivecDescriptorRoot::objectivecFileOptions() {
    static const ZAVWireExtensionFieldPtr extension = [] {
        ZAVWireObjectivecDescriptorRoot::extensionRegistry();
        return ZAVWireGlobalExtensionNamed("ZAVWireObjectivecDescriptorRoot_objectivecFileOptions");
    }();
    return *extension;
}
