#include "wire/ZAVWireCodedOutputStream.h"

#include <unistd.h>

#include <cstring>

#include "wire/ZAVWireGeneratedMessage.h"
#include "wire/ZAVWireUnknownFieldSet.h"

namespace {

uint32_t makeTag(uint32_t fieldNumber, int32_t format) {
    return (fieldNumber << 3) | static_cast<uint32_t>(format);
}

}  // namespace

// ---- sizes

size_t ZAVWireVarint32Size(uint32_t v) {
    if (v < (1u << 7)) return 1;
    if (v < (1u << 14)) return 2;
    if (v < (1u << 21)) return 3;
    if (v < (1u << 28)) return 4;
    return 5;
}

size_t ZAVWireVarint64Size(int64_t value) {
    uint64_t v = static_cast<uint64_t>(value);
    size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

size_t ZAVWireTagSize(uint32_t fieldNumber) {
    return ZAVWireVarint32Size(fieldNumber << 3);
}

size_t ZAVWireStringSizeNoTag(const ZAVWireString& value) {
    size_t length = value.lengthOfBytesUTF8();
    return ZAVWireVarint32Size(static_cast<uint32_t>(length)) + length;
}

size_t ZAVWireInt32FieldSize(uint32_t n, int32_t v) {
    return ZAVWireTagSize(n) + (v < 0 ? 10 : ZAVWireVarint32Size(static_cast<uint32_t>(v)));
}
size_t ZAVWireUInt32FieldSize(uint32_t n, uint32_t v) {
    return ZAVWireTagSize(n) + ZAVWireVarint32Size(v);
}
size_t ZAVWireEnumFieldSize(uint32_t n, int32_t v) {
    return ZAVWireTagSize(n) + ZAVWireVarint32Size(static_cast<uint32_t>(v));
}
size_t ZAVWireSInt32FieldSize(uint32_t n, int32_t v) {
    return ZAVWireTagSize(n) + ZAVWireVarint32Size(ZAVWireEncodeZigZag32(v));
}
size_t ZAVWireInt64FieldSize(uint32_t n, int64_t v) {
    return ZAVWireTagSize(n) + ZAVWireVarint64Size(v);
}
size_t ZAVWireUInt64FieldSize(uint32_t n, uint64_t v) {
    return ZAVWireTagSize(n) + ZAVWireVarint64Size(static_cast<int64_t>(v));
}
size_t ZAVWireSInt64FieldSize(uint32_t n, int64_t v) {
    return ZAVWireTagSize(n) + ZAVWireVarint64Size(static_cast<int64_t>(ZAVWireEncodeZigZag64(v)));
}
size_t ZAVWireStringFieldSize(uint32_t n, const ZAVWireString& v) {
    return ZAVWireTagSize(n) + ZAVWireStringSizeNoTag(v);
}
size_t ZAVWireDataFieldSize(uint32_t n, const ZAVWireData& v) {
    return ZAVWireTagSize(n) + ZAVWireVarint32Size(static_cast<uint32_t>(v.length())) + v.length();
}
size_t ZAVWireMessageFieldSize(uint32_t n, const ZAVWireSerializable& v) {
    size_t size = v.serializedSize();
    return ZAVWireTagSize(n) + ZAVWireVarint32Size(static_cast<uint32_t>(size)) + size;
}
size_t ZAVWireMessageSetExtensionSize(int32_t typeId, const ZAVWireSerializable& v) {
    size_t size = v.serializedSize();
    return 4 + ZAVWireVarint32Size(static_cast<uint32_t>(typeId)) +
           ZAVWireVarint32Size(static_cast<uint32_t>(size)) + size;
}
size_t ZAVWireRawMessageSetExtensionSize(int32_t typeId, const ZAVWireData& v) {
    return 4 + ZAVWireVarint32Size(static_cast<uint32_t>(typeId)) +
           ZAVWireVarint32Size(static_cast<uint32_t>(v.length())) + v.length();
}

// ---- creation

std::shared_ptr<ZAVWireCodedOutputStream> ZAVWireCodedOutputStream::streamWithOutputStream(
    std::shared_ptr<plat::OutputStream> output) {
    long page = sysconf(_SC_PAGESIZE);
    return streamWithOutputStream(std::move(output), page > 0 ? static_cast<size_t>(page) : 4096);
}

std::shared_ptr<ZAVWireCodedOutputStream> ZAVWireCodedOutputStream::streamWithOutputStream(
    std::shared_ptr<plat::OutputStream> output, size_t bufferSize) {
    return std::make_shared<ZAVWireCodedOutputStream>(std::move(output), ZAVWireData::withLength(bufferSize));
}

std::shared_ptr<ZAVWireCodedOutputStream> ZAVWireCodedOutputStream::streamWithData(
    std::shared_ptr<ZAVWireData> data) {
    return std::make_shared<ZAVWireCodedOutputStream>(nullptr, std::move(data));
}

ZAVWireCodedOutputStream::ZAVWireCodedOutputStream(std::shared_ptr<plat::OutputStream> output,
                                                   std::shared_ptr<ZAVWireData> data)
    : buffer_(std::move(data)) {
    if (output) output->open();
    if (buffer_) {
        state_.bytes = buffer_->mutableBytes();
        state_.size = buffer_->length();
    }
    state_.output = std::move(output);
}

ZAVWireCodedOutputStream::~ZAVWireCodedOutputStream() {
    try {
        flush();
    } catch (const std::exception&) {
        // A failure here has nobody to reach; callers that care flush first.
    }
    if (state_.output) state_.output->close();
}

// ---- buffer

void ZAVWireCodedOutputStream::refreshBuffer() {
    if (!state_.output) ZAVWireRaise("OutOfSpace", "");
    if (state_.position != 0) {
        long written = state_.output->write(state_.bytes, state_.position);
        if (written != static_cast<long>(state_.position)) ZAVWireRaise("WriteFailed", "");
        state_.position = 0;
    }
}

void ZAVWireCodedOutputStream::flush() {
    if (state_.output) refreshBuffer();
}

void ZAVWireCodedOutputStream::writeRawByte(uint8_t value) {
    if (state_.position == state_.size) refreshBuffer();
    state_.bytes[state_.position++] = value;
}

void ZAVWireCodedOutputStream::writeRawPtr(const void* data, size_t offset, size_t length) {
    if (!data || length == 0) return;
    const uint8_t* p = static_cast<const uint8_t*>(data) + offset;
    size_t room = state_.size - state_.position;
    if (room >= length) {
        std::memcpy(state_.bytes + state_.position, p, length);
        state_.position += length;
        return;
    }
    if (room) std::memcpy(state_.bytes + state_.position, p, room);
    state_.position = state_.size;
    refreshBuffer();
    size_t rest = length - room;
    if (rest > state_.size) {
        long written = state_.output->write(p + room, rest);
        if (written != static_cast<long>(rest)) ZAVWireRaise("WriteFailed", "");
    } else {
        std::memcpy(state_.bytes, p + room, rest);
        state_.position = rest;
    }
}

void ZAVWireCodedOutputStream::writeRawData(const ZAVWireData& data) {
    writeRawPtr(data.bytes(), 0, data.length());
}

void ZAVWireCodedOutputStream::writeRawVarint32(int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    while (v >= 0x80) {
        writeRawByte(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
    }
    writeRawByte(static_cast<uint8_t>(v));
}

void ZAVWireCodedOutputStream::writeRawVarintSizeTAs32(size_t value) {
    writeRawVarint32(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

void ZAVWireCodedOutputStream::writeRawVarint64(int64_t value) {
    uint64_t v = static_cast<uint64_t>(value);
    while (v >= 0x80) {
        writeRawByte(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
    }
    writeRawByte(static_cast<uint8_t>(v));
}

void ZAVWireCodedOutputStream::writeRawLittleEndian32(int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    writeRawPtr(b, 0, 4);
}

void ZAVWireCodedOutputStream::writeRawLittleEndian64(int64_t value) {
    uint64_t v = static_cast<uint64_t>(value);
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    writeRawPtr(b, 0, 8);
}

void ZAVWireCodedOutputStream::writeTag(uint32_t fieldNumber, int32_t format) {
    writeRawVarint32(static_cast<int32_t>(makeTag(fieldNumber, format)));
}

// ---- values without tags

void ZAVWireCodedOutputStream::writeDoubleNoTag(double value) {
    int64_t bits;
    std::memcpy(&bits, &value, 8);
    writeRawLittleEndian64(bits);
}
void ZAVWireCodedOutputStream::writeFloatNoTag(float value) {
    int32_t bits;
    std::memcpy(&bits, &value, 4);
    writeRawLittleEndian32(bits);
}
void ZAVWireCodedOutputStream::writeUInt64NoTag(uint64_t value) {
    writeRawVarint64(static_cast<int64_t>(value));
}
void ZAVWireCodedOutputStream::writeInt64NoTag(int64_t value) {
    writeRawVarint64(value);
}
void ZAVWireCodedOutputStream::writeInt32NoTag(int32_t value) {
    if (value >= 0) {
        writeRawVarint32(value);
    } else {
        writeRawVarint64(value);
    }
}
void ZAVWireCodedOutputStream::writeUInt32NoTag(uint32_t value) {
    writeRawVarint32(static_cast<int32_t>(value));
}
void ZAVWireCodedOutputStream::writeEnumNoTag(int32_t value) {
    writeRawVarint32(value);
}
void ZAVWireCodedOutputStream::writeSInt32NoTag(int32_t value) {
    writeRawVarint32(static_cast<int32_t>(ZAVWireEncodeZigZag32(value)));
}
void ZAVWireCodedOutputStream::writeSInt64NoTag(int64_t value) {
    writeRawVarint64(static_cast<int64_t>(ZAVWireEncodeZigZag64(value)));
}
void ZAVWireCodedOutputStream::writeFixed64NoTag(uint64_t value) {
    writeRawLittleEndian64(static_cast<int64_t>(value));
}
void ZAVWireCodedOutputStream::writeSFixed64NoTag(int64_t value) {
    writeRawLittleEndian64(value);
}
void ZAVWireCodedOutputStream::writeFixed32NoTag(uint32_t value) {
    writeRawLittleEndian32(static_cast<int32_t>(value));
}
void ZAVWireCodedOutputStream::writeSFixed32NoTag(int32_t value) {
    writeRawLittleEndian32(value);
}
void ZAVWireCodedOutputStream::writeBoolNoTag(bool value) {
    writeRawByte(value ? 1 : 0);
}

void ZAVWireCodedOutputStream::writeStringNoTag(const ZAVWireString& value) {
    // The byte length of the UTF-8 form, which a NUL inside the text does not cut short.
    const std::string& bytes = value.utf8();
    writeRawVarintSizeTAs32(bytes.size());
    writeRawPtr(bytes.data(), 0, bytes.size());
}

void ZAVWireCodedOutputStream::writeDataNoTag(const ZAVWireData& value) {
    writeRawVarintSizeTAs32(value.length());
    writeRawData(value);
}

void ZAVWireCodedOutputStream::writeMessageNoTag(const ZAVWireSerializable& value) {
    writeRawVarintSizeTAs32(value.serializedSize());
    value.writeToCodedOutputStream(*this);
}

void ZAVWireCodedOutputStream::writeGroupNoTag(uint32_t fieldNumber, const ZAVWireSerializable& value) {
    value.writeToCodedOutputStream(*this);
    writeTag(fieldNumber, ZAVWireWireFormatEndGroup);
}

void ZAVWireCodedOutputStream::writeUnknownGroupNoTag(uint32_t fieldNumber,
                                                      const ZAVWireUnknownFieldSet& value) {
    value.writeToCodedOutputStream(*this);
    writeTag(fieldNumber, ZAVWireWireFormatEndGroup);
}

// ---- tagged values

#define ZAV_TAGGED_WRITER(Name, Type, Format)                                      \
    void ZAVWireCodedOutputStream::write##Name(uint32_t fieldNumber, Type value) { \
        writeTag(fieldNumber, Format);                                             \
        write##Name##NoTag(value);                                                 \
    }
ZAV_TAGGED_WRITER(Double, double, ZAVWireWireFormatFixed64)
ZAV_TAGGED_WRITER(Float, float, ZAVWireWireFormatFixed32)
ZAV_TAGGED_WRITER(UInt64, uint64_t, ZAVWireWireFormatVarint)
ZAV_TAGGED_WRITER(Int64, int64_t, ZAVWireWireFormatVarint)
ZAV_TAGGED_WRITER(Int32, int32_t, ZAVWireWireFormatVarint)
ZAV_TAGGED_WRITER(UInt32, uint32_t, ZAVWireWireFormatVarint)
ZAV_TAGGED_WRITER(Enum, int32_t, ZAVWireWireFormatVarint)
ZAV_TAGGED_WRITER(SInt32, int32_t, ZAVWireWireFormatVarint)
ZAV_TAGGED_WRITER(SInt64, int64_t, ZAVWireWireFormatVarint)
ZAV_TAGGED_WRITER(Fixed64, uint64_t, ZAVWireWireFormatFixed64)
ZAV_TAGGED_WRITER(SFixed64, int64_t, ZAVWireWireFormatFixed64)
ZAV_TAGGED_WRITER(Fixed32, uint32_t, ZAVWireWireFormatFixed32)
ZAV_TAGGED_WRITER(SFixed32, int32_t, ZAVWireWireFormatFixed32)
ZAV_TAGGED_WRITER(Bool, bool, ZAVWireWireFormatVarint)
ZAV_TAGGED_WRITER(String, const ZAVWireString&, ZAVWireWireFormatLengthDelimited)
ZAV_TAGGED_WRITER(Data, const ZAVWireData&, ZAVWireWireFormatLengthDelimited)
ZAV_TAGGED_WRITER(Message, const ZAVWireSerializable&, ZAVWireWireFormatLengthDelimited)
#undef ZAV_TAGGED_WRITER

void ZAVWireCodedOutputStream::writeGroup(uint32_t fieldNumber, const ZAVWireSerializable& value) {
    writeTag(fieldNumber, ZAVWireWireFormatStartGroup);
    writeGroupNoTag(fieldNumber, value);
}

void ZAVWireCodedOutputStream::writeUnknownGroup(uint32_t fieldNumber, const ZAVWireUnknownFieldSet& value) {
    writeTag(fieldNumber, ZAVWireWireFormatStartGroup);
    writeUnknownGroupNoTag(fieldNumber, value);
}

// ---- lists

template <typename T, typename Each>
void ZAVWireCodedOutputStream::writeList(const ZAVWireArray& values, uint32_t packedTag,
                                         ZAVWireArrayValueType type, size_t payload, Each each) {
    ZAVWIRE_ASSERT(values.valueType() == type, "List of %s written as %s",
                   ZAVWireArrayValueTypeName(values.valueType()), ZAVWireArrayValueTypeName(type));
    const T* p = static_cast<const T*>(values.data());
    size_t n = values.count();
    if (packedTag != 0) {
        if (n == 0) return;
        writeRawVarint32(static_cast<int32_t>(packedTag));
        writeRawVarintSizeTAs32(payload);
        for (size_t i = 0; i < n; ++i) each(p[i], false);
    } else {
        for (size_t i = 0; i < n; ++i) each(p[i], true);
    }
}

namespace {

template <typename T, typename F>
size_t sumOver(const ZAVWireArray& values, F size) {
    const T* p = static_cast<const T*>(values.data());
    size_t total = 0;
    for (size_t i = 0; i < values.count(); ++i) total += size(p[i]);
    return total;
}

}  // namespace

#define ZAV_LIST_WRITER(Name, T, ValueType, PayloadExpr)                                            \
    void ZAVWireCodedOutputStream::write##Name##s(uint32_t fieldNumber, const ZAVWireArray& values, \
                                                  uint32_t packedTag) {                             \
        size_t payload = packedTag ? (PayloadExpr) : 0;                                             \
        writeList<T>(values, packedTag, ValueType, payload, [&](T v, bool tagged) {                 \
            if (tagged) {                                                                           \
                write##Name(fieldNumber, v);                                                        \
            } else {                                                                                \
                write##Name##NoTag(v);                                                              \
            }                                                                                       \
        });                                                                                         \
    }
ZAV_LIST_WRITER(Double, double, ZAVWireArrayValueTypeDouble, values.count() * 8)
ZAV_LIST_WRITER(Float, float, ZAVWireArrayValueTypeFloat, values.count() * 4)
ZAV_LIST_WRITER(Fixed64, uint64_t, ZAVWireArrayValueTypeUInt64, values.count() * 8)
ZAV_LIST_WRITER(SFixed64, int64_t, ZAVWireArrayValueTypeInt64, values.count() * 8)
ZAV_LIST_WRITER(Fixed32, uint32_t, ZAVWireArrayValueTypeUInt32, values.count() * 4)
ZAV_LIST_WRITER(SFixed32, int32_t, ZAVWireArrayValueTypeInt32, values.count() * 4)
ZAV_LIST_WRITER(Bool, uint8_t, ZAVWireArrayValueTypeBool, values.count())
ZAV_LIST_WRITER(UInt64, uint64_t, ZAVWireArrayValueTypeUInt64, sumOver<uint64_t>(values, [](uint64_t v) {
                    return ZAVWireVarint64Size(static_cast<int64_t>(v));
                }))
ZAV_LIST_WRITER(Int64, int64_t, ZAVWireArrayValueTypeInt64,
                sumOver<int64_t>(values, [](int64_t v) { return ZAVWireVarint64Size(v); }))
ZAV_LIST_WRITER(Int32, int32_t, ZAVWireArrayValueTypeInt32, sumOver<int32_t>(values, [](int32_t v) {
                    return v < 0 ? size_t{10} : ZAVWireVarint32Size(static_cast<uint32_t>(v));
                }))
ZAV_LIST_WRITER(UInt32, uint32_t, ZAVWireArrayValueTypeUInt32,
                sumOver<uint32_t>(values, [](uint32_t v) { return ZAVWireVarint32Size(v); }))
ZAV_LIST_WRITER(Enum, int32_t, ZAVWireArrayValueTypeInt32, sumOver<int32_t>(values, [](int32_t v) {
                    return ZAVWireVarint32Size(static_cast<uint32_t>(v));
                }))
ZAV_LIST_WRITER(SInt32, int32_t, ZAVWireArrayValueTypeInt32, sumOver<int32_t>(values, [](int32_t v) {
                    return ZAVWireVarint32Size(ZAVWireEncodeZigZag32(v));
                }))
ZAV_LIST_WRITER(SInt64, int64_t, ZAVWireArrayValueTypeInt64, sumOver<int64_t>(values, [](int64_t v) {
                    return ZAVWireVarint64Size(static_cast<int64_t>(ZAVWireEncodeZigZag64(v)));
                }))
#undef ZAV_LIST_WRITER

namespace {

template <typename T>
const T& elementAs(const ZAVWireObjectPtr& element) {
    auto* p = dynamic_cast<const T*>(element.get());
    ZAVWIRE_ASSERT(p != nullptr, "Unexpected element %s in a typed list",
                   element ? element->className() : "nil");
    return *p;
}

}  // namespace

void ZAVWireCodedOutputStream::writeStrings(uint32_t fieldNumber, const ZAVWireArray& values) {
    for (size_t i = 0; i < values.count(); ++i) writeString(fieldNumber, elementAs<ZAVWireString>(values[i]));
}
void ZAVWireCodedOutputStream::writeMessages(uint32_t fieldNumber, const ZAVWireArray& values) {
    for (size_t i = 0; i < values.count(); ++i)
        writeMessage(fieldNumber, ZAVWireMessageWriting(elementAs<ZAVWireGeneratedMessage>(values[i])));
}
void ZAVWireCodedOutputStream::writeDatas(uint32_t fieldNumber, const ZAVWireArray& values) {
    for (size_t i = 0; i < values.count(); ++i) writeData(fieldNumber, elementAs<ZAVWireData>(values[i]));
}
void ZAVWireCodedOutputStream::writeGroups(uint32_t fieldNumber, const ZAVWireArray& values) {
    for (size_t i = 0; i < values.count(); ++i)
        writeGroup(fieldNumber, ZAVWireMessageWriting(elementAs<ZAVWireGeneratedMessage>(values[i])));
}
void ZAVWireCodedOutputStream::writeUnknownGroups(uint32_t fieldNumber, const ZAVWireArray& values) {
    for (size_t i = 0; i < values.count(); ++i) {
        writeUnknownGroup(fieldNumber, elementAs<ZAVWireUnknownFieldSet>(values[i]));
    }
}

// ---- message-set items

void ZAVWireCodedOutputStream::writeMessageSetExtension(int32_t typeId, const ZAVWireSerializable& value) {
    writeRawByte(0x0B);
    writeRawByte(0x10);
    writeRawVarint32(typeId);
    writeMessage(3, value);
    writeRawByte(0x0C);
}

void ZAVWireCodedOutputStream::writeRawMessageSetExtension(int32_t typeId, const ZAVWireData& value) {
    writeRawByte(0x0B);
    writeRawByte(0x10);
    writeRawVarint32(typeId);
    writeData(3, value);
    writeRawByte(0x0C);
}
