#pragma once
// The form in which a container is saved on the device.
#include <cstdint>

#include "wire/ZAVWireGeneratedMessage.h"
#include "wire/schema/ZAVPServing.h"

class ZAVPResourceWithMetadata;

class ZAVPResourceWithMetadata final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("timeStamp", 1, ZAVWireFieldRequired, ZAVWireTypeInt64),
        ZAVWireFieldRecord("resource", 2, ZAVWireFieldRequired, ZAVWireTypeMessage, {}, "ZAVPResource"),
        ZAVWireFieldRecord("supplementedResource", 3, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVPSupplementedResource"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPResourceWithMetadata, kFields)
    ZAVWIRE_SCALAR_FIELD(int64_t, timeStamp, TimeStamp, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVPResource, resource, Resource, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVPSupplementedResource, supplementedResource, SupplementedResource, 2)
};

struct ZAVPResourcewithmetadataRoot {
    static const ZAVWireClass& wireClass();
    static const ZAVWireExtensionRegistry* extensionRegistry();
};
