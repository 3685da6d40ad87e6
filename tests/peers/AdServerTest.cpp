// The ad server of potemaru-peers, in process: settings over https with the committed local CA, the
// reports recorded, the IP echo, and the endpoints it names.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "PeerTestSupport.h"

namespace {

using peertest::get;
using peertest::Got;
struct AdServerTest : peertest::PeerFixture {};

}  // namespace

TEST_F(AdServerTest, ServesTheBannerSettingsOverTlsWithTheHtmlInBase64) {
    ASSERT_TRUE(started);
    ASSERT_TRUE(table.count("ads.settings"));
    const plat::Endpoint& settings = table.at("ads.settings");
    EXPECT_EQ(settings.scheme, "https");
    EXPECT_EQ(settings.port, server.tlsPort());
    EXPECT_EQ(settings.caFile, peertest::tlsDir() + "/ca.pem");
    EXPECT_EQ(table.at("ads.impression").port, server.port());
    // The endpoints file keeps the section and its CA file.
    std::string error;
    auto back = plat::Endpoints::parse(plat::Endpoints::toJson(table), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->at("ads.settings_mirror"), table.at("ads.settings_mirror"));

    testsupport::URLLoadingScope trust(settings.caFile);
    Got got =
        get(settings.url("/zividedir/api/getinfo/app_id/a1b2c3d4e5f60718293a4b5c/locale/ja_JP/ver/2.7.0"));
    ASSERT_FALSE(got.error) << got.error->localizedDescription();
    EXPECT_EQ(got.status, 200);
    auto json = nlohmann::json::parse(got.body, nullptr, false);
    ASSERT_TRUE(json.is_object()) << got.body;
    EXPECT_EQ(json["result"], "ok");
    ASSERT_GE(json["settings"].size(), 1u);
    std::string html = json["settings"][0]["html"];
    EXPECT_FALSE(html.empty());
    EXPECT_FALSE(json["settings"][0].contains("html_file"));

    EXPECT_EQ(get(settings.url("/zividedir/api/getinfo/app_id/unknown")).status, 404);
}

TEST_F(AdServerTest, RecordsReportsAndEchoesTheCallersAddress) {
    ASSERT_TRUE(started);
    testsupport::URLLoadingScope scope;
    const plat::Endpoint& report = table.at("ads.impression");
    EXPECT_EQ(
        get(report.url("/zividedir/api/rec-impression?app_id=a1b2c3d4e5f60718293a4b5c&user_ad_id=u&uid=&"
                       "locale=ja"))
            .status,
        200);
    EXPECT_EQ(get(table.at("ads.click").url("/zividedir/api/rec-click/app_id/A/user_ad_id/u/uid/x/locale/ja"))
                  .status,
              200);
    Got ip = get(table.at("ads.ip").url("/ua.php"));
    EXPECT_EQ(nlohmann::json::parse(ip.body, nullptr, false), nlohmann::json({{"ip", "127.0.0.1"}}));
    EXPECT_EQ(get(table.at("ads.site").url("/ads/banner-1.html")).status, 200);
    plat::URLConnection::closeIdleConnections();
    server.stop();
    std::string record = testsupport::readFile(dir.path() / "record.jsonl");
    EXPECT_NE(record.find("\"path\":\"/zividedir/api/rec-impression\""), std::string::npos) << record;
    EXPECT_NE(record.find("user_ad_id=u"), std::string::npos);
    EXPECT_NE(record.find("/zividedir/api/rec-click/app_id/A"), std::string::npos);
}
