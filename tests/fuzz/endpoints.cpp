// Endpoints files: any bytes give a table or a reason, never a crash; a table read writes and reads
// back the same. The same bytes, taken as header lines, must make a response without a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/net/Endpoints.h"
#include "platform/net/URLResponse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto table = plat::Endpoints::parse(text, &error);
    if (table) {
        auto again = plat::Endpoints::parse(plat::Endpoints::toJson(*table), &error);
        if (!again || *again != *table) std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    plat::HTTPHeaderFields headers;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t colon = line.find(':');
        if (colon != std::string::npos) headers.add(line.substr(0, colon), line.substr(colon + 1));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    plat::URLResponse response("http://127.0.0.1/", 200, headers);
    if (response.expectedContentLength() < -1) std::abort();
    return 0;
}
