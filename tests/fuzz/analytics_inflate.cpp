// Compressed bodies come from outside: inflating any bytes must give a result or nothing, never a crash
// or unbounded memory; what inflates must survive compressing and inflating again.
#include <cstdint>
#include <cstdlib>

#include "analytics/base/RUVCompressionUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool raw : {false, true}) {
        auto out = RUVCompressionUtil::dataByInflating(data, size, raw);
        if (!out || out->empty()) continue;
        if (out->size() > RUVCompressionUtil::kMaxInflatedBytes) std::abort();
        auto again = RUVCompressionUtil::dataByInflating(*RUVCompressionUtil::dataByGzipping(*out));
        if (!again || *again != *out) std::abort();
    }
    return 0;
}
