// Feeds arbitrary bytes to the image decoders; the first bytes pick PNG, JPEG, TIFF or WebP.
#include <cstddef>
#include <cstdint>

#include "platform/base/Log.h"
#include "platform/media/ImageCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static plat::LogCapture quiet;
    quiet.clear();
    auto image = plat::ImageCodec::decode(data, size);
    if (image && image->pixels.size() != size_t(image->width) * image->height * 4) __builtin_trap();
    plat::ImageCodec::decodeWebP(data, size, plat::AlphaMode::Straight);
    return 0;
}
