#include "wire/ZAVWireCodedInputStream.h"

#include <algorithm>
#include <cstring>

#include "wire/ZAVWireArena.h"
#include "wire/ZAVWireGeneratedMessage.h"
#include "wire/ZAVWireUnknownFieldSet.h"

void ZAVWireRaiseParseError() {
    ZAVWireRaise(NSParseErrorException, "");
}

std::shared_ptr<ZAVWireCodedInputStream> ZAVWireCodedInputStream::streamWithData(
    std::shared_ptr<const ZAVWireData> data) {
    return std::make_shared<ZAVWireCodedInputStream>(std::move(data));
}

ZAVWireCodedInputStream::ZAVWireCodedInputStream(std::shared_ptr<const ZAVWireData> data)
    : buffer_(std::move(data)) {
    if (buffer_) {
        state_.bytes = buffer_->bytes();
        state_.bufferSize = buffer_->length();
    }
    updateEnd();
}

ZAVWireCodedInputStream::ZAVWireCodedInputStream(const uint8_t* bytes, size_t length) {
    state_.bytes = bytes;
    state_.bufferSize = bytes ? length : 0;
    updateEnd();
}

void ZAVWireCodedInputStream::checkSize(uint64_t n) {
    if (state_.bufferPos + n > state_.bufferSize) ZAVWireRaiseParseError();
    if (state_.bufferPos + n > state_.currentLimit) {
        state_.bufferPos = state_.currentLimit;
        ZAVWireRaiseParseError();
    }
}

uint8_t ZAVWireCodedInputStream::readRawByte() {
    checkSize(1);
    return state_.bytes[state_.bufferPos++];
}

void ZAVWireCodedInputStream::skipRaw(uint64_t n) {
    checkSize(n);
    state_.bufferPos += n;
}

// In line in both readers: they are the way of every varint past the first bytes the parse reads itself.
__attribute__((always_inline)) inline bool ZAVWireCodedInputStream::readVarintWithinBytes(uint64_t& value,
                                                                                          const char* error) {
    const uint64_t pos = state_.bufferPos;
    if (pos >= end_) return false;
    const uint8_t* p = state_.bytes + pos;
    const uint64_t room = std::min<uint64_t>(end_ - pos, 10);
    uint64_t result = 0;
    for (uint64_t i = 0; i < room; ++i) {
        result |= static_cast<uint64_t>(p[i] & 0x7F) << (7 * i);
        if (!(p[i] & 0x80)) {
            state_.bufferPos = pos + i + 1;
            value = result;
            return true;
        }
    }
    if (room == 10) {
        state_.bufferPos = pos + 10;
        ZAVWireRaise(NSParseErrorException, error);
    }
    return false;
}

int32_t ZAVWireCodedInputStream::readRawVarint32() {
    // Most varints are one byte (tags, lengths, small numbers): read it without the per-byte checks.
    uint64_t pos = state_.bufferPos;
    if (pos < state_.bufferSize && pos < state_.currentLimit && !(state_.bytes[pos] & 0x80)) {
        state_.bufferPos = pos + 1;
        return state_.bytes[pos];
    }
    // A value longer than 32 bits keeps its low 32, as the byte-by-byte reading below does.
    if (uint64_t value; readVarintWithinBytes(value, "Unable to read varint32"))
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    uint32_t result = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        uint8_t b = readRawByte();
        result |= static_cast<uint32_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return static_cast<int32_t>(result);
    }
    // A negative value written as 64 bits: its upper bytes carry nothing for 32 bits.
    for (int i = 0; i < 5; ++i) {
        if (!(readRawByte() & 0x80)) return static_cast<int32_t>(result);
    }
    ZAVWireRaise(NSParseErrorException, "Unable to read varint32");
}

int64_t ZAVWireCodedInputStream::readRawVarint64() {
    uint64_t pos = state_.bufferPos;
    if (pos < state_.bufferSize && pos < state_.currentLimit && !(state_.bytes[pos] & 0x80)) {
        state_.bufferPos = pos + 1;
        return state_.bytes[pos];
    }
    if (uint64_t value; readVarintWithinBytes(value, "Unable to read varint64"))
        return static_cast<int64_t>(value);
    uint64_t result = 0;
    for (int shift = 0; shift < 70; shift += 7) {
        uint8_t b = readRawByte();
        result |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return static_cast<int64_t>(result);
    }
    ZAVWireRaise(NSParseErrorException, "Unable to read varint64");
}

uint32_t ZAVWireCodedInputStream::readRawLittleEndian32() {
    checkSize(4);
    const uint8_t* p = state_.bytes + state_.bufferPos;
    state_.bufferPos += 4;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t ZAVWireCodedInputStream::readRawLittleEndian64() {
    uint64_t lo = readRawLittleEndian32();
    uint64_t hi = readRawLittleEndian32();
    return lo | hi << 32;
}

int32_t ZAVWireCodedInputStreamReadTag(ZAVWireCodedInputStream* s) {
    return s->readTag();
}

int32_t ZAVWireCodedInputStream::readTagSlow() {
    if (state_.bufferPos == state_.bufferSize || state_.bufferPos == state_.currentLimit) {
        lastTag_ = 0;
        return 0;
    }
    lastTag_ = readRawVarint32();
    if (lastTag_ == 0) ZAVWireRaise(NSParseErrorException, ZAVWireFormat("Invalid last tag %d", lastTag_));
    return lastTag_;
}

void ZAVWireCodedInputStream::checkLastTagWas(int32_t expected) const {
    if (lastTag_ != expected) {
        ZAVWireRaise(NSParseErrorException, ZAVWireFormat("Last tag: %d should be %d", lastTag_, expected));
    }
}

void ZAVWireCodedInputStream::enterNested() {
    if (recursionDepth_ >= ZAVWireMaxRecursionDepth) {
        ZAVWireRaise(NSParseErrorException,
                     ZAVWireFormat("recursionDepth(%ld) >= %ld", static_cast<long>(recursionDepth_),
                                   static_cast<long>(ZAVWireMaxRecursionDepth)));
    }
    ++recursionDepth_;
}

bool ZAVWireCodedInputStream::skipField(int32_t tag) {
    switch (tag & 7) {
        case 0:
            readRawVarint32();
            return true;
        case 1:
            skipRaw(8);
            return true;
        case 2: {
            int32_t length = readRawVarint32();
            if (length < 0) ZAVWireRaiseParseError();
            skipRaw(static_cast<uint64_t>(length));
            return true;
        }
        case 3:
            enterNested();
            skipMessage();
            checkLastTagWas((tag & ~7) + 4);
            leaveNested();
            return true;
        case 4:
            return false;
        case 5:
            skipRaw(4);
            return true;
        default:
            ZAVWireRaise(NSParseErrorException, ZAVWireFormat("Invalid tag %d", tag));
    }
}

void ZAVWireCodedInputStream::skipMessage() {
    while (true) {
        int32_t tag = readTag();
        if (tag == 0 || !skipField(tag)) return;
    }
}

void ZAVWireCodedInputStream::readGroup(int32_t fieldNumber, ZAVWireMessageBuilder& builder,
                                        const ZAVWireExtensionRegistry* registry) {
    enterNested();
    builder.mergeFromCodedInputStream(*this, registry);
    checkLastTagWas(static_cast<int32_t>(static_cast<uint32_t>(fieldNumber) << 3) + 4);
    leaveNested();
}

void ZAVWireCodedInputStream::readUnknownGroup(int32_t fieldNumber, ZAVWireUnknownFieldSet& builder) {
    enterNested();
    builder.mergeFromCodedInputStream(*this);
    checkLastTagWas(static_cast<int32_t>(static_cast<uint32_t>(fieldNumber) << 3) + 4);
    leaveNested();
}

void ZAVWireCodedInputStream::readMessage(ZAVWireMessageBuilder& builder,
                                          const ZAVWireExtensionRegistry* registry) {
    int32_t length = readRawVarint32();
    enterNested();
    uint64_t oldLimit = pushLimit(length);
    builder.mergeFromCodedInputStream(*this, registry);
    checkLastTagWas(0);
    leaveNested();
    popLimit(oldLimit);
}

uint64_t ZAVWireCodedInputStreamPushLimit(ZAVWireCodedInputStream* s, int32_t byteCount) {
    return s->pushLimit(byteCount);
}

uint64_t ZAVWireCodedInputStream::pushLimit(int32_t byteCount) {
    // A negative count would put the limit behind the position; it is malformed input, not an empty message.
    if (byteCount < 0) ZAVWireRaiseParseError();
    uint64_t newLimit = state_.bufferPos + static_cast<uint64_t>(byteCount);
    uint64_t oldLimit = state_.currentLimit;
    if (newLimit > oldLimit) {
        ZAVWireRaise(NSInvalidArgumentException,
                     ZAVWireFormat("byteLimit > oldLimit: %ld > %ld", static_cast<long>(newLimit),
                                   static_cast<long>(oldLimit)));
    }
    state_.currentLimit = newLimit;
    updateEnd();
    return oldLimit;
}

uint64_t ZAVWireCodedInputStream::bytesUntilLimit() const {
    if (state_.currentLimit == UINT64_MAX) return UINT64_MAX;
    return state_.currentLimit - state_.bufferPos;
}

bool ZAVWireCodedInputStream::isAtEnd() const {
    return state_.bufferPos == state_.bufferSize || state_.bufferPos == state_.currentLimit;
}

double ZAVWireCodedInputStream::readDouble() {
    uint64_t bits = readRawLittleEndian64();
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

float ZAVWireCodedInputStream::readFloat() {
    uint32_t bits = readRawLittleEndian32();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

uint64_t ZAVWireCodedInputStream::readUInt64() {
    return static_cast<uint64_t>(readRawVarint64());
}
int64_t ZAVWireCodedInputStream::readInt64() {
    return readRawVarint64();
}
int64_t ZAVWireCodedInputStream::readSInt64() {
    uint64_t n = static_cast<uint64_t>(readRawVarint64());
    return static_cast<int64_t>((n >> 1) ^ (~(n & 1) + 1));
}
int32_t ZAVWireCodedInputStream::readInt32() {
    return readRawVarint32();
}
uint32_t ZAVWireCodedInputStream::readUInt32() {
    return static_cast<uint32_t>(readRawVarint32());
}
int32_t ZAVWireCodedInputStream::readEnum() {
    return readRawVarint32();
}
int32_t ZAVWireCodedInputStream::readSInt32() {
    uint32_t n = static_cast<uint32_t>(readRawVarint32());
    return static_cast<int32_t>((n >> 1) ^ (~(n & 1) + 1));
}
bool ZAVWireCodedInputStream::readBool() {
    return readRawVarint32() != 0;
}
uint64_t ZAVWireCodedInputStream::readFixed64() {
    return readRawLittleEndian64();
}
int64_t ZAVWireCodedInputStream::readSFixed64() {
    return static_cast<int64_t>(readRawLittleEndian64());
}
uint32_t ZAVWireCodedInputStream::readFixed32() {
    return readRawLittleEndian32();
}
int32_t ZAVWireCodedInputStream::readSFixed32() {
    return static_cast<int32_t>(readRawLittleEndian32());
}

ZAVWireStringPtr ZAVWireCodedInputStreamReadRetainedString(ZAVWireCodedInputStream* s) {
    return s->readString();
}
std::shared_ptr<ZAVWireData> ZAVWireCodedInputStreamReadRetainedData(ZAVWireCodedInputStream* s) {
    return s->readData();
}

ZAVWireStringPtr ZAVWireCodedInputStream::readString() {
    return readString(ZAVWireArena::current());
}

ZAVWireStringPtr ZAVWireCodedInputStream::readString(ZAVWireArena* arena) {
    int32_t length = readVarint32Inline();
    if (length == 0) return ZAVWireString::empty();
    if (length < 0) ZAVWireRaiseParseError();
    checkSize(static_cast<uint64_t>(length));
    auto s = ZAVWireStringCreate(state_.bytes + state_.bufferPos, static_cast<size_t>(length), arena);
    state_.bufferPos += static_cast<uint64_t>(length);
    return s;
}

std::shared_ptr<ZAVWireData> ZAVWireCodedInputStream::readData() {
    int32_t length = readRawVarint32();
    if (length < 0) return nullptr;
    checkSize(static_cast<uint64_t>(length));
    auto d = ZAVWireData::create(state_.bytes + state_.bufferPos, static_cast<size_t>(length));
    state_.bufferPos += static_cast<uint64_t>(length);
    return d;
}
