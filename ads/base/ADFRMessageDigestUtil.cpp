#include "ads/base/ADFRMessageDigestUtil.h"

#include "platform/base/Digest.h"

std::string ADFRMessageDigestUtil::md5WithString(std::string_view text) {
    // The digest has always been taken of the text as a C string.
    return plat::Digest::md5Hex(text.substr(0, text.find('\0')));
}

std::string ADFRMessageDigestUtil::sha1WithString(std::string_view text) {
    return plat::Digest::sha1Hex(text);
}
