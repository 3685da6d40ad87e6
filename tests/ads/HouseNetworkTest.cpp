// The house network's adapter at the loopback kit: the getad request, the page and its signed landing
// link, the impression to the item's own URL after display (also when shown before the item came), and
// the signed click report.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "AdsTestSupport.h"
#include "ads/ZividedirView.h"
#include "ads/adapters/ADFRTjkAdnetworkView.h"
#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRMessageDigestUtil.h"
#include "ads/base/ADFRWorkQueues.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Device.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WebTestSupport.h"

using testsupport::Answer;
using testsupport::runMainLoopUntil;

namespace {

constexpr const char* kIdfa = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
constexpr const char* kClickPath = "/zividedir/api/rec-click/app_id/A/user_ad_id/U/uid/";

struct Tapped : ZividedirViewDelegate {
    void zividedirViewAdTapped(const std::shared_ptr<ZividedirView>&) override { ++taps; }
    int taps = 0;
};

struct HouseNetworkTest : ::testing::Test {
    HouseNetworkTest() {
        for (auto kind : {ADFREndpoints::Kind::HouseNetwork, ADFREndpoints::Kind::ClickApi,
                          ADFREndpoints::Kind::SiteRoot, ADFREndpoints::Kind::Impression})
            ADFREndpoints::setEndpoint(kind, {"http", "127.0.0.1", server.port()});
        server.route("GET", "/imp", Answer{.body = "ok"});
        server.route("GET", "/zividedir/api/rec-click", Answer{.body = "ok"});
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    }
    ~HouseNetworkTest() override {
        // The impression worker may still hold an adapter; it hands it back to the main loop.
        ADFRWorkQueues::shutdown();
        plat::RunLoop::main().runOnce(0);
        window.reset();
        EXPECT_EQ(plat::WebView::liveCount(), 0u);
        EXPECT_TRUE(testsupport::pumpWebUntil([] { return testsupport::liveChildren().empty(); }));
    }

    void serve(const std::string& item, double delay = 0) {
        server.route("GET", "/zividedirpr/api/getad",
                     Answer{.body = R"({"item": [)" + item + "]}", .delaySeconds = delay});
    }
    std::string item(const std::string& extra = "") const {
        return R"({"id": "P", "url": "http://land.example/x", "bnr_url": "http://img.example/b.png",
                   "mov_url": "http://img.example/m.gif", "imp_url": ")" +
               server.url("/imp") + R"(?u=[ZIZ_IDFA]")" + extra + "}";
    }
    std::shared_ptr<ADFRTjkAdnetworkView> make(bool withUserAdId = true) {
        auto adapter = std::make_shared<ADFRTjkAdnetworkView>(plat::Rect{0, 0, 320, 50});
        plat::Value::Dictionary settings{{"appId", "A"}, {"adnetworkKey", "8888"}, {"loadHtml", ""}};
        if (withUserAdId) settings.set("userAdId", plat::Value("U"));
        adapter->setting(settings);
        adapter->setDelegate(tapped);
        window->addSubview(adapter);
        return adapter;
    }
    bool loaded(ADFRTjkAdnetworkView& adapter) {
        return runMainLoopUntil([&] { return !adapter.loadCheckFlg(); });
    }
    static std::string adfk(const std::string& paid) {
        return ADFRMessageDigestUtil::md5WithString(paid + "_A_" + kIdfa);
    }

    adstest::ScopedLanguage language{"en_US.UTF-8"};
    testsupport::TempHome home;
    testsupport::LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::shared_ptr<Tapped> tapped = std::make_shared<Tapped>();
    std::shared_ptr<plat::Window> window;
};

}  // namespace

TEST_F(HouseNetworkTest, OneGetadForTwoLoadsAndThePageLinksTheSignedLanding) {
    adstest::ScopedIdProvider id(true, kIdfa);
    serve(item());
    auto adapter = make();
    adapter->loadAd();
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    auto getads = server.requestsTo("/zividedirpr/api/getad");
    ASSERT_EQ(getads.size(), 1u);
    EXPECT_EQ(getads[0].query, "aid=A&sdk=2.7.0&lang=en_US&mode=2&lim=1");
    EXPECT_EQ(getads[0].header("User-Agent"),
              "adfsdk;os ios;osv " + plat::Device::current().systemVersion() + ";");
    EXPECT_TRUE(adapter->loadedFlg());
    const std::string landing = "http://land.example/x?adfk=" + adfk("P") + "&aid=A&paid=P&uid=" + kIdfa;
    EXPECT_EQ(adapter->url(), landing);
    EXPECT_EQ(adapter->htmlTag(), ADFRTjkAdnetworkView::pageHtml(landing, "http://img.example/b.png"));
    EXPECT_EQ(adapter->loadHtml(), adapter->htmlTag());
    EXPECT_EQ(adapter->clkUrl(),
              server.url("/zividedir/api/rec-click/app_id/A/user_ad_id/U/uid/") + kIdfa + "/locale/en");
    EXPECT_EQ(adapter->ipManager(), nullptr);
    // A finished load lets the next one ask again.
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_EQ(server.requestsTo("/zividedirpr/api/getad").size(), 2u);
}

TEST_F(HouseNetworkTest, ALandingWithAQueryGetsTheSignedPairsAfterAnAmpersand) {
    adstest::ScopedIdProvider id(true, kIdfa);
    serve(R"({"id": "P", "url": "http://land.example/x?a=1"})");
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_EQ(adapter->url(), "http://land.example/x?a=1&adfk=" + adfk("P") + "&aid=A&paid=P&uid=" + kIdfa);
    // No banner image: the image source is empty.
    EXPECT_EQ(adapter->htmlTag(), ADFRTjkAdnetworkView::pageHtml(adapter->url(), ""));
}

TEST_F(HouseNetworkTest, NoItemOrAFailedAnswerGivesTheEmptyPage) {
    serve("");
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_FALSE(adapter->loadedFlg());
    EXPECT_EQ(adapter->htmlTag(), "");
    EXPECT_EQ(adapter->loadHtml(), "");

    server.route("GET", "/zividedirpr/api/getad",
                 Answer{.status = 503, .body = R"({"item": [{"id": "x"}]})"});
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_EQ(adapter->errorStr(), "Error Status:503");
    EXPECT_FALSE(adapter->loadedFlg());
    EXPECT_EQ(adapter->htmlTag(), "");
}

TEST(HouseNetworkAnswerTest, ReadsTheFirstItemWithTextValuesOnly) {
    auto parse = [](const std::string& text) {
        return ADFRTjkAdnetworkView::parseAnswer(text.data(), text.size());
    };
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(parse("[]"));
    EXPECT_FALSE(parse(R"({"item": []})"));
    EXPECT_FALSE(parse(R"({"item": {}})"));
    EXPECT_FALSE(parse(R"({"item": [{"id": "P")"));
    auto first = parse(R"({"item": [{"id": "P", "url": 5, "imp_url": null, "strt_dt": "s", "end_dt": "e"},
                                     {"id": "second"}]})");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->prAdId, "P");
    EXPECT_EQ(first->url, "");
    EXPECT_EQ(first->impUrl, "");
    EXPECT_EQ(first->strtDate, "s");
    EXPECT_EQ(first->endDate, "e");
    // "mov_flg" as a number or a string holding one.
    for (const char* flag : {"1", "\"1\"", "1.0"})
        EXPECT_EQ(parse(std::string(R"({"item": [{"mov_flg": )") + flag + "}]}")->movFlg, "1") << flag;
    for (const char* flag : {"0", "\"2\"", "true", "null", "[1]"})
        EXPECT_NE(parse(std::string(R"({"item": [{"mov_flg": )") + flag + "}]}")->movFlg, "1") << flag;
    EXPECT_EQ(parse(R"({"item": [{"id": null}]})")->prAdId, "");
}

TEST_F(HouseNetworkTest, MovieFlagOneChoosesTheMovieImage) {
    for (const char* flag : {"1", "\"1\"", "0"}) {
        serve(item(std::string(R"(, "mov_flg": )") + flag));
        auto adapter = make();
        adapter->loadAd();
        ASSERT_TRUE(loaded(*adapter));
        const bool movie = std::string(flag) != "0";
        EXPECT_NE(adapter->htmlTag().find(movie ? "m.gif" : "b.png"), std::string::npos) << flag;
        EXPECT_EQ(adapter->htmlTag().find(movie ? "b.png" : "m.gif"), std::string::npos) << flag;
        adapter->removeFromSuperview();
    }
}

TEST_F(HouseNetworkTest, ClicksAreSignedInPathFormAndEachSendsTheSameURL) {
    adstest::ScopedIdProvider id(true, kIdfa);
    serve(item());
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    adapter->postAdClicked();
    adapter->postAdClicked();
    ASSERT_TRUE(runMainLoopUntil([&] { return server.requestCount() == 3; }));
    const std::string path =
        std::string(kClickPath) + kIdfa + "/locale/en/adfk/" + adfk("P") + "/aid/A/paid/P/uid/" + kIdfa;
    auto clicks = server.requestsTo(path);
    ASSERT_EQ(clicks.size(), 2u) << server.requests().back().path;
    EXPECT_EQ(clicks[0].query, "");
    EXPECT_EQ(tapped->taps, 2);
}

TEST_F(HouseNetworkTest, ANullIdSignsWithAnEmptyAdId) {
    adstest::ScopedIdProvider id(true, kIdfa);
    serve(R"({"id": null, "url": "http://land.example/x"})");
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_EQ(adapter->prAdId(), "");
    EXPECT_EQ(adapter->url(), "http://land.example/x?adfk=" +
                                  ADFRMessageDigestUtil::md5WithString(std::string("_A_") + kIdfa) +
                                  "&aid=A&paid=&uid=" + kIdfa);
}

TEST_F(HouseNetworkTest, TheImpressionGoesToTheItemsURLAfterDisplayAndWaitsForTheItem) {
    adstest::ScopedIdProvider id(true, kIdfa);
    serve(item(), 60);  // held until the display was reported
    auto adapter = make();
    adapter->loadAd();
    // Shown before the item came: the worker waits for it.
    adapter->postAdDisplayed();
    ASSERT_TRUE(runMainLoopUntil([&] { return server.requestsTo("/zividedirpr/api/getad").size() == 1; }));
    server.releaseWaits();
    ASSERT_TRUE(runMainLoopUntil([&] { return server.requestsTo("/imp").size() == 1; }));
    EXPECT_EQ(server.requestsTo("/imp")[0].query, std::string("u=") + kIdfa);
    EXPECT_EQ(adapter->impUrl(), server.url("/imp") + "?u=" + kIdfa);
    // Each display reports once more; the superclass's own report is not sent.
    adapter->postAdDisplayed();
    ASSERT_TRUE(runMainLoopUntil([&] { return server.requestsTo("/imp").size() == 2; }));
    EXPECT_TRUE(server.requestsTo("/zividedir/api/rec-impression").empty());
}

TEST_F(HouseNetworkTest, WithoutAnItemTheWaiterGivesUpAndReportsNothing) {
    auto adapter = make();
    testsupport::VirtualClockScope clock;
    adapter->postAdDisplayed();
    // Ends within the waiters' bound with nothing to send.
    clock.clock().advance(ADFRWorkQueues::kWaitPasses * ADFRWorkQueues::kWaitPassSeconds);
    ADFRWorkQueues::shutdown();
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(ADFRWorkQueues::liveWorkers(), 0u);
}

TEST_F(HouseNetworkTest, TheAdaptersWorkerEndsWithTheAdapter) {
    auto adapter = make();
    testsupport::VirtualClockScope clock;
    adapter->postAdDisplayed();
    adapter->removeFromSuperview();
    adapter.reset();
    // The waiter holds the adapter; once it gives up, the adapter goes on the main loop, and its worker too.
    EXPECT_EQ(ADFRWorkQueues::liveWorkers(), 1u);
    clock.clock().advance(ADFRWorkQueues::kWaitPasses * ADFRWorkQueues::kWaitPassSeconds);
    EXPECT_TRUE(runMainLoopUntil([] { return ADFRWorkQueues::liveWorkers() == 0; }));
}

TEST_F(HouseNetworkTest, WithoutAUserAdIdNothingIsReportedButTheTapIsTold) {
    adstest::ScopedIdProvider id(true, kIdfa);
    serve(item());
    auto adapter = make(false);
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    adapter->postAdDisplayed();
    adapter->postAdClicked();
    ADFRWorkQueues::shutdown();
    testsupport::runMainLoopFor(0.2);
    EXPECT_EQ(server.requestCount(), 1u);  // the getad only
    EXPECT_EQ(tapped->taps, 1);
}

TEST_F(HouseNetworkTest, WithoutAnAdvertisingIdNothingIsSigned) {
    serve(item());
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_EQ(adapter->url(), "http://land.example/x");
    adapter->postAdClicked();
    adapter->postAdDisplayed();
    ASSERT_TRUE(runMainLoopUntil([&] {
        return server.requestsTo(std::string(kClickPath) + "/locale/en").size() == 1 &&
               server.requestsTo("/imp").size() == 1;
    }));
    EXPECT_EQ(server.requestsTo("/imp")[0].query, "u=");
}

TEST_F(HouseNetworkTest, TheFactoryMakesItForKey8888) {
    ZividedirViewFactory factory;
    factory.setAppId("A");
    serve("");
    auto entity =
        adstest::entity(adstest::entry("U", R"({"en": 1})", "<p>x</p>", R"(, "adnetwork_key": "8888")"));
    ASSERT_TRUE(entity);
    auto adapter =
        std::dynamic_pointer_cast<ADFRTjkAdnetworkView>(factory.create(entity, {0, 0, 320, 50}, nullptr));
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->entity(), entity);
    EXPECT_EQ(adapter->adSize(), 15);
    ASSERT_TRUE(loaded(*adapter));
    EXPECT_EQ(server.requestsTo("/zividedirpr/api/getad").size(), 1u);
}

namespace {

// A banner whose settings name only house-network entries, at the kit: settings over https, the getad,
// the items' pictures and impressions over http.
struct HouseBannerTest : ::testing::Test {
    HouseBannerTest() : loading(mirror.caFile()) {
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::SettingsMirror,
                                   {"https", "127.0.0.1", mirror.port()});
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Settings, {"https", "127.0.0.1", mirror.port()});
        for (auto kind : {ADFREndpoints::Kind::HouseNetwork, ADFREndpoints::Kind::ClickApi,
                          ADFREndpoints::Kind::SiteRoot, ADFREndpoints::Kind::Impression})
            ADFREndpoints::setEndpoint(kind, {"http", "127.0.0.1", server.port()});
        const std::string entries =
            adstest::entry("U1", R"({"en": 1})", "<p>unused</p>", R"(, "adnetwork_key": "8888")") + "," +
            adstest::entry("U2", R"({"en": 1})", "<p>unused</p>", R"(, "adnetwork_key": "8888")");
        plat::Bundle::setMainInfoValue(plat::Bundle::kShortVersionKey, "1.0");
        mirror.route("GET", "/zividedir/api/getinfo/app_id/A/locale/en_US/ver/2.7.0/appver/1.0",
                     Answer{.body = adstest::answer(entries)});
        server.route("GET", "/zividedirpr/api/getad",
                     Answer{.body = R"({"item": [{"id": "P", "url": "http://land.example/x", "bnr_url": ")" +
                                    server.url("/b.svg") + R"(", "imp_url": ")" + server.url("/imp") +
                                    R"(?u=[ZIZ_IDFA]"}]})"});
        server.route("GET", "/b.svg",
                     Answer{.headers = {{"Content-Type", "image/svg+xml"}},
                            .body = R"(<svg xmlns="http://www.w3.org/2000/svg" width="320" height="50">)"
                                    R"(<rect width="320" height="50" fill="#2e7d32"/></svg>)"});
        server.route("GET", "/imp", Answer{.body = "ok"});
        server.route("GET", "/zividedir/api/rec-click", Answer{.body = "ok"});
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
        banner = ZividedirView::create({0, 518, 320, 50});
        banner->setAppID("A");
        window->addSubview(banner);
    }
    ~HouseBannerTest() override {
        banner->removeFromSuperview();
        banner.reset();
        plat::Bundle::resetMainInfoValues();
        ADFRWorkQueues::shutdown();
        plat::RunLoop::main().runOnce(0);
        window.reset();
        EXPECT_EQ(plat::WebView::liveCount(), 0u);
        EXPECT_TRUE(testsupport::pumpWebUntil([] { return testsupport::liveChildren().empty(); }));
    }

    adstest::ScopedLanguage language{"en_US.UTF-8"};
    adstest::ScopedIdProvider id{true, kIdfa};
    testsupport::TempHome home;
    testsupport::LoopbackServer mirror{{.https = true}};
    testsupport::LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::shared_ptr<plat::Window> window;
    std::shared_ptr<ZividedirView> banner;
};

}  // namespace

TEST_F(HouseBannerTest, SignedLandingLinksOpenOutsideAndImpressionsReachTheItemsURL) {
    banner->startShowAd();
    std::shared_ptr<ADFRTjkAdnetworkView> front;
    ASSERT_TRUE(testsupport::pumpWebUntil([&] {
        front = std::dynamic_pointer_cast<ADFRTjkAdnetworkView>(banner->frontAdView());
        return front && front->loadedFlg() && front->htmlLoaded() &&
               front->webView()->framesDelivered() > 0 && !server.requestsTo("/b.svg").empty();
    }));
    ASSERT_TRUE(testsupport::imagesLaidOut(*front->webView()));
    const std::string landing =
        "http://land.example/x?adfk=" + ADFRMessageDigestUtil::md5WithString(std::string("P_A_") + kIdfa) +
        "&aid=A&paid=P&uid=" + kIdfa;
    // The tap below lands on the picture, inside the signed landing link.
    ASSERT_EQ(testsupport::elementAt(*front->webView(), {100, 22}), "img in " + landing);
    // Shown at once, before its item came: the impression follows the item.
    ASSERT_TRUE(testsupport::pumpWebUntil([&] { return server.requestsTo("/imp").size() == 1; }));
    EXPECT_EQ(server.requestsTo("/imp")[0].query, std::string("u=") + kIdfa);
    EXPECT_TRUE(server.requestsTo("/zividedir/api/rec-impression").empty());

    testing::internal::CaptureStdout();
    window->sendTouch(plat::Touch::Phase::Began, 1, {100, 540});
    window->sendTouch(plat::Touch::Phase::Ended, 1, {100, 540});
    const std::string clickPath = "/zividedir/api/rec-click/app_id/A/user_ad_id/" +
                                  front->userAdId().value_or("") + "/uid/" + kIdfa + "/locale/en/adfk/" +
                                  ADFRMessageDigestUtil::md5WithString(std::string("P_A_") + kIdfa) +
                                  "/aid/A/paid/P/uid/" + kIdfa;
    const bool clicked = testsupport::pumpWebUntil([&] { return server.requestsTo(clickPath).size() == 1; });
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(clicked) << "printed: " << printed << "; the tap was taken: " << front->needsPostAdClicked()
                         << "; loads asked: " << front->shouldCnt() << "; page: " << front->webView()->url();
    EXPECT_EQ(printed, "open URL: " + landing + "\n");
}
