// The InMobi adapter against a loopback server standing in for the network: the JSON request byte for
// byte, the tag reader, the "no ad" answer and the popup's sizes.
#include "NetworkAdapterSupport.h"
#include "ads/adapters/ADFRInMobiAPIView.h"
#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/base/ZividedirBaseView.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "platform/ui/WebView.h"

using testsupport::Answer;

namespace {

constexpr const char* kPath = "/showad/v2";
constexpr const char* kId = "6D92078A-8246-4BA4-AE5B-76104861E7DC";

struct InMobiTest : adstest::NetworkAdapterTest {
    InMobiTest() { answerIp(); }
    // The network's tag: its script on the configured host, and the site id.
    std::string tag(const std::string& siteIdText) const {
        return "<script src=\"" + server.url("/ad/inmobi.js") + "\"></script><script>var imp = {" +
               siteIdText + ", slot: 15};</script>";
    }
    std::string expectedBody(int size, const std::string& ida) const {
        return R"({"responseformat":"html","imp":[{"displaymanager":"s_volentai","ads":1,"banner":{"adsize":)" +
               std::to_string(size) + R"(}}],"site":{"id":"4028cb"},"device":{"ip":"203.0.113.9","ua":")" +
               plat::WebView::defaultUserAgent() + "\"" + ida + "}}";
    }
};

}  // namespace

TEST_F(InMobiTest, PostsTheJsonRequestWithTheAdvertisingIdAndShowsTheAnswer) {
    adstest::ScopedIdProvider id(true, kId);
    server.route("POST", kPath, Answer{.body = "<div>ad</div>\n"});
    auto adapter = make<ADFRInMobiAPIView>(tag(R"(siteid: "4028cb")"), "");
    adapter->loadAd();
    adapter->loadAd();
    ASSERT_TRUE(until([&] { return !adapter->pages.empty(); }));
    testsupport::runMainLoopFor(0.1);
    auto requests = server.requestsTo(kPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].query, "");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[0].body, expectedBody(15, R"(,"ida":")" + std::string(kId) + "\""));
    EXPECT_EQ(adapter->pages, std::vector<std::string>{"<div>ad</div>\n"});
    EXPECT_EQ(adapter->loadHtml(), "<div>ad</div>\n");
}

TEST_F(InMobiTest, WithoutAnAdvertisingIdTheDeviceHoldsOnlyAddressAndUserAgent) {
    server.route("POST", kPath, Answer{.body = "<div>ad</div>"});
    auto adapter = make<ADFRInMobiAPIView>(tag(R"(siteid  :  "4028cb")"), "");
    adapter->setAdSize(10);
    adapter->loadAd();
    EXPECT_EQ(await(kPath).at(0).body, expectedBody(10, ""));
}

TEST_F(InMobiTest, TagsWithoutTheScriptOrWithABadSiteIdSendNothing) {
    for (std::string html : {std::string(R"(<script>siteid: "4028cb"</script>)"), tag(R"(siteid: "40-28")"),
                             tag(R"(siteid: '4028cb')"), tag("site: 1")}) {
        auto adapter = make<ADFRInMobiAPIView>(html, "");
        adapter->loadAd();
    }
    ASSERT_TRUE(until([&] { return server.requestsTo("/ua.php").size() == 1; }));
    testsupport::runMainLoopFor(0.2);
    EXPECT_TRUE(server.requestsTo(kPath).empty());
    for (const auto& view : adapters)
        EXPECT_TRUE(static_cast<adstest::Recorded<ADFRInMobiAPIView>&>(*view).pages.empty());

    // The first match counts, wherever the script is.
    EXPECT_EQ(ADFRInMobiAPIView::siteIdOfTag(tag(R"(siteid:"a1", siteid:"b2")")), "a1");
}

TEST_F(InMobiTest, NoAdCommentShowsNothingUnlessALineBreakFollowsIt) {
    const std::string comment = ADFRInMobiAPIView::kNoAdComment;
    EXPECT_TRUE(ADFRInMobiAPIView::isNoAdAnswer(comment));
    EXPECT_TRUE(ADFRInMobiAPIView::isNoAdAnswer(" \t" + comment + "\t  "));
    EXPECT_FALSE(ADFRInMobiAPIView::isNoAdAnswer(comment + "\n"));
    EXPECT_FALSE(ADFRInMobiAPIView::isNoAdAnswer(""));

    server.route("POST", kPath, Answer{.body = "\t " + comment + "  "});
    auto quiet = make<ADFRInMobiAPIView>(tag(R"(siteid: "4028cb")"), "");
    quiet->loadAd();
    await(kPath);
    testsupport::runMainLoopFor(0.2);
    EXPECT_TRUE(quiet->pages.empty());

    server.route("POST", kPath, Answer{.body = comment + "\n"});
    auto shown = make<ADFRInMobiAPIView>(tag(R"(siteid: "4028cb")"), "");
    shown->loadAd();
    ASSERT_TRUE(until([&] { return !shown->pages.empty(); }));
    EXPECT_EQ(shown->pages, std::vector<std::string>{comment + "\n"});
}

TEST_F(InMobiTest, AddressFromTheEchoIsEscapedInTheBody) {
    // The echo's text is the server's; it must not close the JSON string.
    server.route("GET", "/ua.php", Answer{.body = R"({"ip": "1.2.3.4\",\"x\":\"y\\"})"});
    server.route("POST", kPath, Answer{.body = "<p>x</p>"});
    auto adapter = make<ADFRInMobiAPIView>(tag(R"(siteid: "4028cb")"), "");
    adapter->loadAd();
    const std::string body = await(kPath).at(0).body;
    EXPECT_NE(body.find(R"("ip":"1.2.3.4\",\"x\":\"y\\")"), std::string::npos) << body;
    EXPECT_EQ(
        ADFRInMobiAPIView::requestBody(14, "s", "1.2.3.4", "UA \"q\"\n", std::nullopt),
        R"({"responseformat":"html","imp":[{"displaymanager":"s_volentai","ads":1,"banner":{"adsize":14}}],)"
        R"("site":{"id":"s"},"device":{"ip":"1.2.3.4","ua":"UA \"q\"\n"}})");
}

TEST_F(InMobiTest, PopupAsksForSize14FullScreenAnd10Otherwise) {
    server.route("POST", kPath, Answer{.body = "<p>x</p>"});
    ZividedirViewFactory factory;
    auto parent = std::make_shared<ZividedirBaseView>();
    auto entity = adstest::networkEntity(tag(R"(siteid: "4028cb")"), R"(, "adnetwork_key": "1003")");
    factory.setting(plat::Value(plat::Value::Dictionary{{"adType", 1}}));
    auto full = factory.create(entity, {0, 0, 320, 480}, nullptr, parent);
    ASSERT_TRUE(std::dynamic_pointer_cast<ADFRInMobiAPIView>(full));
    adapters.push_back(full);
    EXPECT_EQ(std::dynamic_pointer_cast<ADFRInMobiAPIView>(full)->adSize(), 14);
    factory.setting(plat::Value(plat::Value::Dictionary{{"adType", 2}}));
    auto boxed = factory.create(entity, {0, 0, 300, 250}, nullptr, parent);
    adapters.push_back(boxed);
    EXPECT_EQ(std::dynamic_pointer_cast<ADFRInMobiAPIView>(boxed)->adSize(), 10);
    auto requests = await(kPath, 2);
    std::vector<std::string> sizes;
    for (const auto& r : requests) sizes.push_back(r.body.substr(r.body.find("adsize") + 8, 2));
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<std::string>{"10", "14"}));
    EXPECT_EQ(std::dynamic_pointer_cast<ADFRInMobiAPIView>(factory.create(entity, {0, 0, 320, 50}, nullptr))
                  ->adSize(),
              15);
}
