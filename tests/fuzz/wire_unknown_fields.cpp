// Unknown-field sets: any bytes give a set or the runtime's parse error, never a crash; a set that was read
// writes bytes that read back into a set writing the very same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/base/Error.h"
#include "wire/ZAVWireUnknownFieldSet.h"

namespace {

bool expectedFailure(const plat::Exception& e) {
    if (e.name() == NSParseErrorException) return true;
    return e.name() == NSInvalidArgumentException && e.reason() == "Zero is not a valid field number.";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZAVWireUnknownFieldSet set;
    try {
        set.mergeFromData(ZAVWireData::create(data, size));
    } catch (const plat::Exception& e) {
        if (!expectedFailure(e)) std::abort();
        return 0;
    }
    auto first = set.data();
    if (first->length() != set.serializedSize()) std::abort();
    ZAVWireUnknownFieldSet again;
    try {
        again.mergeFromData(first);
    } catch (const plat::Exception&) {
        std::abort();
    }
    auto second = again.data();
    if (!first->isEqual(second.get()) || !set.isEqual(&again)) std::abort();
    (void)set.description();
    return 0;
}
