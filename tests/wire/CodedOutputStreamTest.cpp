#include <climits>

#include "WireTestSupport.h"
#include "tests/support/TestSupport.h"
#include "wire/ZAVWireCodedInputStream.h"
#include "wire/ZAVWireCodedOutputStream.h"
#include "wire/ZAVWireUnknownFieldSet.h"

namespace {

// Writes through a memory sink with a small buffer, so buffer passing is exercised too.
std::string written(const std::function<void(ZAVWireCodedOutputStream&)>& write) {
    auto sink = plat::OutputStream::toMemory();
    {
        ZAVWireCodedOutputStream out(sink, ZAVWireData::withLength(4));
        write(out);
        out.flush();
    }
    return toHex(sink->memoryContents());
}

size_t writtenSize(const std::function<void(ZAVWireCodedOutputStream&)>& write) {
    auto sink = plat::OutputStream::toMemory();
    {
        ZAVWireCodedOutputStream out(sink, ZAVWireData::withLength(16));
        write(out);
        out.flush();
    }
    return sink->memoryContents().size();
}

class EmptyMessage : public ZAVWireSerializable {
  public:
    size_t serializedSize() const override { return 0; }
    void writeToCodedOutputStream(ZAVWireCodedOutputStream&) const override {}
};

// A sink that takes only part of what it is given.
class StingySink : public plat::OutputStream {
  public:
    void open() override {}
    long write(const uint8_t*, size_t length) override {
        return length > 1 ? static_cast<long>(length - 1) : 0;
    }
    void close() override {}
};

}  // namespace

TEST(CodedOutputStream, NegativeInt32AndEnum) {
    EXPECT_EQ(written([](auto& o) { o.writeInt32(1, -1); }), "08 FF FF FF FF FF FF FF FF FF 01");
    EXPECT_EQ(ZAVWireInt32FieldSize(1, -1), 11u);
    EXPECT_EQ(written([](auto& o) { o.writeEnum(1, -1); }), "08 FF FF FF FF 0F");
    EXPECT_EQ(ZAVWireEnumFieldSize(1, -1), 6u);
    EXPECT_EQ(written([](auto& o) { o.writeSInt32NoTag(-1); }), "01");
    EXPECT_EQ(written([](auto& o) { o.writeSInt32NoTag(1); }), "02");
}

TEST(CodedOutputStream, MessageSetItem) {
    EmptyMessage empty;
    EXPECT_EQ(written([&](auto& o) { o.writeMessageSetExtension(5, empty); }), "0B 10 05 1A 00 0C");
    EXPECT_EQ(ZAVWireMessageSetExtensionSize(5, empty), 6u);
    auto data = ZAVWireData::create("ab");
    EXPECT_EQ(written([&](auto& o) { o.writeRawMessageSetExtension(300, *data); }),
              "0B 10 AC 02 1A 02 61 62 0C");
    EXPECT_EQ(ZAVWireRawMessageSetExtensionSize(300, *data), 9u);
}

TEST(CodedOutputStream, DataModeRunsOutOfSpace) {
    auto data = ZAVWireData::withLength(3);
    ZAVWireCodedOutputStream out(nullptr, data);
    out.writeRawByte(1);
    out.writeRawByte(2);
    out.writeRawByte(3);
    EXPECT_EQ(raised([&] { out.writeRawByte(4); }), "OutOfSpace|");
    EXPECT_EQ(raised([&] { out.flush(); }), "");
    EXPECT_EQ(toHex(*data), "01 02 03");
}

TEST(CodedOutputStream, LargeWriteBypassesBuffer) {
    struct Recording : plat::OutputStream {
        std::vector<size_t> calls;
        void open() override {}
        long write(const uint8_t*, size_t n) override {
            calls.push_back(n);
            return static_cast<long>(n);
        }
        void close() override {}
    };
    auto sink = std::make_shared<Recording>();
    std::vector<uint8_t> twenty(20, 7);
    {
        ZAVWireCodedOutputStream out(sink, ZAVWireData::withLength(8));
        out.writeRawPtr(twenty.data(), 0, twenty.size());
        EXPECT_EQ(sink->calls, (std::vector<size_t>{8, 12}));
    }
    EXPECT_EQ(sink->calls.size(), 2u);  // nothing pending at release
}

TEST(CodedOutputStream, WriteFailures) {
    auto full = plat::OutputStream::toFile("/dev/full");
    ZAVWireCodedOutputStream out(full, ZAVWireData::withLength(8));
    out.writeFixed32(1, 1);
    EXPECT_EQ(raised([&] { out.flush(); }), "WriteFailed|");
    ZAVWireCodedOutputStream stingy(std::make_shared<StingySink>(), ZAVWireData::withLength(4));
    EXPECT_EQ(raised([&] {
                  for (int i = 0; i < 5; ++i) stingy.writeRawByte(1);
              }),
              "WriteFailed|");
    // Release never raises, even with bytes still pending for a full device.
    {
        ZAVWireCodedOutputStream pending(plat::OutputStream::toFile("/dev/full"), ZAVWireData::withLength(8));
        pending.writeRawByte(1);
    }
}

TEST(CodedOutputStream, SizesMatchWriters) {
    const int64_t values[] = {0, 127, 128, INT32_MAX, -1, INT64_MAX, INT64_MIN, 1LL << 35};
    for (int64_t v : values) {
        auto i32 = static_cast<int32_t>(v);
        auto u32 = static_cast<uint32_t>(v);
        auto u64 = static_cast<uint64_t>(v);
        for (uint32_t field : {1u, 16u, 2047u, 536870911u}) {
            SCOPED_TRACE(ZAVWireFormat("value %lld field %u", static_cast<long long>(v), field));
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeInt32(field, i32); }),
                      ZAVWireInt32FieldSize(field, i32));
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeUInt32(field, u32); }),
                      ZAVWireUInt32FieldSize(field, u32));
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeEnum(field, i32); }),
                      ZAVWireEnumFieldSize(field, i32));
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeSInt32(field, i32); }),
                      ZAVWireSInt32FieldSize(field, i32));
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeInt64(field, v); }), ZAVWireInt64FieldSize(field, v));
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeUInt64(field, u64); }),
                      ZAVWireUInt64FieldSize(field, u64));
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeSInt64(field, v); }),
                      ZAVWireSInt64FieldSize(field, v));
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeFixed32(field, u32); }), ZAVWireTagSize(field) + 4);
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeDouble(field, 1.5); }), ZAVWireTagSize(field) + 8);
            EXPECT_EQ(writtenSize([&](auto& o) { o.writeBool(field, true); }), ZAVWireTagSize(field) + 1);
        }
    }
    EXPECT_EQ(ZAVWireVarint64Size(INT64_MIN), 10u);
    auto text = ZAVWireString::create(std::string("a\0b\xC3\xA9", 5));
    EXPECT_EQ(written([&](auto& o) { o.writeString(2, *text); }), "12 05 61 00 62 C3 A9");
    EXPECT_EQ(ZAVWireStringFieldSize(2, *text), 7u);
}

TEST(CodedOutputStream, PackedAndUnpackedLists) {
    auto ints = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeInt32);
    EXPECT_EQ(written([&](auto& o) { o.writeInt32s(4, *ints, 0x22); }), "");
    ints->addInt32(300);
    ints->addInt32(-1);
    EXPECT_EQ(written([&](auto& o) { o.writeInt32s(4, *ints, 0x22); }),
              "22 0C AC 02 FF FF FF FF FF FF FF FF FF 01");
    EXPECT_EQ(written([&](auto& o) { o.writeInt32s(4, *ints, 0); }),
              "20 AC 02 20 FF FF FF FF FF FF FF FF FF 01");
    EXPECT_EQ(written([&](auto& o) { o.writeEnums(4, *ints, 0x22); }), "22 07 AC 02 FF FF FF FF 0F");
    EXPECT_EQ(written([&](auto& o) { o.writeSInt32s(4, *ints, 0x22); }), "22 03 D8 04 01");
    auto doubles = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeDouble);
    doubles->addDouble(1.0);
    EXPECT_EQ(written([&](auto& o) { o.writeDoubles(1, *doubles, 0x0A); }), "0A 08 00 00 00 00 00 00 F0 3F");
    auto bools = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeBool);
    bools->addBool(true);
    bools->addBool(false);
    EXPECT_EQ(written([&](auto& o) { o.writeBools(3, *bools, 0x1A); }), "1A 02 01 00");
}

TEST(CodedOutputStream, RoundTripThroughInput) {
    auto data = ZAVWireData::withLength(ZAVWireSInt64FieldSize(1, INT64_MIN) + ZAVWireInt32FieldSize(2, -5) +
                                        ZAVWireTagSize(3) + 4);
    {
        ZAVWireCodedOutputStream out(nullptr, data);
        out.writeSInt64(1, INT64_MIN);
        out.writeInt32(2, -5);
        out.writeFloat(3, -2.5f);
    }
    ZAVWireCodedInputStream in(data);
    EXPECT_EQ(in.readTag(), 8);
    EXPECT_EQ(in.readSInt64(), INT64_MIN);
    EXPECT_EQ(in.readTag(), 16);
    EXPECT_EQ(in.readInt32(), -5);
    EXPECT_EQ(in.readTag(), 29);
    EXPECT_EQ(in.readFloat(), -2.5f);
    EXPECT_TRUE(in.isAtEnd());
}
