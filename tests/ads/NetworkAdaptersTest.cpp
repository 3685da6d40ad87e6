// The network adapters together: the factory's keys, and the shared IP lookup serving several adapters
// that started in one turn.
#include "NetworkAdapterSupport.h"
#include "ads/adapters/ADFRGamefeatView.h"
#include "ads/adapters/ADFRInMobiAPIView.h"
#include "ads/adapters/ADFRLeadboltAPIView.h"
#include "ads/adapters/ADFRMMediaAPIView.h"
#include "ads/adapters/ADFRZucksAPIView.h"
#include "ads/adapters/ZividedirViewFactory.h"
#include "ads/settings/ADFRIpApiManager.h"

using testsupport::Answer;

namespace {

using NetworkAdaptersTest = adstest::NetworkAdapterTest;

constexpr const char* kApiPaths[] = {"/opt/api/v2", "/showad/v2", "/getAd", "/api/ad_feed"};

struct FourAdapters {
    std::shared_ptr<adstest::Recorded<ADFRZucksAPIView>> zucks;
    std::shared_ptr<adstest::Recorded<ADFRInMobiAPIView>> inMobi;
    std::shared_ptr<adstest::Recorded<ADFRMMediaAPIView>> mMedia;
    std::shared_ptr<adstest::Recorded<ADFRLeadboltAPIView>> leadbolt;
};

// The four adapters that wait for the address, each loading, all in one turn.
FourAdapters loadFour(NetworkAdaptersTest& t) {
    FourAdapters four;
    four.zucks = t.make<ADFRZucksAPIView>("<p>z</p>", R"(, "wall_type": "2", "param": {"frame_id": "9"})");
    four.inMobi = t.make<ADFRInMobiAPIView>(
        "<script src=\"" + t.server.url("/ad/inmobi.js") + "\">siteid: \"s1\"</script>", "");
    four.mMedia = t.make<ADFRMMediaAPIView>("<p>m</p>", R"(, "param": {"placement_apid": "P"})");
    four.leadbolt = t.make<ADFRLeadboltAPIView>(R"(<p>width: "320", height: "50"</p>)", "");
    four.zucks->loadAd();
    four.inMobi->loadAd();
    four.mMedia->loadAd();
    four.leadbolt->loadAd();
    return four;
}

}  // namespace

TEST_F(NetworkAdaptersTest, FactoryMakesEachNetworksAdapterByItsKey) {
    ZividedirViewFactory factory;
    const std::pair<const char*, const char*> keys[] = {
        {"1065", ADFRGamefeatView::kClassName},    {"1035", ADFRZucksAPIView::kClassName},
        {"1003", ADFRInMobiAPIView::kClassName},   {"1058", ADFRLeadboltAPIView::kClassName},
        {"1061", ADFRLeadboltAPIView::kClassName}, {"1060", ADFRMMediaAPIView::kClassName}};
    for (const auto& [key, name] : keys) {
        auto entity = adstest::networkEntity("<p>x</p>", std::string(R"(, "adnetwork_key": ")") + key + "\"");
        auto adapter = factory.create(entity, {0, 0, 320, 50}, nullptr);
        ASSERT_TRUE(adapter) << key;
        adapters.push_back(adapter);
        EXPECT_EQ(adapter->className(), name) << key;
        EXPECT_EQ(factory.beforeViewName(), name) << key;
        auto web = std::dynamic_pointer_cast<ZIZRadWebView>(adapter);
        ASSERT_TRUE(web) << key;
        EXPECT_EQ(web->adnetworkKey(), key);
    }
    // Whatever their loads do without a network, they end.
    testsupport::runMainLoopFor(0.2);
}

TEST_F(NetworkAdaptersTest, AdaptersStartedInOneTurnAllSendTheirRequest) {
    adstest::ScopedIdProvider id(true, "6D92078A-8246-4BA4-AE5B-76104861E7DC");
    answerIp();
    for (const char* path : kApiPaths)
        server.route(path == std::string("/showad/v2") ? "POST" : "GET", path, Answer{.body = "{}"});
    auto four = loadFour(*this);
    for (const char* path : kApiPaths) EXPECT_EQ(await(path).size(), 1u) << path;
    EXPECT_EQ(server.requestsTo("/ua.php").size(), 1u);
}

TEST_F(NetworkAdaptersTest, AddressThatReadsNullStopsEveryAdapter) {
    adstest::ScopedIdProvider id(true, "6D92078A-8246-4BA4-AE5B-76104861E7DC");
    answerIp("(null)");
    auto four = loadFour(*this);
    ASSERT_TRUE(until([&] { return four.zucks->pages.size() == 1 && four.leadbolt->pages.size() == 1; }));
    testsupport::runMainLoopFor(0.2);
    for (const char* path : kApiPaths) EXPECT_TRUE(server.requestsTo(path).empty()) << path;
    EXPECT_EQ(server.requestsTo("/ua.php").size(), 1u);
    // These two end their load with the empty page; the other two end without a word.
    EXPECT_EQ(four.zucks->pages, std::vector<std::string>{""});
    EXPECT_EQ(four.leadbolt->pages, std::vector<std::string>{""});
    EXPECT_TRUE(four.inMobi->pages.empty());
    EXPECT_TRUE(four.mMedia->pages.empty());
}

TEST(ADFREndpointsNetworks, EachNetworkHasAPlainHttpEntryThatResolvesNowhereByDefault) {
    using Kind = ADFREndpoints::Kind;
    const std::pair<Kind, const char*> kinds[] = {
        {Kind::Gamefeat, "ads.gamefeat"},     {Kind::Zucks, "ads.zucks"},
        {Kind::InMobi, "ads.inmobi"},         {Kind::InMobiScript, "ads.inmobi-script"},
        {Kind::Millennial, "ads.millennial"}, {Kind::Leadbolt, "ads.leadbolt"}};
    for (const auto& [kind, name] : kinds) {
        EXPECT_EQ(ADFREndpoints::name(kind), name);
        const plat::Endpoint e = ADFREndpoints::endpoint(kind);
        EXPECT_EQ(e.scheme, "http") << name;
        EXPECT_EQ(e.port, 80) << name;
        EXPECT_TRUE(e.host.ends_with(".invalid")) << name;
    }
    // The endpoints file's "ads" section names them like the others.
    std::string error;
    auto table = plat::Endpoints::parse(
        R"({"ads": {"inmobi-script": {"scheme": "http", "host": "127.0.0.1", "port": 7}}})", &error);
    ASSERT_TRUE(table) << error;
    plat::Endpoints::shared().setFileTable(*table);
    EXPECT_EQ(ADFREndpoints::url(Kind::InMobiScript, "/ad/inmobi.js"), "http://127.0.0.1:7/ad/inmobi.js");
}
