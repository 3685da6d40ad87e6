// JSON reader: any bytes give a value or nothing, never a crash; what was read writes back and reads
// back the same in both key orders.
#include <cstdint>
#include <cstdlib>

#include "platform/base/Json.h"
#include "platform/base/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    auto value = plat::Json::parse(data, size);
    if (!value) return 0;
    for (auto order : {plat::Json::KeyOrder::Insertion, plat::Json::KeyOrder::Sorted}) {
        auto text = plat::Json::write(*value, {order, false});
        if (!text) std::abort();
        auto again = plat::Json::parse(*text);
        if (!again) std::abort();
        if (order == plat::Json::KeyOrder::Insertion && !(*again == *value)) std::abort();
    }
    return 0;
}
