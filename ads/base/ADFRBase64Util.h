#pragma once
// Base64 with the standard alphabet, as the ad server sends each ad's HTML. Decoding skips every byte
// outside the alphabet (padding, white space, line breaks); encoding breaks lines after 64 characters.
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Value.h"

class ADFRBase64Util {
  public:
    // Text that is not pure ASCII decodes as empty data.
    static plat::Bytes dataFromBase64String(std::string_view text);
    // The decoded bytes as text; only UTF-8 is read, and bytes that are not valid UTF-8 give nothing.
    enum class Encoding { UTF8 };
    static std::optional<std::string> stringFromBase64String(std::string_view text, Encoding encoding);

    static plat::Bytes base64DataFromData(const plat::Bytes& data);
    static std::string base64StringFromData(const plat::Bytes& data);
    static plat::Bytes base64DataFromString(std::string_view text);
    static std::string base64StringFromString(std::string_view text);
    // Encodes the text's UTF-16 big-endian bytes; text that is not UTF-8 encodes what decodes of it.
    static std::string base64StringFromStringForUTF7(std::string_view text);

    static bool isValidUtf8(std::string_view text);
    // Only alphabet characters, padding and white space: text that was meant as Base64.
    static bool isBase64Text(std::string_view text);
};
