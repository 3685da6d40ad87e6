// The Gamefeat adapter against a loopback server standing in for the network: the request as it
// arrives, the page built from each kind of answer, and the cases that send nothing.
#include "NetworkAdapterSupport.h"
#include "ads/adapters/ADFRGamefeatView.h"

using adstest::NetworkAdapterTest;
using testsupport::Answer;

namespace {

constexpr const char* kPath = "/webapi/v1/requestCustomAds/";
const std::string kParam = R"x(, "param": {"site_id": "123", "u": "GameUA/1.0 (test)"})x";

using GamefeatTest = NetworkAdapterTest;

}  // namespace

TEST_F(GamefeatTest, OneRequestCarriesSiteIdSizeAndOsWithTheEntitysUserAgent) {
    server.route("GET", kPath,
                 Answer{.body = R"({"url": "http://example.test/l?a=1&b=2", "img": "/i.png"})"});
    auto adapter = make<ADFRGamefeatView>("<p>tag</p>", kParam);
    adapter->loadAd();
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    testsupport::runMainLoopFor(0.1);
    auto requests = server.requestsTo(kPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].query, "adid=123&adsize=10&os=ios");
    EXPECT_EQ(requests[0].header("User-Agent"), "GameUA/1.0 (test)");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].body, "");

    const std::string page = ADFRGamefeatView::page("http://example.test/l?a=1&b=2", "/i.png");
    EXPECT_EQ(adapter->pages, std::vector<std::string>{page});
    EXPECT_EQ(adapter->loadHtml(), page);
    EXPECT_NE(page.find(R"(<a href="http://example.test/l?a=1&b=2"><img src="/i.png" width="100%"></div>)"),
              std::string::npos);
    EXPECT_TRUE(page.starts_with("<html><head><base target=\"_blank\">"));
}

TEST_F(GamefeatTest, SiteIdThatIsNoNumberGivesZeroAndNoSiteIdSendsNothing) {
    server.route("GET", kPath, Answer{.body = "{}"});
    auto words = make<ADFRGamefeatView>("<p>tag</p>", R"(, "param": {"site_id": "abc"})");
    words->setAdSize(7);
    words->loadAd();
    ASSERT_EQ(await(kPath).at(0).query, "adid=0&adsize=7&os=ios");

    auto none = make<ADFRGamefeatView>("<p>tag</p>", R"(, "param": {"u": "x"})");
    none->loadAd();
    testsupport::runMainLoopFor(0.2);
    EXPECT_EQ(server.requestsTo(kPath).size(), 1u);
    EXPECT_FALSE(none->loadCheckFlg());
    EXPECT_TRUE(none->pages.empty());
}

TEST_F(GamefeatTest, AnswersWithoutALinkOrImageGiveEmptyTexts) {
    EXPECT_EQ(ADFRGamefeatView::linkAndImage(plat::Bytes{'[', '1', ']'}),
              std::make_pair(std::string(), std::string()));
    std::string mixed = R"({"url": 5, "img": "I", "other": true})";
    EXPECT_EQ(ADFRGamefeatView::linkAndImage(plat::Bytes(mixed.begin(), mixed.end())),
              std::make_pair(std::string(), std::string("I")));

    server.route("GET", kPath, Answer{.body = "\"just text\""});
    auto adapter = make<ADFRGamefeatView>("<p>tag</p>", kParam);
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    EXPECT_EQ(adapter->pages, std::vector<std::string>{ADFRGamefeatView::page("", "")});
}

TEST_F(GamefeatTest, EmptyBodyAndRefusedConnectionShowTheEmptyPage) {
    server.route("GET", kPath, Answer{.body = ""});
    auto empty = make<ADFRGamefeatView>("<p>tag</p>", kParam);
    empty->loadAd();
    ASSERT_TRUE(until([&] { return !empty->pages.empty(); }));
    EXPECT_EQ(empty->pages, std::vector<std::string>{""});

    testsupport::RefusedPort closed;
    ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Gamefeat, {"http", "127.0.0.1", closed.port()});
    auto refused = make<ADFRGamefeatView>("<p>tag</p>", kParam);
    refused->loadAd();
    ASSERT_TRUE(until([&] { return !refused->pages.empty(); }));
    EXPECT_EQ(refused->pages, std::vector<std::string>{""});
}
