#include "tagmanager/base/ZAVStringEncoding.h"

#include <numeric>

#include "platform/base/Assert.h"
#include "platform/base/Error.h"
#include "platform/base/PercentEncoding.h"
#include "wire/ZAVWireString.h"

std::shared_ptr<ZAVStringEncoding> ZAVStringEncoding::stringEncodingWithString(const std::string& alphabet) {
    for (unsigned char c : alphabet)
        if (c >= 128) return nullptr;
    size_t n = alphabet.size();
    if (n < 2 || n > 128 || (n & (n - 1)) != 0) return nullptr;
    std::shared_ptr<ZAVStringEncoding> encoding(new ZAVStringEncoding());
    encoding->charMap_ = alphabet;
    encoding->reverseCharMap_.fill(kUnknown);
    for (size_t i = 0; i < n; ++i) {
        auto& entry = encoding->reverseCharMap_[static_cast<unsigned char>(alphabet[i])];
        if (entry != kUnknown) return nullptr;
        entry = static_cast<int32_t>(i);
    }
    while ((size_t{1} << encoding->shift_) < n) ++encoding->shift_;
    encoding->mask_ = (1u << encoding->shift_) - 1;
    encoding->padLen_ = std::lcm(8, encoding->shift_) / encoding->shift_;
    return encoding;
}

namespace {

std::shared_ptr<ZAVStringEncoding> padded(std::shared_ptr<ZAVStringEncoding> encoding) {
    encoding->setPaddingChar('=');
    encoding->setDoPad(true);
    return encoding;
}

}  // namespace

std::shared_ptr<ZAVStringEncoding> ZAVStringEncoding::binaryStringEncoding() {
    return stringEncodingWithString("01");
}

std::shared_ptr<ZAVStringEncoding> ZAVStringEncoding::hexStringEncoding() {
    auto encoding = stringEncodingWithString("0123456789ABCDEF");
    encoding->addDecodeSynonyms("AaBbCcDdEeFf");
    return encoding;
}

std::shared_ptr<ZAVStringEncoding> ZAVStringEncoding::rfc4648Base32StringEncoding() {
    return padded(stringEncodingWithString("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567"));
}

std::shared_ptr<ZAVStringEncoding> ZAVStringEncoding::rfc4648Base32HexStringEncoding() {
    return padded(stringEncodingWithString("0123456789ABCDEFGHIJKLMNOPQRSTUV"));
}

std::shared_ptr<ZAVStringEncoding> ZAVStringEncoding::crockfordBase32StringEncoding() {
    auto encoding = stringEncodingWithString("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
    encoding->addDecodeSynonyms("0oO1iIlLAaBbCcDdEeFfGgHhJjKkMmNnPpQqRrSsTtVvWwXxYyZz");
    return encoding;
}

std::shared_ptr<ZAVStringEncoding> ZAVStringEncoding::rfc4648Base64StringEncoding() {
    return padded(
        stringEncodingWithString("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"));
}

std::shared_ptr<ZAVStringEncoding> ZAVStringEncoding::rfc4648Base64WebsafeStringEncoding() {
    return padded(
        stringEncodingWithString("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"));
}

void ZAVStringEncoding::addDecodeSynonyms(const std::string& synonyms) {
    int32_t current = kUnknown;
    for (unsigned char c : synonyms) {
        if (c >= 128) continue;
        auto& entry = reverseCharMap_[c];
        if (entry != kUnknown)
            current = entry;
        else
            entry = current;
    }
}

void ZAVStringEncoding::ignoreCharacters(const std::string& characters) {
    for (unsigned char c : characters) {
        if (c >= 128) continue;
        PLAT_ASSERT(reverseCharMap_[c] == kUnknown, "Character already mapped");
        reverseCharMap_[c] = kIgnore;
    }
}

void ZAVStringEncoding::setPaddingChar(char c) {
    paddingChar_ = c;
    if (static_cast<unsigned char>(c) < 128) reverseCharMap_[static_cast<unsigned char>(c)] = kPadding;
}

std::string ZAVStringEncoding::encode(const plat::Bytes& data) const {
    if (data.empty()) return "";
    size_t length = (data.size() * 8 + shift_ - 1) / shift_;
    if (doPad_) length = (length + padLen_ - 1) / padLen_ * padLen_;
    std::string out;
    out.reserve(length);
    uint32_t buffer = data[0];
    size_t next = 1;
    int bitsLeft = 8;
    while (bitsLeft > 0 || next < data.size()) {
        if (bitsLeft < shift_) {
            if (next < data.size()) {
                buffer = (buffer << 8) | data[next++];
                bitsLeft += 8;
            } else {
                int pad = shift_ - bitsLeft;
                buffer <<= pad;
                bitsLeft += pad;
            }
        }
        int idx = static_cast<int>((buffer >> (bitsLeft - shift_)) & mask_);
        bitsLeft -= shift_;
        out.push_back(charMap_[idx]);
    }
    while (doPad_ && out.size() < length) out.push_back(paddingChar_);
    return out;
}

std::string ZAVStringEncoding::encodeString(const std::string& text) const {
    return encode(plat::Bytes(text.begin(), text.end()));
}

std::optional<plat::Bytes> ZAVStringEncoding::decode(const std::string& text) const {
    plat::Bytes out;
    out.reserve(text.size() * shift_ / 8);
    uint32_t buffer = 0;
    int bitsLeft = 0;
    bool expectPad = false;
    for (unsigned char c : text) {
        if (c >= 128) return std::nullopt;
        int32_t value = reverseCharMap_[c];
        if (value == kIgnore) continue;
        if (value == kPadding) {
            expectPad = true;
            continue;
        }
        if (value < 0 || expectPad) return std::nullopt;
        buffer = (buffer << shift_) | (static_cast<uint32_t>(value) & mask_);
        bitsLeft += shift_;
        if (bitsLeft >= 8) {
            out.push_back(static_cast<uint8_t>(buffer >> (bitsLeft - 8)));
            bitsLeft -= 8;
        }
    }
    if (bitsLeft > 0 && (buffer & ((1u << bitsLeft) - 1)) != 0) return std::nullopt;
    return out;
}

std::optional<std::string> ZAVStringEncoding::stringByDecoding(const std::string& text) const {
    auto bytes = decode(text);
    if (!bytes || !ZAVWireString::isValidUTF8(bytes->data(), bytes->size())) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::string ZAVStringEncoding::description() const {
    return "<Base" + std::to_string(1 << shift_) + " StringEncoder: " + charMap_ + ">";
}

namespace {

std::shared_ptr<ZAVStringEncoding> base64(bool webSafe, bool noPadding) {
    auto encoding = webSafe ? ZAVStringEncoding::rfc4648Base64WebsafeStringEncoding()
                            : ZAVStringEncoding::rfc4648Base64StringEncoding();
    encoding->setDoPad(!noPadding);
    return encoding;
}

}  // namespace

std::string ZAVBase64Encoder::encode(const plat::Bytes& data, bool noPadding) {
    return base64(false, noPadding)->encode(data);
}

std::string ZAVBase64Encoder::encodeWebSafe(const plat::Bytes& data, bool noPadding) {
    return base64(true, noPadding)->encode(data);
}

std::optional<plat::Bytes> ZAVBase64Encoder::decode(const std::string& text, bool noPadding) {
    return base64(false, noPadding)->decode(text);
}

std::optional<plat::Bytes> ZAVBase64Encoder::decodeWebSafe(const std::string& text, bool noPadding) {
    return base64(true, noPadding)->decode(text);
}

std::string ZAVBase16::encode(const plat::Bytes& data) {
    std::string out;
    out.reserve(data.size() * 2);
    for (uint8_t b : data) plat::appendHex(out, b);
    return out;
}

plat::Bytes ZAVBase16::decode(const std::string& text) {
    if (text.size() % 2 != 0)
        throw plat::Exception("IllegalArgumentException",
                              "Purported base16 string has odd number of characters");
    plat::Bytes out;
    out.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(byteFromChar(text[i]) << 4 | byteFromChar(text[i + 1])));
    return out;
}

uint8_t ZAVBase16::byteFromChar(char c) {
    if (const int value = plat::hexDigitValue(c); value >= 0) return static_cast<uint8_t>(value);
    throw plat::Exception("IllegalArgumentException", "Purported base16 string has illegal char");
}
