// Any bytes as a font file named by path, the way a label asks for one: opened, measured and drawn with an
// outline. A file that is no usable font is refused; one that is must draw inside the bitmap.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "kite/image/KTImage.h"
#include "platform/base/Log.h"
#include "platform/media/TextRenderer.h"
#include "tests/fuzz/fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        return true;
    }();
    (void)quiet;
    const std::string path = fuzzWriteScratch("input.ttf", data, size);
    if (auto font = plat::Font::named(path, 24)) {
        if (font->file() != path) __builtin_trap();
        for (char32_t c : U"Ao B\x7F") {
            font->hasGlyph(c);
            font->advance(c);
        }
        // The label draws with the same face, which the font above keeps loaded: small, with an outline, so
        // the run spends its time in the font's tables rather than in filling pixels (text_drawing covers
        // the styles).
        auto* image = new kite::KTImage;
        image->initWithString("Ao B\nAo", 48, 24, 0x33, path.c_str(), 12, 1, 1, 1, false, 0, 0, 0, 0, true, 0,
                              0, 0, 1);
        image->release();
    }
    std::remove(path.c_str());
    return 0;
}
