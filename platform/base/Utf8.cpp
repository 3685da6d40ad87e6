#include "platform/base/Utf8.h"

namespace plat {

bool nextUtf8CodePoint(std::string_view s, size_t& i, uint32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t extra;
    uint32_t min;
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (s.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
    return true;
}

bool isValidUtf8(std::string_view s) {
    uint32_t cp;
    for (size_t i = 0; i < s.size();) {
        if (!nextUtf8CodePoint(s, i, cp)) return false;
    }
    return true;
}

}  // namespace plat
