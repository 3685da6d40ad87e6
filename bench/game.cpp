// The game's steady state: the play field launched headless by the game's own application delegate,
// left to run with its characters wandering, no taps. Per frame: the heap allocations of the project's own
// code, those of the GL driver and C++ runtime, and the main thread's CPU time. Frames are told apart by
// what happens in them, each kind with its own counts: frames that save progress (a character arrives and
// its spawn timer is flushed, handed to the settings' writer thread), frames that draw a new text (the
// player's figure pauses and its speech bubble shows a line), and steady frames (everything else), where
// the project's code allocates nothing. The counts of each kind are the main thread's own; the settings'
// writer allocates on its thread. So that enough characters arrive, the free slots' spawn timers are
// staggered when the measuring starts: one character every 1.5 s until the field is full.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/AllocationCounter.h"
#include "chime/AudioEngine.h"
#include "game/AppDelegate.h"
#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "game/GameLayer.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelTTF.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "platform/base/Random.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"

namespace {

namespace fs = std::filesystem;

double threadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

GameLayer* playField() {
    kite::KTScene* scene = kite::KTDirector::sharedDirector()->getRunningScene();
    kite::KTArray* children = scene ? scene->getChildren() : nullptr;
    for (uint32_t i = 0; children && i < children->count(); ++i)
        if (auto* layer = dynamic_cast<GameLayer*>(children->objectAtIndex(i))) return layer;
    return nullptr;
}

double wallMicros() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Medians, since a frame now and then loses its core to the renderer's threads or other programs.
struct FrameKind {
    uint64_t frames = 0, own = 0, framesWithOwn = 0;
    std::vector<double> cpu, wall;
    FrameKind() {
        cpu.reserve(2000);
        wall.reserve(2000);
    }
    void add(uint64_t allocations, double cpuMicros, double wallMicros) {
        ++frames;
        own += allocations;
        cpu.push_back(cpuMicros);
        wall.push_back(wallMicros);
        if (allocations) ++framesWithOwn;
    }
    void report(benchmark::State& state, const std::string& name) const {
        const double n = frames ? static_cast<double>(frames) : 1;
        state.counters[name + "_frames"] = static_cast<double>(frames);
        state.counters[name + "_own_allocs_per_frame"] = static_cast<double>(own) / n;
        state.counters[name + "_frames_with_own_allocs"] = static_cast<double>(framesWithOwn);
        state.counters[name + "_cpu_us_median"] = median(cpu);
        state.counters[name + "_wall_us_median"] = median(wall);
    }
};

void BM_PlayFieldSteadyState(benchmark::State& state) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    char homeTemplate[] = "/tmp/potemaru-bench-XXXXXX";
    if (!mkdtemp(homeTemplate)) return state.SkipWithError("no temporary home");
    const fs::path home = homeTemplate;
    const fs::path previousHome = plat::Paths::home();
    plat::Paths::setHome(home);
    plat::Bundle::setMainResourcePath(fs::path(__FILE__).parent_path().parent_path() / "assets");
    kite::KTFileUtils::purgeFileUtils();
    kite::KTUserDefaultStore::purgeSharedUserDefaultStore();
    CharaTable::reload();
    GameGlobals::reset();
    plat::Random::setFixedSeed(1);

    {
        kite::KTHeadlessDriver driver;
        // The game's own application object, as the program makes it.
        AppDelegate delegate;
        // The splash, the set-up, and long enough for the first characters to arrive.
        if (!driver.launch(*kite::KTApplication::sharedApplication()) || driver.runFrames(600) != 600 ||
            !kite::KTDirector::sharedDirector()->getRunningScene()) {
            state.SkipWithError("the play field did not launch");
        } else {
            GameLayer* field = playField();
            kite::KTLabelTTF* bubble = field ? field->bubbleLabel : nullptr;
            for (int i = 0, k = 0; field && i < GameGlobals::kSlotCount; ++i) {
                if (field->occupied[i]) continue;
                GameGlobals::objectcreatetimer[i] = 0;
                GameGlobals::spawnInterval[i] = 1.0f + 1.5f * static_cast<float>(k++);
            }
            FrameKind steady, saving, text;
            uint64_t own = 0, other = 0;
            double cpu = 0;
            for (auto _ : state) {
                const int countBefore = field ? field->objectcount : 0;
                const kite::KTTexture2D* textBefore = bubble ? bubble->getTexture() : nullptr;
                const benchalloc::Snapshot before;
                const double start = threadCpuMicros(), wallStart = wallMicros();
                driver.runFrames(1);
                const double frameCpu = threadCpuMicros() - start, frameWall = wallMicros() - wallStart;
                cpu += frameCpu;
                const benchalloc::Snapshot after;
                own += after.own - before.own;
                other += after.other - before.other;
                const uint64_t mainOwn = after.threadOwn - before.threadOwn;
                if (field && field->objectcount != countBefore)
                    saving.add(mainOwn, frameCpu, frameWall);
                else if (bubble && bubble->getTexture() != textBefore)
                    text.add(mainOwn, frameCpu, frameWall);
                else
                    steady.add(mainOwn, frameCpu, frameWall);
            }

            const double frames = static_cast<double>(state.iterations());
            state.counters["own_allocs_per_frame"] = static_cast<double>(own) / frames;
            steady.report(state, "steady");
            saving.report(state, "saving");
            const double steadyCpu = median(steady.cpu), steadyWall = median(steady.wall);
            state.counters["saving_to_steady_cpu"] = steadyCpu > 0 ? median(saving.cpu) / steadyCpu : 0;
            state.counters["saving_to_steady_wall"] = steadyWall > 0 ? median(saving.wall) / steadyWall : 0;
            state.counters["driver_allocs_per_frame"] = static_cast<double>(other) / frames;
            state.counters["main_thread_cpu_us_per_frame"] = cpu / frames;
            if (!bubble) state.SkipWithError("no speech bubble on the play field");
            kite::KTDirector::sharedDirector()->end();
            driver.runFrames(1);
        }
    }
    plat::Random::clearFixedSeed();
    kite::KTUserDefaultStore::purgeSharedUserDefaultStore();
    ::AudioEngine::end();
    plat::Paths::setHome(previousHome);
    std::error_code ec;
    fs::remove_all(home, ec);
}

}  // namespace

BENCHMARK(BM_PlayFieldSteadyState)->Iterations(1200)->Unit(benchmark::kMicrosecond);
