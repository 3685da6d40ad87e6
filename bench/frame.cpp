// One director frame over a scene of 1000 nodes, each running a sequence of moves and a per-frame
// update: time per frame, and heap allocations per frame (none expected once the frame is warm).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "kite/actions/KTActionInterval.h"
#include "kite/core/KTDirector.h"
#include "kite/nodes/KTScene.h"
#include "platform/base/Clock.h"
#include "platform/media/GLContext.h"

namespace {

std::atomic<uint64_t> gAllocations{0};

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

void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

static void BM_DrawSceneThousandNodes(benchmark::State& state) {
    auto clock = std::make_shared<plat::VirtualClock>();
    auto previous = plat::Clock::setShared(clock);
    auto context = plat::GLContext::createHeadless(64, 64);
    if (!context) {
        state.SkipWithError("no GL context");
        plat::Clock::setShared(previous);
        return;
    }

    kite::KTDirector* director = kite::KTDirector::sharedDirector();
    kite::KTScene* scene = kite::KTScene::create();
    for (int i = 0; i < 1000; ++i) {
        CountingNode* node = CountingNode::create();
        node->setPosition(kite::KTPoint(static_cast<float>(i % 320), static_cast<float>(i % 568)));
        // Long moves, so every action is still running when the measurement ends.
        node->runAction(kite::KTSequence::create(kite::KTMoveBy::create(5000, kite::KTPoint(100, 0)),
                                                 kite::KTMoveBy::create(5000, kite::KTPoint(0, 100)),
                                                 nullptr));
        node->scheduleUpdate();
        scene->addChild(node);
    }
    director->runWithScene(scene);
    for (int i = 0; i < 10; ++i) {
        clock->advance(1.0 / 60);
        director->mainLoop();
    }

    const uint64_t before = gAllocations.load();
    for (auto _ : state) {
        clock->advance(1.0 / 60);
        director->mainLoop();
    }
    const uint64_t allocations = gAllocations.load() - before;
    state.counters["allocs_per_frame"] =
        benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));

    director->end();
    director->mainLoop();
    context.reset();
    plat::Clock::setShared(previous);
}
BENCHMARK(BM_DrawSceneThousandNodes)->Unit(benchmark::kMicrosecond);
