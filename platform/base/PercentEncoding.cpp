#include "platform/base/PercentEncoding.h"

namespace plat {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void appendHex(std::string& out, uint8_t byte, bool lowerCase) {
    const char* digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

bool isUnreservedURLByte(unsigned char c) {
    // ASCII ranges, not the C library's classes, which follow the locale.
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

std::string percentEncoded(std::string_view text, bool (*keep)(unsigned char)) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (isUnreservedURLByte(c) || (keep && keep(c))) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            appendHex(out, c);
        }
    }
    return out;
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexDigitValue(text[i + 1]);
        const int low = hexDigitValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

}  // namespace plat
