// Keyed-archive reader: any bytes give a value, an object or nothing, never a crash; a value that was read
// archives again and reads back.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/base/ClassRegistry.h"
#include "platform/base/Log.h"
#include "platform/storage/KeyedArchive.h"

namespace {

// A class with keys of every kind, so object archives reach the decoder's typed reads.
struct Sample : plat::Coding {
    std::string codingClassName() const override { return "FuzzSample"; }
    void encodeWithCoder(plat::KeyedArchiver&) const override {}
    bool initWithCoder(plat::KeyedUnarchiver& coder) override {
        coder.decodeValue("value");
        coder.decodeBool("flag");
        coder.decodeInt32("count");
        coder.decodeDouble("real");
        coder.decodeObject<Sample>("child");
        coder.decodeObjects<Sample>("list");
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    static const bool registered = [] {
        plat::ClassRegistry::shared().registerFactory<plat::Coding>(
            "FuzzSample", [] { return std::make_shared<Sample>(); });
        return true;
    }();
    (void)quiet;
    (void)registered;
    plat::KeyedArchive::unarchiveObject(data, size);
    auto value = plat::KeyedArchive::unarchiveValue(data, size);
    if (!value) return 0;
    auto bytes = plat::KeyedArchive::archive(*value);
    if (!bytes) return 0;  // e.g. text with a NUL has no property-list form
    if (!plat::KeyedArchive::unarchiveValue(*bytes)) std::abort();
    return 0;
}
