// Image decoding and text rendering costs: a full-screen PNG and a Japanese label.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "kite/image/KTImage.h"
#include "platform/media/ImageCodec.h"
#include "platform/media/TextRenderer.h"

namespace {

// A screen-sized picture with gradients and noise, so it compresses like real artwork rather than flat
// colour.
std::vector<uint8_t> screenPng() {
    const uint32_t width = 640, height = 1136;
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            seed = seed * 1664525 + 1013904223;
            uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
            p[0] = uint8_t(x * 255 / width);
            p[1] = uint8_t(y * 255 / height);
            p[2] = uint8_t((seed >> 24) & 0x1F);
            p[3] = uint8_t(x < 40 ? x * 6 : 255);
        }
    return *plat::ImageCodec::encodePng(rgba.data(), width, height, 4);
}

void BM_DecodeScreenPng(benchmark::State& state) {
    const std::vector<uint8_t> file = screenPng();
    for (auto _ : state) {
        auto image = plat::ImageCodec::decode(file.data(), file.size());
        benchmark::DoNotOptimize(image);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 640 * 1136 * 4);
}
BENCHMARK(BM_DecodeScreenPng)->Unit(benchmark::kMillisecond);

void BM_ImageFromScreenPng(benchmark::State& state) {
    const std::vector<uint8_t> file = screenPng();
    for (auto _ : state) {
        auto* image = new kite::KTImage();
        bool ok = image->initWithImageData(file.data(), long(file.size()), kite::kKTImageFormat_PNG, 0, 0, 8);
        benchmark::DoNotOptimize(ok);
        image->release();
    }
}
BENCHMARK(BM_ImageFromScreenPng)->Unit(benchmark::kMillisecond);

// Twenty characters of kana, kanji and full-width digits, as the catalogue shows them.
constexpr const char* kLabel = "ぽてまるの図鑑レベル１０進化おめでとう！";

void BM_RenderJapaneseLabel(benchmark::State& state) {
    for (auto _ : state) {
        auto* image = new kite::KTImage();
        bool ok = image->initWithString(kLabel, 0, 0, 0x11, "Arial", 32, 0, 0, 0, false, 0, 0, 0, 0, false, 0,
                                        0, 0, 0);
        benchmark::DoNotOptimize(ok);
        image->release();
    }
}
BENCHMARK(BM_RenderJapaneseLabel)->Unit(benchmark::kMicrosecond);

void BM_MeasureJapaneseLabel(benchmark::State& state) {
    auto font = plat::Font::named("Arial", 32);
    for (auto _ : state) {
        auto size = plat::TextRenderer::measure(kLabel, *font, 2147483647.0f, 2147483647.0f);
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_MeasureJapaneseLabel)->Unit(benchmark::kMicrosecond);

}  // namespace
