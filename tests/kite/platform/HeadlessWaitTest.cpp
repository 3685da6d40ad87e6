// The headless driver holds its virtual clock while URL loads and web loads are in flight: a slow answer
// lands before the next frame, a page's slow image is in the next capture, a stalled load only delays the
// run by the wait limit and is logged.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kite/core/KTDirector.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/media/ImageCodec.h"
#include "platform/net/InFlight.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WebTestSupport.h"

using namespace kite;

namespace {

class BlueApp : public KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        KTDirector* director = KTDirector::sharedDirector();
        KTEGLView* glView = KTEGLView::sharedOpenGLView();
        director->setOpenGLView(glView);
        glView->setDesignResolutionSize(320, 568, kResolutionExactFit);
        director->setAnimationInterval(1.0 / 60);
        director->runWithScene(KTScene::create());
        return true;
    }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
};

// The app shell's arrangement, launched headless: the GL view's host, and a web banner along the bottom
// over it.
struct BannerRun {
    explicit BannerRun(KTHeadlessDriver& driver) {
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
        auto host = std::make_shared<plat::View>(plat::Rect{0, 0, 320, 568});
        window->addSubview(host);
        banner = std::make_shared<plat::WebView>(plat::Rect{0, 518, 320, 50});
        host->addSubview(banner);
        window->makeKeyAndVisible();
        launched = driver.launch(app);
    }
    ~BannerRun() { banner->removeFromSuperview(); }
    std::shared_ptr<plat::Window> window;
    std::shared_ptr<plat::WebView> banner;
    BlueApp app;
    bool launched = false;
};

// True once no process started by this one runs any more (zombies aside), pumping the main loop for at
// most 20 s meanwhile: the web engine's processes end soon after its last view.
bool childrenEnded() {
    return testsupport::pumpWebUntil([] { return testsupport::liveChildren().empty(); });
}

}  // namespace

TEST(HeadlessWait, SlowAnswerLandsBeforeTheNextFrameOnAnExactClock) {
    testsupport::LoopbackServer server;
    server.route("GET", "/slow", {.status = 200, .body = "late", .delaySeconds = 0.3});
    KTHeadlessDriver driver;
    auto clock = plat::Clock::shared().asVirtual();
    ASSERT_TRUE(clock);
    const int64_t start = clock->monotonicMicros();
    std::optional<std::string> body;
    auto connection = plat::URLConnection::sendAsynchronous(
        plat::URLRequest(server.url("/slow")),
        [&](const std::optional<plat::URLResponse>&, const plat::Bytes& data,
            const std::optional<plat::Error>&) { body = std::string(data.begin(), data.end()); });
    EXPECT_EQ(plat::InFlight::count(plat::InFlightKind::URLRequest), 1u);
    EXPECT_EQ(driver.runFrames(1), 1);
    EXPECT_EQ(body, "late");
    EXPECT_EQ(plat::InFlight::total(), 0u);
    EXPECT_EQ(clock->monotonicMicros() - start, 16667);
}

TEST(HeadlessWait, StalledLoadIsLoggedAndTheRunGoesOn) {
    testsupport::LoopbackServer server;
    server.route("GET", "/hang", {.fault = testsupport::Fault::Stall});
    KTHeadlessDriver driver;
    driver.setPendingWaitLimit(0.3);
    plat::LogCapture capture;
    auto connection = plat::URLConnection::sendAsynchronous(
        plat::URLRequest(server.url("/hang")), [](const std::optional<plat::URLResponse>&, const plat::Bytes&,
                                                  const std::optional<plat::Error>&) {});
    EXPECT_EQ(driver.runFrames(3), 3);
    // One wait ran out; the frames after it did not wait again for the same load.
    std::vector<std::string> lines;
    for (const auto& line : capture.lines())
        if (line.find("KTHeadlessDriver") != std::string::npos) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("1 URL request(s) and 0 web load(s) still pending"), std::string::npos)
        << lines[0];
    connection->cancel();
    EXPECT_EQ(plat::InFlight::total(), 0u);
    server.releaseWaits();
}

// One headless run of a banner page whose image the server holds back 300 ms; the PNG captured at frame 2.
std::string captureSlowImagePage() {
    testsupport::LoopbackServer server;
    server.route("GET", "/ad/img.png",
                 {.status = 200,
                  .headers = {{"Content-Type", "image/png"}},
                  .body = testsupport::solidPng(40, 40, 0, 255, 0),
                  .delaySeconds = 0.3});
    testsupport::TempDir dir;
    KTHeadlessDriver driver;
    KTDriverScript script;
    EXPECT_TRUE(script.parse("2 capture shot.png\n"));
    driver.setScript(std::move(script));
    driver.setCaptureDirectory(dir.path());
    {
        BannerRun run(driver);
        EXPECT_TRUE(run.launched);
        run.banner->loadHTMLString(
            "<html><body style='margin:0;background:#f00'>"
            "<img src='img.png' style='position:absolute;left:100px;top:5px'></body></html>",
            server.url("/ad/index.html"));
        EXPECT_EQ(driver.runFrames(2), 2);
    }
    EXPECT_TRUE(childrenEnded());
    return testsupport::readFile(dir.path() / "shot.png");
}

TEST(HeadlessWait, PageWithASlowImageIsInTheNextCapture) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    std::string bytes = captureSlowImagePage();
    auto shot = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(shot);
    auto rgb = [&](int x, int y) {
        const uint8_t* p = shot->pixels.data() + (size_t(y) * shot->width + x) * 4;
        return std::vector<int>{p[0], p[1], p[2]};
    };
    // Surface pixels are points times two.
    EXPECT_EQ(rgb(20, 1050), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(240, 1060), (std::vector<int>{0, 255, 0}));
    // A second run captures the very same picture.
    EXPECT_TRUE(captureSlowImagePage() == bytes);
}

namespace {

struct LinkRecorder : plat::WebViewDelegate {
    std::vector<std::pair<std::string, int>> asked;
    bool webViewShouldStartLoadWithRequest(plat::WebView&, const plat::URLRequest& request,
                                           plat::WebViewNavigationType type) override {
        asked.emplace_back(request.url(), static_cast<int>(type));
        return type != plat::WebViewNavigationType::LinkClicked;
    }
};

}  // namespace

// A scripted tap on a link of a banner page, at two pixels per point: the tap beside the link clicks
// nothing, the tap on it is a link click, refused, so no request for it reaches the server.
TEST(HeadlessWait, ScriptedTapOnALinkIsALinkClick) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    testsupport::LoopbackServer server;
    server.route("GET", "/ad/go", {.status = 200, .body = "gone"});
    KTHeadlessDriver driver;
    KTDriverScript script;
    // The link covers points (150, 528) to (190, 558) of the window: pixels (300, 1056) to (380, 1116).
    ASSERT_TRUE(
        script.parse("3 touch down 260 1080\n4 touch up 260 1080\n"
                     "8 touch down 340 1080\n9 touch up 340 1080\n"));
    driver.setScript(std::move(script));
    auto recorder = std::make_shared<LinkRecorder>();
    {
        BannerRun run(driver);
        ASSERT_TRUE(run.launched);
        run.banner->setDelegate(recorder);
        run.banner->loadHTMLString(
            "<html><body style='margin:0'><a href='go' style='position:absolute;"
            "left:150px;top:10px;width:40px;height:30px;background:#0f0'></a></body></html>",
            server.url("/ad/index.html"));
        EXPECT_EQ(driver.runFrames(6), 6);
        // The page hears the tap in its own process: wait for its answer, bounded.
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < until) {
            plat::RunLoop::main().runOnce(0.01);
            plat::WebView::pumpEngine();
        }
        EXPECT_EQ(recorder->asked.size(), 1u) << "only the initial load before the tap on the link";
        EXPECT_EQ(driver.runFrames(4), 4);
        until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (recorder->asked.size() < 2 && std::chrono::steady_clock::now() < until) {
            plat::RunLoop::main().runOnce(0.01);
            plat::WebView::pumpEngine();
        }
        ASSERT_EQ(recorder->asked.size(), 2u);
        EXPECT_EQ(recorder->asked[1], std::make_pair(server.url("/ad/go"), 0));
    }
    EXPECT_TRUE(childrenEnded());
    EXPECT_TRUE(server.requestsTo("/ad/go").empty());
}

// A page whose image never comes holds its load open: the run waits up to the limit, says so once, and
// goes on.
TEST(HeadlessWait, StalledPageIsLoggedAndTheRunGoesOn) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    testsupport::LoopbackServer server;
    server.route("GET", "/ad/img.png", {.fault = testsupport::Fault::Stall});
    KTHeadlessDriver driver;
    driver.setPendingWaitLimit(0.5);
    plat::LogCapture capture;
    {
        BannerRun run(driver);
        ASSERT_TRUE(run.launched);
        run.banner->loadHTMLString("<html><body><img src='img.png'></body></html>",
                                   server.url("/ad/index.html"));
        EXPECT_EQ(driver.runFrames(3), 3);
        run.banner->stopLoading();
    }
    server.releaseWaits();
    EXPECT_TRUE(childrenEnded());
    std::vector<std::string> lines;
    for (const auto& line : capture.lines())
        if (line.find("KTHeadlessDriver") != std::string::npos) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("0 URL request(s) and 1 web load(s) still pending"), std::string::npos)
        << lines[0];
    EXPECT_EQ(plat::InFlight::total(), 0u);
}
