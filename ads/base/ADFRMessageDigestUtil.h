#pragma once
// Text digests for the ad networks' signatures: lower-case hexadecimal, two digits per byte.
#include <string>
#include <string_view>

class ADFRMessageDigestUtil {
  public:
    // Of the text's bytes up to a first NUL.
    static std::string md5WithString(std::string_view text);
    static std::string sha1WithString(std::string_view text);
};
