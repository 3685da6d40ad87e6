#include "wire/schema/ZAVPTypeSystem.h"

#include <atomic>

#include "wire/schema/ZAVWireDescriptorProtos.h"

namespace {

constexpr ZAVWireEnumValueDescription kZAVPValue_TypeValues[] = {
    {"String", 1},  {"List", 2},     {"Map", 3},     {"MacroReference", 4}, {"FunctionId", 5},
    {"Integer", 6}, {"Template", 7}, {"Boolean", 8}, {"TagReference", 9},
};
bool ZAVPValue_TypeIsValid(int32_t value) {
    return value >= 1 && value <= 9;
}

constexpr ZAVWireEnumValueDescription kZAVPValue_EscapingValues[] = {
    {"EscapeHtml", 1},
    {"EscapeHtmlRcdata", 2},
    {"EscapeHtmlAttribute", 3},
    {"EscapeHtmlAttributeNospace", 4},
    {"FilterHtmlElementName", 5},
    {"FilterHtmlAttributes", 6},
    {"EscapeJsString", 7},
    {"EscapeJsValue", 8},
    {"EscapeJsRegex", 9},
    {"EscapeCssString", 10},
    {"FilterCssValue", 11},
    {"EscapeUri", 12},
    {"NormalizeUri", 13},
    {"FilterNormalizeUri", 14},
    {"NoAutoescape", 15},
    {"Text", 17},
    {"ConvertJsValueToExpression", 16},
};
bool ZAVPValue_EscapingIsValid(int32_t value) {
    return value >= 1 && value <= 17;
}

constexpr ZAVWireExtensionRangeDescription kZAVPValueRanges[] = {{100, 536870912}};
const char* const kZAVPValueEnums[] = {"ZAVPValue_Type", "ZAVPValue_Escaping"};

}  // namespace

const ZAVWireClass& ZAVPValue_TypeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{.name = "ZAVPValue_TypeEnumDescriptor",
                                     .enumDescriptor = ZAVPValue_TypeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVPValue_TypeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVPValue_Type", kZAVPValue_TypeValues, 9, ZAVPValue_TypeIsValid);
    return d.get();
}

const ZAVWireClass& ZAVPValue_EscapingEnumDescriptor::wireClass() {
    static const ZAVWireClass record{.name = "ZAVPValue_EscapingEnumDescriptor",
                                     .enumDescriptor = ZAVPValue_EscapingEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVPValue_EscapingEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVPValue_Escaping", kZAVPValue_EscapingValues, 17, ZAVPValue_EscapingIsValid);
    return d.get();
}

ZAVWIRE_MESSAGE_IMPL(ZAVPValue, &ZAVPTypeSystemRoot::wireClass(), kZAVPValueEnums, 2, kZAVPValueRanges, 1,
                     false, nullptr)

const ZAVWireClass& ZAVPTypeSystemRoot::wireClass() {
    static const ZAVWireClass record{.name = "ZAVPTypeSystemRoot",
                                     .extensionRegistry = ZAVPTypeSystemRoot::extensionRegistry};
    return record;
}

const ZAVWireExtensionRegistry* ZAVPTypeSystemRoot::extensionRegistry() {
    static ZAVWireFileRootRegistry slot;
    return slot.get([](ZAVWireExtensionRegistry& registry) {
        registry.addExtensions(ZAVWireObjectivecDescriptorRoot::extensionRegistry());
    });
}

namespace {
std::atomic<size_t (*)(const ZAVPValue&)> gValueHash{nullptr};
}  // namespace

void ZAVPValue::setHashFunction(size_t (*function)(const ZAVPValue&)) {
    gValueHash.store(function);
}

size_t ZAVPValue::hash() const {
    auto function = gValueHash.load();
    return function ? function(*this) : ZAVWireGeneratedMessage::hash();
}
