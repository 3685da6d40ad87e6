#pragma once
// Per-product settings a supplemental may carry.
#include <cstdint>

#include "wire/ZAVWireGeneratedMessage.h"

enum ZAVWireProductType : int32_t {
    ZAVWireProductType_Ua = 1,
    ZAVWireProductType_Adnet = 2,
};
struct ZAVWireProductTypeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

class ZAVWireSettings;
class ZAVWireAdnetSettings;
class ZAVWireUASettings;
class ZAVWireSettingsDescriptor;

class ZAVWireAdnetSettings final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("enableAutoEventTracking", 1, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("uaTrackingId", 2, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("collectAdvertisingIdentifiers", 3, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("enableAutoScreenViewTracking", 4, ZAVWireFieldOptional, ZAVWireTypeBool),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireAdnetSettings, kFields)
    ZAVWIRE_SCALAR_FIELD(bool, enableAutoEventTracking, EnableAutoEventTracking, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, uaTrackingId, UaTrackingId, 1)
    ZAVWIRE_SCALAR_FIELD(bool, collectAdvertisingIdentifiers, CollectAdvertisingIdentifiers, 2)
    ZAVWIRE_SCALAR_FIELD(bool, enableAutoScreenViewTracking, EnableAutoScreenViewTracking, 3)
};

class ZAVWireUASettings final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("enableAutoEventTracking", 1, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("collectAdvertisingIdentifiers", 2, ZAVWireFieldOptional, ZAVWireTypeBool),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireUASettings, kFields)
    ZAVWIRE_SCALAR_FIELD(bool, enableAutoEventTracking, EnableAutoEventTracking, 0)
    ZAVWIRE_SCALAR_FIELD(bool, collectAdvertisingIdentifiers, CollectAdvertisingIdentifiers, 1)
};

class ZAVWireSettings final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("adnetSettings", 1, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVWireAdnetSettings"),
        ZAVWireFieldRecord("uaSettings", 2, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVWireUASettings"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireSettings, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireAdnetSettings, adnetSettings, AdnetSettings, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireUASettings, uaSettings, UaSettings, 1)
};

class ZAVWireSettingsDescriptor final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("settingsId", 1, ZAVWireFieldRequired, ZAVWireTypeString),
        ZAVWireFieldRecord("settings", 2, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "ZAVWireSettings"),
        ZAVWireFieldRecord("fingerprint", 3, ZAVWireFieldOptional, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireSettingsDescriptor, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, settingsId, SettingsId, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireSettings, settings, Settings, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, fingerprint, Fingerprint, 2)
};

struct ZAVWireSettingsRoot {
    static const ZAVWireClass& wireClass();
    static const ZAVWireExtensionRegistry* extensionRegistry();
};
