// The game's steady state: the play field launched headless by the game's own application delegate,
// left to run with its characters wandering, no taps. Per frame: the heap
// allocations of the project's own code, those of the GL driver and C++ runtime, the frames in which the
// project allocated at all, and the main thread's CPU time. The project's own allocations come only with
// events, not with frames: a character arriving (its progress is saved) and the player's figure pausing
// (its speech bubble renders a text).
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/support/AllocationCounter.h"
#include "chime/AudioEngine.h"
#include "game/AppDelegate.h"
#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
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
            uint64_t own = 0, other = 0, framesWithOwn = 0;
            double cpu = 0;
            for (auto _ : state) {
                const benchalloc::Snapshot before;
                const double start = threadCpuMicros();
                driver.runFrames(1);
                cpu += threadCpuMicros() - start;
                const benchalloc::Snapshot after;
                own += after.own - before.own;
                other += after.other - before.other;
                if (after.own != before.own) ++framesWithOwn;
            }
            const double frames = static_cast<double>(state.iterations());
            state.counters["own_allocs_per_frame"] = static_cast<double>(own) / frames;
            state.counters["frames_with_own_allocs"] = static_cast<double>(framesWithOwn);
            state.counters["driver_allocs_per_frame"] = static_cast<double>(other) / frames;
            state.counters["main_thread_cpu_us_per_frame"] = cpu / frames;
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
