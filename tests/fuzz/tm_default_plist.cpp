// A default container shipped as a property list (XML or binary): bytes → property-list reader → constant
// macros.
#include <cstdint>

#include "platform/storage/PropertyList.h"
#include "tests/fuzz/tm_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tmFuzzQuiet();
    tmFuzzCheckDefault(plat::PropertyList::parse(data, size));
    return 0;
}
