// The Zucks adapter against a loopback server standing in for the network and the ad server: the API
// request after the IP lookup, the page of each answer, the network's impression before the ad
// server's, and the HTML mode that never counts as content.
#include "NetworkAdapterSupport.h"
#include "ads/adapters/ADFRGamefeatView.h"
#include "ads/adapters/ADFRZucksAPIView.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/ui/WebView.h"

using testsupport::Answer;

namespace {

constexpr const char* kPath = "/opt/api/v2";
constexpr const char* kApiEntity = R"(, "wall_type": "2", "param": {"frame_id": 17})";
constexpr const char* kPixel = "data:image/gif;base64,R0lGODlhAQABAAAAACw=";

// One worker that closes each connection after its answer: requests are handled, and logged, in the
// order their connections were opened.
struct ZucksTest : adstest::NetworkAdapterTest {
    ZucksTest() : NetworkAdapterTest({.threads = 1, .keepAliveSeconds = 0}) { answerIp(); }
};

}  // namespace

TEST_F(ZucksTest, ImageAnswerShowsTheImagePageAndTheNetworksImpressionGoesFirst) {
    server.route("GET", kPath,
                 Answer{.body = R"({"status": "ok", "type": "img", "landing_url": "http://example.test/l",
                                    "img_src": ")" +
                                std::string(kPixel) + R"(", "imp_url": ")" + server.url("/imp?x=1") + "\"}"});
    server.route("GET", "/imp", Answer{});
    server.route("GET", "/zividedir/api/rec-impression", Answer{});
    auto adapter = make<ADFRZucksAPIView>("<p>tag</p>", kApiEntity);
    adapter->loadAd();
    adapter->loadAd();  // a load under way
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    auto requests = server.requestsTo(kPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].query, "frameid=17");
    EXPECT_EQ(requests[0].header("User-Agent"), plat::WebView::defaultUserAgent());
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(server.requestsTo("/ua.php").size(), 1u);

    const std::string page = ADFRGamefeatView::page("http://example.test/l", kPixel);
    EXPECT_EQ(adapter->pages, std::vector<std::string>{page});
    EXPECT_EQ(adapter->loadHtml(), page);
    EXPECT_TRUE(adapter->checkDisplayAd());
    EXPECT_FALSE(adapter->loadCheckFlg());

    server.clearLog();
    adapter->postAdDisplayed();
    ASSERT_TRUE(until([&] { return server.requestCount() == 2; }));
    auto log = server.requests();
    EXPECT_EQ(log[0].path, "/imp");
    EXPECT_EQ(log[0].query, "x=1");
    EXPECT_EQ(log[1].path, "/zividedir/api/rec-impression");
}

TEST_F(ZucksTest, HtmlAnswerIsShownUnchangedAndASecondLoadAsksAgain) {
    server.route("GET", kPath, Answer{.body = R"({"status": "ok", "type": "html", "html": "<b>z</b>"})"});
    auto adapter = make<ADFRZucksAPIView>("<p>tag</p>", kApiEntity);
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return adapter->pages.size() == 1; }));
    EXPECT_EQ(adapter->pages[0], "<b>z</b>");
    // The address is known now: the next load asks the API without a second lookup.
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return adapter->pages.size() == 2; }));
    EXPECT_EQ(server.requestsTo(kPath).size(), 2u);
    EXPECT_EQ(server.requestsTo("/ua.php").size(), 1u);
}

TEST_F(ZucksTest, NoAdAnswersShowNothingAndNeverCountAsContent) {
    for (std::string body : {R"({"status": "ng", "type": "img", "img_src": "I"})",
                             R"({"status": "ok", "type": "video"})", R"(["ok"])", ""}) {
        server.route("GET", kPath, Answer{.body = body});
        auto adapter = make<ADFRZucksAPIView>("<p>tag</p>", kApiEntity);
        adapter->loadAd();
        ASSERT_TRUE(until([&] { return !adapter->pages.empty(); })) << body;
        EXPECT_EQ(adapter->pages, std::vector<std::string>{""}) << body;
        EXPECT_FALSE(adapter->checkDisplayAd()) << body;
        EXPECT_FALSE(adapter->loadCheckFlg()) << body;
        EXPECT_EQ(adapter->loadHtml(), "<p>tag</p>") << body;  // nothing new went to the web view
    }
    // An error status ends the load at the response.
    server.route("GET", kPath,
                 Answer{.status = 404, .body = R"({"status": "ok", "type": "html", "html": "x"})"});
    auto failed = make<ADFRZucksAPIView>("<p>tag</p>", kApiEntity);
    failed->loadAd();
    ASSERT_TRUE(until([&] { return !failed->pages.empty(); }));
    testsupport::runMainLoopFor(0.1);
    EXPECT_EQ(failed->pages, std::vector<std::string>{""});
    EXPECT_FALSE(failed->checkDisplayAd());
}

TEST_F(ZucksTest, OtherWallTypesShowTheSettingsHtmlWithoutARequest) {
    auto adapter =
        make<ADFRZucksAPIView>("<p>html mode</p>", R"(, "wall_type": "1", "param": {"frame_id": 17})");
    adapter->loadAd();
    testsupport::runMainLoopFor(0.2);
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(adapter->loadHtml(), "<p>html mode</p>");
    EXPECT_TRUE(adapter->pages.empty());
    EXPECT_FALSE(adapter->checkDisplayAd());
}

TEST_F(ZucksTest, WithoutAFrameIdNothingIsAsked) {
    auto adapter = make<ADFRZucksAPIView>("<p>tag</p>", R"(, "wall_type": "2", "param": {"site_id": "1"})");
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    testsupport::runMainLoopFor(0.1);
    EXPECT_TRUE(server.requestsTo(kPath).empty());
    EXPECT_FALSE(adapter->loadCheckFlg());
}

TEST_F(ZucksTest, EntityFromTheSettingsCacheStillAsksWithItsFrameId) {
    ADFRData::registerCodingClasses();
    auto original = adstest::entity(adstest::entry("U", R"({"ja": 1})", "<p>tag</p>", kApiEntity));
    ASSERT_TRUE(original);
    auto bytes = plat::KeyedArchive::archive(std::shared_ptr<const plat::Coding>(original));
    ASSERT_TRUE(bytes);
    auto cached = plat::KeyedArchive::unarchiveObject<ADFRJSAdEntity>(*bytes);
    ASSERT_TRUE(cached);

    server.route("GET", kPath, Answer{.body = R"({"status": "ok", "type": "html", "html": "<i>c</i>"})"});
    auto adapter = std::make_shared<adstest::Recorded<ADFRZucksAPIView>>(plat::Rect{0, 0, 320, 50});
    adapters.push_back(adapter);
    ZividedirAdapterSettings settings(plat::Value::Dictionary{{"loadHtml", "<p>tag</p>"}});
    settings.entity = cached;
    adapter->setting(settings);
    adapter->loadAd();
    EXPECT_EQ(await(kPath).at(0).query, "frameid=17");
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    EXPECT_EQ(adapter->pages[0], "<i>c</i>");
}
