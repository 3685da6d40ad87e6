// The HTML ad adapter on the real web engine with the loopback kit standing in for the ad server:
// placeholders, reports, the blank test on rendered pages, and where taps and navigations go.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "AdsTestSupport.h"
#include "ads/adapters/ZIZRadWebView.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ZividedirBaseView.h"
#include "platform/base/Log.h"
#include "platform/net/InFlight.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WebTestSupport.h"

using testsupport::pumpWebUntil;

namespace {

class Parent : public ZividedirBaseView {
  public:
    void loadFinish() override { ++finished; }
    void loadFailed() override { ++failed; }
    int finished = 0;
    int failed = 0;
};

struct HtmlAdapterTest : ::testing::Test {
    HtmlAdapterTest() {
        for (auto kind :
             {ADFREndpoints::Kind::Impression, ADFREndpoints::Kind::ClickApi, ADFREndpoints::Kind::SiteRoot})
            ADFREndpoints::setEndpoint(kind, {"http", "127.0.0.1", server.port()});
        server.route("GET", "/zividedir/api/rec-impression", testsupport::Answer{.body = "ok"});
        server.route("GET", "/landing",
                     testsupport::Answer{.headers = {{"Content-Type", "text/html"}},
                                         .body = "<html><body>landing</body></html>"});
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    }
    ~HtmlAdapterTest() override {
        window.reset();
        EXPECT_EQ(plat::WebView::liveCount(), 0u);
        EXPECT_TRUE(pumpWebUntil([] { return testsupport::liveChildren().empty(); }));
    }

    std::shared_ptr<ZIZRadWebView> make(const std::string& html, const std::string& key = "1",
                                        plat::Rect frame = {0, 0, 320, 50}) {
        auto adapter = std::make_shared<ZIZRadWebView>(frame);
        plat::Value::Dictionary settings{{"appId", "A"},
                                         {"userAdId", "U"},
                                         {"loadHtml", plat::Value(html)},
                                         {"adnetworkKey", plat::Value(key)}};
        adapter->setting(settings);
        window->addSubview(adapter);
        return adapter;
    }
    // Loaded, and its first frame came.
    bool loaded(ZIZRadWebView& adapter) {
        return pumpWebUntil([&] {
            return adapter.mainPictureKnown() && adapter.webView()->framesDelivered() > 0 &&
                   plat::InFlight::count(plat::InFlightKind::WebLoad) == 0;
        });
    }
    // Loaded, and a frame of the finished page came: the engine runs the second of two animation frames
    // only once the frame painted after the first has been delivered.
    bool painted(ZIZRadWebView& adapter) {
        if (!loaded(adapter)) return false;
        evaluate(adapter,
                 "requestAnimationFrame(() => requestAnimationFrame(() => { window.painted = 1; })); 0");
        return pumpWebUntil([&] { return evaluate(adapter, "window.painted === 1 ? 'y' : 'n'") == "y"; });
    }
    std::string evaluate(ZIZRadWebView& adapter, const std::string& script) {
        return testsupport::evaluate(*adapter.webView(), script);
    }
    void tap(plat::Point at) {
        window->sendTouch(plat::Touch::Phase::Began, 1, at);
        window->sendTouch(plat::Touch::Phase::Ended, 1, at);
    }

    adstest::ScopedLanguage language{"en_US.UTF-8"};
    testsupport::TempHome home;
    testsupport::LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::shared_ptr<plat::Window> window;
};

const char* kLinkPage =
    "<html><body style='margin:0;background:#123456'><a id='l' href='/landing' "
    "style='display:block;width:320px;height:50px'>go</a></body></html>";
constexpr int kScripted = int(plat::WebViewNavigationType::Other);

}  // namespace

TEST_F(HtmlAdapterTest, PlaceholdersAreReplacedAndTheImpressionIsReported) {
    plat::Bundle::setMainInfoValue(plat::Bundle::kIdentifierKey, "jp.example.potemaru");
    auto adapter = make("<html><body><p id='p'>[ZIZ_IDFA]|[ZIZ_PACKAGE]|[ZIZ_IDFA]</p></body></html>");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_EQ(evaluate(*adapter, "document.getElementById('p').textContent"), "|jp.example.potemaru|");
    EXPECT_EQ(evaluate(*adapter, "document.baseURI"), server.url("/"));
    {
        adstest::ScopedIdProvider id(true, "6D92078A-8246-4BA4-AE5B-76104861E7DC");
        EXPECT_EQ(ZIZRadWebView::substitutePlaceholders("[ZIZ_IDFA]"),
                  "6D92078A-8246-4BA4-AE5B-76104861E7DC");
    }
    EXPECT_EQ(ZIZRadWebView::substitutePlaceholders("<b>plain</b>"), "<b>plain</b>");
    plat::Bundle::resetMainInfoValues();

    adapter->postAdDisplayed();
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return server.requestCount() == 1; }));
    auto reports = server.requestsTo("/zividedir/api/rec-impression");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].query, "app_id=A&user_ad_id=U&uid=&locale=en");
    EXPECT_EQ(adapter->finishCnt(), 1);
}

TEST_F(HtmlAdapterTest, WithoutTheSiteConfiguredTheAdPageHasNoBaseThatLeadsAnywhere) {
    plat::Endpoints::shared().removeOverride(ADFREndpoints::name(ADFREndpoints::Kind::SiteRoot));
    auto adapter = make("<html><body>ad</body></html>");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_EQ(evaluate(*adapter, "document.baseURI"), "about:blank");
    EXPECT_FALSE(adapter->shouldStartLoad(ADFREndpoints::url(ADFREndpoints::Kind::SiteRoot, "/"), kScripted));
}

TEST_F(HtmlAdapterTest, NoImpressionWithoutAUserAdId) {
    auto adapter = std::make_shared<ZIZRadWebView>(plat::Rect{0, 0, 320, 50});
    adapter->setting(plat::Value::Dictionary{{"appId", "A"}});
    adapter->postAdDisplayed();
    testsupport::runMainLoopFor(0.2);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(HtmlAdapterTest, BlankTestOnRenderedPages) {
    auto uniform = make("<html><body style='margin:0;background:#3366cc'></body></html>");
    uniform->loadAd();
    // One pixel column at x = 7 in another colour, over the whole height.
    auto marked = make(
        "<html><body style='margin:0;background:#3366cc'><div style='position:absolute;left:7px;top:0;"
        "width:1px;height:50px;background:#ff0000'></div></body></html>");
    marked->loadAd();
    // The same mark just left of the first sample after x = 1: between samples, never seen.
    auto unseen = make(
        "<html><body style='margin:0;background:#3366cc'><div style='position:absolute;left:4px;top:0;"
        "width:1px;height:50px;background:#ff0000'></div></body></html>");
    unseen->loadAd();
    auto narrow = make("<html><body style='margin:0;background:#fff'>x</body></html>", "1", {0, 0, 1, 50});
    narrow->loadAd();
    auto seven = make(
        "<html><body style='margin:0;background:#fff'><div style='width:3px;height:50px;"
        "background:#000'></div></body></html>",
        "1", {0, 0, 7, 50});
    seven->loadAd();
    for (auto* a : {uniform.get(), marked.get(), unseen.get(), narrow.get(), seven.get()})
        ASSERT_TRUE(painted(*a));
    EXPECT_FALSE(uniform->checkDisplayAd());
    EXPECT_TRUE(marked->checkDisplayAd());
    EXPECT_FALSE(unseen->checkDisplayAd());
    EXPECT_FALSE(narrow->checkDisplayAd());
    EXPECT_FALSE(seven->checkDisplayAd());
    // The popup's variant never tests pixels.
    auto popup = std::make_shared<ZIZRadWebPopupView>(plat::Rect{0, 0, 300, 250});
    EXPECT_TRUE(popup->checkDisplayAd());

    auto snapshot = marked->getScreenImageView();
    ASSERT_TRUE(snapshot && snapshot->image());
    EXPECT_EQ(snapshot->frame(), (plat::Rect{0, 0, 320, 50}));
    EXPECT_EQ(snapshot->image()->pixelWidth(), 320);
}

TEST_F(HtmlAdapterTest, APageWhosePictureFailedIsBlankWhateverItsPixels) {
    // The mark at x = 7 alone would count as content.
    auto broken = make(
        "<html><body style='margin:0;background:#3366cc'><div style='position:absolute;left:7px;top:0;"
        "width:1px;height:50px;background:#ff0000'></div><img src='/gone.png' width='280' height='50'>"
        "</body></html>");
    broken->loadAd();
    ASSERT_TRUE(painted(*broken));
    EXPECT_TRUE(broken->mainPictureFailed());
    EXPECT_FALSE(broken->checkDisplayAd());
}

TEST(HtmlAdapterBlankTest, SamplesTheMiddleRowOnWholePixels) {
    // 13 x 3: row 1 is the middle; samples at x = 1 and 7.
    std::vector<uint8_t> pixels(13 * 3 * 4, 0);
    EXPECT_FALSE(ZIZRadWebView::sampledRowHasContent(pixels.data(), 13, 3));
    pixels[(1 * 13 + 7) * 4 + 2] = 1;  // one byte of the pixel at x = 7, middle row
    EXPECT_TRUE(ZIZRadWebView::sampledRowHasContent(pixels.data(), 13, 3));
    pixels[(1 * 13 + 7) * 4 + 2] = 0;
    pixels[(0 * 13 + 7) * 4] = 9;  // other rows are not looked at
    pixels[(1 * 13 + 4) * 4] = 9;  // nor pixels between samples
    EXPECT_FALSE(ZIZRadWebView::sampledRowHasContent(pixels.data(), 13, 3));
    // 13 x 4: the middle row is row 2.
    std::vector<uint8_t> even(13 * 4 * 4, 0);
    even[(2 * 13 + 13 - 1) * 4] = 5;  // x = 12 is no sample
    even[(2 * 13 + 7) * 4 + 3] = 5;
    EXPECT_TRUE(ZIZRadWebView::sampledRowHasContent(even.data(), 13, 4));
    EXPECT_FALSE(ZIZRadWebView::sampledRowHasContent(even.data(), 1, 4));
    EXPECT_FALSE(ZIZRadWebView::sampledRowHasContent(even.data(), 13, 0));
    EXPECT_FALSE(ZIZRadWebView::sampledRowHasContent(nullptr, 13, 4));
}

TEST_F(HtmlAdapterTest, TouchesBeforeTheLoadMarkNoClick) {
    auto adapter = make("<html><body style='margin:0'>ad</body></html>");
    adapter->loadAd();
    tap({10, 10});
    EXPECT_FALSE(adapter->needsPostAdClicked());
    ASSERT_TRUE(loaded(*adapter));
    tap({400, 10});  // outside
    EXPECT_FALSE(adapter->needsPostAdClicked());
    tap({10, 10});
    EXPECT_TRUE(adapter->needsPostAdClicked());
    // A new load starts over.
    adapter->loadAd();
    EXPECT_FALSE(adapter->needsPostAdClicked());
}

TEST_F(HtmlAdapterTest, TappedLinkReportsTheClickAndOpensOutside) {
    auto adapter = make(kLinkPage);
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    testing::internal::CaptureStdout();
    tap({100, 25});
    bool reported = pumpWebUntil([&] {
        return !server.requestsTo("/zividedir/api/rec-click/app_id/A/user_ad_id/U/uid//locale/en").empty();
    });
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(reported);
    EXPECT_EQ(printed, "open URL: " + server.url("/landing") + "\n");
    EXPECT_TRUE(server.requestsTo("/landing").empty());
}

TEST_F(HtmlAdapterTest, AfterATapKey1060SendsScriptedNavigationsOutside) {
    auto adapter = make("<html><body style='margin:0'>ad</body></html>", "1060");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    tap({10, 10});
    testing::internal::CaptureStdout();
    evaluate(*adapter, "location.href = '/landing'; 'ok'");
    bool reported = pumpWebUntil([&] {
        return server.requestsTo("/zividedir/api/rec-click/app_id/A/user_ad_id/U/uid//locale/en").size() == 1;
    });
    EXPECT_FALSE(adapter->shouldStartLoad("http://elsewhere.invalid/", kScripted));  // not even outside
    EXPECT_TRUE(adapter->shouldStartLoad(server.url("/landing"), kScripted));
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(reported);
    EXPECT_EQ(printed, "open URL: " + server.url("/landing") + "\n");
    EXPECT_TRUE(server.requestsTo("/landing").empty());
}

TEST_F(HtmlAdapterTest, WithoutATapTheScriptCannotLeaveTheAdServer) {
    testsupport::LoopbackServer other;
    other.route("GET", "/elsewhere", testsupport::Answer{.body = "elsewhere"});
    auto adapter = make(kLinkPage, "1");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    const int32_t allowed = adapter->shouldCnt();
    evaluate(*adapter, "location.href = '" + other.url("/elsewhere") + "'; 'ok'");
    evaluate(*adapter, "location.href = '/landing'; 'ok'");
    ASSERT_TRUE(pumpWebUntil([&] { return adapter->finishCnt() == 2; }));
    EXPECT_EQ(adapter->shouldCnt(), allowed + 1);
    EXPECT_EQ(other.requestCount(), 0u);
    EXPECT_EQ(evaluate(*adapter, "document.body.textContent"), "landing");
}

TEST_F(HtmlAdapterTest, AfterATapOtherKeysLoadScriptedNavigationsInside) {
    auto adapter = make("<html><body style='margin:0'>ad</body></html>", "1");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    const int32_t allowed = adapter->shouldCnt();
    tap({10, 10});
    evaluate(*adapter, "location.href = '/landing'; 'ok'");
    ASSERT_TRUE(
        pumpWebUntil([&] { return server.requestsTo("/landing").size() == 1 && adapter->finishCnt() == 2; }));
    EXPECT_EQ(adapter->shouldCnt(), allowed + 1);
    EXPECT_EQ(evaluate(*adapter, "document.body.textContent"), "landing");
    EXPECT_EQ(server.requestCount(), 1u);  // no click report
    // A tap's one way out: a single move off the ad server, and another only after another tap (a fresh
    // one: the first may have lapsed while the page loaded).
    tap({10, 10});
    EXPECT_TRUE(adapter->shouldStartLoad("http://elsewhere.invalid/", kScripted));
    EXPECT_FALSE(adapter->shouldStartLoad("http://elsewhere.invalid/", kScripted));
    tap({10, 10});
    EXPECT_TRUE(adapter->shouldStartLoad("http://elsewhere.invalid/", kScripted));
}

TEST_F(HtmlAdapterTest, ATapsGrantLapsesASecondAfterTheTouchEnds) {
    auto adapter = make("<html><body style='margin:0'>ad</body></html>");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    testsupport::VirtualClockScope clock;
    window->sendTouch(plat::Touch::Phase::Began, 1, {100, 25});
    clock.clock().advance(1.5);  // held down
    window->sendTouch(plat::Touch::Phase::Ended, 1, {100, 25});
    EXPECT_TRUE(adapter->shouldStartLoad("http://elsewhere.invalid/", kScripted));
    tap({100, 25});
    clock.clock().advance(1.5);
    EXPECT_FALSE(adapter->shouldStartLoad("http://elsewhere.invalid/", kScripted));
}

TEST_F(HtmlAdapterTest, ACancelledTouchGrantsNothing) {
    auto adapter = make("<html><body style='margin:0'>ad</body></html>");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    testsupport::VirtualClockScope clock;
    window->sendTouch(plat::Touch::Phase::Began, 1, {100, 25});
    clock.clock().advance(1.5);  // held still, so lapsed
    window->sendTouch(plat::Touch::Phase::Cancelled, 1, {100, 25});
    EXPECT_FALSE(adapter->shouldStartLoad("http://elsewhere.invalid/", kScripted));
}

TEST_F(HtmlAdapterTest, ATapThatNoViewOfTheAdTakesGrantsNothing) {
    auto adapter = make("<html><body style='margin:0'>ad</body></html>", "1060");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    testsupport::VirtualClockScope clock;
    adapter->setHidden(true);
    tap({100, 25});
    adapter->setHidden(false);
    adapter->setUserInteractionEnabled(false);
    tap({100, 25});
    plat::LogCapture log;
    evaluate(*adapter, "location.href = 'http://elsewhere.invalid/'; 'ok'");
    ASSERT_TRUE(pumpWebUntil([&] { return log.contains("without a tap") || server.requestCount() > 0; }));
    EXPECT_EQ(server.requestCount(), 0u);  // no click report
}

TEST_F(HtmlAdapterTest, LongAfterATapThePageCannotLeaveFromInsideThePictureCheck) {
    testsupport::LoopbackServer other;
    // What the adapter's picture check calls takes the page elsewhere.
    const std::string escape = "location.href = '" + other.url("/elsewhere") + "'; return {};";
    server.route(
        "GET", "/next",
        testsupport::Answer{.headers = {{"Content-Type", "text/html"}},
                            .body = "<img><script>Element.prototype.getBoundingClientRect = () => {" +
                                    escape + "};</script>"});
    auto adapter = make("<html><body style='margin:0'>ad</body></html>");
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    testsupport::VirtualClockScope clock;
    tap({100, 25});
    clock.clock().advance(600);
    plat::LogCapture log;
    evaluate(*adapter, "location.href = '/next'; 'ok'");
    ASSERT_TRUE(pumpWebUntil([&] { return log.contains("without a tap") || other.requestCount() > 0; }));
    EXPECT_EQ(other.requestCount(), 0u);
}

TEST_F(HtmlAdapterTest, LoadResultsReachALiveParentOnTheNextTurn) {
    auto parent = std::make_shared<Parent>();
    auto adapter = make("<html><body>ad</body></html>");
    adapter->setParentView(parent);
    adapter->loadAd();
    ASSERT_TRUE(pumpWebUntil([&] { return parent->finished == 1; }));

    // A failed load (a refused connection) is passed on as loadFailed.
    testsupport::RefusedPort refused;
    const int port = refused.port();
    ADFREndpoints::setEndpoint(ADFREndpoints::Kind::SiteRoot, {"http", "127.0.0.1", port});
    adapter->webView()->loadRequest(plat::URLRequest("http://127.0.0.1:" + std::to_string(port) + "/x"));
    ASSERT_TRUE(pumpWebUntil([&] { return parent->failed == 1; }));
    testsupport::runMainLoopFor(0.2);
    ASSERT_EQ(parent->finished, 1);

    // A dropped adapter tells nobody, even with its result already on its way.
    auto dropped = make("<html><body>ad</body></html>");
    dropped->setParentView(parent);
    dropped->loadAd();
    // Only the engine is pumped, so the load's news to the parent is still waiting on the run loop.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!dropped->htmlLoaded() && std::chrono::steady_clock::now() < until) {
        plat::WebView::pumpEngine();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(dropped->htmlLoaded());
    dropped->removeFromSuperview();
    dropped.reset();
    testsupport::runMainLoopFor(0.1);
    EXPECT_EQ(parent->finished, 1);
    // Nor does one that is going (or was never shared) let its page go anywhere.
    ZIZRadWebView unshared({0, 0, 320, 50});
    EXPECT_FALSE(ZIZRadWebDelegate<ZIZRadWebView>(&unshared).webViewShouldStartLoadWithRequest(
        *unshared.webView(), plat::URLRequest(server.url("/")), plat::WebViewNavigationType::Other));
    // And a parent that went away is not called.
    auto orphan = make("<html><body>ad</body></html>");
    {
        auto gone = std::make_shared<Parent>();
        orphan->setParentView(gone);
    }
    orphan->loadAd();
    ASSERT_TRUE(loaded(*orphan));
    EXPECT_EQ(orphan->parentView(), nullptr);
}
