// The whole offer wall for real: settings over https from the loopback kit, the ad crops adapter, the
// offer list and the script library over http, the tile page in the web engine with the bundle's style
// sheets, and a capture of the wall that shows its bar and the page.
#include <gtest/gtest.h>

#include <optional>

#include "AdsTestSupport.h"
#include "ads/ZividedirWallView.h"
#include "ads/adapters/ADFRWallHtmlSrc.h"
#include "ads/adapters/ZIZRadWallWebView.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRRandom.h"
#include "platform/media/ImageCodec.h"
#include "platform/net/InFlight.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Image.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WebTestSupport.h"

using testsupport::Answer;
using testsupport::pumpWebUntil;

namespace {

struct Recorder : ZividedirWallViewDelegate {
    void zividedirViewDidFinishLoad(ZividedirWallView&) override { events.push_back("load"); }
    void zividedirViewAdClose(ZividedirWallView& wall) override {
        events.push_back("close " + std::to_string(wall.closeType()));
    }
    std::vector<std::string> events;
};

std::string offerList(const std::string& origin) {
    std::string ads;
    for (int n = 1; n <= 6; ++n)
        ads += std::string(n > 1 ? "," : "") + R"({"reward": )" + std::to_string(n) +
               R"(, "rest_count": 100, "link_url": ")" + origin + "/offer/" + std::to_string(n) +
               R"(", "image_icon_114": "", "title": "Offer )" + std::to_string(n) +
               R"(", "description": "d", "type": 1})";
    return R"({"wall": {"beacon_url": ")" + origin + R"(/beacon"}, "ads": [)" + ads + "]}";
}

// One pixel of a decoded picture.
struct Pixel {
    int r, g, b;
};
Pixel at(const plat::DecodedImage& image, int x, int y) {
    const uint8_t* p = &image.pixels[(size_t(y) * image.width + size_t(x)) * 4];
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST(WallCapture, TheWallShowsItsBarAboveTheTilePage) {
    adstest::ScopedLanguage language{"ja_JP.UTF-8"};
    testsupport::TempHome home;
    testsupport::LoopbackServer settings{{.https = true}};
    testsupport::LoopbackServer web;
    testsupport::URLLoadingScope loading(settings.caFile());
    ADFREndpoints::setEndpoint(ADFREndpoints::Kind::SettingsMirror, {"https", "127.0.0.1", settings.port()});
    ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Settings, {"https", "127.0.0.1", settings.port()});
    for (auto kind :
         {ADFREndpoints::Kind::Impression, ADFREndpoints::Kind::AdCrops, ADFREndpoints::Kind::Jquery})
        ADFREndpoints::setEndpoint(kind, {"http", "127.0.0.1", web.port()});
    plat::Bundle::setMainInfoValue(plat::Bundle::kShortVersionKey, "1.0");
    settings.route(
        "GET", "/zividedir/api/getinfo/app_id/W/locale/ja_JP/ver/2.7.0/appver/1.0",
        Answer{.body = adstest::answer(adstest::entry("wall-1", R"({"ja": 1})", "site9",
                                                      R"(, "adnetwork_key": "1043", "wall_type": "2")"))});
    web.route("GET", ADFRWallHtmlSrc::kJqueryPath,
              Answer{.body = testsupport::readFile("/usr/share/javascript/jquery/jquery.min.js")});
    web.route("GET", "/ad/p/txt", Answer{.body = offerList(web.url("").substr(0, web.url("").size() - 1))});
    web.route("GET", "/zividedir/api/rec-impression", Answer{.body = "ok"});
    web.route("GET", "/beacon", Answer{.body = "GIF89a"});
    ADFRRandom::setDrawSource([] { return 0u; });  // the tile page

    auto window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    auto root = std::make_shared<plat::View>(plat::Rect{0, 0, 320, 568});
    root->setBackgroundColor(plat::Color::blackColor());
    window->addSubview(root);
    window->makeKeyAndVisible();
    auto recorder = std::make_shared<Recorder>();
    {
        auto wall = ZividedirWallView::create();
        wall->setDelegate(recorder);
        wall->setAppId("W");
        root->addSubview(wall);
        wall->startShowAd();
        ASSERT_TRUE(pumpWebUntil([&] { return !recorder->events.empty(); }));
        EXPECT_EQ(recorder->events, (std::vector<std::string>{"load"}));
        auto* adapter = dynamic_cast<ZIZRadWallAdCrops*>(wall->webView().get());
        ASSERT_TRUE(adapter);
        ASSERT_TRUE(pumpWebUntil([&] { return web.requestsTo("/beacon").size() == 1; }));
        // The page's style sheets are the bundle's; its last frame is in.
        ASSERT_TRUE(pumpWebUntil([&] { return plat::InFlight::count(plat::InFlightKind::WebLoad) == 0; }));
        const uint64_t frames = adapter->webView()->framesDelivered();
        pumpWebUntil([&] { return adapter->webView()->framesDelivered() > frames; }, 1);
        ASSERT_TRUE(
            pumpWebUntil([&] { return web.requestsTo("/zividedir/api/rec-impression").size() == 1; }));
        EXPECT_EQ(
            web.requestsTo("/zividedir/api/rec-impression")[0].query,
            "app_id=W&user_ad_id=wall-1&uid=" + wall->getManager()->deviceId().value_or("") + "&locale=ja");

        auto picture = wall->snapshot(1);
        ASSERT_TRUE(picture);
        const plat::DecodedImage image = picture->toDecoded();
        ASSERT_EQ(image.width, 320u);
        ASSERT_EQ(image.height, 568u);
        if (const char* dir = std::getenv("POTEMARU_TEST_CAPTURES")) {
            auto png = plat::ImageCodec::encodePng(image.pixels.data(), image.width, image.height, 4);
            if (png)
                testsupport::writeFile(std::string(dir) + "/wall.png", std::string(png->begin(), png->end()));
        }
        // The bar's green gradient at the left, the page's green header below it, its light background
        // further down.
        const Pixel bar = at(image, 20, 22);
        EXPECT_GT(bar.g, 120);
        EXPECT_LT(bar.r, bar.g);
        EXPECT_LT(bar.b, 80);
        const Pixel header = at(image, 20, 44 + 6);
        EXPECT_EQ(header.r, 0x3a);
        EXPECT_EQ(header.g, 0xa4);
        EXPECT_EQ(header.b, 0x12);
        const Pixel page = at(image, 2, 560);
        EXPECT_EQ(page.r, 0xf4);
        EXPECT_EQ(page.g, 0xf6);
        EXPECT_EQ(page.b, 0xf1);

        wall->closeAd();
        ASSERT_TRUE(pumpWebUntil([&] { return recorder->events.size() == 2; }));
        EXPECT_EQ(recorder->events.back(), "close 100");
    }
    plat::Bundle::resetMainInfoValues();
    window.reset();
    root.reset();
    EXPECT_TRUE(pumpWebUntil([] { return plat::WebView::liveCount() == 0u; }));
}
