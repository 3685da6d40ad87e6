#include "platform/base/Uuid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdlib>

#include "platform/base/Log.h"
#include "platform/base/PercentEncoding.h"

namespace plat {
namespace {

std::string format(const Uuid::Bytes16& b, bool lowerCase) {
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < b.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        appendHex(out, b[i], lowerCase);
    }
    return out;
}

}  // namespace

Uuid Uuid::random() {
    Bytes16 b{};
    size_t filled = 0;
    while (filled < b.size()) {
        ssize_t n = getrandom(b.data() + filled, b.size() - filled, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            // Without the kernel's generator there is no safe identifier to hand out.
            logError("Uuid: the random generator failed (errno %d)", errno);
            std::abort();
        }
        filled += static_cast<size_t>(n);
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // the standard variant
    return Uuid(b);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Bytes16 b{};
    size_t at = 0;
    for (size_t i = 0; i < 16; ++i) {
        if (at == 8 || at == 13 || at == 18 || at == 23) {
            if (text[at] != '-') return std::nullopt;
            ++at;
        }
        int hi = hexDigitValue(text[at]), lo = hexDigitValue(text[at + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        b[i] = static_cast<uint8_t>(hi << 4 | lo);
        at += 2;
    }
    return Uuid(b);
}

std::string Uuid::string() const {
    return format(bytes_, false);
}

std::string Uuid::lowercaseString() const {
    return format(bytes_, true);
}

}  // namespace plat
