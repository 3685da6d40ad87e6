// Any bytes as a gzip-wrapped texture file: refused, or read whole (plain bytes pass through unchanged)
// and then read as a PVR file.
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
    const std::string path = fuzzWriteScratch("input.pvr.gz", data, size);

    unsigned char* out = nullptr;
    const int len = kite::inflateGZipFile(path.c_str(), &out);
    if (len < 0) {
        if (out) __builtin_trap();
        return 0;
    }
    auto* pvr = new kite::KTTexturePVR();
    pvr->unpackPVRData(out, static_cast<unsigned long>(len));
    pvr->release();
    std::free(out);
    return 0;
}
