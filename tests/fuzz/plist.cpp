// Property-list reader: any bytes must give a value or nothing, never a crash; what was read must
// serialize and read back the same.
#include <cstdint>
#include <cstdlib>

#include "platform/base/Log.h"
#include "platform/storage/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    auto value = plat::PropertyList::parse(data, size);
    if (!value) return 0;
    for (auto format : {plat::PropertyList::Format::Xml, plat::PropertyList::Format::Binary}) {
        auto bytes = plat::PropertyList::serialize(*value, format);
        if (!bytes) continue;  // e.g. a string with a NUL cannot be written back
        auto again = plat::PropertyList::parse(bytes->data(), bytes->size());
        if (!again) std::abort();
    }
    return 0;
}
