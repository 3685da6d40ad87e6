#pragma once
// A family of messages written the way the schema classes are, for testing the runtime: every field type
// singular, repeated and packed; a group; required fields; a self-nesting node for chains and depth; fields 1
// and 200 around the extension range [100, 200) with extensions of every shape; a message-set container; an
// enum with a gap (1, 2, 5).
#include "wire/ZAVWireGeneratedMessage.h"

enum WTColor : int32_t { WTColor_Red = 1, WTColor_Green = 2, WTColor_DeepBlue = 5 };

// Adds the family's classes to the lookup table (once).
void WTRegisterClasses();

class WTGroup final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("a", 17, ZAVWireFieldOptional, ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(WTGroup, kFields)
    ZAVWIRE_SCALAR_FIELD(int32_t, a, A, 0)
};

class WTNode final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("value", 1, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("child", 2, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "WTNode"),
        ZAVWireFieldRecord("label", 3, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("listArray", 4, ZAVWireFieldRepeated | ZAVWireFieldPacked, ZAVWireTypeInt32),
        ZAVWireFieldRecord("color", 5, ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor, ZAVWireTypeEnum,
                           ZAVWireDefaultInt32(1), "WTColor"),
        ZAVWireFieldRecord("nodesArray", 6, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "WTNode"),
        ZAVWireFieldRecord("customName", 7, ZAVWireFieldOptional | ZAVWireFieldTextFormatNameCustom,
                           ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(WTNode, kFields)
    ZAVWIRE_SCALAR_FIELD(int32_t, value, Value, 0)
    ZAVWIRE_OBJECT_FIELD(WTNode, child, Child, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, label, Label, 2)
    ZAVWIRE_ARRAY_FIELD(listArray, ListArray, 3)
    ZAVWIRE_ENUM_FIELD(WTColor, color, Color, 4)
    ZAVWIRE_ARRAY_FIELD(nodesArray, NodesArray, 5)
    ZAVWIRE_SCALAR_FIELD(int32_t, customName, CustomName, 6)
};

class WTRequired final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("id_p", 1, ZAVWireFieldRequired, ZAVWireTypeInt32),
        ZAVWireFieldRecord("sub", 2, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "WTRequired"),
        ZAVWireFieldRecord("itemsArray", 3, ZAVWireFieldRepeated, ZAVWireTypeMessage, {}, "WTRequired"),
    });
    ZAVWIRE_MESSAGE_BODY(WTRequired, kFields)
    ZAVWIRE_SCALAR_FIELD(int32_t, id_p, Id_p, 0)
    ZAVWIRE_OBJECT_FIELD(WTRequired, sub, Sub, 1)
    ZAVWIRE_ARRAY_FIELD(itemsArray, ItemsArray, 2)
};

class WTExtendable final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("first", 1, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("last", 200, ZAVWireFieldOptional, ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(WTExtendable, kFields)
    ZAVWIRE_SCALAR_FIELD(int32_t, first, First, 0)
    ZAVWIRE_SCALAR_FIELD(int32_t, last, Last, 1)
};

// A message-set container: no fields, items carried as extensions.
class WTMessageSet final : public ZAVWireGeneratedMessage {
  public:
    static constexpr std::array<ZAVWireFieldDescription, 0> kFields{};
    ZAVWIRE_MESSAGE_BODY(WTMessageSet, kFields)
};

class WTAll final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("optionalInt32", 1, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("optionalInt64", 2, ZAVWireFieldOptional, ZAVWireTypeInt64),
        ZAVWireFieldRecord("optionalUint32", 3, ZAVWireFieldOptional, ZAVWireTypeUInt32),
        ZAVWireFieldRecord("optionalUint64", 4, ZAVWireFieldOptional, ZAVWireTypeUInt64),
        ZAVWireFieldRecord("optionalSint32", 5, ZAVWireFieldOptional, ZAVWireTypeSInt32),
        ZAVWireFieldRecord("optionalSint64", 6, ZAVWireFieldOptional, ZAVWireTypeSInt64),
        ZAVWireFieldRecord("optionalFixed32", 7, ZAVWireFieldOptional, ZAVWireTypeFixed32),
        ZAVWireFieldRecord("optionalFixed64", 8, ZAVWireFieldOptional, ZAVWireTypeFixed64),
        ZAVWireFieldRecord("optionalSfixed32", 9, ZAVWireFieldOptional, ZAVWireTypeSFixed32),
        ZAVWireFieldRecord("optionalSfixed64", 10, ZAVWireFieldOptional, ZAVWireTypeSFixed64),
        ZAVWireFieldRecord("optionalFloat", 11, ZAVWireFieldOptional, ZAVWireTypeFloat),
        ZAVWireFieldRecord("optionalDouble", 12, ZAVWireFieldOptional, ZAVWireTypeDouble),
        ZAVWireFieldRecord("optionalBool", 13, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("optionalString", 14, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("optionalBytes", 15, ZAVWireFieldOptional, ZAVWireTypeData),
        ZAVWireFieldRecord("optionalGroup", 16, ZAVWireFieldOptional, ZAVWireTypeGroup, {}, "WTGroup"),
        ZAVWireFieldRecord("optionalMessage", 17, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "WTNode"),
        ZAVWireFieldRecord("optionalEnum", 18, ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(1), "WTColor"),
        ZAVWireFieldRecord("repeatedInt32Array", 31, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("repeatedInt64Array", 32, ZAVWireFieldRepeated, ZAVWireTypeInt64),
        ZAVWireFieldRecord("repeatedUint32Array", 33, ZAVWireFieldRepeated, ZAVWireTypeUInt32),
        ZAVWireFieldRecord("repeatedUint64Array", 34, ZAVWireFieldRepeated, ZAVWireTypeUInt64),
        ZAVWireFieldRecord("repeatedSint32Array", 35, ZAVWireFieldRepeated, ZAVWireTypeSInt32),
        ZAVWireFieldRecord("repeatedSint64Array", 36, ZAVWireFieldRepeated, ZAVWireTypeSInt64),
        ZAVWireFieldRecord("repeatedFixed32Array", 37, ZAVWireFieldRepeated, ZAVWireTypeFixed32),
        ZAVWireFieldRecord("repeatedFixed64Array", 38, ZAVWireFieldRepeated, ZAVWireTypeFixed64),
        ZAVWireFieldRecord("repeatedSfixed32Array", 39, ZAVWireFieldRepeated, ZAVWireTypeSFixed32),
        ZAVWireFieldRecord("repeatedSfixed64Array", 40, ZAVWireFieldRepeated, ZAVWireTypeSFixed64),
        ZAVWireFieldRecord("repeatedFloatArray", 41, ZAVWireFieldRepeated, ZAVWireTypeFloat),
        ZAVWireFieldRecord("repeatedDoubleArray", 42, ZAVWireFieldRepeated, ZAVWireTypeDouble),
        ZAVWireFieldRecord("repeatedBoolArray", 43, ZAVWireFieldRepeated, ZAVWireTypeBool),
        ZAVWireFieldRecord("repeatedStringArray", 44, ZAVWireFieldRepeated, ZAVWireTypeString),
        ZAVWireFieldRecord("repeatedBytesArray", 45, ZAVWireFieldRepeated, ZAVWireTypeData),
        ZAVWireFieldRecord("repeatedGroupArray", 46, ZAVWireFieldRepeated, ZAVWireTypeGroup, {}, "WTGroup"),
        ZAVWireFieldRecord("repeatedMessageArray", 47, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "WTNode"),
        ZAVWireFieldRecord("repeatedEnumArray", 48, ZAVWireFieldRepeated | ZAVWireFieldHasEnumDescriptor,
                           ZAVWireTypeEnum, {}, "WTColor"),
        ZAVWireFieldRecord("packedInt32Array", 51, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeInt32),
        ZAVWireFieldRecord("packedInt64Array", 52, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeInt64),
        ZAVWireFieldRecord("packedUint32Array", 53, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeUInt32),
        ZAVWireFieldRecord("packedUint64Array", 54, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeUInt64),
        ZAVWireFieldRecord("packedSint32Array", 55, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeSInt32),
        ZAVWireFieldRecord("packedSint64Array", 56, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeSInt64),
        ZAVWireFieldRecord("packedFixed32Array", 57, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeFixed32),
        ZAVWireFieldRecord("packedFixed64Array", 58, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeFixed64),
        ZAVWireFieldRecord("packedSfixed32Array", 59, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeSFixed32),
        ZAVWireFieldRecord("packedSfixed64Array", 60, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeSFixed64),
        ZAVWireFieldRecord("packedFloatArray", 61, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeFloat),
        ZAVWireFieldRecord("packedDoubleArray", 62, ZAVWireFieldRepeated | ZAVWireFieldPacked,
                           ZAVWireTypeDouble),
        ZAVWireFieldRecord("packedBoolArray", 63, ZAVWireFieldRepeated | ZAVWireFieldPacked, ZAVWireTypeBool),
        ZAVWireFieldRecord("packedEnumArray", 64,
                           ZAVWireFieldRepeated | ZAVWireFieldPacked | ZAVWireFieldHasEnumDescriptor,
                           ZAVWireTypeEnum, {}, "WTColor"),
    });
    ZAVWIRE_MESSAGE_BODY(WTAll, kFields)
    ZAVWIRE_SCALAR_FIELD(int32_t, optionalInt32, OptionalInt32, 0)
    ZAVWIRE_SCALAR_FIELD(int64_t, optionalInt64, OptionalInt64, 1)
    ZAVWIRE_SCALAR_FIELD(uint32_t, optionalUint32, OptionalUint32, 2)
    ZAVWIRE_SCALAR_FIELD(uint64_t, optionalUint64, OptionalUint64, 3)
    ZAVWIRE_SCALAR_FIELD(int32_t, optionalSint32, OptionalSint32, 4)
    ZAVWIRE_SCALAR_FIELD(int64_t, optionalSint64, OptionalSint64, 5)
    ZAVWIRE_SCALAR_FIELD(uint32_t, optionalFixed32, OptionalFixed32, 6)
    ZAVWIRE_SCALAR_FIELD(uint64_t, optionalFixed64, OptionalFixed64, 7)
    ZAVWIRE_SCALAR_FIELD(int32_t, optionalSfixed32, OptionalSfixed32, 8)
    ZAVWIRE_SCALAR_FIELD(int64_t, optionalSfixed64, OptionalSfixed64, 9)
    ZAVWIRE_SCALAR_FIELD(float, optionalFloat, OptionalFloat, 10)
    ZAVWIRE_SCALAR_FIELD(double, optionalDouble, OptionalDouble, 11)
    ZAVWIRE_SCALAR_FIELD(bool, optionalBool, OptionalBool, 12)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, optionalString, OptionalString, 13)
    ZAVWIRE_OBJECT_FIELD(ZAVWireData, optionalBytes, OptionalBytes, 14)
    ZAVWIRE_OBJECT_FIELD(WTGroup, optionalGroup, OptionalGroup, 15)
    ZAVWIRE_OBJECT_FIELD(WTNode, optionalMessage, OptionalMessage, 16)
    ZAVWIRE_SCALAR_FIELD(int32_t, optionalEnum, OptionalEnum, 17)
    ZAVWIRE_ARRAY_FIELD(repeatedInt32Array, RepeatedInt32Array, 18)
    ZAVWIRE_ARRAY_FIELD(repeatedInt64Array, RepeatedInt64Array, 19)
    ZAVWIRE_ARRAY_FIELD(repeatedUint32Array, RepeatedUint32Array, 20)
    ZAVWIRE_ARRAY_FIELD(repeatedUint64Array, RepeatedUint64Array, 21)
    ZAVWIRE_ARRAY_FIELD(repeatedSint32Array, RepeatedSint32Array, 22)
    ZAVWIRE_ARRAY_FIELD(repeatedSint64Array, RepeatedSint64Array, 23)
    ZAVWIRE_ARRAY_FIELD(repeatedFixed32Array, RepeatedFixed32Array, 24)
    ZAVWIRE_ARRAY_FIELD(repeatedFixed64Array, RepeatedFixed64Array, 25)
    ZAVWIRE_ARRAY_FIELD(repeatedSfixed32Array, RepeatedSfixed32Array, 26)
    ZAVWIRE_ARRAY_FIELD(repeatedSfixed64Array, RepeatedSfixed64Array, 27)
    ZAVWIRE_ARRAY_FIELD(repeatedFloatArray, RepeatedFloatArray, 28)
    ZAVWIRE_ARRAY_FIELD(repeatedDoubleArray, RepeatedDoubleArray, 29)
    ZAVWIRE_ARRAY_FIELD(repeatedBoolArray, RepeatedBoolArray, 30)
    ZAVWIRE_ARRAY_FIELD(repeatedStringArray, RepeatedStringArray, 31)
    ZAVWIRE_ARRAY_FIELD(repeatedBytesArray, RepeatedBytesArray, 32)
    ZAVWIRE_ARRAY_FIELD(repeatedGroupArray, RepeatedGroupArray, 33)
    ZAVWIRE_ARRAY_FIELD(repeatedMessageArray, RepeatedMessageArray, 34)
    ZAVWIRE_ARRAY_FIELD(repeatedEnumArray, RepeatedEnumArray, 35)
    ZAVWIRE_ARRAY_FIELD(packedInt32Array, PackedInt32Array, 36)
    ZAVWIRE_ARRAY_FIELD(packedInt64Array, PackedInt64Array, 37)
    ZAVWIRE_ARRAY_FIELD(packedUint32Array, PackedUint32Array, 38)
    ZAVWIRE_ARRAY_FIELD(packedUint64Array, PackedUint64Array, 39)
    ZAVWIRE_ARRAY_FIELD(packedSint32Array, PackedSint32Array, 40)
    ZAVWIRE_ARRAY_FIELD(packedSint64Array, PackedSint64Array, 41)
    ZAVWIRE_ARRAY_FIELD(packedFixed32Array, PackedFixed32Array, 42)
    ZAVWIRE_ARRAY_FIELD(packedFixed64Array, PackedFixed64Array, 43)
    ZAVWIRE_ARRAY_FIELD(packedSfixed32Array, PackedSfixed32Array, 44)
    ZAVWIRE_ARRAY_FIELD(packedSfixed64Array, PackedSfixed64Array, 45)
    ZAVWIRE_ARRAY_FIELD(packedFloatArray, PackedFloatArray, 46)
    ZAVWIRE_ARRAY_FIELD(packedDoubleArray, PackedDoubleArray, 47)
    ZAVWIRE_ARRAY_FIELD(packedBoolArray, PackedBoolArray, 48)
    ZAVWIRE_ARRAY_FIELD(packedEnumArray, PackedEnumArray, 49)
};

// The family's file root: its extensions, made and registered on first use.
struct WTRoot {
    static const ZAVWireExtensionRegistry* extensionRegistry();
    // The same without the extension read without a length (it cannot read back what it writes).
    static const ZAVWireExtensionRegistry* fuzzRegistry();
    static const ZAVWireExtensionField& single();   // 150, int32
    static const ZAVWireExtensionField& strings();  // 151, repeated string
    static const ZAVWireExtensionField& packed();   // 152, packed int32
    static const ZAVWireExtensionField& group();    // 153, group WTNode
    static const ZAVWireExtensionField& node();     // 154, message WTNode
    static const ZAVWireExtensionField& direct();   // 155, message WTExtendable without length (option 0x10)
    static const ZAVWireExtensionField& setItem();  // 5 on WTMessageSet, message WTMessageSet, option 0x10
};
