#pragma once
// Text forms the SDK's requests and pages are made of.
#include <string>
#include <string_view>

class ADFRTextUtil {
  public:
    // Every `from` in `text` replaced by `to`, left to right, never inside what was put in; an empty
    // `from` leaves the text as it is.
    static std::string replaceAll(std::string text, std::string_view from, std::string_view to);

    // Every byte but A-Z, a-z, 0-9, "-", ".", "_" and "~" written as %XX (upper-case hex).
    static std::string escapeAllButUnreserved(std::string_view text);
    // Only the reserved "!*'();:@&=+$,/?%#[]", space and control bytes, and bytes above 0x7F written as
    // %XX (upper-case hex); anything else stays as it is.
    static std::string escapeReservedAndNonAscii(std::string_view text);
};
