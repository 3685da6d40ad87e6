#pragma once
// Messages that describe schemas themselves; only the field options are used at run time.
#include <cstdint>

#include "wire/ZAVWireGeneratedMessage.h"

enum ZAVWireFieldDescriptorProto_Type : int32_t {
    ZAVWireFieldDescriptorProto_Type_TypeDouble = 1,
    ZAVWireFieldDescriptorProto_Type_TypeFloat = 2,
    ZAVWireFieldDescriptorProto_Type_TypeInt64 = 3,
    ZAVWireFieldDescriptorProto_Type_TypeUint64 = 4,
    ZAVWireFieldDescriptorProto_Type_TypeInt32 = 5,
    ZAVWireFieldDescriptorProto_Type_TypeFixed64 = 6,
    ZAVWireFieldDescriptorProto_Type_TypeFixed32 = 7,
    ZAVWireFieldDescriptorProto_Type_TypeBool = 8,
    ZAVWireFieldDescriptorProto_Type_TypeString = 9,
    ZAVWireFieldDescriptorProto_Type_TypeGroup = 10,
    ZAVWireFieldDescriptorProto_Type_TypeMessage = 11,
    ZAVWireFieldDescriptorProto_Type_TypeBytes = 12,
    ZAVWireFieldDescriptorProto_Type_TypeUint32 = 13,
    ZAVWireFieldDescriptorProto_Type_TypeEnum = 14,
    ZAVWireFieldDescriptorProto_Type_TypeSfixed32 = 15,
    ZAVWireFieldDescriptorProto_Type_TypeSfixed64 = 16,
    ZAVWireFieldDescriptorProto_Type_TypeSint32 = 17,
    ZAVWireFieldDescriptorProto_Type_TypeSint64 = 18,
};
struct ZAVWireFieldDescriptorProto_TypeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireFieldDescriptorProto_Label : int32_t {
    ZAVWireFieldDescriptorProto_Label_LabelOptional = 1,
    ZAVWireFieldDescriptorProto_Label_LabelRequired = 2,
    ZAVWireFieldDescriptorProto_Label_LabelRepeated = 3,
};
struct ZAVWireFieldDescriptorProto_LabelEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireFileOptions_CompatibilityLevel : int32_t {
    ZAVWireFileOptions_CompatibilityLevel_NoCompatibility = 0,
    ZAVWireFileOptions_CompatibilityLevel_Proto1Compatible = 100,
    ZAVWireFileOptions_CompatibilityLevel_DeprecatedProto1Compatible = 50,
};
struct ZAVWireFileOptions_CompatibilityLevelEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireFileOptions_OptimizeMode : int32_t {
    ZAVWireFileOptions_OptimizeMode_Speed = 1,
    ZAVWireFileOptions_OptimizeMode_CodeSize = 2,
    ZAVWireFileOptions_OptimizeMode_LiteRuntime = 3,
};
struct ZAVWireFileOptions_OptimizeModeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireFieldOptions_CType : int32_t {
    ZAVWireFieldOptions_CType_String = 0,
    ZAVWireFieldOptions_CType_Cord = 1,
    ZAVWireFieldOptions_CType_StringPiece = 2,
};
struct ZAVWireFieldOptions_CTypeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireFieldOptions_JType : int32_t {
    ZAVWireFieldOptions_JType_Normal = 0,
    ZAVWireFieldOptions_JType_Bytes = 1,
    ZAVWireFieldOptions_JType_ExperimentalByteBuffer = 2,
};
struct ZAVWireFieldOptions_JTypeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireFieldOptions_JSType : int32_t {
    ZAVWireFieldOptions_JSType_JsNormal = 0,
    ZAVWireFieldOptions_JSType_JsString = 1,
    ZAVWireFieldOptions_JSType_JsNumber = 2,
};
struct ZAVWireFieldOptions_JSTypeEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireMethodOptions_Protocol : int32_t {
    ZAVWireMethodOptions_Protocol_Tcp = 0,
    ZAVWireMethodOptions_Protocol_Udp = 1,
};
struct ZAVWireMethodOptions_ProtocolEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireMethodOptions_SecurityLevel : int32_t {
    ZAVWireMethodOptions_SecurityLevel_None = 0,
    ZAVWireMethodOptions_SecurityLevel_Integrity = 1,
    ZAVWireMethodOptions_SecurityLevel_PrivacyAndIntegrity = 2,
    ZAVWireMethodOptions_SecurityLevel_StrongPrivacyAndIntegrity = 3,
};
struct ZAVWireMethodOptions_SecurityLevelEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireMethodOptions_Format : int32_t {
    ZAVWireMethodOptions_Format_Uncompressed = 0,
    ZAVWireMethodOptions_Format_BriskCompressed = 1,
};
struct ZAVWireMethodOptions_FormatEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireMethodOptions_LogLevel : int32_t {
    ZAVWireMethodOptions_LogLevel_LogNone = 0,
    ZAVWireMethodOptions_LogLevel_LogHeaderOnly = 1,
    ZAVWireMethodOptions_LogLevel_LogHeaderAndNonPrivatePayloadInternal = 2,
    ZAVWireMethodOptions_LogLevel_LogHeaderAndFilteredPayload = 3,
    ZAVWireMethodOptions_LogLevel_LogHeaderAndPayload = 4,
};
struct ZAVWireMethodOptions_LogLevelEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

enum ZAVWireStreamOptions_TokenUnit : int32_t {
    ZAVWireStreamOptions_TokenUnit_Message = 0,
    ZAVWireStreamOptions_TokenUnit_Byte = 1,
};
struct ZAVWireStreamOptions_TokenUnitEnumDescriptor : ZAVWireGeneratedEnumDescriptor {
    static const ZAVWireClass& wireClass();
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

class ZAVWireFileDescriptorSet;
class ZAVWireFileDescriptorProto;
class ZAVWireDescriptorProto;
class ZAVWireDescriptorProto_ExtensionRange;
class ZAVWireFieldDescriptorProto;
class ZAVWireOneofDescriptorProto;
class ZAVWireEnumDescriptorProto;
class ZAVWireEnumValueDescriptorProto;
class ZAVWireServiceDescriptorProto;
class ZAVWireMethodDescriptorProto;
class ZAVWireStreamDescriptorProto;
class ZAVWireFileOptions;
class ZAVWireMessageOptions;
class ZAVWireFieldOptions;
class ZAVWireFieldOptions_UpgradedOption;
class ZAVWireEnumOptions;
class ZAVWireEnumValueOptions;
class ZAVWireServiceOptions;
class ZAVWireMethodOptions;
class ZAVWireStreamOptions;
class ZAVWireUninterpretedOption;
class ZAVWireUninterpretedOption_NamePart;
class ZAVWireSourceCodeInfo;
class ZAVWireSourceCodeInfo_Location;
class ZAVWireObjectiveCFileOptions;

class ZAVWireFileDescriptorSet final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("fileArray", 1, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireFileDescriptorProto"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireFileDescriptorSet, kFields)
    ZAVWIRE_ARRAY_FIELD(fileArray, FileArray, 0)
};

class ZAVWireFileOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("javaPackage", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("ccApiVersion", 2, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt32, ZAVWireDefaultInt32(2)),
        ZAVWireFieldRecord("pyApiVersion", 4, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt32, ZAVWireDefaultInt32(2)),
        ZAVWireFieldRecord("javaApiVersion", 5, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt32, ZAVWireDefaultInt32(2)),
        ZAVWireFieldRecord("javaUseJavaproto2", 6, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(1)),
        ZAVWireFieldRecord("javaJava5Enums", 7, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(1)),
        ZAVWireFieldRecord("javaOuterClassname", 8, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("optimizeFor", 9,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(1), "ZAVWireFileOptions_OptimizeMode"),
        ZAVWireFieldRecord("javaMultipleFiles", 10, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("goPackage", 11, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("javascriptPackage", 12, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("javaGenerateRpcBaseimpl", 13, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("vexApiVersion", 14, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt32, ZAVWireDefaultInt32(1)),
        ZAVWireFieldRecord("ccApiCompatibility", 15,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireFileOptions_CompatibilityLevel"),
        ZAVWireFieldRecord("ccGenericServices", 16, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("javaGenericServices", 17, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("pyGenericServices", 18, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("javaAltApiPackage", 19, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("javaGenerateEqualsAndHash", 20,
                           ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeBool,
                           ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("javaUseJavastrings", 21, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("ccProtoArrayCompatible", 22, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(1)),
        ZAVWireFieldRecord("deprecated", 23, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("ccUtf8Verification", 24, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(1)),
        ZAVWireFieldRecord("ccProto1TextFormat", 25, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("javaEnableDualGenerateMutableApi", 26,
                           ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeBool,
                           ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("javaStringCheckUtf8", 27, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("javaMutableApi", 28, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("javaMultipleFilesMutablePackage", 29, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("ccEnableArenas", 31, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("ccEnableMaps", 32, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(1)),
        ZAVWireFieldRecord("goForceProto2Api", 33, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("javaEnableMapsForProto2", 34, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(1)),
        ZAVWireFieldRecord("objcClassPrefix", 36, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("uninterpretedOptionArray", 999, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireFileOptions, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, javaPackage, JavaPackage, 0)
    ZAVWIRE_SCALAR_FIELD(int32_t, ccApiVersion, CcApiVersion, 1)
    ZAVWIRE_SCALAR_FIELD(int32_t, pyApiVersion, PyApiVersion, 2)
    ZAVWIRE_SCALAR_FIELD(int32_t, javaApiVersion, JavaApiVersion, 3)
    ZAVWIRE_SCALAR_FIELD(bool, javaUseJavaproto2, JavaUseJavaproto2, 4)
    ZAVWIRE_SCALAR_FIELD(bool, javaJava5Enums, JavaJava5Enums, 5)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, javaOuterClassname, JavaOuterClassname, 6)
    ZAVWIRE_ENUM_FIELD(ZAVWireFileOptions_OptimizeMode, optimizeFor, OptimizeFor, 7)
    ZAVWIRE_SCALAR_FIELD(bool, javaMultipleFiles, JavaMultipleFiles, 8)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, goPackage, GoPackage, 9)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, javascriptPackage, JavascriptPackage, 10)
    ZAVWIRE_SCALAR_FIELD(bool, javaGenerateRpcBaseimpl, JavaGenerateRpcBaseimpl, 11)
    ZAVWIRE_SCALAR_FIELD(int32_t, vexApiVersion, VexApiVersion, 12)
    ZAVWIRE_ENUM_FIELD(ZAVWireFileOptions_CompatibilityLevel, ccApiCompatibility, CcApiCompatibility, 13)
    ZAVWIRE_SCALAR_FIELD(bool, ccGenericServices, CcGenericServices, 14)
    ZAVWIRE_SCALAR_FIELD(bool, javaGenericServices, JavaGenericServices, 15)
    ZAVWIRE_SCALAR_FIELD(bool, pyGenericServices, PyGenericServices, 16)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, javaAltApiPackage, JavaAltApiPackage, 17)
    ZAVWIRE_SCALAR_FIELD(bool, javaGenerateEqualsAndHash, JavaGenerateEqualsAndHash, 18)
    ZAVWIRE_SCALAR_FIELD(bool, javaUseJavastrings, JavaUseJavastrings, 19)
    ZAVWIRE_SCALAR_FIELD(bool, ccProtoArrayCompatible, CcProtoArrayCompatible, 20)
    ZAVWIRE_SCALAR_FIELD(bool, deprecated, Deprecated, 21)
    ZAVWIRE_SCALAR_FIELD(bool, ccUtf8Verification, CcUtf8Verification, 22)
    ZAVWIRE_SCALAR_FIELD(bool, ccProto1TextFormat, CcProto1TextFormat, 23)
    ZAVWIRE_SCALAR_FIELD(bool, javaEnableDualGenerateMutableApi, JavaEnableDualGenerateMutableApi, 24)
    ZAVWIRE_SCALAR_FIELD(bool, javaStringCheckUtf8, JavaStringCheckUtf8, 25)
    ZAVWIRE_SCALAR_FIELD(bool, javaMutableApi, JavaMutableApi, 26)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, javaMultipleFilesMutablePackage, JavaMultipleFilesMutablePackage, 27)
    ZAVWIRE_SCALAR_FIELD(bool, ccEnableArenas, CcEnableArenas, 28)
    ZAVWIRE_SCALAR_FIELD(bool, ccEnableMaps, CcEnableMaps, 29)
    ZAVWIRE_SCALAR_FIELD(bool, goForceProto2Api, GoForceProto2Api, 30)
    ZAVWIRE_SCALAR_FIELD(bool, javaEnableMapsForProto2, JavaEnableMapsForProto2, 31)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, objcClassPrefix, ObjcClassPrefix, 32)
    ZAVWIRE_ARRAY_FIELD(uninterpretedOptionArray, UninterpretedOptionArray, 33)
};

class ZAVWireSourceCodeInfo final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("locationArray", 1, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireSourceCodeInfo_Location"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireSourceCodeInfo, kFields)
    ZAVWIRE_ARRAY_FIELD(locationArray, LocationArray, 0)
};

class ZAVWireFileDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("package", 2, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("dependencyArray", 3, ZAVWireFieldRepeated, ZAVWireTypeString),
        ZAVWireFieldRecord("messageTypeArray", 4, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireDescriptorProto"),
        ZAVWireFieldRecord("enumTypeArray", 5, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireEnumDescriptorProto"),
        ZAVWireFieldRecord("serviceArray", 6, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireServiceDescriptorProto"),
        ZAVWireFieldRecord("extensionArray", 7, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireFieldDescriptorProto"),
        ZAVWireFieldRecord("options", 8, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "ZAVWireFileOptions"),
        ZAVWireFieldRecord("sourceCodeInfo", 9, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVWireSourceCodeInfo"),
        ZAVWireFieldRecord("publicDependencyArray", 10, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("weakDependencyArray", 11, ZAVWireFieldRepeated, ZAVWireTypeInt32),
        ZAVWireFieldRecord("syntax", 12, ZAVWireFieldOptional, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireFileDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, package, Package, 1)
    ZAVWIRE_ARRAY_FIELD(dependencyArray, DependencyArray, 2)
    ZAVWIRE_ARRAY_FIELD(messageTypeArray, MessageTypeArray, 3)
    ZAVWIRE_ARRAY_FIELD(enumTypeArray, EnumTypeArray, 4)
    ZAVWIRE_ARRAY_FIELD(serviceArray, ServiceArray, 5)
    ZAVWIRE_ARRAY_FIELD(extensionArray, ExtensionArray, 6)
    ZAVWIRE_OBJECT_FIELD(ZAVWireFileOptions, options, Options, 7)
    ZAVWIRE_OBJECT_FIELD(ZAVWireSourceCodeInfo, sourceCodeInfo, SourceCodeInfo, 8)
    ZAVWIRE_ARRAY_FIELD(publicDependencyArray, PublicDependencyArray, 9)
    ZAVWIRE_ARRAY_FIELD(weakDependencyArray, WeakDependencyArray, 10)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, syntax, Syntax, 11)
};

class ZAVWireMessageOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("messageSetWireFormat", 1, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("noStandardDescriptorAccessor", 2,
                           ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeBool,
                           ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("deprecated", 3, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("experimentalJavaMessageInterfaceArray", 4, ZAVWireFieldRepeated,
                           ZAVWireTypeString),
        ZAVWireFieldRecord("experimentalJavaBuilderInterfaceArray", 5, ZAVWireFieldRepeated,
                           ZAVWireTypeString),
        ZAVWireFieldRecord("experimentalJavaInterfaceExtendsArray", 6, ZAVWireFieldRepeated,
                           ZAVWireTypeString),
        ZAVWireFieldRecord("mapEntry", 7, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("uninterpretedOptionArray", 999, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireMessageOptions, kFields)
    ZAVWIRE_SCALAR_FIELD(bool, messageSetWireFormat, MessageSetWireFormat, 0)
    ZAVWIRE_SCALAR_FIELD(bool, noStandardDescriptorAccessor, NoStandardDescriptorAccessor, 1)
    ZAVWIRE_SCALAR_FIELD(bool, deprecated, Deprecated, 2)
    ZAVWIRE_ARRAY_FIELD(experimentalJavaMessageInterfaceArray, ExperimentalJavaMessageInterfaceArray, 3)
    ZAVWIRE_ARRAY_FIELD(experimentalJavaBuilderInterfaceArray, ExperimentalJavaBuilderInterfaceArray, 4)
    ZAVWIRE_ARRAY_FIELD(experimentalJavaInterfaceExtendsArray, ExperimentalJavaInterfaceExtendsArray, 5)
    ZAVWIRE_SCALAR_FIELD(bool, mapEntry, MapEntry, 6)
    ZAVWIRE_ARRAY_FIELD(uninterpretedOptionArray, UninterpretedOptionArray, 7)
};

class ZAVWireDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("fieldArray", 2, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireFieldDescriptorProto"),
        ZAVWireFieldRecord("nestedTypeArray", 3, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireDescriptorProto"),
        ZAVWireFieldRecord("enumTypeArray", 4, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireEnumDescriptorProto"),
        ZAVWireFieldRecord("extensionRangeArray", 5, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireDescriptorProto_ExtensionRange"),
        ZAVWireFieldRecord("extensionArray", 6, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireFieldDescriptorProto"),
        ZAVWireFieldRecord("options", 7, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVWireMessageOptions"),
        ZAVWireFieldRecord("oneofDeclArray", 8, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireOneofDescriptorProto"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_ARRAY_FIELD(fieldArray, FieldArray, 1)
    ZAVWIRE_ARRAY_FIELD(nestedTypeArray, NestedTypeArray, 2)
    ZAVWIRE_ARRAY_FIELD(enumTypeArray, EnumTypeArray, 3)
    ZAVWIRE_ARRAY_FIELD(extensionRangeArray, ExtensionRangeArray, 4)
    ZAVWIRE_ARRAY_FIELD(extensionArray, ExtensionArray, 5)
    ZAVWIRE_OBJECT_FIELD(ZAVWireMessageOptions, options, Options, 6)
    ZAVWIRE_ARRAY_FIELD(oneofDeclArray, OneofDeclArray, 7)
};

class ZAVWireDescriptorProto_ExtensionRange final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("start", 1, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("end", 2, ZAVWireFieldOptional, ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireDescriptorProto_ExtensionRange, kFields)
    ZAVWIRE_SCALAR_FIELD(int32_t, start, Start, 0)
    ZAVWIRE_SCALAR_FIELD(int32_t, end, End, 1)
};

class ZAVWireFieldOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("ctype", 1,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireFieldOptions_CType"),
        ZAVWireFieldRecord("packed", 2, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("deprecated", 3, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("jtype", 4,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireFieldOptions_JType"),
        ZAVWireFieldRecord("lazy", 5, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeBool,
                           ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("jstype", 6,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireFieldOptions_JSType"),
        ZAVWireFieldRecord("weak", 10, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeBool,
                           ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("upgradedOptionArray", 11, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireFieldOptions_UpgradedOption"),
        ZAVWireFieldRecord("deprecatedRawMessage", 12, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("uninterpretedOptionArray", 999, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireFieldOptions, kFields)
    ZAVWIRE_ENUM_FIELD(ZAVWireFieldOptions_CType, ctype, Ctype, 0)
    ZAVWIRE_SCALAR_FIELD(bool, packed, Packed, 1)
    ZAVWIRE_SCALAR_FIELD(bool, deprecated, Deprecated, 2)
    ZAVWIRE_ENUM_FIELD(ZAVWireFieldOptions_JType, jtype, Jtype, 3)
    ZAVWIRE_SCALAR_FIELD(bool, lazy, Lazy, 4)
    ZAVWIRE_ENUM_FIELD(ZAVWireFieldOptions_JSType, jstype, Jstype, 5)
    ZAVWIRE_SCALAR_FIELD(bool, weak, Weak, 6)
    ZAVWIRE_ARRAY_FIELD(upgradedOptionArray, UpgradedOptionArray, 7)
    ZAVWIRE_SCALAR_FIELD(bool, deprecatedRawMessage, DeprecatedRawMessage, 8)
    ZAVWIRE_ARRAY_FIELD(uninterpretedOptionArray, UninterpretedOptionArray, 9)
};

class ZAVWireFieldDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("extendee", 2, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("number", 3, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("label", 4, ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor, ZAVWireTypeEnum,
                           ZAVWireDefaultInt32(1), "ZAVWireFieldDescriptorProto_Label"),
        ZAVWireFieldRecord("type", 5, ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor, ZAVWireTypeEnum,
                           ZAVWireDefaultInt32(1), "ZAVWireFieldDescriptorProto_Type"),
        ZAVWireFieldRecord("typeName", 6, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("defaultValue", 7, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("options", 8, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "ZAVWireFieldOptions"),
        ZAVWireFieldRecord("oneofIndex", 9, ZAVWireFieldOptional, ZAVWireTypeInt32),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireFieldDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, extendee, Extendee, 1)
    ZAVWIRE_SCALAR_FIELD(int32_t, number, Number, 2)
    ZAVWIRE_ENUM_FIELD(ZAVWireFieldDescriptorProto_Label, label, Label, 3)
    ZAVWIRE_ENUM_FIELD(ZAVWireFieldDescriptorProto_Type, type, Type, 4)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, typeName, TypeName, 5)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, defaultValue, DefaultValue, 6)
    ZAVWIRE_OBJECT_FIELD(ZAVWireFieldOptions, options, Options, 7)
    ZAVWIRE_SCALAR_FIELD(int32_t, oneofIndex, OneofIndex, 8)
};

class ZAVWireOneofDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireOneofDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
};

class ZAVWireEnumOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("proto1Name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("allowAlias", 2, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("deprecated", 3, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("uninterpretedOptionArray", 999, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireEnumOptions, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, proto1Name, Proto1Name, 0)
    ZAVWIRE_SCALAR_FIELD(bool, allowAlias, AllowAlias, 1)
    ZAVWIRE_SCALAR_FIELD(bool, deprecated, Deprecated, 2)
    ZAVWIRE_ARRAY_FIELD(uninterpretedOptionArray, UninterpretedOptionArray, 3)
};

class ZAVWireEnumDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("valueArray", 2, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireEnumValueDescriptorProto"),
        ZAVWireFieldRecord("options", 3, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "ZAVWireEnumOptions"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireEnumDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_ARRAY_FIELD(valueArray, ValueArray, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireEnumOptions, options, Options, 2)
};

class ZAVWireEnumValueOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("deprecated", 1, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("uninterpretedOptionArray", 999, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireEnumValueOptions, kFields)
    ZAVWIRE_SCALAR_FIELD(bool, deprecated, Deprecated, 0)
    ZAVWIRE_ARRAY_FIELD(uninterpretedOptionArray, UninterpretedOptionArray, 1)
};

class ZAVWireEnumValueDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("number", 2, ZAVWireFieldOptional, ZAVWireTypeInt32),
        ZAVWireFieldRecord("options", 3, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVWireEnumValueOptions"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireEnumValueDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_SCALAR_FIELD(int32_t, number, Number, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireEnumValueOptions, options, Options, 2)
};

class ZAVWireServiceOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("failureDetectionDelay", 16, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeDouble, ZAVWireDefaultDouble(-1.0)),
        ZAVWireFieldRecord("multicastStub", 20, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("deprecated", 33, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("uninterpretedOptionArray", 999, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireServiceOptions, kFields)
    ZAVWIRE_SCALAR_FIELD(double, failureDetectionDelay, FailureDetectionDelay, 0)
    ZAVWIRE_SCALAR_FIELD(bool, multicastStub, MulticastStub, 1)
    ZAVWIRE_SCALAR_FIELD(bool, deprecated, Deprecated, 2)
    ZAVWIRE_ARRAY_FIELD(uninterpretedOptionArray, UninterpretedOptionArray, 3)
};

class ZAVWireServiceDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("methodArray", 2, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireMethodDescriptorProto"),
        ZAVWireFieldRecord("options", 3, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVWireServiceOptions"),
        ZAVWireFieldRecord("streamArray", 4, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireStreamDescriptorProto"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireServiceDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_ARRAY_FIELD(methodArray, MethodArray, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireServiceOptions, options, Options, 2)
    ZAVWIRE_ARRAY_FIELD(streamArray, StreamArray, 3)
};

class ZAVWireMethodOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("protocol", 7,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireMethodOptions_Protocol"),
        ZAVWireFieldRecord("deadline", 8, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeDouble, ZAVWireDefaultDouble(-1.0)),
        ZAVWireFieldRecord("duplicateSuppression", 9, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("failFast", 10, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("clientLogging", 11, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeSInt32, ZAVWireDefaultInt32(256)),
        ZAVWireFieldRecord("serverLogging", 12, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeSInt32, ZAVWireDefaultInt32(256)),
        ZAVWireFieldRecord("securityLevel", 13,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireMethodOptions_SecurityLevel"),
        ZAVWireFieldRecord("responseFormat", 15,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireMethodOptions_Format"),
        ZAVWireFieldRecord("requestFormat", 17,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireMethodOptions_Format"),
        ZAVWireFieldRecord("streamType", 18, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("securityLabel", 19, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("clientStreaming", 20, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("serverStreaming", 21, ZAVWireFieldOptional, ZAVWireTypeBool),
        ZAVWireFieldRecord("legacyStreamType", 22, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("legacyResultType", 23, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("legacyClientInitialTokens", 24,
                           ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeInt64,
                           ZAVWireDefaultInt(-1)),
        ZAVWireFieldRecord("legacyServerInitialTokens", 25,
                           ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeInt64,
                           ZAVWireDefaultInt(-1)),
        ZAVWireFieldRecord("endUserCredsRequested", 26, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("logLevel", 27,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(2), "ZAVWireMethodOptions_LogLevel"),
        ZAVWireFieldRecord("deprecated", 33, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("uninterpretedOptionArray", 999, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireMethodOptions, kFields)
    ZAVWIRE_ENUM_FIELD(ZAVWireMethodOptions_Protocol, protocol, Protocol, 0)
    ZAVWIRE_SCALAR_FIELD(double, deadline, Deadline, 1)
    ZAVWIRE_SCALAR_FIELD(bool, duplicateSuppression, DuplicateSuppression, 2)
    ZAVWIRE_SCALAR_FIELD(bool, failFast, FailFast, 3)
    ZAVWIRE_SCALAR_FIELD(int32_t, clientLogging, ClientLogging, 4)
    ZAVWIRE_SCALAR_FIELD(int32_t, serverLogging, ServerLogging, 5)
    ZAVWIRE_ENUM_FIELD(ZAVWireMethodOptions_SecurityLevel, securityLevel, SecurityLevel, 6)
    ZAVWIRE_ENUM_FIELD(ZAVWireMethodOptions_Format, responseFormat, ResponseFormat, 7)
    ZAVWIRE_ENUM_FIELD(ZAVWireMethodOptions_Format, requestFormat, RequestFormat, 8)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, streamType, StreamType, 9)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, securityLabel, SecurityLabel, 10)
    ZAVWIRE_SCALAR_FIELD(bool, clientStreaming, ClientStreaming, 11)
    ZAVWIRE_SCALAR_FIELD(bool, serverStreaming, ServerStreaming, 12)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, legacyStreamType, LegacyStreamType, 13)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, legacyResultType, LegacyResultType, 14)
    ZAVWIRE_SCALAR_FIELD(int64_t, legacyClientInitialTokens, LegacyClientInitialTokens, 15)
    ZAVWIRE_SCALAR_FIELD(int64_t, legacyServerInitialTokens, LegacyServerInitialTokens, 16)
    ZAVWIRE_SCALAR_FIELD(bool, endUserCredsRequested, EndUserCredsRequested, 17)
    ZAVWIRE_ENUM_FIELD(ZAVWireMethodOptions_LogLevel, logLevel, LogLevel, 18)
    ZAVWIRE_SCALAR_FIELD(bool, deprecated, Deprecated, 19)
    ZAVWIRE_ARRAY_FIELD(uninterpretedOptionArray, UninterpretedOptionArray, 20)
};

class ZAVWireMethodDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("inputType", 2, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("outputType", 3, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("options", 4, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVWireMethodOptions"),
        ZAVWireFieldRecord("clientStreaming", 5, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("serverStreaming", 6, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireMethodDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, inputType, InputType, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, outputType, OutputType, 2)
    ZAVWIRE_OBJECT_FIELD(ZAVWireMethodOptions, options, Options, 3)
    ZAVWIRE_SCALAR_FIELD(bool, clientStreaming, ClientStreaming, 4)
    ZAVWIRE_SCALAR_FIELD(bool, serverStreaming, ServerStreaming, 5)
};

class ZAVWireStreamOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("clientInitialTokens", 1, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt64, ZAVWireDefaultInt(-1)),
        ZAVWireFieldRecord("serverInitialTokens", 2, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt64, ZAVWireDefaultInt(-1)),
        ZAVWireFieldRecord("tokenUnit", 3,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireStreamOptions_TokenUnit"),
        ZAVWireFieldRecord("securityLevel", 4,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(0), "ZAVWireMethodOptions_SecurityLevel"),
        ZAVWireFieldRecord("securityLabel", 5, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("clientLogging", 6, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt32, ZAVWireDefaultInt32(256)),
        ZAVWireFieldRecord("serverLogging", 7, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeInt32, ZAVWireDefaultInt32(256)),
        ZAVWireFieldRecord("deadline", 8, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeDouble, ZAVWireDefaultDouble(-1.0)),
        ZAVWireFieldRecord("failFast", 9, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeBool,
                           ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("endUserCredsRequested", 10, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("logLevel", 11,
                           ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeEnum, ZAVWireDefaultInt32(2), "ZAVWireMethodOptions_LogLevel"),
        ZAVWireFieldRecord("deprecated", 33, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(0)),
        ZAVWireFieldRecord("uninterpretedOptionArray", 999, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireStreamOptions, kFields)
    ZAVWIRE_SCALAR_FIELD(int64_t, clientInitialTokens, ClientInitialTokens, 0)
    ZAVWIRE_SCALAR_FIELD(int64_t, serverInitialTokens, ServerInitialTokens, 1)
    ZAVWIRE_ENUM_FIELD(ZAVWireStreamOptions_TokenUnit, tokenUnit, TokenUnit, 2)
    ZAVWIRE_ENUM_FIELD(ZAVWireMethodOptions_SecurityLevel, securityLevel, SecurityLevel, 3)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, securityLabel, SecurityLabel, 4)
    ZAVWIRE_SCALAR_FIELD(int32_t, clientLogging, ClientLogging, 5)
    ZAVWIRE_SCALAR_FIELD(int32_t, serverLogging, ServerLogging, 6)
    ZAVWIRE_SCALAR_FIELD(double, deadline, Deadline, 7)
    ZAVWIRE_SCALAR_FIELD(bool, failFast, FailFast, 8)
    ZAVWIRE_SCALAR_FIELD(bool, endUserCredsRequested, EndUserCredsRequested, 9)
    ZAVWIRE_ENUM_FIELD(ZAVWireMethodOptions_LogLevel, logLevel, LogLevel, 10)
    ZAVWIRE_SCALAR_FIELD(bool, deprecated, Deprecated, 11)
    ZAVWIRE_ARRAY_FIELD(uninterpretedOptionArray, UninterpretedOptionArray, 12)
};

class ZAVWireStreamDescriptorProto final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("clientMessageType", 2, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("serverMessageType", 3, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("options", 4, ZAVWireFieldOptional, ZAVWireTypeMessage, {},
                           "ZAVWireStreamOptions"),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireStreamDescriptorProto, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, clientMessageType, ClientMessageType, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, serverMessageType, ServerMessageType, 2)
    ZAVWIRE_OBJECT_FIELD(ZAVWireStreamOptions, options, Options, 3)
};

class ZAVWireFieldOptions_UpgradedOption final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("name", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("value", 2, ZAVWireFieldOptional, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireFieldOptions_UpgradedOption, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, name, Name, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, value, Value, 1)
};

class ZAVWireUninterpretedOption final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("nameArray", 2, ZAVWireFieldRepeated, ZAVWireTypeMessage, {},
                           "ZAVWireUninterpretedOption_NamePart"),
        ZAVWireFieldRecord("identifierValue", 3, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("positiveIntValue", 4, ZAVWireFieldOptional, ZAVWireTypeUInt64),
        ZAVWireFieldRecord("negativeIntValue", 5, ZAVWireFieldOptional, ZAVWireTypeInt64),
        ZAVWireFieldRecord("doubleValue", 6, ZAVWireFieldOptional, ZAVWireTypeDouble),
        ZAVWireFieldRecord("stringValue", 7, ZAVWireFieldOptional, ZAVWireTypeData),
        ZAVWireFieldRecord("aggregateValue", 8, ZAVWireFieldOptional, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireUninterpretedOption, kFields)
    ZAVWIRE_ARRAY_FIELD(nameArray, NameArray, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, identifierValue, IdentifierValue, 1)
    ZAVWIRE_SCALAR_FIELD(uint64_t, positiveIntValue, PositiveIntValue, 2)
    ZAVWIRE_SCALAR_FIELD(int64_t, negativeIntValue, NegativeIntValue, 3)
    ZAVWIRE_SCALAR_FIELD(double, doubleValue, DoubleValue, 4)
    ZAVWIRE_OBJECT_FIELD(ZAVWireData, stringValue, StringValue, 5)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, aggregateValue, AggregateValue, 6)
};

class ZAVWireUninterpretedOption_NamePart final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("namePart", 1, ZAVWireFieldRequired, ZAVWireTypeString),
        ZAVWireFieldRecord("isExtension", 2, ZAVWireFieldRequired, ZAVWireTypeBool),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireUninterpretedOption_NamePart, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, namePart, NamePart, 0)
    ZAVWIRE_SCALAR_FIELD(bool, isExtension, IsExtension, 1)
};

class ZAVWireSourceCodeInfo_Location final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("pathArray", 1, ZAVWireFieldRepeated | ZAVWireFieldPacked, ZAVWireTypeInt32),
        ZAVWireFieldRecord("spanArray", 2, ZAVWireFieldRepeated | ZAVWireFieldPacked, ZAVWireTypeInt32),
        ZAVWireFieldRecord("leadingComments", 3, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("trailingComments", 4, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("leadingDetachedCommentsArray", 6, ZAVWireFieldRepeated, ZAVWireTypeString),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireSourceCodeInfo_Location, kFields)
    ZAVWIRE_ARRAY_FIELD(pathArray, PathArray, 0)
    ZAVWIRE_ARRAY_FIELD(spanArray, SpanArray, 1)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, leadingComments, LeadingComments, 2)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, trailingComments, TrailingComments, 3)
    ZAVWIRE_ARRAY_FIELD(leadingDetachedCommentsArray, LeadingDetachedCommentsArray, 4)
};

class ZAVWireObjectiveCFileOptions final : public ZAVWireGeneratedMessage {
  public:
    static constexpr auto kFields = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("package", 1, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("classPrefix", 2, ZAVWireFieldOptional, ZAVWireTypeString),
        ZAVWireFieldRecord("camelcaseOutputFilename", 3, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue,
                           ZAVWireTypeBool, ZAVWireDefaultBits(1)),
    });
    ZAVWIRE_MESSAGE_BODY(ZAVWireObjectiveCFileOptions, kFields)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, package, Package, 0)
    ZAVWIRE_OBJECT_FIELD(ZAVWireString, classPrefix, ClassPrefix, 1)
    ZAVWIRE_SCALAR_FIELD(bool, camelcaseOutputFilename, CamelcaseOutputFilename, 2)
};

struct ZAVWireDescriptorRoot {
    static const ZAVWireClass& wireClass();
    static const ZAVWireExtensionRegistry* extensionRegistry();
};

struct ZAVWireObjectivecDescriptorRoot {
    static const ZAVWireClass& wireClass();
    static const ZAVWireExtensionRegistry* extensionRegistry();
    // Extension 1002 of ZAVWireFileOptions.
    static const ZAVWireExtensionField& objectivecFileOptions();
};
