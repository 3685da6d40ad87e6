#pragma once
// Text helpers of the analytics wire format: form percent encoding and decoding, query parsing, numbers.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class RUVStringUtil {
  public:
    using Parameters = std::map<std::string, std::string>;

    // Every UTF-8 byte but A-Z a-z 0-9 "-._~" as upper-case %XX; a space as "+".
    static std::string percentEncode(std::string_view text);
    // "+" as a space, then %XX escapes as UTF-8; empty when an escape is malformed or the result is not
    // UTF-8.
    static std::optional<std::string> percentDecode(std::string_view text);
    // "&"-separated parts, each "key=value" or a bare key (empty value); a later key replaces an earlier one;
    // a part that does not decode is skipped.
    static Parameters decodeParametersFromQuery(std::string_view query);
    // Empty when the text is not a URL; the query's parameters, or none when it has no query.
    static std::optional<Parameters> decodeParametersFromUrl(std::string_view url);
    // The text after the first "?", or "".
    static std::string urlParams(std::string_view url);
    static std::string stripLeadingAmpersand(std::string_view text);
    // Without leading and trailing white space and line ends, Unicode ones (U+3000, U+00A0, ...) included.
    static std::string trim(std::string_view text);
    static std::string intString(int64_t value);
    static std::string uintString(uint64_t value);
    // "%.*f", then trailing zeros after the point removed, and the point when nothing is left after it.
    static std::string decimalString(double value, int32_t decimals);
    // An amount in millionths as decimal text: -500000 gives "-.5", 1000001 gives "1.000001".
    static std::string currencyMicrosString(int64_t micros);

    // Length of UTF-8 text in UTF-16 units, and the text cut to at most that many units (never inside a
    // character).
    static size_t utf16Length(std::string_view text);
    static std::string truncateUtf16(std::string_view text, size_t maxUnits);

    RUVStringUtil() = delete;
};
