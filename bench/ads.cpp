// The banner over the game's frame: a rotating banner (a new ad every second of the virtual clock, its
// settings from a loopback ad server) composited over a cleared 640 x 1136 frame, 60 frames a second.
// The goal is 0.5 ms of compositor CPU time a frame (at most 1.0), with no heap allocation in frames
// where nothing was dirty (counted). The blank test is set against one render of the adapter's layer
// (it should cost at most 1.1 times that).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "ads/ZividedirView.h"
#include "ads/adapters/ZIZRadWebView.h"
#include "ads/base/ADFRBase64Util.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/settings/ADFRManager.h"
#include "bench/support/AllocationCounter.h"
#include "platform/base/ClassRegistry.h"
#include "platform/base/Clock.h"
#include "platform/media/GLContext.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Paths.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Image.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tests/support/LoopbackServer.h"

namespace {

constexpr int kWidth = 640, kHeight = 1136;

// An adapter that draws a picture-like ad of its own (a colour band and a stripe), so the frames measure
// the compositor and not a web engine's timing.
class BandAdapter : public ZividedirInterfaceView {
  public:
    explicit BandAdapter(plat::Rect frame) : ZividedirInterfaceView(frame) {}
    void setting(const ZividedirAdapterSettings& s) override { id_ = s.text("userAdId").value_or(""); }
    std::string className() const override { return "BandAdapter"; }
    void drawRect(cairo_t* cr, const plat::Rect&) override {
        const double shade = id_.empty() ? 0.5 : (id_.back() - '0') / 4.0;
        cairo_set_source_rgb(cr, shade, 0.4, 1 - shade);
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_rectangle(cr, 10, 20, 300, 10);
        cairo_fill(cr);
    }

  private:
    std::string id_;
};

std::string entry(int n) {
    return R"({"user_ad_id": "b)" + std::to_string(n) +
           R"(", "adnetwork_key": "1035", "weight": {"ja": 1, "en": 1},)" + R"( "html": ")" +
           ADFRBase64Util::base64StringFromString("<p>ad</p>") + "\"}";
}

struct BannerScene {
    BannerScene() {
        home = std::filesystem::temp_directory_path() / ("potemaru-bench-ads-" + std::to_string(getpid()));
        plat::Paths::setHome(home);
        previousClock = plat::Clock::setShared(clock);
        context = plat::GLContext::createHeadless(kWidth, kHeight);
        for (auto kind : {ADFREndpoints::Kind::SettingsMirror, ADFREndpoints::Kind::Settings})
            ADFREndpoints::setEndpoint(kind, {"https", "127.0.0.1", server.port()});
        // The settings path as the manager will ask for it (locale and versions included).
        const std::string url = ADFRManager::create()->updateUrlStringByAppId("BENCH");
        server.route("GET", url.substr(url.find('/', std::string("https://").size())),
                     testsupport::Answer{
                         .body = std::string(R"({"result": "ok", "cycle_time": 1, "ta_off": 0,)") +
                                 R"( "settings": [)" + entry(1) + "," + entry(2) + "," + entry(3) + "]}"});
        plat::URLConnection::setCAFile(server.caFile());
        ZividedirViewClass::registerClass("ADFRZucksAPIView",
                                          [](plat::Rect f) { return std::make_shared<BandAdapter>(f); });
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
        banner = ZividedirView::create({0, 518, 320, 50});
        banner->setAppID("BENCH");
        window->addSubview(banner);
    }
    ~BannerScene() {
        compositor.releaseResources();
        banner->removeFromSuperview();
        banner.reset();
        window.reset();
        plat::ClassRegistry::shared().unregister("ADFRZucksAPIView");
        plat::URLConnection::setCAFile("");
        plat::Clock::setShared(previousClock);
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }
    // The settings arrive over the loopback (real time); false when they never come.
    bool start() {
        banner->startShowAd();
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!banner->frontAdView() && std::chrono::steady_clock::now() < until)
            plat::RunLoop::main().runOnce(0.01);
        return banner->frontAdView() != nullptr;
    }
    // One game frame: the clock moves 1/60 s, due timers and posted work run, the frame is cleared.
    void tick() {
        clock->advance(1.0 / 60);
        for (int i = 0; i < 4 && plat::RunLoop::main().runOnce(0) > 0; ++i) {
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClearColor(0.6f, 0.85f, 0.5f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    std::filesystem::path home;
    std::shared_ptr<plat::VirtualClock> clock = std::make_shared<plat::VirtualClock>();
    std::shared_ptr<plat::Clock> previousClock;
    std::unique_ptr<plat::GLContext> context;
    testsupport::LoopbackServer server{{.https = true}};
    std::shared_ptr<plat::Window> window;
    std::shared_ptr<ZividedirView> banner;
    plat::Compositor compositor;
};

}  // namespace

// Compositor CPU time per frame (the benchmark's CPU column; the frame's clearing and run-loop turn are
// outside the timing), rotations included.
static void BM_RotatingBannerOverTheGameFrame(benchmark::State& state) {
    BannerScene scene;
    if (!scene.context || !scene.start()) {
        state.SkipWithError("no GL context or no settings");
        return;
    }
    uint64_t cleanFrames = 0, cleanAllocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene.tick();
        const uint64_t uploads = scene.compositor.stats().uploads;
        const benchalloc::Snapshot before;
        state.ResumeTiming();
        scene.compositor.composite(*scene.window, kWidth, kHeight);
        state.PauseTiming();
        const benchalloc::Snapshot after;
        if (scene.compositor.stats().uploads == uploads) {
            ++cleanFrames;
            cleanAllocations += after.own - before.own;
        }
        glFinish();
        state.ResumeTiming();
    }
    state.counters["clean_frames"] = double(cleanFrames);
    state.counters["allocs_per_clean_frame"] =
        cleanFrames ? double(cleanAllocations) / double(cleanFrames) : 0;
    state.counters["uploads"] = double(scene.compositor.stats().uploads);
}
BENCHMARK(BM_RotatingBannerOverTheGameFrame)->Iterations(600)->Unit(benchmark::kMicrosecond);

namespace {

// The HTML adapter with a rendered page, as the banner tests it before a swap.
struct LoadedAdapter {
    LoadedAdapter() {
        adapter = std::make_shared<ZIZRadWebView>(plat::Rect{0, 0, 320, 50});
        adapter->setting(plat::Value::Dictionary{
            {"loadHtml", plat::Value(std::string("<html><body style='margin:0;background:#1e6fd9;color:#fff;"
                                                 "font:bold 18px sans-serif'>Banner ad</body></html>"))}});
        adapter->loadAd();
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((!adapter->htmlLoaded() || adapter->webView()->framesDelivered() == 0) &&
               std::chrono::steady_clock::now() < until) {
            plat::RunLoop::main().runOnce(0.01);
            plat::WebView::pumpEngine();
        }
    }
    bool ready() const { return adapter->webView()->framesDelivered() > 0; }
    std::shared_ptr<ZIZRadWebView> adapter;
};

}  // namespace

static void BM_CheckDisplayAd(benchmark::State& state) {
    LoadedAdapter loaded;
    if (!loaded.ready()) {
        state.SkipWithError("the page did not render");
        return;
    }
    bool content = false;
    for (auto _ : state) content = loaded.adapter->checkDisplayAd();
    state.counters["content"] = content;
}
BENCHMARK(BM_CheckDisplayAd)->Unit(benchmark::kMicrosecond);

static void BM_OneRenderOfTheAdaptersLayer(benchmark::State& state) {
    LoadedAdapter loaded;
    if (!loaded.ready()) {
        state.SkipWithError("the page did not render");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(loaded.adapter->snapshot(1));
}
BENCHMARK(BM_OneRenderOfTheAdaptersLayer)->Unit(benchmark::kMicrosecond);
