// The game's steady state: the play field launched headless by the game's own application delegate,
// left to run with its characters wandering, no taps. Per frame: the heap allocations of the project's own
// code, those of the GL driver and C++ runtime, and the main thread's CPU time. Frames are told apart by
// what happens in them, each kind with its own counts: frames that save progress (a character arrives and
// its spawn timer is flushed, handed to the settings' writer thread), frames that draw a new text (the
// player's figure pauses and its speech bubble shows a line), and steady frames (everything else), where
// the project's code allocates nothing. The counts of each kind are the main thread's own; the settings'
// writer allocates on its thread. So that enough characters arrive, the free slots' spawn timers are
// staggered when the measuring starts: one character every 1.5 s until the field is full.
//
// BM_SaveHandOverToRename measures how long a save that returned waits for its file, while the same
// frames run: every 24th frame a counter is saved the way the game saves its progress, and each save
// notes when it was handed to the writer, when the writer renamed the file that holds it into place and
// when the write ended (the folder synced as well). Medians and the 99th percentile, in microseconds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
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
#include "platform/storage/UserDefaults.h"

namespace {

namespace fs = std::filesystem;

double threadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double wallMicros() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// The value at `fraction` of the sorted values (nearest rank).
double percentile(std::vector<double> v, double fraction) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(v.size())));
    return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// When the calling thread last renamed a file; the settings writer's own is the moment a save is in place.
thread_local double tRenamedAt = 0;

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

// The play field launched headless by the game's own application delegate in a temporary home, with the
// free slots' spawn timers staggered so that a character arrives every 1.5 s until the field is full.
class PlayFieldRun {
  public:
    explicit PlayFieldRun(benchmark::State& state) {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        setenv("ALSOFT_DRIVERS", "null", 0);
        char homeTemplate[] = "/tmp/potemaru-bench-XXXXXX";
        if (!mkdtemp(homeTemplate)) {
            state.SkipWithError("no temporary home");
            return;
        }
        home_ = homeTemplate;
        plat::Paths::setHome(home_);
        plat::Bundle::setMainResourcePath(fs::path(__FILE__).parent_path().parent_path() / "assets");
        kite::KTFileUtils::purgeFileUtils();
        kite::KTUserDefaultStore::purgeSharedUserDefaultStore();
        CharaTable::reload();
        GameGlobals::reset();
        plat::Random::setFixedSeed(1);

        driver_ = std::make_unique<kite::KTHeadlessDriver>();
        // The game's own application object, as the program makes it.
        delegate_ = std::make_unique<AppDelegate>();
        // The splash, the set-up, and long enough for the first characters to arrive.
        if (!driver_->launch(*kite::KTApplication::sharedApplication()) || driver_->runFrames(600) != 600 ||
            !kite::KTDirector::sharedDirector()->getRunningScene()) {
            state.SkipWithError("the play field did not launch");
            return;
        }
        launched_ = true;
        field_ = findPlayField();
        if (!field_) state.SkipWithError("no play field in the running scene");
        for (int i = 0, k = 0; field_ && i < GameGlobals::kSlotCount; ++i) {
            if (field_->occupied[i]) continue;
            GameGlobals::objectcreatetimer[i] = 0;
            GameGlobals::spawnInterval[i] = 1.0f + 1.5f * static_cast<float>(k++);
        }
    }
    ~PlayFieldRun() {
        if (home_.empty()) return;
        if (launched_) {
            kite::KTDirector::sharedDirector()->end();
            driver_->runFrames(1);
        }
        delegate_.reset();
        driver_.reset();
        plat::Random::clearFixedSeed();
        kite::KTUserDefaultStore::purgeSharedUserDefaultStore();
        ::AudioEngine::end();
        std::error_code ec;
        fs::remove_all(home_, ec);
    }
    PlayFieldRun(const PlayFieldRun&) = delete;
    PlayFieldRun& operator=(const PlayFieldRun&) = delete;

    // Null when the launch failed.
    GameLayer* field() const { return field_; }
    void runFrame() { driver_->runFrames(1); }

  private:
    static GameLayer* findPlayField() {
        kite::KTScene* scene = kite::KTDirector::sharedDirector()->getRunningScene();
        kite::KTArray* children = scene ? scene->getChildren() : nullptr;
        for (uint32_t i = 0; children && i < children->count(); ++i)
            if (auto* layer = dynamic_cast<GameLayer*>(children->objectAtIndex(i))) return layer;
        return nullptr;
    }

    fs::path home_;
    std::unique_ptr<kite::KTHeadlessDriver> driver_;
    std::unique_ptr<AppDelegate> delegate_;
    bool launched_ = false;
    GameLayer* field_ = nullptr;
};

void BM_PlayFieldSteadyState(benchmark::State& state) {
    PlayFieldRun run(state);
    GameLayer* field = run.field();
    if (!field) return;
    kite::KTLabelTTF* bubble = field->bubbleLabel;
    FrameKind steady, saving, text;
    uint64_t own = 0, other = 0;
    double cpu = 0;
    for (auto _ : state) {
        const int countBefore = field->objectcount;
        const kite::KTTexture2D* textBefore = bubble ? bubble->getTexture() : nullptr;
        const benchalloc::Snapshot before;
        const double start = threadCpuMicros(), wallStart = wallMicros();
        run.runFrame();
        const double frameCpu = threadCpuMicros() - start, frameWall = wallMicros() - wallStart;
        cpu += frameCpu;
        const benchalloc::Snapshot after;
        own += after.own - before.own;
        other += after.other - before.other;
        const uint64_t mainOwn = after.threadOwn - before.threadOwn;
        if (field->objectcount != countBefore)
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
}

// Saves far enough apart that most find the writer idle, as the game's own do.
constexpr int64_t kFramesPerSave = 24;

void BM_SaveHandOverToRename(benchmark::State& state) {
    PlayFieldRun run(state);
    if (!run.field()) return;
    auto store = plat::UserDefaults::standard();
    std::mutex mutex;
    std::vector<double> toRename, toEnd;
    int failed = 0;
    int64_t frame = 0;
    for (auto _ : state) {
        run.runFrame();
        if (++frame % kFramesPerSave) continue;
        store->setInteger(frame, "benchsave");
        const double handedOver = wallMicros();
        // Runs on the writer right after the write that took this save, so its last rename is this save's.
        store->synchronizeInBackground([&, handedOver](bool written) {
            const double ended = wallMicros();
            std::lock_guard<std::mutex> lock(mutex);
            if (!written || tRenamedAt < handedOver) {
                ++failed;
                return;
            }
            toRename.push_back(tRenamedAt - handedOver);
            toEnd.push_back(ended - handedOver);
        });
    }
    store->waitForBackgroundWrites();

    std::lock_guard<std::mutex> lock(mutex);
    state.counters["saves"] = static_cast<double>(toRename.size());
    state.counters["handover_to_rename_us_median"] = median(toRename);
    state.counters["handover_to_rename_us_p99"] = percentile(toRename, 0.99);
    state.counters["handover_to_rename_us_max"] = percentile(toRename, 1.0);
    state.counters["handover_to_written_us_median"] = median(toEnd);
    state.counters["handover_to_written_us_p99"] = percentile(toEnd, 0.99);
    if (failed) state.SkipWithError("a save was not written");
}

}  // namespace

// Every rename of the program is timed, on the thread that makes it.
extern "C" int rename(const char* from, const char* to) noexcept {
    const int result = renameat(AT_FDCWD, from, AT_FDCWD, to);
    tRenamedAt = wallMicros();
    return result;
}

BENCHMARK(BM_PlayFieldSteadyState)->Iterations(1200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveHandOverToRename)->Iterations(1200 * kFramesPerSave)->Unit(benchmark::kMicrosecond);
