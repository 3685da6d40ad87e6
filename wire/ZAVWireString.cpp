#include "wire/ZAVWireString.h"

#include <bit>
#include <cstring>
#include <functional>

#include "wire/ZAVWireArena.h"

namespace {

// The index of the first byte that is not ASCII (n when all are), eight bytes at a time.
size_t asciiPrefix(const uint8_t* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        w &= 0x8080808080808080ull;
        if (w) return i + static_cast<size_t>(std::countr_zero(w)) / 8;
    }
    for (; i < n; ++i) {
        if (p[i] & 0x80) return i;
    }
    return n;
}

bool isContinuation(uint8_t b) {
    return (b & 0xC0) == 0x80;
}

// Whether p[i..n) is well-formed UTF-8, i being the start of a character. The second byte's range rules out
// overlong forms, surrogates and code points above U+10FFFF; ASCII runs are skipped eight bytes at a time.
bool validUtf8From(const uint8_t* p, size_t n, size_t i) {
    while (i < n) {
        uint8_t c = p[i];
        if (c < 0x80) {
            i += asciiPrefix(p + i, n - i);
            continue;
        }
        if (c < 0xC2 || c > 0xF4) return false;
        size_t extra = c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (n - i <= extra) return false;
        uint8_t c1 = p[i + 1];
        uint8_t low = 0x80, high = 0xBF;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
        if (c1 < low || c1 > high) return false;
        if (extra >= 2 && !isContinuation(p[i + 2])) return false;
        if (extra == 3 && !isContinuation(p[i + 3])) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace

bool ZAVWireString::isValidUTF8(const uint8_t* p, size_t n) {
    return validUtf8From(p, n, asciiPrefix(p, n));
}

ZAVWireStringPtr ZAVWireString::create(std::string_view utf8) {
    return ZAVWireStringCreate(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size());
}

const ZAVWireStringPtr& ZAVWireString::empty() {
    static const ZAVWireStringPtr instance = std::make_shared<ZAVWireString>();
    return instance;
}

ZAVWireStringPtr ZAVWireStringCreate(const uint8_t* bytes, size_t length) {
    return ZAVWireStringCreate(bytes, length, ZAVWireArena::current());
}

ZAVWireStringPtr ZAVWireStringCreate(const uint8_t* bytes, size_t length, ZAVWireArena* arena) {
    const auto* chars = reinterpret_cast<const char*>(bytes);
    if (length == 0) return ZAVWireMakeSharedIn<ZAVWireString>(arena);
    size_t first = asciiPrefix(bytes, length);
    if (first == length)
        return ZAVWireMakeSharedIn<ZAVWireString>(arena, ZAVWireString::Checked{}, chars, length, true);
    size_t skip = 0;
    if (first == 0 && length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        skip = 3;
        first = skip + asciiPrefix(bytes + skip, length - skip);
    }
    if (!validUtf8From(bytes, length, first)) return ZAVWireMakeSharedIn<ZAVWireString>(arena);  // ""
    return ZAVWireMakeSharedIn<ZAVWireString>(arena, ZAVWireString::Checked{}, chars + skip, length - skip,
                                              first == length);
}

size_t ZAVWireString::length() const {
    if (ascii_) return utf8_.size();
    size_t units = 0;
    for (unsigned char c : utf8_) {
        if ((c & 0xC0) != 0x80) units += (c >= 0xF0) ? 2 : 1;
    }
    return units;
}

uint16_t ZAVWireString::characterAtIndex(size_t index) const {
    if (ascii_) {
        if (index >= utf8_.size()) {
            ZAVWireRaise(NSRangeException,
                         ZAVWireFormat("-[ZAVWireString characterAtIndex:]: Range or index out "
                                       "of bounds"));
        }
        return static_cast<unsigned char>(utf8_[index]);
    }
    size_t unit = 0;
    const auto* p = reinterpret_cast<const uint8_t*>(utf8_.data());
    size_t i = 0, n = utf8_.size();
    while (i < n) {
        uint8_t c = p[i];
        size_t extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k <= extra; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
        i += extra + 1;
        if (cp >= 0x10000) {
            uint32_t v = cp - 0x10000;
            if (unit == index) return static_cast<uint16_t>(0xD800 + (v >> 10));
            if (unit + 1 == index) return static_cast<uint16_t>(0xDC00 + (v & 0x3FF));
            unit += 2;
        } else {
            if (unit == index) return static_cast<uint16_t>(cp);
            unit += 1;
        }
    }
    ZAVWireRaise(NSRangeException, "-[ZAVWireString characterAtIndex:]: Range or index out of bounds");
}

bool ZAVWireString::isEqual(const ZAVWireRootObject* other) const {
    if (other == this) return true;
    auto* s = dynamic_cast<const ZAVWireString*>(other);
    return s && s->utf8_ == utf8_;
}

size_t ZAVWireString::hash() const {
    return std::hash<std::string>()(utf8_);
}

ZAVWireObjectPtr ZAVWireString::copy() const {
    return ZAVWireSharedObject::copy();
}
