// Any text, font name, size, box and style drawn into a bitmap: measuring and drawing must stay inside the
// bitmap whatever the text holds (broken UTF-8, control characters, characters no font has).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "platform/media/TextRenderer.h"

namespace {

float takeFloat(const uint8_t*& data, size_t& size, float lo, float hi) {
    uint8_t byte = 0;
    if (size > 0) {
        byte = *data++;
        --size;
    }
    return lo + (hi - lo) * static_cast<float>(byte) / 255.0f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        return true;
    }();
    (void)quiet;
    static const char* const kNames[] = {"DejaVu Sans", "Arial", "Courier", "no such font",
                                         "Noto Sans CJK JP"};
    const uint8_t pick = size > 0 ? data[0] : 0;
    const float pixelSize = takeFloat(data, size, 1, 64);
    const int width = 1 + static_cast<int>(takeFloat(data, size, 0, 127));
    const int height = 1 + static_cast<int>(takeFloat(data, size, 0, 63));
    plat::TextRect rect{takeFloat(data, size, -20, 120), takeFloat(data, size, -20, 60),
                        takeFloat(data, size, 0, 160), takeFloat(data, size, 0, 80)};
    plat::TextStyle style;
    style.stroke = pick & 0x10;
    style.strokeSize = takeFloat(data, size, 0, 8);
    style.shadow = pick & 0x20;
    style.shadowOffsetX = takeFloat(data, size, -10, 10);
    style.shadowOffsetY = takeFloat(data, size, -10, 10);
    style.shadowBlur = takeFloat(data, size, 0, 10);
    const auto alignment = static_cast<plat::TextAlignment>(pick % 3);
    const std::string text(reinterpret_cast<const char*>(data), size);

    auto font = plat::Font::named(kNames[(pick >> 2) % 5], pixelSize);
    if (!font) font = plat::Font::system(pixelSize);
    if (!font) return 0;
    plat::TextRenderer::measure(text, *font, rect.width, rect.height);
    std::vector<uint8_t> bitmap(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    plat::TextRenderer::draw(bitmap.data(), width, height, text, *font, rect, alignment, style);
    return 0;
}
