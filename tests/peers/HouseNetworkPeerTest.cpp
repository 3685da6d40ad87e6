// The house network, the RTB exchange and the price-token service of potemaru-peers, in process: the
// getad item names the server's own address, a bid answers under the request's id, the service's tokens
// match the committed table, and every request is recorded.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "PeerTestSupport.h"

namespace {

using peertest::Got;
using peertest::send;

Got post(const std::string& url, const std::string& body) {
    plat::URLRequest request(url);
    request.setHTTPMethod("POST");
    request.setValue("application/json", "Content-Type");
    request.setHTTPBody(body);
    return send(request);
}

struct HouseNetworkPeerTest : peertest::PeerFixture {};

}  // namespace

TEST_F(HouseNetworkPeerTest, GetadBidsAndPriceTokensAreServedAndRecorded) {
    ASSERT_TRUE(started);
    ASSERT_TRUE(table.count("ads.house") && table.count("ads.exchange") && table.count("ads.price"));
    EXPECT_EQ(table.at("ads.house").scheme, "http");
    EXPECT_EQ(table.at("ads.exchange").port, server.port());
    EXPECT_EQ(table.at("ads.price").scheme, "https");
    const std::string self = "http://127.0.0.1:" + std::to_string(server.port());

    Got getad = send(plat::URLRequest(
        table.at("ads.house").url("/zividedirpr/api/getad?aid=A&sdk=2.7.0&lang=ja_JP&mode=2&lim=1")));
    EXPECT_EQ(getad.status, 200);
    auto items = nlohmann::json::parse(getad.body, nullptr, false);
    ASSERT_TRUE(items.is_object()) << getad.body;
    const auto& item = items["item"][0];
    EXPECT_EQ(item["id"], "peers-house-1");
    EXPECT_TRUE(item["imp_url"].get<std::string>().starts_with(self + "/zividedirpr/api/imp?")) << item;
    EXPECT_NE(item["imp_url"].get<std::string>().find("[ZIZ_IDFA]"), std::string::npos);
    EXPECT_EQ(send(plat::URLRequest(item["bnr_url"].get<std::string>())).status, 200);
    EXPECT_EQ(send(plat::URLRequest(table.at("ads.house").url("/zividedirpr/api/getad"))).status, 400);

    const std::string bidURL = table.at("ads.exchange").url("/rtb/bid?id=63052&posall=RTB&proto=adfuri");
    Got bid = post(bidURL, R"({"id":"B1","at":"2","imp":[{"impid":"I","w":"320"}]})");
    EXPECT_EQ(bid.status, 200);
    auto answer = nlohmann::json::parse(bid.body, nullptr, false);
    ASSERT_TRUE(answer.is_object()) << bid.body;
    EXPECT_EQ(answer["id"], "B1");
    const auto& winner = answer["seatbid"][0]["bid"][0];
    EXPECT_EQ(winner["price"], 1000);
    EXPECT_EQ(winner["impurl"], self + "/rtb/imp?price=${SSP_WINNING_PRICE}");
    EXPECT_EQ(post(bidURL, "not json").status, 400);

    // The service's token of a whole price is the table's entry: the two read alike.
    testsupport::URLLoadingScope trust(table.at("ads.price").caFile);
    std::ifstream tokens(testsupport::sourceDir() / "assets" / "rtb_price_tokens.txt");
    std::string line;
    for (int i = 0; i <= 900; ++i) std::getline(tokens, line);
    const std::string service = table.at("ads.price").url("/get-rtb-encrypted-price.php");
    Got token = send(plat::URLRequest(service + "?ankey=1075&price=900.000000"));
    EXPECT_EQ(token.status, 200);
    EXPECT_EQ(token.body, line);
    Got fractional = send(plat::URLRequest(service + "?ankey=1075&price=900.450000"));
    EXPECT_EQ(fractional.body.size(), 12u);
    EXPECT_NE(fractional.body, line);
    EXPECT_EQ(send(plat::URLRequest(service + "?ankey=1&price=1.000000")).status, 400);
    EXPECT_EQ(send(plat::URLRequest(service + "?ankey=1075&price=abc")).status, 400);

    plat::URLConnection::closeIdleConnections();
    server.stop();
    std::string record = testsupport::readFile(dir.path() / "record.jsonl");
    for (const char* path : {"/zividedirpr/api/getad", "/rtb/bid", "/get-rtb-encrypted-price.php"})
        EXPECT_NE(record.find(std::string("\"path\":\"") + path + "\""), std::string::npos) << path;
    EXPECT_NE(record.find("\\\"id\\\":\\\"B1\\\""), std::string::npos) << record;
}
