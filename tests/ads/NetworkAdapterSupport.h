#pragma once
// Shared pieces of the ad-network adapter tests: every network endpoint, the IP echo and the ad server
// pointed at one loopback server, adapters that write down each page they hand to the web view, and
// the check that no web view or web process outlives a test.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AdsTestSupport.h"
#include "ads/base/ADFREndpoints.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/WebView.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WebTestSupport.h"

namespace adstest {

// The adapter, with every page it shows written down in order.
template <typename Adapter>
class Recorded : public Adapter {
  public:
    using Adapter::Adapter;
    void finishLoad() override {
        pages.push_back(this->htmlTag());
        Adapter::finishLoad();
    }
    std::vector<std::string> pages;
};

// An entity with the tag `html` (any length) and the extra members.
inline std::shared_ptr<ADFRJSAdEntity> networkEntity(const std::string& html, const std::string& extra) {
    std::string encoded;
    for (char c : ADFRBase64Util::base64StringFromString(html))
        if (c != '\r' && c != '\n') encoded += c;
    return entity(R"({"user_ad_id": "U", "weight": {"ja": 1, "en": 1}, "html": ")" + encoded + "\"" + extra +
                  "}");
}

struct NetworkAdapterTest : ::testing::Test {
    explicit NetworkAdapterTest(testsupport::LoopbackServer::Options options = {}) : server(options) {
        using Kind = ADFREndpoints::Kind;
        for (Kind kind : {Kind::Impression, Kind::ClickApi, Kind::IpEcho, Kind::SiteRoot, Kind::Gamefeat,
                          Kind::Zucks, Kind::InMobi, Kind::InMobiScript, Kind::Millennial, Kind::Leadbolt})
            ADFREndpoints::setEndpoint(kind, {"http", "127.0.0.1", server.port()});
    }
    ~NetworkAdapterTest() override {
        adapters.clear();
        EXPECT_EQ(plat::WebView::liveCount(), 0u);
        EXPECT_TRUE(testsupport::pumpWebUntil([] { return testsupport::liveChildren().empty(); }));
    }

    // An adapter set up as the factory does it, from one "settings" entry's extra members.
    template <typename Adapter>
    std::shared_ptr<Recorded<Adapter>> make(const std::string& html, const std::string& extra,
                                            plat::Rect frame = {0, 0, 320, 50}) {
        auto adapter = std::make_shared<Recorded<Adapter>>(frame);
        ZividedirAdapterSettings settings(plat::Value::Dictionary{
            {"appId", "A"}, {"userAdId", "U"}, {"loadHtml", plat::Value(html)}, {"adnetworkKey", "1"}});
        settings.entity = networkEntity(html, extra);
        EXPECT_TRUE(settings.entity) << extra;
        adapter->setting(settings);
        adapters.push_back(adapter);
        return adapter;
    }
    // The user agent of the app's web views (the defaults' "UserAgent"), which the IP lookup reports.
    void useAgent(const std::string& agent) { plat::UserDefaults::standard()->setString(agent, "UserAgent"); }
    void answerIp(const std::string& ip = "203.0.113.9") {
        server.route("GET", "/ua.php", testsupport::Answer{.body = R"({"ip": ")" + ip + "\"}"});
    }
    // Requests to `path` once `count` of them came (a bounded wait on the main run loop).
    std::vector<testsupport::RecordedRequest> await(const std::string& path, size_t count = 1) {
        EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return server.requestsTo(path).size() >= count; }))
            << path;
        return server.requestsTo(path);
    }
    template <typename Pred>
    bool until(Pred done) {
        return testsupport::runMainLoopUntil(done);
    }

    ScopedLanguage language{"en_US.UTF-8"};
    testsupport::TempHome home;
    testsupport::LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::vector<std::shared_ptr<plat::View>> adapters;
};

}  // namespace adstest
