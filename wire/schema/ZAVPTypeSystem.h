#pragma once
// The value type system of the container: ZAVPValue and its enums.
#include <cstdint>

#include "wire/ZAVWireGeneratedMessage.h"

enum ZAVPValue_Type : int32_t {
    ZAVPValue_Type_String = 1,
    ZAVPValue_Type_List = 2,
    ZAVPValue_Type_Map = 3,
    ZAVPValue_Type_MacroReference = 4,
    ZAVPValue_Type_FunctionId = 5,
    ZAVPValue_Type_Integer = 6,
    ZAVPValue_Type_Template = 7,
    ZAVPValue_Type_Boolean = 8,
    ZAVPValue_Type_TagReference = 9,
};
struct ZAVPValue_TypeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVPValue_Escaping : int32_t {
    ZAVPValue_Escaping_EscapeHtml = 1,
    ZAVPValue_Escaping_EscapeHtmlRcdata = 2,
    ZAVPValue_Escaping_EscapeHtmlAttribute = 3,
    ZAVPValue_Escaping_EscapeHtmlAttributeNospace = 4,
    ZAVPValue_Escaping_FilterHtmlElementName = 5,
    ZAVPValue_Escaping_FilterHtmlAttributes = 6,
    ZAVPValue_Escaping_EscapeJsString = 7,
    ZAVPValue_Escaping_EscapeJsValue = 8,
    ZAVPValue_Escaping_EscapeJsRegex = 9,
    ZAVPValue_Escaping_EscapeCssString = 10,
    ZAVPValue_Escaping_FilterCssValue = 11,
    ZAVPValue_Escaping_EscapeUri = 12,
    ZAVPValue_Escaping_NormalizeUri = 13,
    ZAVPValue_Escaping_FilterNormalizeUri = 14,
    ZAVPValue_Escaping_NoAutoescape = 15,
    ZAVPValue_Escaping_Text = 17,
    ZAVPValue_Escaping_ConvertJsValueToExpression = 16,
};
struct ZAVPValue_EscapingEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

class ZAVPValue;

class ZAVPValue final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("type", 1,
                           ZAVWireFieldRequired | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(1), "ZAVPValue_Type"),
        ZAVWireFieldRecord("string", 2, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("listItemArray", 3, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPValue"),
        ZAVWireFieldRecord("mapKeyArray", 4, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPValue"),
        ZAVWireFieldRecord("mapValueArray", 5, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "ZAVPValue"),
        ZAVWireFieldRecord("macroReference", 6, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("functionId", 7, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("integer", 8, ZAVWireFieldOptional, ZAVWireTypeInt64),
        ZAVWireFieldRecord("containsReferences", 9, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("escapingArray", 10, ZAVWireFieldRepeated | ZAVWireFieldHasEnumDescriptor,
                           ZAVWireTypeEnum, {}, "ZAVPValue_Escaping"),
        ZAVWireFieldRecord("templateTokenArray", 11, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVPValue"),
        ZAVWireFieldRecord("boolean", 12, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("tagReference", 13, ZAVWireFieldOptional, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVPValue, kFields)
    ZAVWIRE_ENUM_FIELD(ZAVPValue_Type, type, Type, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, string, String, 1)
    ZAVWIRE_ARRAY_FIELD(listItemArray, ListItemArray, 2)
    ZAVWIRE_ARRAY_FIELD(mapKeyArray, MapKeyArray, 3)
    ZAVWIRE_ARRAY_FIELD(mapValueArray, MapValueArray, 4)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, macroReference, MacroReference, 5)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, functionId, FunctionId, 6)
    ZAVWIRE_SCALAR_FIELD(int64_t, integer, Integer, 7)
    ZAVWIRE_SCALAR_FIELD(bool, containsReferences, ContainsReferences, 8)
    ZAVWIRE_ARRAY_FIELD(escapingArray, EscapingArray, 9)
    ZAVWIRE_ARRAY_FIELD(templateTokenArray, TemplateTokenArray, 10)
    ZAVWIRE_SCALAR_FIELD(bool, boolean, Boolean, 11)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, tagReference, TagReference, 12)
    // The tag manager may replace how values hash; by default all values of the class share one hash.
    static void setHashFunction(size_t (*function)(const ZAVPValue&));
    size_t hash() const override;
};

struct ZAVPTypeSystemRoot {
    static const ZAVWireClass& wireClass();
    static const ZAVWireExtensionRegistry* extensionRegistry();
};
