// One headless frame of the real play field: the game's own assets, ten characters wandering, drawn
// into the pbuffer-backed framebuffer on Mesa's software renderer and ended as a swap would. Reports
// the time per frame and how much the resident memory grew per 1000 frames (flat is expected).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "chime/AudioEngine.h"
#include "game/GameLayer.h"
#include "game/SaveDataKeys.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "platform/storage/Paths.h"

namespace {

class FieldApp : public kite::KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        kite::KTDirector* director = kite::KTDirector::sharedDirector();
        kite::KTEGLView* view = kite::KTEGLView::sharedOpenGLView();
        director->setOpenGLView(view);
        director->setDisplayStats(false);
        director->setAnimationInterval(1.0 / 60);
        director->setContentScaleFactor(2.0f);
        view->setDesignResolutionSize(320, 568, kite::kResolutionExactFit);
        director->runWithScene(GameLayer::scene());
        return true;
    }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
};

long residentKb() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

static void BM_HeadlessGameFrame(benchmark::State& state) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    char pattern[] = "/tmp/potemaru-bench-XXXXXX";
    const char* home = mkdtemp(pattern);
    if (!home || !plat::Paths::setHome(home)) {
        state.SkipWithError("no temporary home");
        return;
    }
    // A later start whose ten slots are all about to spawn: the field fills right after the set-up.
    kite::KTUserDefaultStore* store = kite::KTUserDefaultStore::sharedUserDefaultStore();
    store->setBoolForKey(SaveDataKeys::kFirstGame, false);
    const float intervals[] = {30, 30, 40, 40, 50, 50, 60, 60, 70, 80};
    for (int i = 0; i < 10; ++i)
        store->setFloatForKey(SaveDataKeys::objectCreateTimerKey(i), intervals[i] - 0.1f);
    store->flush();

    {
        kite::KTHeadlessDriver driver;
        FieldApp app;
        if (!driver.launch(app)) {
            state.SkipWithError("the headless view could not be made");
        } else {
            driver.runFrames(600);
            const long before = residentKb();
            for (auto _ : state) driver.runFrames(1);
            const long grown = residentKb() - before;
            state.counters["rss_kb"] = static_cast<double>(residentKb());
            state.counters["rss_growth_kb_per_1000_frames"] =
                1000.0 * static_cast<double>(grown) / static_cast<double>(state.iterations());
            kite::KTDirector::sharedDirector()->end();
            driver.runFrames(1);
        }
    }
    kite::KTUserDefaultStore::purgeSharedUserDefaultStore();
    ::AudioEngine::end();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}
BENCHMARK(BM_HeadlessGameFrame)->Unit(benchmark::kMillisecond)->Iterations(3000);
