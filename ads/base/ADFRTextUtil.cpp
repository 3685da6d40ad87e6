#include "ads/base/ADFRTextUtil.h"

#include "platform/base/PercentEncoding.h"

std::string ADFRTextUtil::replaceAll(std::string text, std::string_view from, std::string_view to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string ADFRTextUtil::escapeAllButUnreserved(std::string_view text) {
    return plat::percentEncoded(text);
}

std::string ADFRTextUtil::escapeReservedAndNonAscii(std::string_view text) {
    static constexpr std::string_view kReserved = "!*'();:@&=+$,/?%#[]";
    return plat::percentEncoded(text, [](unsigned char c) {
        return c < 0x80 && c > 0x20 && kReserved.find(static_cast<char>(c)) == std::string_view::npos;
    });
}
