#pragma once
// Reads the tagged binary wire format out of one buffer held in memory, in place. Every failure raises
// (NSParseErrorException, or NSInvalidArgumentException for a limit past the enclosing one); a stream that
// has raised is not used again. Groups and sub-messages nest at most 64 deep.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "wire/ZAVWireRootObject.h"
#include "wire/ZAVWireString.h"

class ZAVWireCodedInputStream;
class ZAVWireExtensionRegistry;
class ZAVWireUnknownFieldSet;

class ZAVWireGeneratedMessage;
// What a group or sub-message is read into: only messages are, so a message carries no interface table for
// it.
using ZAVWireMessageBuilder = ZAVWireGeneratedMessage;

struct ZAVWireInputBufferState {
    const uint8_t* bytes = nullptr;
    uint64_t bufferSize = 0;
    uint64_t bufferPos = 0;
    uint64_t currentLimit = UINT64_MAX;
};

inline constexpr uint64_t ZAVWireMaxRecursionDepth = 64;

class ZAVWireCodedInputStream final : public ZAVWireSharedObject {
  public:
    static std::shared_ptr<ZAVWireCodedInputStream> streamWithData(std::shared_ptr<const ZAVWireData> data);
    explicit ZAVWireCodedInputStream(std::shared_ptr<const ZAVWireData> data);
    // Over bytes the caller keeps alive for the stream's life.
    ZAVWireCodedInputStream(const uint8_t* bytes, size_t length);

    const char* className() const override { return "ZAVWireCodedInputStream"; }

    __attribute__((always_inline)) int32_t readTag() {
        uint64_t pos = state_.bufferPos;
        int32_t tag;
        if (readShortTag(state_.bytes, pos, end_, tag)) {
            state_.bufferPos = pos;
            lastTag_ = tag;
            return tag;
        }
        if (pos == end_) {
            // The end of the data or of the message.
            lastTag_ = 0;
            return 0;
        }
        return readTagSlow();
    }
    // The common forms, read without a call by the stream's own readers and by a loop that keeps the
    // position itself: a tag of one or two bytes (fields 1 to 2047), and a varint of one or two bytes
    // (lengths, small numbers), at `pos` below `end`. False, with `pos` unmoved, where the value needs the
    // longer way (or the bytes end there).
    __attribute__((always_inline)) static bool readShortTag(const uint8_t* bytes, uint64_t& pos, uint64_t end,
                                                            int32_t& tag) {
        if (pos >= end) return false;
        uint32_t b = bytes[pos];
        if (b != 0 && !(b & 0x80)) {
            pos += 1;
            tag = static_cast<int32_t>(b);
            return true;
        }
        if ((b & 0x80) && pos + 1 < end) {
            uint32_t b1 = bytes[pos + 1];
            if (!(b1 & 0x80) && b1 != 0) {
                pos += 2;
                tag = static_cast<int32_t>((b & 0x7F) | (b1 << 7));
                return true;
            }
        }
        return false;
    }
    __attribute__((always_inline)) static bool readShortVarint32(const uint8_t* bytes, uint64_t& pos,
                                                                 uint64_t end, int32_t& value) {
        if (pos + 1 < end) {
            uint32_t b0 = bytes[pos];
            if (!(b0 & 0x80)) {
                pos += 1;
                value = static_cast<int32_t>(b0);
                return true;
            }
            uint32_t b1 = bytes[pos + 1];
            if (!(b1 & 0x80)) {
                pos += 2;
                value = static_cast<int32_t>((b0 & 0x7F) | (b1 << 7));
                return true;
            }
        } else if (pos < end && !(bytes[pos] & 0x80)) {
            value = bytes[pos];
            pos += 1;
            return true;
        }
        return false;
    }
    void checkLastTagWas(int32_t expected) const;
    int32_t lastTag() const { return lastTag_; }
    // False when the tag ends a group (nothing skipped).
    bool skipField(int32_t tag);
    void skipMessage();
    void readGroup(int32_t fieldNumber, ZAVWireMessageBuilder& builder,
                   const ZAVWireExtensionRegistry* registry);
    void readUnknownGroup(int32_t fieldNumber, ZAVWireUnknownFieldSet& builder);
    void readMessage(ZAVWireMessageBuilder& builder, const ZAVWireExtensionRegistry* registry);
    // Depth bookkeeping for structures read without readMessage/readGroup (message-set items, option 0x10).
    void enterNested();
    void leaveNested() { --recursionDepth_; }
    uint64_t recursionDepth() const { return recursionDepth_; }
    // Bytes that can still be read, up to the current limit.
    uint64_t bytesLeft() const {
        uint64_t end = state_.currentLimit < state_.bufferSize ? state_.currentLimit : state_.bufferSize;
        return end > state_.bufferPos ? end - state_.bufferPos : 0;
    }
    void setRecursionDepth(uint64_t depth) { recursionDepth_ = depth; }

    uint64_t pushLimit(int32_t byteCount);
    void popLimit(uint64_t oldLimit) {
        state_.currentLimit = oldLimit;
        updateEnd();
    }
    uint64_t bytesUntilLimit() const;
    bool isAtEnd() const;
    uint64_t position() const { return state_.bufferPos; }

    double readDouble();
    float readFloat();
    uint64_t readUInt64();
    int64_t readInt64();
    int64_t readSInt64();
    int32_t readInt32();
    uint32_t readUInt32();
    int32_t readEnum();
    int32_t readSInt32();
    bool readBool();
    uint64_t readFixed64();
    int64_t readSFixed64();
    uint32_t readFixed32();
    int32_t readSFixed32();
    ZAVWireStringPtr readString();
    // The same, made in the given arena (null: the heap).
    ZAVWireStringPtr readString(ZAVWireArena* arena);
    // Null for a negative length (the position stays just after the length).
    std::shared_ptr<ZAVWireData> readData();

    int32_t readRawVarint32();
    // Most varints are one byte (lengths, small numbers): taken here without a call.
    __attribute__((always_inline)) int32_t readVarint32Inline() {
        uint64_t pos = state_.bufferPos;
        int32_t value;
        if (readShortVarint32(state_.bytes, pos, end_, value)) {
            state_.bufferPos = pos;
            return value;
        }
        return readRawVarint32();
    }
    int64_t readVarint64Inline() {
        uint64_t pos = state_.bufferPos;
        if (pos < state_.bufferSize && pos < state_.currentLimit && !(state_.bytes[pos] & 0x80)) {
            state_.bufferPos = pos + 1;
            return state_.bytes[pos];
        }
        return readRawVarint64();
    }
    // How many fields with this tag (one or two bytes) and a varint value follow one another at the
    // position, at most `cap`: a parse sizes the list it is about to fill by it. Only a hint, which never
    // reads past the end.
    __attribute__((always_inline)) size_t countVarintFields(int32_t tag, size_t cap) const {
        const uint8_t* p = state_.bytes + state_.bufferPos;
        const uint8_t* end = state_.bytes + end_;
        const auto t = static_cast<uint32_t>(tag);
        const size_t tagBytes = t < 128 ? 1 : 2;
        const auto t0 = static_cast<uint8_t>(t < 128 ? t : ((t & 0x7F) | 0x80));
        const auto t1 = static_cast<uint8_t>(t >> 7);
        size_t n = 0;
        while (n<cap&& static_cast<size_t>(end - p)> tagBytes && p[0] == t0 &&
               (tagBytes == 1 || p[1] == t1)) {
            p += tagBytes;
            while (p < end && (*p & 0x80)) ++p;
            if (p == end) break;
            ++p;
            ++n;
        }
        return n;
    }
    // Steps over a tag that countVarintFields found at the position.
    void skipCountedTag(int32_t tag) { state_.bufferPos += static_cast<uint32_t>(tag) < 128 ? 1 : 2; }
    // A length-delimited message read in place by the caller's own loop: the steps of readMessage before
    // and after the contents. beginMessage answers the limit that endMessage puts back.
    __attribute__((always_inline)) uint64_t beginMessage() {
        int32_t length = readVarint32Inline();
        if (recursionDepth_ >= ZAVWireMaxRecursionDepth) enterNested();
        ++recursionDepth_;
        if (length >= 0 && state_.bufferPos + static_cast<uint64_t>(length) <= state_.currentLimit) {
            uint64_t old = state_.currentLimit;
            state_.currentLimit = state_.bufferPos + static_cast<uint64_t>(length);
            updateEnd();
            return old;
        }
        return pushLimit(length);
    }
    __attribute__((always_inline)) void endMessage(uint64_t oldLimit) {
        if (lastTag_ != 0) checkLastTagWas(0);
        --recursionDepth_;
        state_.currentLimit = oldLimit;
        updateEnd();
    }
    int32_t readTagSlow();
    int64_t readRawVarint64();
    uint8_t readRawByte();

    // For a read loop that keeps the position, and where reading stops, in registers: it reads the bytes
    // in place, and hands the position back with setPosition before anything else reads from the stream
    // (a loop that stops sets the last tag as readTag would have).
    const uint8_t* buffer() const { return state_.bytes; }
    uint64_t readEnd() const { return end_; }
    void setPosition(uint64_t pos) { state_.bufferPos = pos; }
    void setLastTag(int32_t tag) { lastTag_ = tag; }

  private:
    // Checks that n bytes may be taken at the position (both bounds), raising otherwise.
    void checkSize(uint64_t n);
    void skipRaw(uint64_t n);
    uint32_t readRawLittleEndian32();
    uint64_t readRawLittleEndian64();
    // A varint of more than one byte lying wholly within the bytes there are, read with one bounds test into
    // `value` (bits past 64 dropped). False, with nothing read, where the bytes end first: the byte-by-byte
    // reading then fails it. Ten bytes that all go on raise `error`.
    bool readVarintWithinBytes(uint64_t& value, const char* error);

    // Where reading stops: the end of the bytes or the current limit, whichever comes first.
    void updateEnd() {
        end_ = state_.bufferSize < state_.currentLimit ? state_.bufferSize : state_.currentLimit;
    }

    std::shared_ptr<const ZAVWireData> buffer_;
    ZAVWireInputBufferState state_;
    uint64_t end_ = 0;
    int32_t lastTag_ = 0;
    uint64_t recursionDepth_ = 0;
};

int32_t ZAVWireCodedInputStreamReadTag(ZAVWireCodedInputStream* stream);
ZAVWireStringPtr ZAVWireCodedInputStreamReadRetainedString(ZAVWireCodedInputStream* stream);
std::shared_ptr<ZAVWireData> ZAVWireCodedInputStreamReadRetainedData(ZAVWireCodedInputStream* stream);
uint64_t ZAVWireCodedInputStreamPushLimit(ZAVWireCodedInputStream* stream, int32_t byteCount);
// Raises the parse error that a malformed value gives (empty reason).
[[noreturn]] void ZAVWireRaiseParseError();
