// Campaign URLs and queries come from outside: decoding any bytes must give a result or nothing, never a
// crash; what decodes must survive encoding and decoding again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "analytics/base/RUVStringUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto decoded = RUVStringUtil::percentDecode(text)) {
        auto again = RUVStringUtil::percentDecode(RUVStringUtil::percentEncode(*decoded));
        if (!again || *again != *decoded) std::abort();
    }
    auto query = RUVStringUtil::decodeParametersFromQuery(text);
    if (query.size() > size + 1) std::abort();
    if (auto url = RUVStringUtil::decodeParametersFromUrl(text)) {
        if (url->size() > size) std::abort();
    }
    return 0;
}
