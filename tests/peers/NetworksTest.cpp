// The ad networks' servers of potemaru-peers, in process: each answers its path from ads/networks/ with
// links that point back to it, names its endpoint, and records what it was sent.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "peers/PeerServer.h"
#include "platform/net/URLConnection.h"
#include "tests/peers/PeerTestSupport.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

struct Reply {
    int status = 0;
    std::string body;
};

Reply send(plat::URLRequest request) {
    Reply reply;
    bool done = false;
    plat::URLConnection::sendAsynchronous(request, [&](auto& response, auto& data, auto&) {
        reply = {response ? response->statusCode() : 0, std::string(data.begin(), data.end())};
        done = true;
    });
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return done; }));
    return reply;
}

struct NetworksTest : ::testing::Test {
    NetworksTest() {
        peers::addRoutes(server);
        started = server.start();
        table = server.endpoints();
    }
    std::string url(const char* endpoint, const std::string& path) { return table.at(endpoint).url(path); }

    testsupport::TempDir dir;
    peers::PeerServer server{{.port = 0,
                              .dataDir = peertest::dataDir(),
                              .recordFile = (dir.path() / "record.jsonl").string(),
                              .tlsDir = ""}};
    bool started = false;
    plat::Endpoints::Table table;
    testsupport::URLLoadingScope loading;
};

}  // namespace

TEST_F(NetworksTest, EachNetworkAnswersItsPathWithLinksBackToThePeers) {
    ASSERT_TRUE(started);
    for (const char* name :
         {"ads.gamefeat", "ads.zucks", "ads.inmobi", "ads.inmobi-script", "ads.millennial", "ads.leadbolt"}) {
        ASSERT_TRUE(table.count(name)) << name;
        EXPECT_EQ(table.at(name).scheme, "http");
        EXPECT_EQ(table.at(name).port, server.port());
    }
    const std::string host = "127.0.0.1:" + std::to_string(server.port());

    Reply gamefeat =
        send(plat::URLRequest(url("ads.gamefeat", "/webapi/v1/requestCustomAds/?adid=1&adsize=10&os=ios")));
    EXPECT_EQ(gamefeat.status, 200);
    auto json = nlohmann::json::parse(gamefeat.body, nullptr, false);
    ASSERT_TRUE(json.is_object()) << gamefeat.body;
    EXPECT_EQ(json["img"], "http://" + host + "/ads/networks/network-ad.svg");
    EXPECT_EQ(send(plat::URLRequest(json["img"].get<std::string>())).status, 200);

    auto zucks = nlohmann::json::parse(send(plat::URLRequest(url("ads.zucks", "/opt/api/v2?frameid=1"))).body,
                                       nullptr, false);
    EXPECT_EQ(zucks["status"], "ok");
    EXPECT_EQ(send(plat::URLRequest(zucks["imp_url"].get<std::string>())).status, 200);

    plat::URLRequest post(url("ads.inmobi", "/showad/v2"));
    post.setHTTPMethod("POST");
    post.setValue("application/json", "Content-Type");
    post.setHTTPBody(std::string_view(R"({"site":{"id":"s"}})"));
    Reply inMobi = send(post);
    EXPECT_EQ(inMobi.status, 200);
    EXPECT_NE(inMobi.body.find("http://" + host + "/ads/landing-3.html"), std::string::npos) << inMobi.body;
    EXPECT_EQ(send(plat::URLRequest(url("ads.inmobi-script", "/ad/inmobi.js"))).status, 200);
    EXPECT_NE(send(plat::URLRequest(url("ads.millennial", "/getAd?apid=P"))).body.find("<a href="),
              std::string::npos);
    EXPECT_NE(send(plat::URLRequest(url("ads.leadbolt", "/api/ad_feed?pf=1"))).body.find("<html>"),
              std::string::npos);

    plat::URLConnection::closeIdleConnections();
    server.stop();
    std::string record = testsupport::readFile(dir.path() / "record.jsonl");
    bool sawPost = false;
    size_t lines = 0;
    std::istringstream in(record);
    for (std::string line; std::getline(in, line);) {
        auto entry = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(entry.is_object()) << line;
        ++lines;
        if (entry["path"] == "/showad/v2") {
            sawPost = true;
            EXPECT_EQ(entry["method"], "POST");
            EXPECT_EQ(entry["body"], R"({"site":{"id":"s"}})");
            EXPECT_EQ(entry["headers"]["Content-Type"], "application/json");
        }
    }
    EXPECT_TRUE(sawPost);
    EXPECT_NE(record.find(R"("query":"adid=1&adsize=10&os=ios")"), std::string::npos);
    EXPECT_NE(record.find(R"("path":"/zucks/imp")"), std::string::npos);
    EXPECT_GE(lines, 7u);
}
