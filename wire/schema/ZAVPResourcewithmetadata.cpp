#include "wire/schema/ZAVPResourcewithmetadata.h"

#include "wire/schema/ZAVPServing.h"
#include "wire/schema/ZAVWireDescriptorProtos.h"

namespace {}  // namespace

ZAVWIRE_MESSAGE_IMPL(ZAVPResourceWithMetadata, &ZAVPResourcewithmetadataRoot::wireClass(), nullptr, 0,
                     nullptr, 0, false, nullptr)

const ZAVWireClass& ZAVPResourcewithmetadataRoot::wireClass() {
    static const ZAVWireClass record{.name = "ZAVPResourcewithmetadataRoot",
                                     .extensionRegistry = ZAVPResourcewithmetadataRoot::extensionRegistry};
    return record;
}

const ZAVWireExtensionRegistry* ZAVPResourcewithmetadataRoot::extensionRegistry() {
    static ZAVWireFileRootRegistry slot;
    return slot.get([](ZAVWireExtensionRegistry& registry) {
        registry.addExtensions(ZAVPServingRoot::extensionRegistry());
        registry.addExtensions(ZAVWireObjectivecDescriptorRoot::extensionRegistry());
    });
}
