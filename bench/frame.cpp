// One director frame over a scene of 1000 nodes, each running a sequence of moves and a per-frame
// update and showing a turned sprite: time per frame (the GL work finished inside it), and heap allocations
// per frame, split into the project's own (none expected once the frame is warm) and the GL driver's.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/support/AllocationCounter.h"
#include "kite/actions/KTActionInterval.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/image/KTImage.h"
#include "kite/nodes/KTScene.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Clock.h"
#include "platform/media/GLContext.h"

namespace {

class CountingNode : public kite::KTNode {
  public:
    static CountingNode* create() {
        auto* node = new CountingNode();
        node->init();
        return kite::ktAutorelease(node);
    }
    void update(float dt) override { elapsed += dt; }
    float elapsed = 0;
};

}  // namespace

static void BM_DrawSceneThousandNodes(benchmark::State& state) {
    auto clock = std::make_shared<plat::VirtualClock>();
    auto previous = plat::Clock::setShared(clock);
    auto context = plat::GLContext::createHeadless(64, 64);
    if (!context) {
        state.SkipWithError("no GL context");
        plat::Clock::setShared(previous);
        return;
    }

    kite::KTConfiguration::sharedConfiguration()->gatherGPUInfo();
    kite::KTDirector* director = kite::KTDirector::sharedDirector();
    kite::KTScene* scene = kite::KTScene::create();
    std::vector<unsigned char> pixels(16 * 16 * 4, 0xC0);
    auto* image = new kite::KTImage();
    image->initWithRawData(pixels.data(), static_cast<long>(pixels.size()), 16, 16, 8);
    kite::KTTexture2D* texture = kite::KTTextureCache::sharedTextureCache()->addUIImage(image, "bench_frame");
    image->release();
    for (int i = 0; i < 1000; ++i) {
        CountingNode* node = CountingNode::create();
        node->setPosition(kite::KTPoint(static_cast<float>(i % 320), static_cast<float>(i % 568)));
        // Long moves, so every action is still running when the measurement ends.
        node->runAction(kite::KTSequence::create(kite::KTMoveBy::create(5000, kite::KTPoint(100, 0)),
                                                 kite::KTMoveBy::create(5000, kite::KTPoint(0, 100)),
                                                 nullptr));
        node->scheduleUpdate();
        // Every node shows a picture, so the frame draws 1000 sprites too.
        kite::KTSprite* sprite = kite::KTSprite::createWithTexture(texture);
        sprite->setRotation(static_cast<float>(i));
        node->addChild(sprite);
        scene->addChild(node);
    }
    director->runWithScene(scene);
    for (int i = 0; i < 10; ++i) {
        clock->advance(1.0 / 60);
        director->mainLoop();
    }

    const benchalloc::Snapshot before;
    for (auto _ : state) {
        clock->advance(1.0 / 60);
        director->mainLoop();
        glFinish();
    }
    const benchalloc::Snapshot after;
    const double frames = static_cast<double>(state.iterations());
    state.counters["own_allocs_per_frame"] = static_cast<double>(after.own - before.own) / frames;
    state.counters["driver_allocs_per_frame"] = static_cast<double>(after.other - before.other) / frames;

    director->end();
    director->mainLoop();
    context.reset();
    plat::Clock::setShared(previous);
}
BENCHMARK(BM_DrawSceneThousandNodes)->Unit(benchmark::kMicrosecond);
