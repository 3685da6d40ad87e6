// The Millennial Media adapter against a loopback server standing in for the network: the GET request
// with its hashed id and escaped user agent, the page around the answer, and the cases that send nothing.
#include "NetworkAdapterSupport.h"
#include "ads/adapters/ADFRAdNetworkUtil.h"
#include "ads/adapters/ADFRMMediaAPIView.h"
#include "ads/settings/ADFRIpApiManager.h"

using testsupport::Answer;

namespace {

constexpr const char* kPath = "/getAd";
constexpr const char* kId = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
constexpr const char* kEntity = R"(, "adnetwork_key": "1060", "param": {"placement_apid": "P123"})";
// The fixed user agent, escaped by hand: every byte but letters, digits, "-", ".", "_" and "~".
constexpr const char* kAgent =
    "Mozilla/5.0 (X11; Linux x86_64) potemaru-ads/2.7.0 (fixed user agent, no web view)";
constexpr const char* kEscapedUA =
    "Mozilla%2F5.0%20%28X11%3B%20Linux%20x86_64%29%20potemaru-ads%2F2.7.0%20%28fixed%20user%20agent%2C%20no%"
    "20web%20view%29";

struct MMediaTest : adstest::NetworkAdapterTest {
    MMediaTest() {
        useAgent(kAgent);
        answerIp();
    }
};

}  // namespace

TEST_F(MMediaTest, AsksWithTheHashedIdEscapedUserAgentAndAddressThenShowsThePage) {
    adstest::ScopedIdProvider id(true, kId);
    server.route("GET", kPath, Answer{.body = "<a href='x'>ad</a>"});
    auto adapter = make<ADFRMMediaAPIView>("<p>tag</p>", kEntity);
    adapter->loadAd();
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    testsupport::runMainLoopFor(0.1);
    auto requests = server.requestsTo(kPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].query,
              "apid=P123&ate=true&mmdid=mmh_f2d1311ca5c1ecb214c19a26e9ddbad0_"
              "b4454fc62a7a0c64dbc1525b539f561064544125&ua=" +
                  std::string(kEscapedUA) + "&uip=203.0.113.9");
    EXPECT_EQ(requests[0].body, "");
    const std::string page = ADFRMMediaAPIView::page("<a href='x'>ad</a>");
    EXPECT_EQ(adapter->pages, std::vector<std::string>{page});
    EXPECT_NE(page.find("<div style=\"text-align:center;\"><a href='x'>ad</a></div></body></html>"),
              std::string::npos);
    EXPECT_EQ(ADFRMMediaAPIView::md5WithString(kId), "f2d1311ca5c1ecb214c19a26e9ddbad0");
}

TEST_F(MMediaTest, EmptyAnswerShowsTheTemplateAndErrorsShowTheEmptyPageFirst) {
    adstest::ScopedIdProvider id(true, kId);
    server.route("GET", kPath, Answer{.body = ""});
    auto empty = make<ADFRMMediaAPIView>("<p>tag</p>", kEntity);
    empty->loadAd();
    ASSERT_TRUE(until([&] { return !empty->pages.empty(); }));
    EXPECT_EQ(empty->pages, std::vector<std::string>{ADFRMMediaAPIView::page("")});

    server.route("GET", kPath, Answer{.status = 500, .body = "oops"});
    auto failed = make<ADFRMMediaAPIView>("<p>tag</p>", kEntity);
    failed->loadAd();
    ASSERT_TRUE(until([&] { return failed->pages.size() == 2; }));
    EXPECT_EQ(failed->pages, (std::vector<std::string>{"", ADFRMMediaAPIView::page("oops")}));
}

TEST_F(MMediaTest, WithoutAnAdvertisingIdTheEmptyPageAndNoRequest) {
    auto adapter = make<ADFRMMediaAPIView>("<p>tag</p>", kEntity);
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    testsupport::runMainLoopFor(0.1);
    EXPECT_EQ(adapter->pages, std::vector<std::string>{""});
    EXPECT_TRUE(server.requestsTo(kPath).empty());
}

TEST_F(MMediaTest, WithoutAPlacementIdNothingIsSentOrShown) {
    adstest::ScopedIdProvider id(true, kId);
    auto adapter = make<ADFRMMediaAPIView>("<p>tag</p>", R"(, "param": {"site_id": "1"})");
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return server.requestsTo("/ua.php").size() == 1; }));
    testsupport::runMainLoopFor(0.2);
    EXPECT_TRUE(server.requestsTo(kPath).empty());
    EXPECT_TRUE(adapter->pages.empty());
}

TEST(ADFRAdNetworkUtil, EscapingLeavesOnlyUnreservedBytesAndDigitsAreUpperCaseHex) {
    EXPECT_EQ(ADFRAdNetworkUtil::percentEscaped("aZ09-._~"), "aZ09-._~");
    EXPECT_EQ(ADFRAdNetworkUtil::percentEscaped("!*'();:@&=+$,/?%#[] \xC3\xA9"),
              "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20%C3%A9");
    EXPECT_EQ(ADFRAdNetworkUtil::intValue("  42abc"), 42);
    EXPECT_EQ(ADFRAdNetworkUtil::intValue("-7"), -7);
    EXPECT_EQ(ADFRAdNetworkUtil::intValue("abc"), 0);
    EXPECT_EQ(ADFRAdNetworkUtil::intValue("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(ADFRAdNetworkUtil::intValue("-99999999999999999999"), INT32_MIN);
}
