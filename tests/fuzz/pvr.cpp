// Any bytes as a PVR file: the reader must refuse them or hand out levels that lie inside the data and hold
// every pixel GL would read.
#include <cstddef>
#include <cstdint>

#include "kite/textures/KTTexturePVR.h"
#include "platform/base/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        return true;
    }();
    (void)quiet;
    auto* pvr = new kite::KTTexturePVR();
    if (pvr->unpackPVRData(data, size)) {
        for (unsigned int i = 0; i < pvr->getNumberOfMipmaps(); ++i) {
            const kite::ktPVRMipmap& level = pvr->getMipmap(i);
            if (level.address < data || level.address + level.len > data + size) __builtin_trap();
        }
    }
    pvr->release();
    return 0;
}
