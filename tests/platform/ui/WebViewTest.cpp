// The web view on the real web engine, headless: pages from strings and from the loopback kit, composited
// over a GL frame and read back; navigation decisions, scripts, the user agent and the engine's processes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Log.h"
#include "platform/net/InFlight.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WebTestSupport.h"

using testsupport::Pixel;

namespace {

template <typename Predicate>
bool pumpUntil(Predicate done, double seconds = 20) {
    return testsupport::pumpWebUntil(done, seconds);
}

using testsupport::evaluate;
using testsupport::liveChildren;

struct Recorder : plat::WebViewDelegate {
    std::vector<std::string> events;
    std::vector<std::pair<std::string, int>> asked;
    std::vector<std::string> askedMethods;
    bool refuseLinks = false;
    bool webViewShouldStartLoadWithRequest(plat::WebView&, const plat::URLRequest& request,
                                           plat::WebViewNavigationType type) override {
        asked.emplace_back(request.url(), static_cast<int>(type));
        askedMethods.push_back(request.httpMethod());
        return !(refuseLinks && type == plat::WebViewNavigationType::LinkClicked);
    }
    void webViewDidStartLoad(plat::WebView&) override { events.push_back("start"); }
    void webViewDidFinishLoad(plat::WebView&) override { events.push_back("finish"); }
    void webViewDidFailLoadWithError(plat::WebView&, const plat::Error&) override {
        events.push_back("fail");
    }
    size_t count(const std::string& event) const { return std::count(events.begin(), events.end(), event); }
};

// A 320 x 50 point window shown at two pixels per point.
class WebViewTest : public testsupport::GLTest {
  protected:
    WebViewTest() : GLTest(640, 100) {}
    void SetUp() override {
        GLTest::SetUp();
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 50});
        recorder = std::make_shared<Recorder>();
    }
    void TearDown() override {
        window.reset();
        // The engine's processes and their connections are gone before the next test counts anything.
        EXPECT_EQ(plat::WebView::liveCount(), 0u);
        EXPECT_TRUE(pumpUntil([] { return liveChildren().empty(); }));
        compositor.releaseResources();
        testsupport::resetGLState();
    }

    std::shared_ptr<plat::WebView> makeView() {
        auto view = std::make_shared<plat::WebView>(plat::Rect{0, 0, 320, 50});
        view->setDelegate(recorder);
        window->addSubview(view);
        return view;
    }
    // Waits until the load finished (or failed) and a frame came after it.
    bool settle(plat::WebView&) {
        return pumpUntil([&] {
            return (recorder->count("finish") + recorder->count("fail")) > 0 &&
                   plat::InFlight::count(plat::InFlightKind::WebLoad) == 0;
        });
    }
    // Settled, and the load finished rather than failed: checked before a test uses the page.
    bool loaded(plat::WebView& view) { return settle(view) && recorder->count("fail") == 0; }
    // A blue GL frame with the window over it.
    std::vector<uint8_t> frame() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, 640, 100);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        compositor.composite(*window, 640, 100);
        return readPixels();
    }
    Pixel at(const std::vector<uint8_t>& pixels, double x, double y) {
        return pixel(pixels, int(x * 2), int(y * 2));
    }

    std::shared_ptr<plat::Window> window;
    std::shared_ptr<Recorder> recorder;
    plat::Compositor compositor;
};

TEST_F(WebViewTest, PageWithImageFromTheKitIsComposited) {
    testsupport::LoopbackServer server;
    server.route("GET", "/ads/green.png",
                 {.status = 200,
                  .headers = {{"Content-Type", "image/png"}},
                  .body = testsupport::solidPng(20, 20, 0, 255, 0)});
    auto view = makeView();
    view->loadHTMLString(
        "<html><body style='margin:0;background:#ff0000'>"
        "<img src='green.png' style='position:absolute;left:200px;top:10px;width:20px;height:20px'>"
        "</body></html>",
        server.url("/ads/page.html"));
    ASSERT_TRUE(settle(*view));
    // A settled load has the finished page's frame: no later frame is waited for.
    auto pixels = frame();
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_TRUE(testsupport::near(at(pixels, 10, 10), {255, 0, 0, 255}, 1))
        << ::testing::PrintToString(at(pixels, 10, 10));
    EXPECT_TRUE(testsupport::near(at(pixels, 210, 20), {0, 255, 0, 255}, 1));
    EXPECT_EQ(server.requestsTo("/ads/green.png").size(), 1u);
}

TEST_F(WebViewTest, TransparentPageLeavesTheGLFrameVisible) {
    auto view = makeView();
    view->setBackgroundColor(plat::Color::clearColor());
    view->loadHTMLString(
        "<html><body style='margin:0;background:transparent'>"
        "<div style='width:10px;height:10px;background:#00ff00'></div></body></html>",
        "");
    ASSERT_TRUE(settle(*view));
    ASSERT_TRUE(pumpUntil([&] {
        return testsupport::near(at(frame(), 5, 5), {0, 255, 0, 255}, 1);
    })) << ::testing::PrintToString(at(frame(), 5, 5))
        << ::testing::PrintToString(at(frame(), 100, 30));
    auto pixels = frame();
    EXPECT_TRUE(testsupport::near(at(pixels, 100, 30), {0, 0, 255, 255}, 1))
        << ::testing::PrintToString(at(pixels, 100, 30));
}

TEST_F(WebViewTest, FileBaseResolvesALocalImage) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "dot.png", testsupport::solidPng(20, 20, 255, 255, 0));
    auto view = makeView();
    view->loadHTMLString("<html><body style='margin:0;background:#000'><img src='dot.png'></body></html>",
                         "file://" + (dir.path() / "page.html").string());
    ASSERT_TRUE(settle(*view));
    ASSERT_TRUE(pumpUntil([&] { return testsupport::near(at(frame(), 5, 5), {255, 255, 0, 255}, 1); }));
}

TEST_F(WebViewTest, UserAgentIsTheDefaultOrTheRegisteredOne) {
    testsupport::TempHome home;
    auto view = makeView();
    view->loadHTMLString("<html><body></body></html>", "");
    ASSERT_TRUE(loaded(*view));
    EXPECT_EQ(evaluate(*view, "navigator.userAgent"), plat::WebView::defaultUserAgent());

    plat::UserDefaults::standard()->registerDefaults({{"UserAgent", plat::Value("PotemaruTest/1.0")}});
    EXPECT_EQ(plat::WebView::defaultUserAgent(), "PotemaruTest/1.0");
    recorder->events.clear();
    auto second = makeView();
    second->loadHTMLString("<html><body></body></html>", "");
    ASSERT_TRUE(loaded(*second));
    EXPECT_EQ(evaluate(*second, "navigator.userAgent"), "PotemaruTest/1.0");
}

TEST_F(WebViewTest, NavigationTypesAndARefusedLinkClick) {
    testsupport::LoopbackServer server;
    server.route("GET", "/a",
                 {.status = 200,
                  .headers = {{"Content-Type", "text/html"}},
                  .body = "<html><body><a id='l' href='/b'>b</a>"
                          "<form id='f' action='/c' method='get'></form></body></html>"});
    server.route("GET", "/b", {.status = 200, .headers = {{"Content-Type", "text/html"}}, .body = "b"});
    server.route("GET", "/c", {.status = 200, .headers = {{"Content-Type", "text/html"}}, .body = "c"});
    auto view = makeView();
    view->loadRequest(plat::URLRequest(server.url("/a")));
    ASSERT_TRUE(loaded(*view));
    ASSERT_FALSE(recorder->asked.empty());
    EXPECT_EQ(recorder->asked.back(), std::make_pair(server.url("/a"), 5));

    recorder->refuseLinks = true;
    recorder->asked.clear();
    evaluate(*view, "document.getElementById('l').click(); 'ok'");
    ASSERT_TRUE(pumpUntil([&] { return !recorder->asked.empty(); }));
    EXPECT_EQ(recorder->asked.back(), std::make_pair(server.url("/b"), 0));

    recorder->asked.clear();
    recorder->events.clear();
    evaluate(*view, "document.getElementById('f').submit(); 'ok'");
    ASSERT_TRUE(pumpUntil([&] { return !recorder->asked.empty(); }));
    EXPECT_EQ(recorder->asked.back().second, 1);
    ASSERT_TRUE(loaded(*view));

    recorder->asked.clear();
    recorder->events.clear();
    view->goBack();
    ASSERT_TRUE(pumpUntil([&] { return !recorder->asked.empty(); }));
    EXPECT_EQ(recorder->asked.back().second, 2);
    ASSERT_TRUE(loaded(*view));

    recorder->asked.clear();
    recorder->events.clear();
    view->reload();
    ASSERT_TRUE(pumpUntil([&] { return !recorder->asked.empty(); }));
    EXPECT_EQ(recorder->asked.back().second, 3);
    ASSERT_TRUE(settle(*view));
    EXPECT_TRUE(server.requestsTo("/b").empty());
}

TEST_F(WebViewTest, TappedLinkIsALinkClick) {
    testsupport::LoopbackServer server;
    server.route("GET", "/b", {.status = 200, .headers = {{"Content-Type", "text/html"}}, .body = "b"});
    auto view = makeView();
    recorder->refuseLinks = true;
    view->loadHTMLString(
        "<html><body style='margin:0'><a href='/b' style='display:block;width:320px;"
        "height:50px'>link</a></body></html>",
        server.url("/"));
    ASSERT_TRUE(loaded(*view));
    ASSERT_TRUE(pumpUntil([&] { return view->framesDelivered() > 0; }));
    recorder->asked.clear();
    auto touch = std::make_shared<plat::Touch>(1, plat::Point{100, 25}, 0);
    touch->setView(view);
    plat::Event event;
    event.allTouches = {touch};
    view->touchesBegan({touch}, event);
    touch->update(plat::Touch::Phase::Ended, {100, 25}, 0.05);
    view->touchesEnded({touch}, event);
    ASSERT_TRUE(pumpUntil([&] { return !recorder->asked.empty(); }));
    EXPECT_EQ(recorder->asked.back(), std::make_pair(server.url("/b"), 0));
    EXPECT_TRUE(server.requestsTo("/b").empty());
}

// A tapped image in a link aimed at another window ("_blank") is a link click too; allowed, it loads in
// this view, which has no other windows.
TEST_F(WebViewTest, TappedImageLinkToANewWindowIsALinkClickThatLoadsHere) {
    testsupport::LoopbackServer server;
    server.route("GET", "/b", {.status = 200, .headers = {{"Content-Type", "text/html"}}, .body = "b"});
    server.route("GET", "/i.svg",
                 {.headers = {{"Content-Type", "image/svg+xml"}},
                  .body = "<svg xmlns='http://www.w3.org/2000/svg' width='320' height='50'>"
                          "<rect width='320' height='50' fill='#00ff00'/></svg>"});
    auto view = makeView();
    view->loadHTMLString(
        "<html><head><base target='_blank'></head><body style='margin:0'><a href='/b'>"
        "<img src='/i.svg' width='100%'></a></body></html>",
        server.url("/"));
    ASSERT_TRUE(loaded(*view));
    ASSERT_TRUE(
        pumpUntil([&] { return view->framesDelivered() > 0 && !server.requestsTo("/i.svg").empty(); }));
    ASSERT_TRUE(testsupport::imagesLaidOut(*view));
    ASSERT_EQ(evaluate(*view, "document.images[0].height"), "50");
    recorder->asked.clear();
    auto touch = std::make_shared<plat::Touch>(1, plat::Point{100, 20}, 0);
    touch->setView(view);
    plat::Event event;
    event.allTouches = {touch};
    view->touchesBegan({touch}, event);
    touch->update(plat::Touch::Phase::Ended, {100, 20}, 0.05);
    view->touchesEnded({touch}, event);
    ASSERT_TRUE(pumpUntil([&] { return server.requestsTo("/b").size() == 1; }));
    ASSERT_FALSE(recorder->asked.empty());
    EXPECT_EQ(recorder->asked.front(), std::make_pair(server.url("/b"), 0));
    EXPECT_EQ(plat::WebView::liveCount(), 1u);
}

TEST_F(WebViewTest, RefusedConnectionFails) {
    testsupport::RefusedPort refused;
    const int port = refused.port();
    auto view = makeView();
    view->loadRequest(plat::URLRequest("http://127.0.0.1:" + std::to_string(port) + "/x"));
    ASSERT_TRUE(settle(*view));
    // No error page follows as a finished load.
    pumpUntil([] { return false; }, 0.5);
    EXPECT_EQ(recorder->count("fail"), 1u);
    EXPECT_EQ(recorder->count("finish"), 0u);
}

TEST_F(WebViewTest, AWebProcessThatDiesDuringALoadIsReplacedOnceThenTheLoadFails) {
    testsupport::LoopbackServer server;
    server.route("GET", "/page", testsupport::Answer{.fault = testsupport::Fault::Stall});
    auto view = makeView();
    view->loadRequest(plat::URLRequest(server.url("/page")));
    ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1 && !liveChildren().empty(); }));
    ASSERT_EQ(testsupport::killChildren("WPEWebProcess"), 1);
    // Loaded again in a new web process, which this time gets its page.
    server.route("GET", "/page", testsupport::Answer{.body = "<html><body>again</body></html>"});
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(recorder->count("finish"), 1u);
    EXPECT_EQ(recorder->count("fail"), 0u);
    EXPECT_GE(server.requestCount(), 2u);

    // Dying twice in one load fails it, once.
    recorder->events.clear();
    server.route("GET", "/page", testsupport::Answer{.fault = testsupport::Fault::Stall});
    const size_t before = server.requestCount();
    view->loadRequest(plat::URLRequest(server.url("/page")));
    for (size_t round = 1; round <= 2; ++round) {
        ASSERT_TRUE(pumpUntil([&] {
            return server.requestCount() == before + round && testsupport::killChildren("WPEWebProcess") == 1;
        }));
    }
    ASSERT_TRUE(settle(*view));
    pumpUntil([] { return false; }, 0.3);
    EXPECT_EQ(recorder->count("fail"), 1u);
    server.releaseWaits();
}

// A view made just after the web process it is to share with a related view has ended hears of that end
// in its own making, before anything owns it; it used to throw std::bad_weak_ptr there, ending the program.
TEST_F(WebViewTest, AViewMadeAsTheWebProcessItSharesEndsIsMadeAllTheSame) {
    auto first = makeView();
    first->loadHTMLString("<html><body>1</body></html>", "http://127.0.0.1/");
    ASSERT_TRUE(loaded(*first));
    plat::LogCapture log;
    ASSERT_EQ(testsupport::killChildren("WPEWebProcess"), 1);
    // Until the end is told, the engine runs only inside the making of new views.
    std::vector<std::shared_ptr<plat::WebView>> made;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!log.contains("the web process crashed") && std::chrono::steady_clock::now() < limit) {
        made.push_back(makeView());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(log.contains("the web process crashed"));
}

TEST_F(WebViewTest, TwoViewsShareOneWebProcessAndNoneIsLeftAfter) {
    {
        auto first = makeView();
        auto second = makeView();
        first->loadHTMLString("<html><body>1</body></html>", "http://127.0.0.1/");
        second->loadHTMLString("<html><body>2</body></html>", "http://127.0.0.1/");
        ASSERT_TRUE(pumpUntil([&] { return recorder->count("finish") == 2; }));
        auto children = liveChildren();
        EXPECT_EQ(std::count(children.begin(), children.end(), std::string("WPEWebProcess")), 1)
            << ::testing::PrintToString(children);
        first->removeFromSuperview();
        second->removeFromSuperview();
    }
    EXPECT_EQ(plat::WebView::liveCount(), 0u);
    EXPECT_TRUE(pumpUntil([] { return liveChildren().empty(); }, 20))
        << ::testing::PrintToString(liveChildren());
}

TEST_F(WebViewTest, TheWebProcessHasNamespacesOfItsOwnWhenTheSandboxStarts) {
    auto view = makeView();
    view->loadHTMLString("<html><body>boxed</body></html>", "http://127.0.0.1/");
    ASSERT_TRUE(settle(*view));
    auto web = testsupport::livePids("WPEWebProcess");
    ASSERT_EQ(web.size(), 1u);
    for (const std::string kind : {"mnt", "pid", "net", "uts"}) {
        std::error_code ec;
        auto own = std::filesystem::read_symlink("/proc/" + std::to_string(web[0]) + "/ns/" + kind, ec);
        EXPECT_EQ(own != std::filesystem::read_symlink("/proc/self/ns/" + kind, ec),
                  plat::WebView::engineSandboxed())
            << kind;
    }
}

// Where no accessibility bus can be found, the engine would say so on standard error at its first page.
TEST_F(WebViewTest, APageOnAConsoleLoadsWithoutALineAboutTheAccessibilityBus) {
    testsupport::TempDir dir;
    const auto page = testsupport::programPath("platform_web_page_on_a_console");
    EXPECT_EQ(testsupport::runProgram(page, {(dir.path() / "home").string(), (dir.path() / "err").string()}),
              0);
    EXPECT_EQ(testsupport::readFile(dir.path() / "err").find("accessibility"), std::string::npos);
}

// Short of descriptors, the engine's start is refused with one line instead of ending the program.
TEST_F(WebViewTest, AnEngineShortOfDescriptorsIsNotStartedAndSaysSo) {
    testsupport::TempDir dir;
    const auto page = testsupport::programPath("platform_web_page_on_a_console");
    EXPECT_EQ(
        testsupport::runProgram("/bin/sh", {"-c", "ulimit -n 24 && exec \"$0\" \"$@\"", page,
                                            (dir.path() / "home").string(), (dir.path() / "err").string()}),
        4);
    EXPECT_NE(testsupport::readFile(dir.path() / "err").find("WebView: the web engine cannot start"),
              std::string::npos);
}

TEST_F(WebViewTest, AnimatedPageIsPacedByTheGameFrames) {
    testsupport::VirtualClockScope time;
    auto view = makeView();
    view->loadHTMLString(
        "<html><head><style>@keyframes m{from{margin-left:0}to{margin-left:300px}}"
        "div{width:10px;height:10px;background:red;animation:m 1s infinite linear}"
        "</style></head><body><div></div></body></html>",
        "");
    // The clock stands still here: frames are acknowledged by hand, as the headless driver does.
    ASSERT_TRUE(pumpUntil([&] {
        plat::WebView::acknowledgeFrames();
        return recorder->count("finish") > 0 && plat::InFlight::count(plat::InFlightKind::WebLoad) == 0;
    }));
    for (int i = 0; i < 20; ++i) {
        const uint64_t before = view->framesDelivered();
        time.clock().advance(1.0 / 60);
        ASSERT_TRUE(pumpUntil([&] { return view->framesDelivered() > before; })) << i;
    }
    // Real time goes on with the clock standing still: the page gets no further than the frame it drew.
    const uint64_t held = view->framesDelivered();
    testsupport::pumpWebUntil([] { return false; }, 0.2);
    EXPECT_LE(view->framesDelivered() - held, 1u);
}

TEST_F(WebViewTest, AStillPageSettlesWhileTheVirtualClockStandsStill) {
    // A headless run moves its clock only once loads have settled. This page draws at once, then ends
    // its load when a hidden picture held back until then arrives, with nothing new to draw: its last
    // frame came before the engine said the load finished, and the load must settle all the same.
    testsupport::LoopbackServer server;
    server.route("GET", "/late.png",
                 {.status = 200,
                  .headers = {{"Content-Type", "image/png"}},
                  .body = testsupport::solidPng(4, 4, 0, 0, 255),
                  .delaySeconds = 20});  // until released
    testsupport::VirtualClockScope time;
    const int64_t start = time.clock().monotonicMicros();
    auto view = makeView();
    view->loadHTMLString("<html><body style='background:#0f0'><img src='" + server.url("/late.png") +
                             "' style='display:none'></body></html>",
                         "");
    // Frames are acknowledged by hand, as the headless driver does while it waits.
    ASSERT_TRUE(pumpUntil([&] {
        plat::WebView::acknowledgeFrames();
        return server.requestCount() == 1 && testsupport::near(at(frame(), 10, 10), {0, 255, 0, 255}, 1);
    }));
    EXPECT_EQ(recorder->count("finish"), 0u);
    server.releaseWaits();
    ASSERT_TRUE(pumpUntil(
        [&] {
            plat::WebView::acknowledgeFrames();
            return recorder->count("finish") == 1 && plat::InFlight::count(plat::InFlightKind::WebLoad) == 0;
        },
        15));
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(time.clock().monotonicMicros(), start);  // nothing here moved it
}

}  // namespace

namespace {

const testsupport::HeaderList kHtml = {{"Content-Type", "text/html; charset=utf-8"}};

TEST_F(WebViewTest, RequestCarriesItsMethodHeadersAndBody) {
    testsupport::LoopbackServer server;
    server.route("POST", "/offers",
                 {.status = 200, .headers = kHtml, .body = "<html><body>posted</body></html>"});
    server.route("GET", "/list", {.status = 200, .headers = kHtml, .body = "<html><body>got</body></html>"});
    auto view = makeView();

    plat::URLRequest post(server.url("/offers"));
    post.setHTTPMethod("POST");
    post.setValue("application/json", "Content-Type");
    post.setValue("8CHK.A/test", "User-Agent");
    post.setHTTPBody(std::string_view("{\"page\":1}"));
    view->loadRequest(post);
    EXPECT_TRUE(view->isLoading());
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "finish"}));
    // Asked once, with the request as given.
    ASSERT_EQ(recorder->asked.size(), 1u);
    EXPECT_EQ(recorder->asked[0], std::make_pair(server.url("/offers"), 5));
    EXPECT_EQ(recorder->askedMethods[0], "POST");
    auto posts = server.requestsTo("/offers");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].method, "POST");
    EXPECT_EQ(posts[0].body, "{\"page\":1}");
    EXPECT_EQ(posts[0].header("Content-Type"), "application/json");
    EXPECT_EQ(posts[0].header("User-Agent"), "8CHK.A/test");
    EXPECT_EQ(evaluate(*view, "document.body.textContent"), "posted");
    EXPECT_EQ(view->url(), server.url("/offers"));

    // A plain GET goes through the engine itself, with the request's header fields.
    recorder->events.clear();
    plat::URLRequest get(server.url("/list"));
    get.setValue("yes", "X-Wall");
    view->loadRequest(get);
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "finish"}));
    auto gets = server.requestsTo("/list");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].header("X-Wall"), "yes");
    EXPECT_EQ(evaluate(*view, "document.body.textContent"), "got");
}

TEST_F(WebViewTest, AnAddressWithANonAsciiLetterReachesTheServerAsItsBytes) {
    testsupport::LoopbackServer server;
    server.route("GET", "/ゲーム ä", {.status = 200, .headers = kHtml, .body = "here"});
    auto view = makeView();
    view->loadRequest(plat::URLRequest(server.url("/ゲーム ä")));
    ASSERT_TRUE(loaded(*view));
    EXPECT_EQ(server.requestsTo("/ゲーム ä").size(), 1u);
    EXPECT_EQ(view->url(), server.url("/%E3%82%B2%E3%83%BC%E3%83%A0%20%C3%A4"));
}

TEST_F(WebViewTest, RefusedOrFailedPostIsToldOnce) {
    testsupport::RefusedPort refused;
    const int port = refused.port();
    auto view = makeView();
    plat::URLRequest post("http://127.0.0.1:" + std::to_string(port) + "/x");
    post.setHTTPMethod("POST");
    post.setHTTPBody(std::string_view("a=1"));
    view->loadRequest(post);
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "fail"}));
    EXPECT_FALSE(view->isLoading());

    // Refused by the delegate: nothing is sent and nothing stays in flight.
    struct Refuser : plat::WebViewDelegate {
        int asked = 0;
        bool webViewShouldStartLoadWithRequest(plat::WebView&, const plat::URLRequest&,
                                               plat::WebViewNavigationType) override {
            ++asked;
            return false;
        }
    };
    testsupport::LoopbackServer server;
    auto refuser = std::make_shared<Refuser>();
    view->setDelegate(refuser);
    post.setURL(server.url("/x"));
    view->loadRequest(post);
    EXPECT_EQ(refuser->asked, 1);
    EXPECT_EQ(plat::InFlight::count(plat::InFlightKind::WebLoad), 0u);
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(WebViewTest, ReloadOfAPostedFormIsAResubmission) {
    testsupport::LoopbackServer server;
    server.route("GET", "/a",
                 {.status = 200,
                  .headers = kHtml,
                  .body = "<html><body><form id='f' action='/c' method='post'>"
                          "<input name='k' value='v'></form></body></html>"});
    server.route("POST", "/c", {.status = 200, .headers = kHtml, .body = "c"});
    auto view = makeView();
    view->loadRequest(plat::URLRequest(server.url("/a")));
    ASSERT_TRUE(loaded(*view));

    recorder->asked.clear();
    recorder->events.clear();
    evaluate(*view, "document.getElementById('f').submit(); 'ok'");
    ASSERT_TRUE(pumpUntil([&] { return !recorder->asked.empty(); }));
    EXPECT_EQ(recorder->asked.back(), std::make_pair(server.url("/c"), 1));
    EXPECT_EQ(recorder->askedMethods.back(), "POST");
    ASSERT_TRUE(loaded(*view));

    recorder->asked.clear();
    recorder->events.clear();
    view->reload();
    ASSERT_TRUE(pumpUntil([&] { return !recorder->asked.empty(); }));
    EXPECT_EQ(recorder->asked.back(), std::make_pair(server.url("/c"), 4));
    ASSERT_TRUE(settle(*view));
    auto posts = server.requestsTo("/c");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[1].body, "k=v");
}

// The proxy is a loopback kit too: a page on another host comes through it, loopback never does.
TEST_F(WebViewTest, ProxyCarriesOtherHostsButNeverLoopback) {
    testsupport::LoopbackServer proxy;
    testsupport::LoopbackServer direct;
    proxy.route("GET", "http://ads.invalid/page",
                {.status = 200, .headers = kHtml, .body = "<html><body>proxied</body></html>"});
    direct.route("GET", "/page",
                 {.status = 200, .headers = kHtml, .body = "<html><body>direct</body></html>"});
    const std::string proxyURL = proxy.url("/");
    testsupport::EnvScope env({{"http_proxy", proxyURL.c_str()}, {"no_proxy", "skip.invalid"}});
    // One view per site: a view that moves to another site changes web process, which this test does not
    // need.
    {
        auto view = makeView();
        view->loadRequest(plat::URLRequest(direct.url("/page")));
        ASSERT_TRUE(loaded(*view));
        EXPECT_EQ(evaluate(*view, "document.body.textContent"), "direct");
        view->removeFromSuperview();
    }
    EXPECT_EQ(direct.requestsTo("/page").size(), 1u);
    EXPECT_EQ(proxy.requestCount(), 0u);

    recorder->events.clear();
    auto view = makeView();
    view->loadRequest(plat::URLRequest("http://ads.invalid/page"));
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(evaluate(*view, "document.body.textContent"), "proxied");
    ASSERT_EQ(proxy.requestCount(), 1u);
    EXPECT_EQ(proxy.requests()[0].header("Host"), "ads.invalid");
}

}  // namespace
