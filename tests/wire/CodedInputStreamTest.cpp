#include "WireTestSupport.h"
#include "platform/base/Utf8.h"
#include "wire/ZAVWireCodedInputStream.h"
#include "wire/ZAVWireUnknownFieldSet.h"

namespace {

ZAVWireCodedInputStream streamOf(const std::string& hex) {
    return ZAVWireCodedInputStream(hexData(hex));
}

std::vector<uint8_t> groupNest(int depth) {
    std::vector<uint8_t> v(static_cast<size_t>(depth), 0x0B);
    v.insert(v.end(), static_cast<size_t>(depth), 0x0C);
    return v;
}

}  // namespace

TEST(CodedInputStream, EmptyDataEndsAtOnce) {
    auto s = streamOf("");
    EXPECT_EQ(s.readTag(), 0);
    EXPECT_TRUE(s.isAtEnd());
    EXPECT_EQ(s.bytesUntilLimit(), UINT64_MAX);
}

TEST(CodedInputStream, ZeroTagIsInvalid) {
    auto s = streamOf("00");
    EXPECT_EQ(raised([&] { s.readTag(); }), "NSParseErrorException|Invalid last tag 0");
}

TEST(CodedInputStream, VarintLengths) {
    auto ok32 = streamOf("FF FF FF FF FF FF FF FF FF 01");
    EXPECT_EQ(ok32.readInt32(), -1);
    auto bad32 = streamOf("FF FF FF FF FF FF FF FF FF FF 01");
    EXPECT_EQ(raised([&] { bad32.readInt32(); }), "NSParseErrorException|Unable to read varint32");
    auto ok64 = streamOf("FF FF FF FF FF FF FF FF FF 01");
    EXPECT_EQ(ok64.readUInt64(), UINT64_MAX);
    auto bad64 = streamOf("FF FF FF FF FF FF FF FF FF FF 01");
    EXPECT_EQ(raised([&] { bad64.readInt64(); }), "NSParseErrorException|Unable to read varint64");
    // Running out of bytes inside a varint is an overrun, reported with an empty reason.
    auto cut = streamOf("FF FF");
    EXPECT_EQ(raised([&] { cut.readInt32(); }), "NSParseErrorException|");
}

TEST(CodedInputStream, ScalarForms) {
    auto s = streamOf("01 03 96 01 00 00 80 3F 00 00 00 00 00 00 F0 BF 78 56 34 12 01");
    EXPECT_EQ(s.readSInt32(), -1);
    EXPECT_EQ(s.readSInt64(), -2);
    EXPECT_EQ(s.readUInt32(), 150u);
    EXPECT_EQ(s.readFloat(), 1.0f);
    EXPECT_EQ(s.readDouble(), -1.0);
    EXPECT_EQ(s.readFixed32(), 0x12345678u);
    EXPECT_TRUE(s.readBool());
    EXPECT_TRUE(s.isAtEnd());
}

TEST(CodedInputStream, StringsAndData) {
    auto s = streamOf("00 00 02 C3 28 03 EF BB BF 02 61 62 FF FF FF FF 0F");
    EXPECT_EQ(s.readString(), ZAVWireString::empty());
    auto empty = s.readData();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->length(), 0u);
    auto invalid = s.readString();
    EXPECT_EQ(invalid->length(), 0u);
    EXPECT_EQ(invalid->lengthOfBytesUTF8(), 0u);
    EXPECT_TRUE(invalid->isEqual(ZAVWireString::create("").get()));
    auto bom = s.readString();
    EXPECT_EQ(bom->lengthOfBytesUTF8(), 0u);
    EXPECT_EQ(s.readString()->utf8(), "ab");
    // A negative bytes length gives no object and leaves the position after the length.
    EXPECT_EQ(s.readData(), nullptr);
    EXPECT_TRUE(s.isAtEnd());
    auto negativeString = streamOf("FF FF FF FF 0F");
    EXPECT_EQ(raised([&] { negativeString.readString(); }), "NSParseErrorException|");
}

TEST(CodedInputStream, NonAsciiStringCountsUtf16Units) {
    auto s = ZAVWireString::create("a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(s->length(), 4u);
    EXPECT_EQ(s->characterAtIndex(1), 0xE9);
    EXPECT_EQ(s->characterAtIndex(2), 0xD83D);
    EXPECT_EQ(s->characterAtIndex(3), 0xDE00);
    EXPECT_EQ(raised([&] { s->characterAtIndex(4); }).substr(0, 16), "NSRangeException");
    // Surrogates encoded in UTF-8 and overlong forms are not valid.
    EXPECT_EQ(ZAVWireString::create("\xED\xA0\x80")->lengthOfBytesUTF8(), 0u);
    EXPECT_EQ(ZAVWireString::create("\xC0\xAF")->lengthOfBytesUTF8(), 0u);
}

TEST(CodedInputStream, Utf8CheckAgreesWithTheDecoderAfterAsciiRuns) {
    // Every lead byte, with following bytes at the edges of the continuation ranges, cut short or whole.
    const uint8_t edges[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    int mismatches = 0;
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (uint8_t b1 : edges) {
            for (uint8_t b2 : edges) {
                for (uint8_t b3 : edges) {
                    for (size_t prefix : {0, 7, 9}) {
                        std::string s(prefix, 'a');
                        s += {static_cast<char>(lead), static_cast<char>(b1), static_cast<char>(b2),
                              static_cast<char>(b3), 'z'};
                        for (size_t cut : {2, 3, 4, 5}) {
                            std::string_view v(s.data(), prefix + cut);
                            auto* bytes = reinterpret_cast<const uint8_t*>(v.data());
                            mismatches += ZAVWireString::isValidUTF8(bytes, v.size()) != plat::isValidUtf8(v);
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(CodedInputStream, Limits) {
    auto s = ZAVWireCodedInputStream(ZAVWireData::withLength(20));
    for (int i = 0; i < 10; ++i) s.readRawByte();
    uint64_t old = s.pushLimit(5);
    EXPECT_EQ(old, UINT64_MAX);
    EXPECT_EQ(s.bytesUntilLimit(), 5u);
    for (int i = 0; i < 5; ++i) s.readRawByte();
    EXPECT_TRUE(s.isAtEnd());
    EXPECT_EQ(s.readTag(), 0);
    EXPECT_EQ(raised([&] { s.pushLimit(1); }), "NSInvalidArgumentException|byteLimit > oldLimit: 16 > 15");
    EXPECT_EQ(raised([&] { s.pushLimit(-1); }), "NSParseErrorException|");
    s.popLimit(old);
    EXPECT_FALSE(s.isAtEnd());
    // A read across the limit first moves to the limit.
    auto t = streamOf("01 02 03 04");
    t.pushLimit(2);
    EXPECT_EQ(raised([&] { t.readFixed32(); }), "NSParseErrorException|");
    EXPECT_EQ(t.position(), 2u);
}

TEST(CodedInputStream, SkipField) {
    auto s = streamOf("08 96 01 11 01 02 03 04 05 06 07 08 1A 02 61 62 25 01 02 03 04 2B 08 01 2C 34");
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(s.skipField(s.readTag()));
    EXPECT_FALSE(s.skipField(s.readTag()));  // end-group of field 6
    EXPECT_EQ(s.lastTag(), 0x34);
    auto bad = streamOf("0E");
    EXPECT_EQ(raised([&] { bad.skipField(bad.readTag()); }), "NSParseErrorException|Invalid tag 14");
    auto neg = streamOf("0A FF FF FF FF 0F");
    EXPECT_EQ(raised([&] { neg.skipField(neg.readTag()); }), "NSParseErrorException|");
}

TEST(CodedInputStream, GroupEndedByAnotherFieldsTag) {
    ZAVWireUnknownFieldSet set;
    EXPECT_EQ(raised([&] { set.mergeFromData(hexData("13 1C")); }),
              "NSParseErrorException|Last tag: 28 should be 20");
}

TEST(CodedInputStream, NestingLimitForReadAndSkip) {
    ZAVWireUnknownFieldSet ok;
    EXPECT_EQ(raised([&] { ok.mergeFromData(ZAVWireData::create(groupNest(64))); }), "");
    ZAVWireUnknownFieldSet deep;
    EXPECT_EQ(raised([&] { deep.mergeFromData(ZAVWireData::create(groupNest(65))); }),
              "NSParseErrorException|recursionDepth(64) >= 64");
    auto skipOk = ZAVWireCodedInputStream(ZAVWireData::create(groupNest(64)));
    EXPECT_EQ(raised([&] { skipOk.skipMessage(); }), "");
    auto skipDeep = ZAVWireCodedInputStream(ZAVWireData::create(groupNest(65)));
    EXPECT_EQ(raised([&] { skipDeep.skipMessage(); }), "NSParseErrorException|recursionDepth(64) >= 64");
}
