// The offer wall's parties in potemaru-peers, in process: the offer list of a site with this server's own
// address in it, unknown or odd site ids, the script library and the recorded beacon.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "peers/PeerServer.h"
#include "platform/net/URLConnection.h"
#include "tests/peers/PeerTestSupport.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

struct Got {
    int status = 0;
    std::string body;
};

Got get(const std::string& url) {
    Got got;
    bool done = false;
    plat::URLConnection::sendAsynchronous(plat::URLRequest(url), [&](auto& response, auto& data, auto&) {
        got = {response ? response->statusCode() : 0, std::string(data.begin(), data.end())};
        done = true;
    });
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return done; }));
    return got;
}

}  // namespace

TEST(WallPeers, ServesTheOfferListTheScriptLibraryAndRecordsTheBeacon) {
    testsupport::TempDir dir;
    peers::PeerServer server{{.port = 0,
                              .dataDir = peertest::dataDir(),
                              .recordFile = (dir.path() / "record.jsonl").string(),
                              .tlsDir = peertest::tlsDir()}};
    peers::addRoutes(server);
    ASSERT_TRUE(server.start());
    auto table = server.endpoints();
    ASSERT_TRUE(table.count("ads.adcrops"));
    ASSERT_TRUE(table.count("ads.jquery"));
    testsupport::URLLoadingScope scope;
    const plat::Endpoint& crops = table.at("ads.adcrops");

    Got list = get(crops.url("/ad/p/txt?_lang=ja&_loc=1&_site=peerswall1&_page=&_count=40&_format=json"));
    ASSERT_EQ(list.status, 200);
    auto json = nlohmann::json::parse(list.body, nullptr, false);
    ASSERT_TRUE(json.is_object()) << list.body;
    const std::string origin = "http://127.0.0.1:" + std::to_string(server.port());
    const std::string beacon = json["wall"]["beacon_url"];
    EXPECT_EQ(beacon.rfind(origin + "/ad/p/beacon", 0), 0u) << beacon;
    ASSERT_GE(json["ads"].size(), 15u);
    for (const auto& offer : json["ads"]) {
        for (const char* key :
             {"reward", "rest_count", "link_url", "image_icon_114", "title", "description", "type"})
            EXPECT_TRUE(offer.contains(key)) << key;
        EXPECT_EQ(get(offer["image_icon_114"].get<std::string>()).status, 200);
    }
    EXPECT_EQ(get(crops.url("/ad/p/txt?_site=nosuchsite")).status, 404);
    EXPECT_EQ(get(crops.url("/ad/p/txt?_site=..%2Fads%2Fbanner-1")).status, 404);
    EXPECT_EQ(get(crops.url("/ad/p/txt")).status, 404);

    Got script = get(table.at("ads.jquery").url("/jquery.min.js"));
    EXPECT_EQ(script.status, 200);
    EXPECT_NE(script.body.find("jQuery"), std::string::npos);
    EXPECT_EQ(get(beacon).status, 200);
    plat::URLConnection::closeIdleConnections();  // else the stop waits out the keep-alive time
    server.stop();
    std::string record = testsupport::readFile(dir.path() / "record.jsonl");
    EXPECT_NE(record.find("\"path\":\"/ad/p/beacon\""), std::string::npos) << record;
}
