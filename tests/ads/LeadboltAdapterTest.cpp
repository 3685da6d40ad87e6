// The Leadbolt adapter against a loopback server standing in for the network: the ad feed request as
// it arrives (pairs in order, escaping, format, the advertising id last), the tag reader, and loads that
// end without a request.
#include "NetworkAdapterSupport.h"
#include "ads/adapters/ADFRLeadboltAPIView.h"
#include "ads/settings/ADFRIpApiManager.h"

using testsupport::Answer;

namespace {

constexpr const char* kPath = "/api/ad_feed";
constexpr const char* kId = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
constexpr const char* kAgent =
    "Mozilla/5.0 (X11; Linux x86_64) potemaru-ads/2.7.0 (fixed user agent, no web view)";
constexpr const char* kEscapedUA =
    "Mozilla%2F5.0%20%28X11%3B%20Linux%20x86_64%29%20potemaru-ads%2F2.7.0%20%28fixed%20user%20agent%2C%20no%"
    "20web%20view%29";

std::string tag(const std::string& fields) {
    return "<script type=\"text/javascript\">var lb_ad = {" + fields + "};</script>";
}

struct LeadboltTest : adstest::NetworkAdapterTest {
    LeadboltTest() {
        useAgent(kAgent);
        answerIp();
    }
    std::string deviceQuery(const std::string& ip = "203.0.113.9") const {
        return "pf=1&os_ver=8.0&dev_mnf=Apple" + (ip.empty() ? "" : "&client_ip=" + ip) +
               "&user_agent=" + kEscapedUA;
    }
};

}  // namespace

TEST_F(LeadboltTest, BannerTagAsksForXhtmlWithThePairsInTheirOrder) {
    server.route("GET", kPath, Answer{.body = "<div>lb</div>"});
    auto adapter = make<ADFRLeadboltAPIView>(
        tag(R"(ad_type: "banner1", height:"250", width : "300", section_id: "123456", secret_key: "abcDEF9")"),
        "");
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    auto requests = server.requestsTo(kPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].query,
              deviceQuery() +
                  "&section_id=123456&secret_key=abcDEF9&width=300&height=250&ad_type=banner1"
                  "&format=xhtml");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[0].body, "");
    EXPECT_FALSE(adapter->iconFlg());
    EXPECT_EQ(adapter->pages, std::vector<std::string>{"<div>lb</div>"});
    EXPECT_EQ(adapter->loadHtml(), "<div>lb</div>");
    EXPECT_FALSE(adapter->loadCheckFlg());
}

TEST_F(LeadboltTest, SquareTagAsksForJsonAndTheAdvertisingIdComesLast) {
    adstest::ScopedIdProvider id(true, kId);
    server.route("GET", kPath, Answer{.body = "{}"});
    auto adapter = make<ADFRLeadboltAPIView>(tag(R"(width: "50", height: "50", max_ads: "1")"), "");
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    EXPECT_EQ(server.requestsTo(kPath).at(0).query,
              deviceQuery() + "&width=50&height=50&max_ads=1&format=json&devad_id=" + kId);
    EXPECT_TRUE(adapter->iconFlg());
}

TEST_F(LeadboltTest, TagValuesAreTakenWholeFirstOnlyAndEmptyOnesAreNotSent) {
    // No address from the echo: "client_ip" is empty and left out.
    server.route("GET", "/ua.php", Answer{.body = R"({"ip": ""})"});
    server.route("GET", kPath, Answer{.body = "x"});
    auto adapter = make<ADFRLeadboltAPIView>(
        tag(R"(width: "300x250", height: "300x250", width: "1", section_id: "12-34", lang: 'ja', category: "")"),
        "");
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    EXPECT_EQ(server.requestsTo(kPath).at(0).query,
              deviceQuery("") + "&width=300x250&height=300x250&format=json");

    EXPECT_EQ(ADFRLeadboltAPIView::tagParameters(tag(R"(scr_w:"640", scr_h :"1136", lang:"en")")),
              (ADFRLeadboltAPIView::Pairs{{"scr_w", "640"}, {"scr_h", "1136"}, {"lang", "en"}}));
}

TEST_F(LeadboltTest, TagWithoutWidthOrHeightEndsTheLoadWithoutARequest) {
    auto adapter = make<ADFRLeadboltAPIView>(tag(R"(width: "300", section_id: "1")"), "");
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    testsupport::runMainLoopFor(0.1);
    EXPECT_TRUE(server.requestsTo(kPath).empty());
    EXPECT_EQ(adapter->pages, std::vector<std::string>{""});
    EXPECT_FALSE(adapter->loadCheckFlg());
}

TEST_F(LeadboltTest, SecondLoadDuringALoadDoesNothingAndALaterOneStartsOver) {
    server.route("GET", kPath, Answer{.body = "first", .delaySeconds = 0.3});
    auto adapter = make<ADFRLeadboltAPIView>(tag(R"(width: "320", height: "50")"), "");
    adapter->loadAd();
    await(kPath);
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    EXPECT_EQ(server.requestsTo(kPath).size(), 1u);
    EXPECT_EQ(adapter->pages, std::vector<std::string>{"first"});

    server.route("GET", kPath, Answer{.status = 502, .body = "bad gateway"});
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return adapter->pages.size() == 2; }));
    testsupport::runMainLoopFor(0.1);
    EXPECT_EQ(server.requestsTo(kPath).size(), 2u);
    // The error answer is cancelled at its response: the earlier text stays.
    EXPECT_EQ(adapter->pages, (std::vector<std::string>{"first", "first"}));
}
