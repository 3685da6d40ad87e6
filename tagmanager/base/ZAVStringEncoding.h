#pragma once
// Bytes to text and back over a power-of-two ASCII alphabet (binary, hexadecimal, the base-32 and base-64
// alphabets), a base-64 front over two of them, and a strict hexadecimal codec of its own.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

class ZAVStringEncoding {
  public:
    // Null when the alphabet is not ASCII, is not 2..128 symbols of a power of two, or repeats a symbol.
    static std::shared_ptr<ZAVStringEncoding> stringEncodingWithString(const std::string& alphabet);

    static std::shared_ptr<ZAVStringEncoding> binaryStringEncoding();
    static std::shared_ptr<ZAVStringEncoding> hexStringEncoding();
    static std::shared_ptr<ZAVStringEncoding> rfc4648Base32StringEncoding();
    static std::shared_ptr<ZAVStringEncoding> rfc4648Base32HexStringEncoding();
    static std::shared_ptr<ZAVStringEncoding> crockfordBase32StringEncoding();
    static std::shared_ptr<ZAVStringEncoding> rfc4648Base64StringEncoding();
    static std::shared_ptr<ZAVStringEncoding> rfc4648Base64WebsafeStringEncoding();

    // Each unmapped character takes the value of the mapped character before it ("AaBb": a as A, b as B).
    void addDecodeSynonyms(const std::string& synonyms);
    // Characters decode skips; each must be unmapped so far.
    void ignoreCharacters(const std::string& characters);
    void setPaddingChar(char c);
    bool doPad() const { return doPad_; }
    void setDoPad(bool doPad) { doPad_ = doPad; }

    std::string encode(const plat::Bytes& data) const;
    std::string encodeString(const std::string& text) const;
    // Empty on an unknown character, a symbol after padding, non-zero trailing bits or non-ASCII input.
    std::optional<plat::Bytes> decode(const std::string& text) const;
    // Decoded bytes as UTF-8 text; empty when they do not decode or are not UTF-8.
    std::optional<std::string> stringByDecoding(const std::string& text) const;
    std::string description() const;

  private:
    enum : int32_t { kUnknown = -1, kPadding = -2, kIgnore = -3 };
    ZAVStringEncoding() = default;
    std::string charMap_;
    std::array<int32_t, 128> reverseCharMap_{};
    int shift_ = 0;
    uint32_t mask_ = 0;
    bool doPad_ = false;
    char paddingChar_ = 0;
    int padLen_ = 0;
};

class ZAVBase64Encoder {
  public:
    ZAVBase64Encoder() = delete;
    static std::string encode(const plat::Bytes& data, bool noPadding);
    static std::string encodeWebSafe(const plat::Bytes& data, bool noPadding);
    // Padded and unpadded input read alike.
    static std::optional<plat::Bytes> decode(const std::string& text, bool noPadding);
    static std::optional<plat::Bytes> decodeWebSafe(const std::string& text, bool noPadding);
};

// Throws plat::Exception "IllegalArgumentException" on odd length or a character outside 0-9, A-F, a-f.
class ZAVBase16 {
  public:
    ZAVBase16() = delete;
    static std::string encode(const plat::Bytes& data);
    static plat::Bytes decode(const std::string& text);
    static uint8_t byteFromChar(char c);
};
