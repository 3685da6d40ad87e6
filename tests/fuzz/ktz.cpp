// Any bytes as a KTZ-wrapped texture file: refused, or inflated to exactly the length its header names and
// then read as a PVR file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "kite/textures/KTTexturePVR.h"
#include "platform/base/Log.h"
#include "tests/fuzz/fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        return true;
    }();
    (void)quiet;
    const std::string path = fuzzWriteScratch("input.pvr.ktz", data, size);

    unsigned char* out = nullptr;
    const int len = kite::inflateCCZFile(path.c_str(), &out);
    if (len < 0) {
        if (out) __builtin_trap();
        return 0;
    }
    // The header's big-endian length is what must have been written.
    if (size < 16 || static_cast<uint32_t>(len) != (uint32_t(data[12]) << 24 | uint32_t(data[13]) << 16 |
                                                    uint32_t(data[14]) << 8 | uint32_t(data[15])))
        __builtin_trap();
    auto* pvr = new kite::KTTexturePVR();
    pvr->unpackPVRData(out, static_cast<unsigned long>(len));
    pvr->release();
    std::free(out);
    return 0;
}
