#pragma once
// The runtime's string: UTF-8 bytes checked once when made. Bytes that are not valid UTF-8 make the empty
// string, with byte length 0, so a message read from such input writes back a consistent (empty) field.
// A leading byte-order mark is not part of the characters.
#include <string>
#include <string_view>

#include "wire/ZAVWireRootObject.h"

class ZAVWireArena;
class ZAVWireString;
// Makes a string from bytes read off the wire (in the parse's arena, or the given one).
std::shared_ptr<ZAVWireString> ZAVWireStringCreate(const uint8_t* bytes, size_t length);
std::shared_ptr<ZAVWireString> ZAVWireStringCreate(const uint8_t* bytes, size_t length, ZAVWireArena* arena);

class ZAVWireString final : public ZAVWireSharedObject {
  public:
    ZAVWireString() = default;
    // Checked bytes, as the makers below give them.
    struct Checked {};
    ZAVWireString(Checked, const char* bytes, size_t length, bool ascii)
        : utf8_(bytes, length), ascii_(ascii) {}

    static std::shared_ptr<ZAVWireString> create(std::string_view utf8);
    // The one shared empty string.
    static const std::shared_ptr<ZAVWireString>& empty();

    const char* className() const override { return "ZAVWireString"; }
    // The characters as UTF-8 (no byte-order mark).
    const std::string& utf8() const { return utf8_; }
    // UTF-16 units, as the platform counts string length.
    size_t length() const;
    // A UTF-16 unit; raises NSRangeException past the end.
    uint16_t characterAtIndex(size_t index) const;
    // What the writer emits for the string.
    size_t lengthOfBytesUTF8() const { return utf8_.size(); }
    bool isASCII() const { return ascii_; }

    std::string description() const override { return utf8_; }
    bool isEqual(const ZAVWireRootObject* other) const override;
    size_t hash() const override;
    ZAVWireObjectPtr copy() const override;
    ZAVWireObjectPtr mutableCopy() const override { return create(utf8_); }

    // Whether the bytes are well-formed UTF-8 (no surrogates, no overlong forms, nothing above U+10FFFF).
    static bool isValidUTF8(const uint8_t* bytes, size_t length);

  private:
    friend std::shared_ptr<ZAVWireString> ZAVWireStringCreate(const uint8_t* bytes, size_t length,
                                                              ZAVWireArena* arena);
    std::string utf8_;
    bool ascii_ = true;
};

using ZAVWireStringPtr = std::shared_ptr<ZAVWireString>;
