#include "WireTestSupport.h"
#include "wire/ZAVWireUnknownFieldSet.h"

namespace {

ZAVWireUnknownFieldSetPtr parsed(const std::string& hex) {
    auto set = std::make_shared<ZAVWireUnknownFieldSet>();
    set->mergeFromData(hexData(hex));
    return set;
}

}  // namespace

TEST(UnknownFieldSet, RepeatedNumberWritesByKindInNumberOrder) {
    auto set = parsed("A0 06 05 A2 06 02 61 62 A0 06 07");
    ASSERT_EQ(set->countOfFields(), 1u);
    auto field = set->getField(100);
    EXPECT_EQ(field->varintList()->count(), 2u);
    EXPECT_EQ(field->lengthDelimitedList()->count(), 1u);
    EXPECT_EQ(toHex(*set->data()), "A0 06 05 A0 06 07 A2 06 02 61 62");
    EXPECT_EQ(set->serializedSize(), 11u);
    EXPECT_EQ(toHex(*parsed("48 01 18 02")->data()), "18 02 48 01");
}

TEST(UnknownFieldSet, AllWireTypesRoundTrip) {
    const std::string hex = "08 96 01 11 01 02 03 04 05 06 07 08 1A 00 23 08 01 24 2D 01 00 00 00";
    auto set = parsed(hex);
    EXPECT_EQ(toHex(*set->data()), toHex(hexBytes(hex)));
    EXPECT_TRUE(set->isEqual(parsed(hex).get()));
}

TEST(UnknownFieldSet, NegativeEnumValueIsTenBytes) {
    ZAVWireUnknownFieldSet set;
    set.mergeVarintField(3, -2);
    EXPECT_EQ(toHex(*set.data()), "18 FE FF FF FF FF FF FF FF FF 01");
}

TEST(UnknownFieldSet, Failures) {
    ZAVWireUnknownFieldSet set;
    EXPECT_EQ(raised([&] { set.mergeFromData(hexData("02 00")); }),
              "NSInvalidArgumentException|Zero is not a valid field number.");
    EXPECT_EQ(raised([&] { set.mergeVarintField(0, 1); }),
              "NSInvalidArgumentException|Zero is not a valid field number.");
    EXPECT_EQ(raised([&] { set.mergeFromData(hexData("0C")); }),
              "NSParseErrorException|Last tag: 12 should be 0");
    // A negative length is not stored as a hole in the list; the parse ends.
    EXPECT_EQ(raised([&] { set.mergeFromData(hexData("0A FF FF FF FF 0F")); }), "NSParseErrorException|");
    auto input = ZAVWireCodedInputStream(hexData(""));
    EXPECT_FALSE(set.mergeFieldFrom(0x0E, input));
    EXPECT_TRUE(ZAVWireUnknownFieldSet::isFieldTag(0x0B));
    EXPECT_FALSE(ZAVWireUnknownFieldSet::isFieldTag(0x0C));
}

TEST(UnknownFieldSet, EqualityIgnoresNumbersAndEmptyLists) {
    ZAVWireMutableField a(1), b(2), c(3);
    a.addVarint(5);
    b.addVarint(5);
    EXPECT_TRUE(a.isEqual(&b));
    ZAVWireMutableField withEmpty(4);
    withEmpty.addFixed32(1);
    c.addFixed32(1);
    c.mergeFromField(ZAVWireMutableField(9));
    EXPECT_TRUE(withEmpty.isEqual(&c));
    ZAVWireUnknownFieldSet never, never2, some;
    EXPECT_TRUE(never.isEqual(&never2));
    some.mergeVarintField(1, 1);
    EXPECT_FALSE(never.isEqual(&some));
}

TEST(UnknownFieldSet, CopiesAndMergesAreIndependent) {
    auto source = parsed("08 01 13 08 02 14");
    auto copy = std::static_pointer_cast<ZAVWireUnknownFieldSet>(source->copy());
    copy->mergeFromData(hexData("08 02"));
    auto group =
        std::static_pointer_cast<ZAVWireUnknownFieldSet>(copy->getField(2)->groupList()->objectAtIndex(0));
    group->mergeVarintField(7, 7);
    EXPECT_EQ(toHex(*source->data()), "08 01 13 08 02 14");
    EXPECT_EQ(source->getField(1)->varintList()->count(), 1u);
    ZAVWireUnknownFieldSet merged;
    merged.mergeUnknownFields(source.get());
    merged.getField(1)->addVarint(9);
    EXPECT_EQ(source->getField(1)->varintList()->count(), 1u);
}

TEST(UnknownFieldSet, MessageSetFormWritesOnlyLengthDelimited) {
    ZAVWireUnknownFieldSet set;
    set.mergeVarintField(4, 1);
    EXPECT_EQ(set.serializedSizeAsMessageSet(), 0u);
    set.mergeMessageSetMessage(5, ZAVWireData::create("a"));
    auto data = ZAVWireData::withLength(set.serializedSizeAsMessageSet());
    {
        ZAVWireCodedOutputStream out(nullptr, data);
        set.writeAsMessageSetTo(out);
    }
    EXPECT_EQ(toHex(*data), "0B 10 05 1A 01 61 0C");
}

TEST(UnknownFieldSet, TextForm) {
    ZAVWireUnknownFieldSet set;
    set.mergeVarintField(1, 150);
    set.getFieldBuilder(2, true)->addFixed32(1);
    EXPECT_EQ(ZAVWireTextFormatForUnknownFieldSet(&set, ""), "1: 150\n2: 0x1\n");
    auto more = parsed("29 FF 00 00 00 00 00 00 00 32 03 41 0A 80 3B 08 05 3C");
    EXPECT_EQ(ZAVWireTextFormatForUnknownFieldSet(more.get(), "  "),
              "  5: 0xFF\n  6: \"A\\n\\200\"\n  7: {\n    1: 5\n  }\n");
    EXPECT_EQ(set.description(),
              ZAVWireFormat("<ZAVWireUnknownFieldSet %p>: TextFormat: {\n  1: 150\n  2: 0x1\n}",
                            static_cast<const void*>(&set)));
    EXPECT_EQ(ZAVWireTextFormatEscapeBytes(hexBytes("22 27 5C 0D 09 00 FF").data(), 7),
              "\"\\\"\\'\\\\\\r\\t\\000\\377\"");
    auto field = set.getField(1);
    EXPECT_EQ(field->description(), ZAVWireFormat("<ZAVWireMutableField %p>: Field: 1 {\n\t150\n}",
                                                  static_cast<const void*>(field.get())));
}
