#include "WireTestSupport.h"
#include "wire/ZAVWireDescriptor.h"
#include "wire/ZAVWireString.h"
#include "wire/schema/ZAVWireDescriptorProtos.h"

namespace {

constexpr ZAVWireEnumValueDescription kColorValues[] = {
    {"TypeDouble", 1}, {"Red", 2}, {"Crimson", 2}, {nullptr, 3}, {"Blue", 5}};
bool colorIsValid(int32_t v) {
    return v == 1 || v == 2 || v == 5;
}

const ZAVWireEnumDescriptor* colorEnum() {
    static const auto d =
        ZAVWireEnumDescriptor::allocDescriptorForName("DescColor", kColorValues, 5, colorIsValid);
    return d.get();
}

bool oddOnly(int32_t v) {
    return v % 2 != 0;
}

const ZAVWireClass kHolder{.name = "DescColorEnumDescriptor", .enumDescriptor = colorEnum};
const ZAVWireClass kChild{.name = "DescChild"};
const ZAVWireClass kParent{.name = "DescParent"};
const ZAVWireClass* const kClasses[] = {&kHolder, &kChild, &kParent};

// A text-name table: field 18 spelled by operations, field 19 given literally.
constexpr uint8_t kNames[] = {0x02, 0x12, 0x68, 0xA6, 0xA4, 0xA5, 0xA8,
                              0x00, 0x13, 0x00, 'L',  'i',  't',  0x00};
constexpr uint8_t kDataDefault[] = {0, 0, 0, 2, 'h', 'i'};
constexpr uint8_t kOptions[] = {0, 0, 0, 2, 0x10, 0x01};

constexpr auto kFields = ZAVWireLayout(std::array{
    ZAVWireFieldRecord("valueArray", 1, ZAVWireFieldRepeated | ZAVWireFieldPacked, ZAVWireTypeInt32),
    ZAVWireFieldRecord("fooArray", 2, ZAVWireFieldOptional, ZAVWireTypeInt32, ZAVWireDefaultInt32(-7)),
    ZAVWireFieldRecord("result", 3, ZAVWireFieldOptional, ZAVWireTypeGroup, {}, "DescChild"),
    ZAVWireFieldRecord("id_p", 4, ZAVWireFieldOptional, ZAVWireTypeString),
    ZAVWireFieldRecord("resourceFormatVersion", 5, ZAVWireFieldRequired, ZAVWireTypeInt64),
    ZAVWireFieldRecord("payload", 6, ZAVWireFieldOptional | ZAVWireFieldHasDefaultValue, ZAVWireTypeData,
                       ZAVWireDefaultData(kDataDefault)),
    ZAVWireFieldRecord("blob", 7, ZAVWireFieldOptional, ZAVWireTypeData, {}, nullptr, kOptions),
    ZAVWireFieldRecord("color", 8, ZAVWireFieldOptional | ZAVWireFieldHasEnumDescriptor, ZAVWireTypeEnum,
                       ZAVWireDefaultInt32(1), "DescColor"),
    ZAVWireEnumFieldRecord("odd", 9, ZAVWireFieldOptional, ZAVWireDefaultInt32(1), oddOnly),
    ZAVWireFieldRecord("unpackedArray", 10, ZAVWireFieldRepeated, ZAVWireTypeInt32),
    ZAVWireFieldRecord("ratio", 11, ZAVWireFieldOptional, ZAVWireTypeDouble, ZAVWireDefaultDouble(-1.0)),
    ZAVWireFieldRecord("flag", 12, ZAVWireFieldOptional, ZAVWireTypeBool),
    ZAVWireFieldRecord("obsoleteEnableAutoEventTracking", 18,
                       ZAVWireFieldOptional | ZAVWireFieldTextFormatNameCustom, ZAVWireTypeBool),
    ZAVWireFieldRecord("somethingElse", 19, ZAVWireFieldOptional | ZAVWireFieldTextFormatNameCustom,
                       ZAVWireTypeBool),
    ZAVWireFieldRecord("missingName", 20, ZAVWireFieldOptional | ZAVWireFieldTextFormatNameCustom,
                       ZAVWireTypeBool),
});
constexpr ZAVWireExtensionRangeDescription kRanges[] = {{100, 200}};
const char* const kEnums[] = {"DescColor"};

std::shared_ptr<ZAVWireDescriptor> descriptor() {
    ZAVWireAddClassTable(kClasses, 3);
    return ZAVWireDescriptor::allocDescriptorForClass(&kParent, nullptr, kFields.data(), kFields.size(),
                                                      kEnums, 1, kRanges, 1, ZAVWireStorageSize(kFields),
                                                      false, kNames);
}

}  // namespace

TEST(Descriptor, LayoutPutsHasBitsFirstAndAlignsSlots) {
    static_assert(kFields[0].offset == 8);  // one has-bit word, then 8-byte alignment
    for (const auto& f : kFields) {
        size_t width = ZAVWireSlotSize(f.type, f.flags);
        EXPECT_EQ(f.offset % (width >= 8 ? 8 : width), 0u) << f.name;
    }
    EXPECT_EQ(ZAVWireStorageSize(kFields) % 8, 0u);
    EXPECT_EQ(ZAVWireStorageSize(std::array<ZAVWireFieldDescription, 0>{}), 0u);
}

TEST(Descriptor, TextFormatNames) {
    auto d = descriptor();
    EXPECT_EQ(d->fieldWithNumber(1)->textFormatName(), "value");
    EXPECT_EQ(d->fieldWithNumber(2)->textFormatName(), "foo_array");
    EXPECT_EQ(d->fieldWithNumber(3)->textFormatName(), "Result");
    EXPECT_EQ(d->fieldWithNumber(4)->textFormatName(), "id");
    EXPECT_EQ(d->fieldWithNumber(5)->textFormatName(), "resource_format_version");
    EXPECT_EQ(d->fieldWithNumber(18)->textFormatName(), "OBSOLETE_enable_auto_event_tracking");
    EXPECT_EQ(d->fieldWithNumber(19)->textFormatName(), "Lit");
    EXPECT_EQ(d->fieldWithNumber(20)->textFormatName(), "");
    uint8_t tooLong[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
    EXPECT_EQ(raised([&] { ZAVWireDecodeTextFormatName(tooLong, 1, "x"); }),
              "NSParseErrorException|Unable to read varint32");
}

TEST(Descriptor, TagsSelectorsAndLookups) {
    auto d = descriptor();
    EXPECT_EQ(d->fieldWithNumber(1)->tag(), 10u);
    EXPECT_EQ(d->fieldWithNumber(10)->tag(), 80u);
    EXPECT_EQ(d->fieldWithNumber(3)->tag(), 27u);
    auto* id = d->fieldWithName("id_p");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->getSel(), "id_p");
    EXPECT_EQ(id->setSel(), "setId_p:");
    EXPECT_EQ(id->hasSel(), "hasId_p");
    EXPECT_EQ(id->setHasSel(), "setHasId_p:");
    EXPECT_EQ(d->fieldWithNumber(99), nullptr);
    EXPECT_EQ(d->extensionWithNumber(150), nullptr);
    EXPECT_EQ(d->fieldWithNumber(3)->msgClass(), &kChild);
    EXPECT_EQ(d->enumWithName("DescColor"), colorEnum());
    ASSERT_EQ(d->rangeList().size(), 1u);
    EXPECT_EQ(d->rangeList()[0]->end(), 200u);
    EXPECT_EQ(d->name(), "DescParent");
    EXPECT_TRUE(d->fieldWithNumber(5)->isRequired());
    size_t length = 0;
    const uint8_t* options = d->fieldWithNumber(7)->optionBytes(&length);
    EXPECT_EQ(toHex(options, length), "10 01");
    auto parsed = d->fieldWithNumber(7)->fieldOptions();
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->packed());
    EXPECT_EQ(parsed, d->fieldWithNumber(7)->fieldOptions());
    EXPECT_EQ(d->fieldWithNumber(6)->fieldOptions(), nullptr);
}

TEST(Descriptor, Defaults) {
    auto d = descriptor();
    EXPECT_EQ(d->fieldWithNumber(1)->defaultObject(), nullptr);
    EXPECT_EQ(static_cast<int32_t>(d->fieldWithNumber(2)->defaultBits()), -7);
    EXPECT_EQ(raised([&] { d->fieldWithNumber(3)->defaultObject(); }),
              "NSInternalInconsistencyException|-defaultValue called for a message field");
    EXPECT_EQ(d->fieldWithNumber(4)->defaultObject(), ZAVWireString::empty());
    auto payload = std::static_pointer_cast<ZAVWireData>(d->fieldWithNumber(6)->defaultObject());
    EXPECT_EQ(toHex(*payload), "68 69");
    auto blob = std::static_pointer_cast<ZAVWireData>(d->fieldWithNumber(7)->defaultObject());
    EXPECT_EQ(blob->length(), 0u);
    EXPECT_EQ(blob, d->fieldWithNumber(7)->defaultObject());  // one shared empty data object
    EXPECT_EQ(std::bit_cast<double>(d->fieldWithNumber(11)->defaultBits()), -1.0);
}

TEST(Descriptor, Enums) {
    auto d = descriptor();
    EXPECT_TRUE(d->fieldWithNumber(8)->isValidEnumValue(5));
    EXPECT_FALSE(d->fieldWithNumber(8)->isValidEnumValue(3));
    EXPECT_TRUE(d->fieldWithNumber(9)->isValidEnumValue(3));
    EXPECT_FALSE(d->fieldWithNumber(9)->isValidEnumValue(4));
    EXPECT_EQ(raised([&] { d->fieldWithNumber(2)->isValidEnumValue(1); }),
              "NSInternalInconsistencyException|Field Must be of type ZAVWireTypeEnum");
    auto* e = colorEnum();
    EXPECT_EQ(e->textFormatNameForEnumValue(1), "TYPE_DOUBLE");
    EXPECT_EQ(e->textFormatNameForEnumValue(2), "RED");  // first of a repeated number
    EXPECT_EQ(e->textFormatNameForEnumValue(3), "");
    EXPECT_EQ(e->textFormatNameForEnumValue(4), "");
    EXPECT_EQ(e->enumValueWithNumber(2)->name(), "DescColorRed");
    EXPECT_EQ(e->enumValueWithName("DescColorCrimson")->number(), 2);
    EXPECT_EQ(ZAVWireGeneratedEnumDescriptor::enumDescriptor()->values()->count(), 0u);
    EXPECT_EQ(ZAVWireEnumDescriptor::descriptorForName("NoSuchEnum"), nullptr);
}

TEST(Descriptor, MissingClassOrEnumIsAnAssertion) {
    static constexpr auto kBad = ZAVWireLayout(std::array{
        ZAVWireFieldRecord("child", 1, ZAVWireFieldOptional, ZAVWireTypeMessage, {}, "NoSuchClass")});
    EXPECT_EQ(raised([&] {
                  ZAVWireDescriptor::allocDescriptorForClass(&kParent, nullptr, kBad.data(), 1, nullptr, 0,
                                                             nullptr, 0, ZAVWireStorageSize(kBad), false);
              }),
              "NSInternalInconsistencyException|Class NoSuchClass not defined");
    const char* const missing[] = {"NoSuchEnum"};
    EXPECT_EQ(raised([&] {
                  ZAVWireDescriptor::allocDescriptorForClass(&kParent, nullptr, nullptr, 0, missing, 1,
                                                             nullptr, 0, 0, false);
              }),
              "NSInternalInconsistencyException|Unable to find enum descriptor NoSuchEnum");
}
