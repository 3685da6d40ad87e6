#include "analytics/base/RUVStringUtil.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "analytics/base/RUVLogger.h"
#include "platform/base/PercentEncoding.h"
#include "platform/base/Utf8.h"

namespace {

// The code point at `i`, moving past it; a malformed byte reads as one replacement character.
uint32_t codePointAt(std::string_view s, size_t& i) {
    uint32_t cp;
    if (plat::nextUtf8CodePoint(s, i, cp)) return cp;
    ++i;
    return 0xFFFD;
}

// Byte length of the longest prefix of whole characters that fits in `maxUnits` UTF-16 units; `units` gets
// that prefix's length in units.
size_t utf16Prefix(std::string_view s, size_t maxUnits, size_t& units) {
    units = 0;
    for (size_t i = 0; i < s.size();) {
        const size_t at = i;
        const size_t w = codePointAt(s, i) >= 0x10000 ? 2 : 1;
        if (units + w > maxUnits) return at;
        units += w;
    }
    return s.size();
}

bool isUnicodeSpace(uint32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

// Characters a URL may hold as they are (RFC 3986 unreserved and reserved); "%" is checked apart.
bool isUrlChar(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~:/?#[]@!$&'()*+,;=").find(c) != std::string_view::npos;
}

}  // namespace

std::string RUVStringUtil::percentEncode(std::string_view text) {
    // Spaces pass the escaping as they are, then become "+"; no other space is left by then.
    std::string out = plat::percentEncoded(text, [](unsigned char c) { return c == ' '; });
    std::replace(out.begin(), out.end(), ' ', '+');
    return out;
}

std::optional<std::string> RUVStringUtil::percentDecode(std::string_view text) {
    // A "+" is a space, but an escaped one ("%2B") stays a "+".
    std::string spaced(text);
    std::replace(spaced.begin(), spaced.end(), '+', ' ');
    auto out = plat::percentDecoded(spaced);
    if (!out || !plat::isValidUtf8(*out)) return std::nullopt;
    return out;
}

RUVStringUtil::Parameters RUVStringUtil::decodeParametersFromQuery(std::string_view query) {
    Parameters params;
    size_t start = 0;
    while (true) {
        size_t amp = query.find('&', start);
        std::string_view part =
            query.substr(start, amp == std::string_view::npos ? std::string_view::npos : amp - start);
        size_t eq = part.find('=');
        std::optional<std::string> key, value;
        if (eq == std::string_view::npos) {
            key = percentDecode(part);
            value = std::string();
        } else {
            key = percentDecode(part.substr(0, eq));
            value = percentDecode(part.substr(eq + 1));
        }
        if (key && value) params[*key] = *value;
        if (amp == std::string_view::npos) break;
        start = amp + 1;
    }
    return params;
}

std::optional<RUVStringUtil::Parameters> RUVStringUtil::decodeParametersFromUrl(std::string_view url) {
    // A URL holds only URL characters and well-formed escapes; anything else is not one.
    for (size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        if (c == '%') {
            if (i + 2 >= url.size() || plat::hexDigitValue(url[i + 1]) < 0 ||
                plat::hexDigitValue(url[i + 2]) < 0)
                return std::nullopt;
            i += 2;
        } else if (!isUrlChar(c)) {
            return std::nullopt;
        }
    }
    size_t q = url.find('?');
    if (q == std::string_view::npos) return Parameters{};
    std::string_view query = url.substr(q + 1);
    query = query.substr(0, query.find('#'));
    if (query.empty()) return Parameters{};
    return decodeParametersFromQuery(query);
}

std::string RUVStringUtil::urlParams(std::string_view url) {
    size_t q = url.find('?');
    if (q == std::string_view::npos) return {};
    return std::string(url.substr(q + 1));
}

std::string RUVStringUtil::stripLeadingAmpersand(std::string_view text) {
    if (!text.empty() && text.front() == '&') text.remove_prefix(1);
    return std::string(text);
}

std::string RUVStringUtil::trim(std::string_view text) {
    // Leading: walk forward over spaces.
    size_t begin = 0;
    for (size_t i = 0; i < text.size() && isUnicodeSpace(codePointAt(text, i));) begin = i;
    // Trailing: walk code points forward, remembering where the last non-space one ended.
    size_t end = begin;
    for (size_t i = begin; i < text.size();) {
        if (!isUnicodeSpace(codePointAt(text, i))) end = i;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string RUVStringUtil::intString(int64_t value) {
    return ruvFormat("%" PRId64, value);
}

std::string RUVStringUtil::uintString(uint64_t value) {
    return ruvFormat("%" PRIu64, value);
}

std::string RUVStringUtil::decimalString(double value, int32_t decimals) {
    // Bounded, so a wild digit count cannot ask for a huge text.
    if (decimals < 0) decimals = 0;
    if (decimals > 64) decimals = 64;
    std::string text = ruvFormat("%.*f", static_cast<int>(decimals), value);
    size_t dot = text.rfind('.');
    if (dot != std::string::npos) {
        size_t last = text.find_last_not_of('0');
        if (last != std::string::npos && last >= dot) {
            text.erase(last + 1);
            if (text.back() == '.') text.pop_back();
        }
    }
    return text;
}

std::string RUVStringUtil::currencyMicrosString(int64_t micros) {
    const char* sign = micros < 0 ? "-" : "";
    // Through unsigned, so the most negative amount has a magnitude too.
    uint64_t a = micros < 0 ? 0 - static_cast<uint64_t>(micros) : static_cast<uint64_t>(micros);
    uint64_t whole = a / 1000000;
    uint64_t frac = a % 1000000;
    if (frac == 0) return ruvFormat("%s%" PRIu64, sign, whole);
    std::string f = ruvFormat("%06u", static_cast<unsigned>(frac));
    while (!f.empty() && f.back() == '0') f.pop_back();
    if (whole == 0) return ruvFormat("%s.%s", sign, f.c_str());
    return ruvFormat("%s%" PRIu64 ".%s", sign, whole, f.c_str());
}

size_t RUVStringUtil::utf16Length(std::string_view text) {
    size_t units = 0;
    utf16Prefix(text, SIZE_MAX, units);
    return units;
}

std::string RUVStringUtil::truncateUtf16(std::string_view text, size_t maxUnits) {
    size_t units = 0;
    return std::string(text.substr(0, utf16Prefix(text, maxUnits, units)));
}
