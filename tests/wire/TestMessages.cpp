#include "TestMessages.h"

namespace {

constexpr ZAVWireEnumValueDescription kColorValues[] = {{"Red", 1}, {"Green", 2}, {"DeepBlue", 5}};
bool colorIsValid(int32_t v) {
    return v == 1 || v == 2 || v == 5;
}

const ZAVWireEnumDescriptor* colorDescriptor() {
    static const auto d =
        ZAVWireEnumDescriptor::allocDescriptorForName("WTColor", kColorValues, 3, colorIsValid);
    return d.get();
}

const ZAVWireClass kColorHolder{.name = "WTColorEnumDescriptor", .enumDescriptor = colorDescriptor};
const ZAVWireClass kRootClass{.name = "WTRoot", .extensionRegistry = WTRoot::extensionRegistry};

constexpr ZAVWireExtensionRangeDescription kExtendableRanges[] = {{100, 200}};
constexpr ZAVWireExtensionRangeDescription kSetRanges[] = {{4, 0x7FFFFFFF}};
const char* const kNodeEnums[] = {"WTColor"};
// customName (7) has no entry: the text format labels it by number with a comment.
constexpr uint8_t kNodeNames[] = {0x01, 0x01, 0x00, 'v', 'a', 'l', 0x00};

constexpr ZAVWireExtensionDescription kExtensions[] = {
    {"WTRoot_single", ZAVWireTypeInt32, "WTExtendable", 150, ZAVWireDefaultInt32(-3), nullptr, 0, nullptr},
    {"WTRoot_strings", ZAVWireTypeString, "WTExtendable", 151, {}, nullptr, 0x4, nullptr},
    {"WTRoot_packed", ZAVWireTypeInt32, "WTExtendable", 152, {}, nullptr, 0x4 | 0x8, nullptr},
    {"WTRoot_group", ZAVWireTypeGroup, "WTExtendable", 153, {}, "WTNode", 0, nullptr},
    {"WTRoot_node", ZAVWireTypeMessage, "WTExtendable", 154, {}, "WTNode", 0, nullptr},
    {"WTRoot_direct", ZAVWireTypeMessage, "WTExtendable", 155, {}, "WTExtendable", 0x10, nullptr},
    {"WTMessageSet_item", ZAVWireTypeMessage, "WTMessageSet", 5, {}, "WTMessageSet", 0x10, nullptr},
};

struct Extensions {
    ZAVWireExtensionRegistryPtr all = std::make_shared<ZAVWireExtensionRegistry>();
    ZAVWireExtensionRegistryPtr fuzz = std::make_shared<ZAVWireExtensionRegistry>();
    std::vector<ZAVWireExtensionFieldPtr> fields;
    Extensions() {
        WTRegisterClasses();
        for (const auto& record : kExtensions) {
            auto extension = std::make_shared<ZAVWireExtensionField>(&record);
            all->addExtension(extension);
            if (!extension->mergesWithoutLength()) fuzz->addExtension(extension);
            ZAVWireGloballyRegisterExtension(extension);
            fields.push_back(extension);
        }
    }
};

const Extensions& extensions() {
    static const Extensions* e = new Extensions();  // for the process's life, as file roots are
    return *e;
}

}  // namespace

ZAVWIRE_MESSAGE_IMPL(WTGroup, &kRootClass, nullptr, 0, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(WTNode, &kRootClass, kNodeEnums, 1, nullptr, 0, false, kNodeNames)
ZAVWIRE_MESSAGE_IMPL(WTRequired, &kRootClass, nullptr, 0, nullptr, 0, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(WTExtendable, &kRootClass, nullptr, 0, kExtendableRanges, 1, false, nullptr)
ZAVWIRE_MESSAGE_IMPL(WTMessageSet, &kRootClass, nullptr, 0, kSetRanges, 1, true, nullptr)
ZAVWIRE_MESSAGE_IMPL(WTAll, &kRootClass, nullptr, 0, nullptr, 0, false, nullptr)

void WTRegisterClasses() {
    static const ZAVWireClass* const classes[] = {
        &WTGroup::wireClass(),
        &WTNode::wireClass(),
        &WTRequired::wireClass(),
        &WTExtendable::wireClass(),
        &WTMessageSet::wireClass(),
        &WTAll::wireClass(),
        &kColorHolder,
        &kRootClass,
        &ZAVWireGeneratedMessage::wireClass(),
    };
    ZAVWireAddClassTable(classes, sizeof classes / sizeof classes[0]);
}

const ZAVWireExtensionRegistry* WTRoot::extensionRegistry() {
    return extensions().all.get();
}
const ZAVWireExtensionRegistry* WTRoot::fuzzRegistry() {
    return extensions().fuzz.get();
}
const ZAVWireExtensionField& WTRoot::single() {
    return *extensions().fields[0];
}
const ZAVWireExtensionField& WTRoot::strings() {
    return *extensions().fields[1];
}
const ZAVWireExtensionField& WTRoot::packed() {
    return *extensions().fields[2];
}
const ZAVWireExtensionField& WTRoot::group() {
    return *extensions().fields[3];
}
const ZAVWireExtensionField& WTRoot::node() {
    return *extensions().fields[4];
}
const ZAVWireExtensionField& WTRoot::direct() {
    return *extensions().fields[5];
}
const ZAVWireExtensionField& WTRoot::setItem() {
    return *extensions().fields[6];
}
