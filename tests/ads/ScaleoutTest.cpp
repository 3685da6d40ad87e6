// The RTB adapter at the loopback kit: the bid request and its body, the page of the winning bid, the
// price token from the table or the price-token service, and the two reports after display (the ad
// server's over https, the network's notice with the token).
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "AdsTestSupport.h"
#include "ads/adapters/ADFRScaleoutAPIView.h"
#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRWorkQueues.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "platform/base/Json.h"
#include "platform/storage/Bundle.h"
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
constexpr const char* kParam =
    R"({"w": 320, "h": "50", "cat": "IAB9", "bcat": ["IAB25", "IAB26"], "badv": ["bad.example"]})";

// Line n of the committed table.
std::string tableEntry(size_t n) {
    std::ifstream in(plat::Bundle::main().pathForResource(ADFRScaleoutAPIView::kPriceTokensResource));
    std::string line;
    for (size_t i = 0; i <= n && std::getline(in, line); ++i) {
    }
    return line;
}

struct ScaleoutTest : ::testing::Test {
    ScaleoutTest() : loading(tls.caFile()) {
        for (auto kind :
             {ADFREndpoints::Kind::IpEcho, ADFREndpoints::Kind::Exchange, ADFREndpoints::Kind::SiteRoot})
            ADFREndpoints::setEndpoint(kind, {"http", "127.0.0.1", server.port()});
        // The report is named on http; switched to https it keeps host and port.
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Impression, {"http", "127.0.0.1", tls.port()});
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::PriceToken, {"https", "127.0.0.1", tls.port()});
        server.route("GET", "/ua.php", Answer{.body = R"({"ip": "127.0.0.1"})"});
        server.route("GET", "/nimp", Answer{.body = "ok"});
        tls.route("GET", "/zividedir/api/rec-impression", Answer{.body = "ok"});
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    }
    ~ScaleoutTest() override {
        ADFRWorkQueues::shutdown();
        plat::RunLoop::main().runOnce(0);
        window.reset();
        EXPECT_EQ(plat::WebView::liveCount(), 0u);
        EXPECT_TRUE(testsupport::pumpWebUntil([] { return testsupport::liveChildren().empty(); }));
    }

    std::string bid(const std::string& price) const {
        return R"({"id": "S1", "seatbid": [{"bid": [{"price": )" + price + R"(, "impurl": ")" +
               server.url("/nimp") + R"(?p=${SSP_WINNING_PRICE}", "imgurl": "http://img.example/r.png",
               "clickurl": "http://click.example/c"}]}]})";
    }
    void serveBid(const std::string& price) { server.route("POST", "/rtb/bid", Answer{.body = bid(price)}); }
    std::shared_ptr<ADFRScaleoutAPIView> make(const std::string& param = kParam) {
        auto entity = adstest::entity(adstest::entry("U", R"({"en": 1})", "<p>x</p>",
                                                     R"(, "adnetwork_key": "1075", "param": )" + param));
        auto adapter = std::make_shared<ADFRScaleoutAPIView>(plat::Rect{0, 0, 320, 50});
        ZividedirAdapterSettings settings(plat::Value::Dictionary{
            {"appId", "A"}, {"userAdId", "U"}, {"adnetworkKey", "1075"}, {"loadHtml", ""}});
        settings.entity = entity;
        adapter->setting(settings);
        window->addSubview(adapter);
        return adapter;
    }
    // The page of the bid, or the black page, was handed to the web view.
    bool shown(ADFRScaleoutAPIView& adapter, const std::string& page) {
        return runMainLoopUntil([&] { return adapter.loadHtml() == page; });
    }
    const std::string bidPage =
        ADFRScaleoutAPIView::pageHtml("#ffffff", "http://click.example/c", "http://img.example/r.png");
    // Both reports of one display reached the kit.
    bool reported() {
        return runMainLoopUntil([&] {
            return tls.requestsTo("/zividedir/api/rec-impression").size() == 1 &&
                   server.requestsTo("/nimp").size() == 1;
        });
    }

    adstest::ScopedLanguage language{"en_US.UTF-8"};
    testsupport::TempHome home;
    testsupport::LoopbackServer server;
    testsupport::LoopbackServer tls{{.https = true}};
    testsupport::URLLoadingScope loading;
    std::shared_ptr<plat::Window> window;
};

}  // namespace

TEST_F(ScaleoutTest, AWholePriceTakesTheTableEntryAndBothReportsGoAfterDisplay) {
    adstest::ScopedIdProvider id(true, kIdfa);
    serveBid("1000");
    auto adapter = make();
    adapter->loadAd();
    adapter->loadAd();
    ASSERT_TRUE(shown(*adapter, bidPage));
    EXPECT_TRUE(adapter->loadedFlg());
    adapter->postAdDisplayed();
    ASSERT_TRUE(reported());

    auto bids = server.requestsTo("/rtb/bid");
    ASSERT_EQ(bids.size(), 1u);
    EXPECT_EQ(bids[0].method, "POST");
    EXPECT_EQ(bids[0].query, "id=63052&posall=RTB&proto=adfuri");
    EXPECT_EQ(bids[0].header("Content-Type"), "application/json");
    const std::string& body = bids[0].body;
    ASSERT_TRUE(plat::Json::parse(body)) << body;
    // The members in their order.
    size_t at = 0;
    for (const char* member :
         {R"({"id":")", R"("at":"2")", R"("tmax":"500")", R"("imp":[{"impid":")",
          R"("w":"320","h":"50","pos":1}])", R"("app":{"aid":"A","domain":")", R"("cat":["IAB9"]})",
          R"("device":{"ip":"127.0.0.1","ua":")",
          R"("language":"en_US","ifa":"6D92078A-8246-4BA4-AE5B-76104861E7DC"})",
          R"("restrictions":{"bcat":[{"IAB":25},{"IAB":26}],"badv":[{"domain":"bad.example"}]}})"}) {
        size_t found = body.find(member, at);
        ASSERT_NE(found, std::string::npos) << member << " in " << body;
        at = found;
    }
    EXPECT_NE(body.find(std::string(R"("ua":")") + plat::WebView::defaultUserAgent() + "\""),
              std::string::npos);

    EXPECT_EQ(server.requestsTo("/nimp")[0].query, "p=" + tableEntry(900));
    EXPECT_EQ(server.requestsTo("/nimp")[0].header("User-Agent"), plat::WebView::defaultUserAgent());
    auto impression = tls.requestsTo("/zividedir/api/rec-impression")[0];
    EXPECT_TRUE(impression.tls);
    EXPECT_EQ(impression.query,
              std::string("app_id=A&user_ad_id=U&uid=") + kIdfa + "&locale=en&rev=0.900000&sid=S1");
    EXPECT_TRUE(tls.requestsTo("/get-rtb-encrypted-price.php").empty());
    EXPECT_EQ(adapter->impUrl(), tls.url("/zividedir/api/rec-impression?") + impression.query);
}

TEST_F(ScaleoutTest, AFractionalOrTooHighPriceAsksThePriceTokenService) {
    adstest::ScopedIdProvider id(true, kIdfa);
    tls.route("GET", "/get-rtb-encrypted-price.php", Answer{.body = "svcTOKEN0001\n"});
    for (auto [price, asked] : {std::pair{"1000.5", "900.450000"}, std::pair{"2500", "2250.000000"}}) {
        server.clearLog();
        tls.clearLog();
        serveBid(price);
        auto adapter = make();
        adapter->loadAd();
        ASSERT_TRUE(shown(*adapter, bidPage));
        adapter->postAdDisplayed();
        ASSERT_TRUE(reported()) << price;
        auto service = tls.requestsTo("/get-rtb-encrypted-price.php");
        ASSERT_EQ(service.size(), 1u);
        EXPECT_EQ(service[0].query, std::string("ankey=1075&price=") + asked);
        EXPECT_EQ(server.requestsTo("/nimp")[0].query, "p=svcTOKEN0001");
        adapter->removeFromSuperview();
    }
}

TEST_F(ScaleoutTest, WithoutTheTableEveryPriceGoesToTheService) {
    adstest::ScopedIdProvider id(true, kIdfa);
    testsupport::TempDir empty;
    plat::Bundle::setMainResourcePath(empty.path());
    tls.route("GET", "/get-rtb-encrypted-price.php", Answer{.body = "svcTOKEN0002"});
    serveBid("1000");
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(shown(*adapter, bidPage));
    EXPECT_TRUE(adapter->getEncryptList().empty());
    adapter->postAdDisplayed();
    ASSERT_TRUE(reported());
    EXPECT_EQ(tls.requestsTo("/get-rtb-encrypted-price.php")[0].query, "ankey=1075&price=900.000000");
    plat::Bundle::setMainResourcePath({});
}

TEST_F(ScaleoutTest, TablePricesAndTheRevenueWithoutTheNetwork) {
    auto adapter = make();
    ASSERT_EQ(adapter->getEncryptList().size(), 2001u);
    adapter->setEncryptedPrice("0", "http://n.example/?a=${SSP_WINNING_PRICE}&b=${SSP_WINNING_PRICE}", "S0");
    EXPECT_EQ(adapter->adnetworkImpUrl(), "http://n.example/?a=" + tableEntry(0) + "&b=" + tableEntry(0));
    EXPECT_EQ(adapter->recImpressionValue("rev"), "0.000000");
    adapter->setEncryptedPrice("1000", "http://n.example/plain", "S1");
    EXPECT_EQ(adapter->adnetworkImpUrl(), "http://n.example/plain");
    EXPECT_EQ(adapter->recImpressionValue("rev"), "0.900000");
    EXPECT_EQ(adapter->recImpressionValue("sid"), "S1");
    // A bad table is no table.
    testsupport::TempDir dir;
    std::ofstream(dir.path() / "short.txt") << "abcdefghijkl\n";
    EXPECT_TRUE(ADFRScaleoutAPIView::readEncryptList(dir.path() / "short.txt").empty());
    EXPECT_TRUE(ADFRScaleoutAPIView::readEncryptList(dir.path() / "none.txt").empty());
}

TEST_F(ScaleoutTest, TheServiceRefusingMeansNoReports) {
    adstest::ScopedIdProvider id(true, kIdfa);
    tls.route("GET", "/get-rtb-encrypted-price.php", Answer{.status = 503, .body = "busy"});
    serveBid("1000.5");
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(shown(*adapter, bidPage));
    testsupport::VirtualClockScope clock;
    adapter->postAdDisplayed();
    // The waiter gives up within its bound.
    clock.clock().advance(ADFRWorkQueues::kWaitPasses * ADFRWorkQueues::kWaitPassSeconds);
    ADFRWorkQueues::shutdown();
    testsupport::runMainLoopFor(0.2);
    EXPECT_EQ(tls.requestsTo("/get-rtb-encrypted-price.php").size(), 1u);
    EXPECT_TRUE(tls.requestsTo("/zividedir/api/rec-impression").empty());
    EXPECT_TRUE(server.requestsTo("/nimp").empty());
    EXPECT_EQ(adapter->adnetworkImpUrl(), "");
}

TEST_F(ScaleoutTest, NoAdvertisingIdOrNoWidthGivesTheBlackPageWithoutABid) {
    serveBid("1000");
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(shown(*adapter, ADFRScaleoutAPIView::kBlackPage));
    adstest::ScopedIdProvider id(true, kIdfa);
    auto narrow = make(R"({"h": 50})");
    narrow->loadAd();
    ASSERT_TRUE(shown(*narrow, ADFRScaleoutAPIView::kBlackPage));
    EXPECT_TRUE(server.requestsTo("/rtb/bid").empty());
    EXPECT_FALSE(adapter->loadedFlg());
}

TEST_F(ScaleoutTest, ANon200AnswerShowsTheBlackPageThenItsBody) {
    adstest::ScopedIdProvider id(true, kIdfa);
    server.route("POST", "/rtb/bid",
                 Answer{.status = 500, .body = bid("1000"), .chunkBytes = 40, .chunkDelaySeconds = 0.05});
    auto adapter = make();
    adapter->loadAd();
    ASSERT_TRUE(shown(*adapter, ADFRScaleoutAPIView::kBlackPage));
    ASSERT_TRUE(shown(*adapter, bidPage));
}

TEST(ScaleoutBidTest, TheBodyKeepsToJsonWhateverTheValues) {
    ADFRScaleoutAPIView::BidInputs in;
    in.bidId = "B";
    in.impId = "I";
    in.appId = "A";
    in.ua = R"(Agent "quoted" \ back)";
    in.ifa = "F";
    // Neither list given: two empty lists.
    auto body = ADFRScaleoutAPIView::bidBody(in);
    ASSERT_TRUE(body);
    auto parsed = plat::Json::parse(*body);
    ASSERT_TRUE(parsed) << *body;
    EXPECT_EQ((*parsed)["device"]["ua"].toString(), in.ua);
    EXPECT_NE(body->find(R"("restrictions":{"bcat":[],"badv":[]})"), std::string::npos) << *body;
    EXPECT_NE(body->find(R"("w":"","h":"","pos":1)"), std::string::npos) << *body;
    EXPECT_NE(body->find(R"("cat":[""])"), std::string::npos) << *body;
    // The empty string leaves its member out; both empty leave out the restrictions.
    in.param = *plat::Json::parse(R"({"bcat": "", "badv": ["x.example"]})")->dictionaryIf();
    EXPECT_NE(ADFRScaleoutAPIView::bidBody(in)->find(R"("restrictions":{"badv":[{"domain":"x.example"}]})"),
              std::string::npos);
    in.param = *plat::Json::parse(R"({"bcat": "", "badv": ""})")->dictionaryIf();
    EXPECT_EQ(ADFRScaleoutAPIView::bidBody(in)->find("restrictions"), std::string::npos);
    // Codes that are not letters then digits go in as strings.
    in.param = *plat::Json::parse(R"({"bcat": ["IAB7", "IAB7-1", "x\"y", "IAB007", 5]})")->dictionaryIf();
    body = ADFRScaleoutAPIView::bidBody(in);
    ASSERT_TRUE(plat::Json::parse(*body)) << *body;
    EXPECT_NE(body->find(R"("bcat":[{"IAB":7},"IAB7-1","x\"y",{"IAB":7}])"), std::string::npos) << *body;
}

TEST(ScaleoutBidTest, TheWinningBidIsTheFirstBidOfTheFirstSeat) {
    using V = ADFRScaleoutAPIView;
    EXPECT_FALSE(V::parseBid(""));
    EXPECT_FALSE(V::parseBid("nope"));
    EXPECT_FALSE(V::parseBid(R"({"seatbid": []})"));
    EXPECT_FALSE(V::parseBid(R"({"seatbid": [{"bid": []}]})"));
    EXPECT_FALSE(V::parseBid(R"({"seatbid": [{"bid": [{"imgurl": "x"}]}]})"));
    EXPECT_FALSE(V::parseBid(R"({"seatbid": [{"bid": [{"price": null}]}]})"));
    auto bid = V::parseBid(
        R"({"id": 7, "seatbid": [{"bid": [{"price": 1000.5, "imgurl": "i", "clickurl": 3}, {"price": 1}]},
                                                  {"bid": [{"price": 2}]}]})");
    ASSERT_TRUE(bid);
    EXPECT_EQ(bid->price, "1000.5");
    EXPECT_EQ(bid->sid, "7");
    EXPECT_EQ(bid->imgUrl, "i");
    EXPECT_EQ(bid->clickUrl, "");
    EXPECT_EQ(V::parseBid(R"({"seatbid": [{"bid": [{"price": "12.5"}]}]})")->price, "12.5");
}

TEST_F(ScaleoutTest, TheFactoryMakesItForKey1075WithTheBackgroundColour) {
    ZividedirViewFactory factory;
    factory.setAppId("A");
    const std::string entry =
        adstest::entry("U", R"({"en": 1})", "<p>x</p>", R"(, "adnetwork_key": "1075", "param": {})");
    auto data = std::make_shared<ADFRData>();
    const std::string answer = adstest::answer(entry, R"("bg_color": "#123456", )");
    ASSERT_TRUE(data->parseJsonData(answer.data(), answer.size()));
    ASSERT_EQ(data->adList().size(), 1u);
    auto adapter = std::dynamic_pointer_cast<ADFRScaleoutAPIView>(
        factory.create(data->adList()[0], {0, 0, 320, 50}, data));
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->entity(), data->adList()[0]);
    EXPECT_EQ(adapter->adDataBgColor(), "#123456");
    EXPECT_TRUE(adapter->loadCheckFlg());
    EXPECT_EQ(adapter->adSize(), 15);
    // No advertising id: no bid, the black page.
    ASSERT_TRUE(shown(*adapter, ADFRScaleoutAPIView::kBlackPage));
}

TEST(ScaleoutEndpointsTest, TheNewEndpointsResolveNowhereByDefault) {
    using Kind = ADFREndpoints::Kind;
    EXPECT_EQ(ADFREndpoints::name(Kind::HouseNetwork), "ads.house");
    EXPECT_EQ(ADFREndpoints::name(Kind::PriceToken), "ads.price");
    EXPECT_EQ(ADFREndpoints::name(Kind::Exchange), "ads.exchange");
    EXPECT_EQ(ADFREndpoints::url(Kind::HouseNetwork, "/p"), "http://house.ads.invalid:80/p");
    EXPECT_EQ(ADFREndpoints::url(Kind::PriceToken, "/p"), "https://price.ads.invalid:443/p");
    EXPECT_EQ(ADFREndpoints::url(Kind::Exchange, "/p"), "http://exchange.ads.invalid:80/p");
}
