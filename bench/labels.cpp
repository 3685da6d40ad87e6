// Label costs on the software renderer: an unchanged TTF text (a comparison, no render), a 20-character
// Japanese text rendered each time, a changing score in a label atlas, and a bar progress timer moving.
// Each iteration that gives GL work waits for it (glFinish) inside the timed loop, so the time is what the
// frame really costs, and the driver's queue never grows across iterations.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/labels/KTLabelTTF.h"
#include "kite/nodes/KTProgressTimer.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTexture2D.h"
#include "platform/media/GLContext.h"

namespace {

plat::GLContext* context() {
    static std::unique_ptr<plat::GLContext> made = [] {
        auto c = plat::GLContext::createHeadless(320, 568);
        if (c) {
            kite::KTConfiguration::sharedConfiguration()->gatherGPUInfo();
            kite::KTDirector::sharedDirector();  // its pool takes the labels' autoreleased objects
        }
        return c;
    }();
    return made.get();
}

kite::KTTexture2D* blankTexture(unsigned width, unsigned height) {
    std::vector<uint8_t> white(static_cast<size_t>(width) * height * 4, 255);
    auto* texture = new kite::KTTexture2D();
    texture->initWithData(white.data(), kite::kKTTexture2DPixelFormat_RGBA8888, width, height,
                          kite::KTSize(static_cast<float>(width), static_cast<float>(height)));
    return texture;
}

void BM_LabelTTFSetStringUnchanged(benchmark::State& state) {
    if (!context()) return state.SkipWithError("no GL context");
    kite::KTLabelTTF* label = kite::KTLabelTTF::create("Lv.10 12345", "Arial", 15);
    label->retain();
    kite::KTTexture2D* texture = label->getTexture();
    int64_t renders = 0;
    for (auto _ : state) {
        label->setString("Lv.10 12345");
        if (label->getTexture() != texture) ++renders;
    }
    state.counters["renders"] = static_cast<double>(renders);
    label->release();
}
BENCHMARK(BM_LabelTTFSetStringUnchanged);

void BM_LabelTTFJapanese20Characters(benchmark::State& state) {
    if (!context()) return state.SkipWithError("no GL context");
    const char* texts[2] = {"あいうえおかきくけこさしすせそたちつてと",
                            "日本語のラベルを二十文字で描いて測ります"};
    kite::KTLabelTTF* label = kite::KTLabelTTF::create(texts[1], "Arial", 15);
    label->retain();
    int i = 0;
    for (auto _ : state) {
        label->setString(texts[i]);
        glFinish();
        i ^= 1;
    }
    label->release();
}
BENCHMARK(BM_LabelTTFJapanese20Characters)->Unit(benchmark::kMillisecond);

void BM_LabelAtlasChangingScore(benchmark::State& state) {
    if (!context()) return state.SkipWithError("no GL context");
    kite::KTTexture2D* map = blankTexture(120, 15);
    auto* label = new kite::KTLabelAtlas();
    label->initWithString("0", map, 12, 15, '0');
    map->release();
    char text[16];
    int score = 0;
    for (auto _ : state) {
        std::snprintf(text, sizeof text, "%d", score += 5);
        label->setString(text);
        label->draw();
        glFinish();
    }
    label->release();
}
BENCHMARK(BM_LabelAtlasChangingScore);

void BM_ProgressTimerBarMoving(benchmark::State& state) {
    if (!context()) return state.SkipWithError("no GL context");
    kite::KTTexture2D* texture = blankTexture(200, 20);
    kite::KTProgressTimer* timer = kite::KTProgressTimer::create(kite::KTSprite::createWithTexture(texture));
    texture->release();
    timer->retain();
    timer->setType(kite::kKTProgressTimerTypeBar);
    timer->setMidpoint(kite::KTPoint(0, 0.5f));
    timer->setBarChangeRate(kite::KTPoint(1, 0));
    float percentage = 0;
    for (auto _ : state) {
        percentage = percentage >= 100 ? 0 : percentage + 0.5f;
        timer->setPercentage(percentage);
        timer->draw();
        glFinish();
    }
    timer->release();
}
BENCHMARK(BM_ProgressTimerBarMoving);

}  // namespace
