#include "ads/base/ADFRBase64Util.h"

#include <array>
#include <cstdint>

#include "platform/base/Utf8.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kSkip = 0xFF;

constexpr std::array<uint8_t, 256> makeDecodeTable() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) entry = kSkip;
    for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = i;
    return table;
}
constexpr auto kDecode = makeDecodeTable();

constexpr size_t kBytesPerLine = 48;

}  // namespace

bool ADFRBase64Util::isValidUtf8(std::string_view text) {
    return plat::isValidUtf8(text);
}

bool ADFRBase64Util::isBase64Text(std::string_view text) {
    for (unsigned char c : text)
        if (kDecode[c] == kSkip && c != '=' && c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

plat::Bytes ADFRBase64Util::dataFromBase64String(std::string_view text) {
    plat::Bytes out;
    for (unsigned char c : text)
        if (c >= 0x80) return out;
    out.reserve(text.size() / 4 * 3 + 3);
    uint8_t group[4];
    size_t n = 0;
    for (unsigned char c : text) {
        uint8_t v = kDecode[c];
        if (v == kSkip) continue;
        group[n++] = v;
        if (n == 4) {
            out.push_back(static_cast<uint8_t>(group[0] << 2 | group[1] >> 4));
            out.push_back(static_cast<uint8_t>(group[1] << 4 | group[2] >> 2));
            out.push_back(static_cast<uint8_t>(group[2] << 6 | group[3]));
            n = 0;
        }
    }
    // A final group of 2 or 3 characters carries 1 or 2 bytes; a lone character carries none.
    if (n >= 2) out.push_back(static_cast<uint8_t>(group[0] << 2 | group[1] >> 4));
    if (n == 3) out.push_back(static_cast<uint8_t>(group[1] << 4 | group[2] >> 2));
    return out;
}

std::optional<std::string> ADFRBase64Util::stringFromBase64String(std::string_view text, Encoding) {
    plat::Bytes bytes = dataFromBase64String(text);
    std::string out(bytes.begin(), bytes.end());
    if (!isValidUtf8(out)) return std::nullopt;
    return out;
}

std::string ADFRBase64Util::base64StringFromData(const plat::Bytes& data) {
    std::string out;
    size_t lines = data.size() / kBytesPerLine + 1;
    out.reserve((data.size() + 2) / 3 * 4 + lines * 2);
    for (size_t i = 0; i < data.size(); i += 3) {
        if (i > 0 && i % kBytesPerLine == 0) out += "\r\n";
        uint32_t chunk = static_cast<uint32_t>(data[i]) << 16;
        size_t left = data.size() - i;
        if (left > 1) chunk |= static_cast<uint32_t>(data[i + 1]) << 8;
        if (left > 2) chunk |= data[i + 2];
        out += kAlphabet[chunk >> 18 & 0x3F];
        out += kAlphabet[chunk >> 12 & 0x3F];
        out += left > 1 ? kAlphabet[chunk >> 6 & 0x3F] : '=';
        out += left > 2 ? kAlphabet[chunk & 0x3F] : '=';
    }
    return out;
}

plat::Bytes ADFRBase64Util::base64DataFromData(const plat::Bytes& data) {
    std::string text = base64StringFromData(data);
    return plat::Bytes(text.begin(), text.end());
}

plat::Bytes ADFRBase64Util::base64DataFromString(std::string_view text) {
    return base64DataFromData(plat::Bytes(text.begin(), text.end()));
}

std::string ADFRBase64Util::base64StringFromString(std::string_view text) {
    return base64StringFromData(plat::Bytes(text.begin(), text.end()));
}

std::string ADFRBase64Util::base64StringFromStringForUTF7(std::string_view text) {
    plat::Bytes utf16;
    auto put = [&utf16](uint32_t unit) {
        utf16.push_back(static_cast<uint8_t>(unit >> 8));
        utf16.push_back(static_cast<uint8_t>(unit));
    };
    uint32_t cp;
    for (size_t i = 0; i < text.size();) {
        if (!plat::nextUtf8CodePoint(text, i, cp)) {
            ++i;  // a stray byte is dropped rather than guessed at
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return base64StringFromData(utf16);
}
