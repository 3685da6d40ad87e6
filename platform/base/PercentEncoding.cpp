#include "platform/base/PercentEncoding.h"

namespace plat {

namespace {

// The byte the escape at `text[at]` ("%XX") stands for; -1 when it is cut short or not hexadecimal.
int escapedByteAt(std::string_view text, size_t at) {
    if (at + 2 >= text.size()) return -1;
    const int high = hexDigitValue(text[at + 1]);
    const int low = hexDigitValue(text[at + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Each byte of `text` as itself when unreserved or kept, else as "%XX"; with `readEscapes` an escape in
// `text` counts as its byte, kept only when unreserved. None when such an escape is malformed.
std::optional<std::string> encoded(std::string_view text, bool (*keep)(unsigned char), bool readEscapes) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        const bool escaped = readEscapes && c == '%';
        if (escaped) {
            const int byte = escapedByteAt(text, i);
            if (byte < 0) return std::nullopt;
            c = static_cast<unsigned char>(byte);
            i += 2;
        }
        if (isUnreservedURLByte(c) || (!escaped && keep && keep(c))) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            appendHex(out, c);
        }
    }
    return out;
}

}  // namespace

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
    return *encoded(text, keep, false);
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int byte = escapedByteAt(text, i);
        if (byte < 0) return std::nullopt;
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

std::optional<std::string> percentEncodingInOneSpelling(std::string_view text, bool (*keep)(unsigned char)) {
    return encoded(text, keep, true);
}

}  // namespace plat
