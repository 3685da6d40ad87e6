// A default container shipped as JSON: bytes → JSON reader → constant macros.
#include <cstdint>

#include "platform/base/Json.h"
#include "tests/fuzz/tm_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tmFuzzQuiet();
    tmFuzzCheckDefault(plat::Json::parse(data, size));
    return 0;
}
