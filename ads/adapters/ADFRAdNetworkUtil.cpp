#include "ads/adapters/ADFRAdNetworkUtil.h"

#include <cctype>
#include <climits>

#include "platform/base/PercentEncoding.h"
#include "platform/base/Regex.h"
#include "platform/base/Utf8.h"

std::string ADFRAdNetworkUtil::adPage(std::string_view markup, std::string_view bgColor) {
    std::string page =
        "<html><head><base target=\"_blank\"><meta http-equiv='Content-Type' content='text/html; "
        "charset=utf-8' /></head><body style='text-align:center;padding:0;margin:0;overflow:hidden;"
        "background-color:";
    page.append(bgColor).append(";'><div style=\"text-align:center;\">");
    return page.append(markup).append("</div></body></html>");
}

std::string ADFRAdNetworkUtil::pictureLink(std::string_view link, std::string_view image, bool closeAnchor) {
    std::string markup = "<a href=\"";
    markup.append(link).append("\"><img src=\"").append(image).append("\" width=\"100%\">");
    if (closeAnchor) markup += "</a>";
    return markup;
}

int32_t ADFRAdNetworkUtil::intValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        // Past the 32-bit range the value is clamped; stop before it can grow further.
        if (value > int64_t(INT32_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

std::string ADFRAdNetworkUtil::jsonEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    plat::appendHex(out, c, true);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::optional<std::string> ADFRAdNetworkUtil::utf8Text(const plat::Bytes& bytes) {
    std::string text(bytes.begin(), bytes.end());
    if (!plat::isValidUtf8(text)) return std::nullopt;
    return text;
}

std::optional<std::string> ADFRAdNetworkUtil::tagValue(std::string_view tag, std::string_view key) {
    auto regex = plat::Regex::cached(std::string(key) + "( *):( *)\"([0-9a-zA-Z]+)\"");
    if (!regex) return std::nullopt;
    auto match = regex->firstMatch(tag);
    if (!match) return std::nullopt;
    return match->group(3);
}
