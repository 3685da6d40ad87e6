#include "ads/base/ADFRTextUtil.h"

#include <cctype>

namespace {

template <typename Keep>
std::string percentEscaped(std::string_view text, Keep keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (keep(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace

std::string ADFRTextUtil::replaceAll(std::string text, std::string_view from, std::string_view to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string ADFRTextUtil::escapeAllButUnreserved(std::string_view text) {
    return percentEscaped(text, [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
    });
}

std::string ADFRTextUtil::escapeReservedAndNonAscii(std::string_view text) {
    static constexpr std::string_view kReserved = "!*'();:@&=+$,/?%#[]";
    return percentEscaped(text, [](unsigned char c) {
        return c < 0x80 && c > 0x20 && kReserved.find(static_cast<char>(c)) == std::string_view::npos;
    });
}
