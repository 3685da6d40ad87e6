#include "WireTestSupport.h"
#include "wire/schema/ZAVPResourcewithmetadata.h"
#include "wire/schema/ZAVPServing.h"
#include "wire/schema/ZAVPTypeSystem.h"
#include "wire/schema/ZAVWireDescriptorProtos.h"
#include "wire/schema/ZAVWireSettings.h"

namespace {

// A supplemented resource, encoded by hand:
//   supplemental { name "éx"; experimentSupplemental { valueToPush {type 1, string "k"};
//                  experimentRandom {key "r", maxRandom 100} }; settings { uaSettings {
//                  enableAutoEventTracking } } }
//   resource { keys "function", "instance_name", "arg";
//              values (one of each type; lists, maps and templates through ZAVPServingValue indices):
//                0 String "_e" | 1 List [0, 5] | 2 Map {0: 5} | 3 MacroReference "m" (name value 0) |
//                4 FunctionId "_f" | 5 Integer 42 | 6 Template [0, 5], containsReferences |
//                7 Boolean true | 8 TagReference "t", escaping [EscapeHtml, Text];
//              properties (0,0) (0,4) (1,7); macro {function 0, properties [0]};
//              tag {function 1, properties [1, 2]}; predicate {function 0, properties [0]};
//              rule {positive [0], addTag [0]}; version "7"; resourceFormatVersion 1 }
//   fingerprint "fp"
const char* const kSupplemented =
    "0A 1B 0A 03 C3 A9 78 1A 0E 0A 05 08 01 12 01 6B 1A 05 0A 01 72 18 64 2A 04 12 02 08 01 12 A6 01 "
    "0A 08 66 75 6E 63 74 69 6F 6E 0A 0D 69 6E 73 74 61 6E 63 65 5F 6E 61 6D 65 0A 03 61 72 67 12 06 "
    "08 01 12 02 5F 65 12 09 08 02 AA 06 04 08 00 08 05 12 09 08 03 AA 06 04 10 00 18 05 12 0A 08 04 "
    "32 01 6D AA 06 02 30 00 12 06 08 05 3A 02 5F 66 12 04 08 06 40 2A 12 0B 08 07 48 01 AA 06 04 28 "
    "00 28 05 12 04 08 08 60 01 12 09 08 09 50 01 50 11 6A 01 74 1A 04 08 00 10 00 1A 04 08 00 10 04 "
    "1A 04 08 01 10 07 22 04 10 00 18 00 2A 06 10 01 18 01 18 02 32 04 10 00 18 00 3A 04 08 00 18 00 "
    "6A 01 37 88 01 01 1A 02 66 70";

// Its text dump.
const char* const kSupplementedText =
    "supplemental {\n"
    "  name: \"\xC3\xA9"
    "x\"\n"
    "  experiment_supplemental {\n"
    "    value_to_push {\n"
    "      type: STRING\n"
    "      string: \"k\"\n"
    "    }\n"
    "    experiment_random {\n"
    "      key: \"r\"\n"
    "      max_random: 100\n"
    "    }\n"
    "  }\n"
    "  settings {\n"
    "    ua_settings {\n"
    "      enable_auto_event_tracking: true\n"
    "    }\n"
    "  }\n"
    "}\n"
    "resource {\n"
    "  key: \"function\"\n"
    "  key: \"instance_name\"\n"
    "  key: \"arg\"\n"
    "  value {\n"
    "    type: STRING\n"
    "    string: \"_e\"\n"
    "  }\n"
    "  value {\n"
    "    type: LIST\n"
    "    101 {  # [ZAVPServingValue_ext]\n"
    "      list_item: 0\n"
    "      list_item: 5\n"
    "    }\n"
    "  }\n"
    "  value {\n"
    "    type: MAP\n"
    "    101 {  # [ZAVPServingValue_ext]\n"
    "      map_key: 0\n"
    "      map_value: 5\n"
    "    }\n"
    "  }\n"
    "  value {\n"
    "    type: MACRO_REFERENCE\n"
    "    macro_reference: \"m\"\n"
    "    101 {  # [ZAVPServingValue_ext]\n"
    "      macro_name_reference: 0\n"
    "    }\n"
    "  }\n"
    "  value {\n"
    "    type: FUNCTION_ID\n"
    "    function_id: \"_f\"\n"
    "  }\n"
    "  value {\n"
    "    type: INTEGER\n"
    "    integer: 42\n"
    "  }\n"
    "  value {\n"
    "    type: TEMPLATE\n"
    "    contains_references: true\n"
    "    101 {  # [ZAVPServingValue_ext]\n"
    "      template_token: 0\n"
    "      template_token: 5\n"
    "    }\n"
    "  }\n"
    "  value {\n"
    "    type: BOOLEAN\n"
    "    boolean: true\n"
    "  }\n"
    "  value {\n"
    "    type: TAG_REFERENCE\n"
    "    escaping: ESCAPE_HTML\n"
    "    escaping: TEXT\n"
    "    tag_reference: \"t\"\n"
    "  }\n"
    "  property {\n"
    "    key: 0\n"
    "    value: 0\n"
    "  }\n"
    "  property {\n"
    "    key: 0\n"
    "    value: 4\n"
    "  }\n"
    "  property {\n"
    "    key: 1\n"
    "    value: 7\n"
    "  }\n"
    "  macro {\n"
    "    function: 0\n"
    "    property: 0\n"
    "  }\n"
    "  tag {\n"
    "    function: 1\n"
    "    property: 1\n"
    "    property: 2\n"
    "  }\n"
    "  predicate {\n"
    "    function: 0\n"
    "    property: 0\n"
    "  }\n"
    "  rule {\n"
    "    positive_predicate: 0\n"
    "    add_tag: 0\n"
    "  }\n"
    "  version: \"7\"\n"
    "  resource_format_version: 1\n"
    "}\n"
    "fingerprint: \"fp\"\n";

std::shared_ptr<ZAVWireExtensionRegistry> servingRegistry() {
    auto registry = std::make_shared<ZAVWireExtensionRegistry>();
    registry->addExtension(
        std::static_pointer_cast<const ZAVWireExtensionField>(ZAVPServingValue::ext().shared_from_this()));
    return registry;
}

std::shared_ptr<ZAVPServingValue> serving(const ZAVWireObjectPtr& value) {
    return std::static_pointer_cast<ZAVPServingValue>(
        std::static_pointer_cast<ZAVPValue>(value)->getExtension(ZAVPServingValue::ext()));
}

std::vector<int32_t> ints(const ZAVWireMutableArrayPtr& a) {
    std::vector<int32_t> out;
    for (size_t i = 0; i < a->count(); ++i) out.push_back(a->int32AtIndex(i));
    return out;
}

}  // namespace

TEST(Schema, SupplementedResourceParsesReadsAndReencodes) {
    auto registry = servingRegistry();
    auto sr = ZAVPSupplementedResource::parseFromData(hexData(kSupplemented), registry.get());
    EXPECT_TRUE(sr->isInitialized());
    EXPECT_EQ(sr->unknownFields(), nullptr);
    EXPECT_EQ(sr->fingerprint()->utf8(), "fp");

    auto supplemental = std::static_pointer_cast<ZAVPSupplemental>(sr->supplementalArray()->objectAtIndex(0));
    EXPECT_EQ(supplemental->name()->utf8(), "\xC3\xA9x");
    EXPECT_EQ(supplemental->name()->length(), 2u);
    auto experiment = supplemental->experimentSupplemental();
    auto random = std::static_pointer_cast<ZAVPRuvExperimentRandom>(
        experiment->experimentRandomArray()->objectAtIndex(0));
    EXPECT_EQ(random->key()->utf8(), "r");
    EXPECT_EQ(random->minRandom(), 0);
    EXPECT_EQ(random->maxRandom(), 100);
    EXPECT_TRUE(supplemental->settings()->uaSettings()->enableAutoEventTracking());
    EXPECT_FALSE(supplemental->settings()->hasAdnetSettings());

    auto resource = sr->resource();
    ASSERT_EQ(resource->keyArray()->count(), 3u);
    EXPECT_EQ(std::static_pointer_cast<ZAVWireString>(resource->keyArray()->objectAtIndex(1))->utf8(),
              "instance_name");
    auto values = resource->valueArray();
    ASSERT_EQ(values->count(), 9u);
    for (size_t i = 0; i < values->count(); ++i) {
        EXPECT_EQ(std::static_pointer_cast<ZAVPValue>(values->objectAtIndex(i))->type(),
                  static_cast<ZAVPValue_Type>(i + 1));
    }
    EXPECT_EQ(ints(serving(values->objectAtIndex(1))->listItemArray()), (std::vector<int32_t>{0, 5}));
    EXPECT_EQ(ints(serving(values->objectAtIndex(2))->mapValueArray()), (std::vector<int32_t>{5}));
    EXPECT_EQ(serving(values->objectAtIndex(3))->macroNameReference(), 0);
    EXPECT_TRUE(serving(values->objectAtIndex(3))->hasMacroNameReference());
    EXPECT_EQ(std::static_pointer_cast<ZAVPValue>(values->objectAtIndex(5))->integer(), 42);
    auto tagRef = std::static_pointer_cast<ZAVPValue>(values->objectAtIndex(8));
    EXPECT_EQ(ints(tagRef->escapingArray()),
              (std::vector<int32_t>{ZAVPValue_Escaping_EscapeHtml, ZAVPValue_Escaping_Text}));
    EXPECT_EQ(resource->propertyArray()->count(), 3u);
    auto tag = std::static_pointer_cast<ZAVPFunctionCall>(resource->tagArray()->objectAtIndex(0));
    EXPECT_EQ(tag->function(), 1);
    EXPECT_EQ(ints(tag->propertyArray()), (std::vector<int32_t>{1, 2}));
    auto rule = std::static_pointer_cast<ZAVPRule>(resource->ruleArray()->objectAtIndex(0));
    EXPECT_EQ(ints(rule->addTagArray()), (std::vector<int32_t>{0}));
    EXPECT_EQ(resource->version()->utf8(), "7");
    EXPECT_EQ(resource->resourceFormatVersion(), 1);
    EXPECT_EQ(resource->templateVersionSet()->utf8(), "");
    EXPECT_FALSE(resource->hasTemplateVersionSet());

    EXPECT_EQ(toHex(*sr->data()), toHex(hexBytes(kSupplemented)));
    EXPECT_EQ(sr->serializedSize(), 202u);
    EXPECT_EQ(ZAVWireTextFormatForMessage(sr.get(), ""), kSupplementedText);
}

TEST(Schema, MissingRequiredFieldAnywhereFailsInitialization) {
    auto registry = servingRegistry();
    auto parse = [&] {
        return ZAVPSupplementedResource::parseFromData(hexData(kSupplemented), registry.get());
    };
    auto asValue = [](const ZAVWireObjectPtr& o) { return std::static_pointer_cast<ZAVPValue>(o); };
    {
        auto sr = parse();
        asValue(sr->resource()->valueArray()->objectAtIndex(4))->setHasType(false);
        EXPECT_FALSE(sr->isInitialized());
    }
    {
        auto sr = parse();
        std::static_pointer_cast<ZAVPProperty>(sr->resource()->propertyArray()->objectAtIndex(2))
            ->setHasValue(false);
        EXPECT_FALSE(sr->isInitialized());
    }
    {
        auto sr = parse();
        std::static_pointer_cast<ZAVPFunctionCall>(sr->resource()->predicateArray()->objectAtIndex(0))
            ->setHasFunction(false);
        EXPECT_FALSE(sr->isInitialized());
    }
    {
        auto sr = parse();
        auto supplemental =
            std::static_pointer_cast<ZAVPSupplemental>(sr->supplementalArray()->objectAtIndex(0));
        asValue(supplemental->experimentSupplemental()->valueToPushArray()->objectAtIndex(0))
            ->setHasType(false);
        EXPECT_FALSE(sr->isInitialized());
    }
    {
        // A required field inside the serving-value extension's own values does not exist, but a value in an
        // extension is checked like any other sub-message.
        auto sr = parse();
        EXPECT_TRUE(sr->isInitialized());
    }
}

TEST(Schema, ValueVectors) {
    auto registry = servingRegistry();
    auto s = ZAVPValue::parseFromData(hexData("08 01 12 03 61 22 62"));
    EXPECT_EQ(ZAVWireTextFormatForMessage(s.get(), ""), "type: STRING\nstring: \"a\\\"b\"\n");
    EXPECT_EQ(toHex(*s->data()), "08 01 12 03 61 22 62");
    auto outside = ZAVPValue::parseFromData(hexData("08 0A"));
    EXPECT_FALSE(outside->hasType());
    EXPECT_EQ(ZAVWireTextFormatForMessage(outside.get(), ""), "# --- Unknown fields ---\n1: 10\n");
    EXPECT_EQ(toHex(*outside->data()), "08 0A");
    auto with = ZAVPValue::parseFromData(hexData("AA 06 02 08 03"), registry.get());
    EXPECT_EQ(ints(serving(with)->listItemArray()), (std::vector<int32_t>{3}));
    EXPECT_EQ(toHex(*with->data()), "AA 06 02 08 03");
    EXPECT_EQ(ZAVWireTextFormatForMessage(with.get(), ""),
              "101 {  # [ZAVPServingValue_ext]\n  list_item: 3\n}\n");
    auto without = ZAVPValue::parseFromData(hexData("AA 06 02 08 03"));
    EXPECT_FALSE(without->hasExtension(ZAVPServingValue::ext()));
    EXPECT_TRUE(without->unknownFields()->hasField(101));
    EXPECT_EQ(toHex(*without->data()), "AA 06 02 08 03");
}

TEST(Schema, ResourceWithMetadataAndDescriptorVectors) {
    auto saved = ZAVPResourceWithMetadata::message();
    saved->setTimeStamp(1000);
    saved->setResource(ZAVPResource::message());
    EXPECT_TRUE(saved->isInitialized());
    EXPECT_EQ(toHex(*saved->data()), "08 E8 07 12 00");
    saved->supplementedResource()->setFingerprint(ZAVWireString::create("f"));
    EXPECT_EQ(toHex(*saved->data()), "08 E8 07 12 00 1A 03 1A 01 66");
    auto noStamp = ZAVPResourceWithMetadata::parseFromData(hexData("12 00"));
    EXPECT_FALSE(noStamp->isInitialized());

    auto location = ZAVWireSourceCodeInfo_Location::parseFromData(hexData("0A 02 01 02"));
    EXPECT_EQ(ints(location->pathArray()), (std::vector<int32_t>{1, 2}));
    auto unpacked = ZAVWireSourceCodeInfo_Location::parseFromData(hexData("08 01 08 02"));
    EXPECT_EQ(unpacked->pathArray()->count(), 0u);
    EXPECT_EQ(unpacked->unknownFields()->getField(1)->varintList()->count(), 2u);

    // Field 1002 (tag 0x1F52) holds ObjectiveCFileOptions {classPrefix "P"}.
    auto options = ZAVWireFileOptions::parseFromData(hexData("D2 3E 03 12 01 50"),
                                                     ZAVWireObjectivecDescriptorRoot::extensionRegistry());
    auto objc = std::static_pointer_cast<ZAVWireObjectiveCFileOptions>(
        options->getExtension(ZAVWireObjectivecDescriptorRoot::objectivecFileOptions()));
    EXPECT_EQ(objc->classPrefix()->utf8(), "P");
    EXPECT_TRUE(objc->camelcaseOutputFilename());
    EXPECT_EQ(toHex(*options->data()), "D2 3E 03 12 01 50");
}

TEST(Schema, Defaults) {
    auto value = ZAVPValue::message();
    EXPECT_EQ(value->type(), ZAVPValue_Type_String);
    EXPECT_FALSE(value->hasType());
    EXPECT_EQ(value->serializedSize(), 0u);
    EXPECT_FALSE(value->isInitialized());
    EXPECT_EQ(ZAVPRuvExperimentRandom::message()->maxRandom(), 2147483647);
    auto method = ZAVWireMethodOptions::message();
    EXPECT_EQ(method->deadline(), -1.0);
    EXPECT_EQ(method->clientLogging(), 256);
    EXPECT_EQ(method->logLevel(), ZAVWireMethodOptions_LogLevel_LogHeaderAndNonPrivatePayloadInternal);
    EXPECT_EQ(ZAVWireStreamOptions::message()->clientInitialTokens(), -1);
    EXPECT_TRUE(ZAVWireObjectiveCFileOptions::message()->camelcaseOutputFilename());
    EXPECT_TRUE(ZAVPRuvServerSideExperimentCombination::message()->enabled());
    EXPECT_EQ(ZAVWireFileOptions::message()->ccApiVersion(), 2);
    EXPECT_EQ(ZAVPCacheOption::message()->level(), ZAVPCacheOption_CacheLevel_NoCache);
    EXPECT_EQ(ZAVPContainer::message()->state(), ZAVPResourceState_Preview);
}

TEST(Schema, EnumsAndNames) {
    auto* escaping = ZAVPValue_EscapingEnumDescriptor::enumDescriptor();
    EXPECT_EQ(escaping->textFormatNameForEnumValue(17), "TEXT");
    auto* values = escaping->values().get();
    EXPECT_EQ(static_cast<const ZAVWireEnumValueDescriptor*>(values->objectAtIndex(15).get())->number(), 17);
    EXPECT_EQ(static_cast<const ZAVWireEnumValueDescriptor*>(values->objectAtIndex(16).get())->number(), 16);
    EXPECT_TRUE(escaping->enumVerifier()(16));
    EXPECT_FALSE(escaping->enumVerifier()(18));
    auto* compat = ZAVWireFileOptions_CompatibilityLevelEnumDescriptor::enumDescriptor();
    EXPECT_TRUE(compat->enumVerifier()(50));
    EXPECT_FALSE(compat->enumVerifier()(1));
    EXPECT_EQ(ZAVPValue_TypeEnumDescriptor::enumDescriptor()->textFormatNameForEnumValue(4),
              "MACRO_REFERENCE");
    EXPECT_EQ(ZAVWireFieldDescriptorProto_TypeEnumDescriptor::enumDescriptor()->textFormatNameForEnumValue(1),
              "TYPE_DOUBLE");
    EXPECT_EQ(ZAVPResource::descriptor()->fieldWithNumber(18)->textFormatName(),
              "OBSOLETE_enable_auto_event_tracking");
    EXPECT_EQ(ZAVPResource::descriptor()->fieldWithNumber(8), nullptr);
    EXPECT_EQ(ZAVWireClassNamed("ZAVPValue_TypeEnumDescriptor")->enumDescriptor(),
              ZAVPValue_TypeEnumDescriptor::enumDescriptor());
    EXPECT_EQ(ZAVPServingValue::ext().fieldNumber(), 101u);
    EXPECT_EQ(&ZAVPServingValue::ext(), ZAVWireGlobalExtensionNamed("ZAVPServingValue_ext").get());
    // The saved-file root's registry already knows the serving extension and the file-options one.
    auto* saved = ZAVPResourcewithmetadataRoot::extensionRegistry();
    EXPECT_EQ(saved->getExtension(ZAVPValue::descriptor(), 101), &ZAVPServingValue::ext());
    EXPECT_EQ(saved->getExtension(ZAVWireFileOptions::descriptor(), 1002),
              &ZAVWireObjectivecDescriptorRoot::objectivecFileOptions());
    EXPECT_EQ(ZAVPTypeSystemRoot::extensionRegistry()->getExtension(ZAVPValue::descriptor(), 101), nullptr);
    EXPECT_EQ(ZAVWireDescriptorRoot::extensionRegistry(), nullptr);
}

TEST(Schema, ValueHashIsReplaceable) {
    auto a = ZAVPValue::message();
    auto b = ZAVPValue::message();
    b->setInteger(3);
    EXPECT_EQ(a->hash(), b->hash());
    ZAVPValue::setHashFunction([](const ZAVPValue& v) { return static_cast<size_t>(v.integer()); });
    EXPECT_EQ(b->hash(), 3u);
    ZAVPValue::setHashFunction(nullptr);
    EXPECT_EQ(a->hash(), b->hash());
}
