#include "wire/ZAVWireString.h"

#include <cstring>
#include <functional>

#include "platform/base/Utf8.h"
#include "wire/ZAVWireArena.h"

namespace {

bool allASCII(const uint8_t* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ull) return false;
    }
    for (; i < n; ++i) {
        if (p[i] & 0x80) return false;
    }
    return true;
}

}  // namespace

bool ZAVWireString::isValidUTF8(const uint8_t* p, size_t n) {
    return plat::isValidUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
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
    if (allASCII(bytes, length))
        return ZAVWireMakeSharedIn<ZAVWireString>(arena, ZAVWireString::Checked{}, chars, length, true);
    if (!ZAVWireString::isValidUTF8(bytes, length)) return ZAVWireMakeSharedIn<ZAVWireString>(arena);  // ""
    size_t skip = (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) ? 3 : 0;
    return ZAVWireMakeSharedIn<ZAVWireString>(arena, ZAVWireString::Checked{}, chars + skip, length - skip,
                                              allASCII(bytes + skip, length - skip));
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
    return ZAVWireRootObject::copy();
}
