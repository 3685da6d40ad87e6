#pragma once
// The percent-encoding of URL text ("%XX"), and the hexadecimal digits it and the other text forms of
// bytes (identifiers, digests, escapes) are written and read with.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// 0-15 for a hexadecimal digit of either case; -1 for any other character.
int hexDigitValue(char c);
// Appends `byte` as two hexadecimal digits, upper case unless `lowerCase`.
void appendHex(std::string& out, uint8_t byte, bool lowerCase = false);

// A-Z a-z 0-9 "-._~": the bytes a URL never needs to escape.
bool isUnreservedURLByte(unsigned char c);
// Every byte but the unreserved ones and those `keep` accepts as upper-case %XX.
std::string percentEncoded(std::string_view text, bool (*keep)(unsigned char) = nullptr);
// Every %XX as its byte; none when an escape is malformed.
std::optional<std::string> percentDecoded(std::string_view text);
// `text` with its escapes in one spelling, so that two spellings of one URL part compare equal: an escaped
// unreserved byte decoded, any other escape in upper case, and each other byte escaped unless `keep`
// accepts it (an escaped delimiter stays escaped: it means something else than the raw one). None when an
// escape is malformed.
std::optional<std::string> percentEncodingInOneSpelling(std::string_view text,
                                                        bool (*keep)(unsigned char) = nullptr);

}  // namespace plat
