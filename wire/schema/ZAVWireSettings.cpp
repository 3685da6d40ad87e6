#include "wire/schema/ZAVWireSettings.h"

#include "wire/schema/ZAVWireDescriptorProtos.h"

namespace {

constexpr ZAVWireEnumValueDescription kZAVWireProductTypeValues[] = {
    {"Ua", 1},
    {"Adnet", 2},
};
bool ZAVWireProductTypeIsValid(int32_t value) {
    return value >= 1 && value <= 2;
}

}  // namespace

const ZAVWireClass& ZAVWireProductTypeEnumDescriptor::wireClass() {
    static const ZAVWireClass record{.name = "ZAVWireProductTypeEnumDescriptor",
                                     .enumDescriptor = ZAVWireProductTypeEnumDescriptor::enumDescriptor};
    return record;
}
const ZAVWireEnumDescriptor* ZAVWireProductTypeEnumDescriptor::enumDescriptor() {
    static const auto d = ZAVWireEnumDescriptor::allocDescriptorForName(
        "ZAVWireProductType", kZAVWireProductTypeValues, 2, ZAVWireProductTypeIsValid);
    return d.get();
}

ZAVWIRE_MESSAGE_IMPL(ZAVWireSettings, &ZAVWireSettingsRoot::wireClass(), nullptr, 0, nullptr, 0, false,
                     nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireAdnetSettings, &ZAVWireSettingsRoot::wireClass(), nullptr, 0, nullptr, 0, false,
                     nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireUASettings, &ZAVWireSettingsRoot::wireClass(), nullptr, 0, nullptr, 0, false,
                     nullptr)
ZAVWIRE_MESSAGE_IMPL(ZAVWireSettingsDescriptor, &ZAVWireSettingsRoot::wireClass(), nullptr, 0, nullptr, 0,
                     false, nullptr)

const ZAVWireClass& ZAVWireSettingsRoot::wireClass() {
    static const ZAVWireClass record{.name = "ZAVWireSettingsRoot",
                                     .extensionRegistry = ZAVWireSettingsRoot::extensionRegistry};
    return record;
}

const ZAVWireExtensionRegistry* ZAVWireSettingsRoot::extensionRegistry() {
    static ZAVWireFileRootRegistry slot;
    return slot.get([](ZAVWireExtensionRegistry& registry) {
        registry.addExtensions(ZAVWireObjectivecDescriptorRoot::extensionRegistry());
    });
}
