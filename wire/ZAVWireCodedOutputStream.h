#pragma once
// Writes the tagged binary wire format through one buffer: either passed on to a plat::OutputStream whenever
// it fills (a write larger than the buffer goes straight through), or the caller's own fixed-size data, which
// bounds what can be written ("OutOfSpace"). An output stream that takes fewer bytes than given raises
// "WriteFailed". The destructor flushes without raising; callers that must see a failure call flush().
// Beside it, the field-size functions give the exact byte count each writer emits.
#include <cstdint>
#include <memory>

#include "platform/storage/OutputStream.h"
#include "wire/ZAVWireArray.h"
#include "wire/ZAVWireString.h"

class ZAVWireCodedOutputStream;
class ZAVWireUnknownFieldSet;

// What a sub-message or group field writes.
class ZAVWireSerializable {
  public:
    virtual size_t serializedSize() const = 0;
    virtual void writeToCodedOutputStream(ZAVWireCodedOutputStream& output) const = 0;

  protected:
    ~ZAVWireSerializable() = default;
};

struct ZAVWireOutputBufferState {
    uint8_t* bytes = nullptr;
    uint64_t size = 0;
    uint64_t position = 0;
    std::shared_ptr<plat::OutputStream> output;
};

enum ZAVWireWireFormat : int32_t {
    ZAVWireWireFormatVarint = 0,
    ZAVWireWireFormatFixed64 = 1,
    ZAVWireWireFormatLengthDelimited = 2,
    ZAVWireWireFormatStartGroup = 3,
    ZAVWireWireFormatEndGroup = 4,
    ZAVWireWireFormatFixed32 = 5,
};

class ZAVWireCodedOutputStream final : public ZAVWireSharedObject {
  public:
    static std::shared_ptr<ZAVWireCodedOutputStream> streamWithOutputStream(
        std::shared_ptr<plat::OutputStream> output);
    static std::shared_ptr<ZAVWireCodedOutputStream> streamWithOutputStream(
        std::shared_ptr<plat::OutputStream> output, size_t bufferSize);
    static std::shared_ptr<ZAVWireCodedOutputStream> streamWithData(std::shared_ptr<ZAVWireData> data);
    ZAVWireCodedOutputStream(std::shared_ptr<plat::OutputStream> output, std::shared_ptr<ZAVWireData> data);
    ~ZAVWireCodedOutputStream() override;

    const char* className() const override { return "ZAVWireCodedOutputStream"; }

    void writeDouble(uint32_t fieldNumber, double value);
    void writeFloat(uint32_t fieldNumber, float value);
    void writeUInt64(uint32_t fieldNumber, uint64_t value);
    void writeInt64(uint32_t fieldNumber, int64_t value);
    void writeInt32(uint32_t fieldNumber, int32_t value);
    void writeUInt32(uint32_t fieldNumber, uint32_t value);
    void writeEnum(uint32_t fieldNumber, int32_t value);
    void writeSInt32(uint32_t fieldNumber, int32_t value);
    void writeSInt64(uint32_t fieldNumber, int64_t value);
    void writeFixed64(uint32_t fieldNumber, uint64_t value);
    void writeSFixed64(uint32_t fieldNumber, int64_t value);
    void writeFixed32(uint32_t fieldNumber, uint32_t value);
    void writeSFixed32(uint32_t fieldNumber, int32_t value);
    void writeBool(uint32_t fieldNumber, bool value);
    void writeString(uint32_t fieldNumber, const ZAVWireString& value);
    void writeData(uint32_t fieldNumber, const ZAVWireData& value);
    void writeMessage(uint32_t fieldNumber, const ZAVWireSerializable& value);
    void writeGroup(uint32_t fieldNumber, const ZAVWireSerializable& value);
    void writeUnknownGroup(uint32_t fieldNumber, const ZAVWireUnknownFieldSet& value);

    void writeDoubleNoTag(double value);
    void writeFloatNoTag(float value);
    void writeUInt64NoTag(uint64_t value);
    void writeInt64NoTag(int64_t value);
    void writeInt32NoTag(int32_t value);
    void writeUInt32NoTag(uint32_t value);
    void writeEnumNoTag(int32_t value);
    void writeSInt32NoTag(int32_t value);
    void writeSInt64NoTag(int64_t value);
    void writeFixed64NoTag(uint64_t value);
    void writeSFixed64NoTag(int64_t value);
    void writeFixed32NoTag(uint32_t value);
    void writeSFixed32NoTag(int32_t value);
    void writeBoolNoTag(bool value);
    void writeStringNoTag(const ZAVWireString& value);
    void writeDataNoTag(const ZAVWireData& value);
    void writeMessageNoTag(const ZAVWireSerializable& value);
    void writeGroupNoTag(uint32_t fieldNumber, const ZAVWireSerializable& value);
    void writeUnknownGroupNoTag(uint32_t fieldNumber, const ZAVWireUnknownFieldSet& value);

    // Lists: packedTag 0 writes each element with its own tag; otherwise the complete packed tag, the payload
    // length, then the bare elements (nothing at all for an empty list).
    void writeDoubles(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeFloats(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeUInt64s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeInt64s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeInt32s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeUInt32s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeFixed64s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeFixed32s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeSInt32s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeSInt64s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeSFixed64s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeSFixed32s(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeBools(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeEnums(uint32_t fieldNumber, const ZAVWireArray& values, uint32_t packedTag);
    void writeStrings(uint32_t fieldNumber, const ZAVWireArray& values);
    void writeMessages(uint32_t fieldNumber, const ZAVWireArray& values);
    void writeDatas(uint32_t fieldNumber, const ZAVWireArray& values);
    void writeGroups(uint32_t fieldNumber, const ZAVWireArray& values);
    void writeUnknownGroups(uint32_t fieldNumber, const ZAVWireArray& values);

    void writeMessageSetExtension(int32_t typeId, const ZAVWireSerializable& value);
    void writeRawMessageSetExtension(int32_t typeId, const ZAVWireData& value);

    void writeRawByte(uint8_t value);
    void writeRawData(const ZAVWireData& data);
    void writeRawPtr(const void* data, size_t offset, size_t length);
    void writeTag(uint32_t fieldNumber, int32_t format);
    void writeRawVarint32(int32_t value);
    void writeRawVarintSizeTAs32(size_t value);
    void writeRawVarint64(int64_t value);
    void writeRawLittleEndian32(int32_t value);
    void writeRawLittleEndian64(int64_t value);
    void flush();

  private:
    void refreshBuffer();
    template <typename T, typename Each>
    void writeList(const ZAVWireArray& values, uint32_t packedTag, ZAVWireArrayValueType type, size_t payload,
                   Each each);

    ZAVWireOutputBufferState state_;
    std::shared_ptr<ZAVWireData> buffer_;
};

// Sizes, in bytes, of what the writers emit.
size_t ZAVWireVarint32Size(uint32_t value);
size_t ZAVWireVarint64Size(int64_t value);
size_t ZAVWireTagSize(uint32_t fieldNumber);
size_t ZAVWireStringSizeNoTag(const ZAVWireString& value);
size_t ZAVWireInt32FieldSize(uint32_t fieldNumber, int32_t value);
size_t ZAVWireUInt32FieldSize(uint32_t fieldNumber, uint32_t value);
size_t ZAVWireEnumFieldSize(uint32_t fieldNumber, int32_t value);
size_t ZAVWireSInt32FieldSize(uint32_t fieldNumber, int32_t value);
size_t ZAVWireInt64FieldSize(uint32_t fieldNumber, int64_t value);
size_t ZAVWireUInt64FieldSize(uint32_t fieldNumber, uint64_t value);
size_t ZAVWireSInt64FieldSize(uint32_t fieldNumber, int64_t value);
size_t ZAVWireStringFieldSize(uint32_t fieldNumber, const ZAVWireString& value);
size_t ZAVWireDataFieldSize(uint32_t fieldNumber, const ZAVWireData& value);
size_t ZAVWireMessageFieldSize(uint32_t fieldNumber, const ZAVWireSerializable& value);
size_t ZAVWireMessageSetExtensionSize(int32_t typeId, const ZAVWireSerializable& value);
size_t ZAVWireRawMessageSetExtensionSize(int32_t typeId, const ZAVWireData& value);
// Zigzag forms of the signed types.
inline uint32_t ZAVWireEncodeZigZag32(int32_t n) {
    return (static_cast<uint32_t>(n) << 1) ^ static_cast<uint32_t>(n >> 31);
}
inline uint64_t ZAVWireEncodeZigZag64(int64_t n) {
    return (static_cast<uint64_t>(n) << 1) ^ static_cast<uint64_t>(n >> 63);
}
