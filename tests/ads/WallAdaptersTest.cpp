// The wall adapters and the offer pages on the real web engine, with the loopback kit standing in for the
// offer service, the script library's host and the ad server: what the pages show for each list, the
// list loader's cleaning and failures, the navigation decisions and the list URL by language.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AdsTestSupport.h"
#include "ads/ZividedirWallView.h"
#include "ads/adapters/ADFRWallHtmlSrc.h"
#include "ads/adapters/ZIZRadWallWebView.h"
#include "ads/adapters/ZividedirWallJsonEntity.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRRandom.h"
#include "platform/net/FileURL.h"
#include "platform/net/InFlight.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WebTestSupport.h"

using testsupport::Answer;
using testsupport::pumpWebUntil;

namespace {

constexpr const char* kJqueryFile = "/usr/share/javascript/jquery/jquery.min.js";

// One offer of the list text.
std::string offer(int n, int reward, int rest, const std::string& title = "", int type = 1) {
    const std::string name = title.empty() ? "App " + std::to_string(n) : title;
    return R"({"reward": )" + std::to_string(reward) + R"(, "rest_count": )" + std::to_string(rest) +
           R"(, "link_url": "http://127.0.0.1:9/ad/)" + std::to_string(n) + R"(", "image_icon_114": "",)" +
           R"( "title": ")" + name + R"(", "description": "About )" + name + R"(", "type": )" +
           std::to_string(type) + "}";
}

std::string offers(const std::vector<std::string>& list) {
    std::string out = "[";
    for (size_t i = 0; i < list.size(); ++i) out += (i ? "," : "") + list[i];
    return out + "]";
}

struct WallAdaptersTest : ::testing::Test {
    WallAdaptersTest() {
        for (auto kind :
             {ADFREndpoints::Kind::Impression, ADFREndpoints::Kind::ClickApi, ADFREndpoints::Kind::SiteRoot,
              ADFREndpoints::Kind::AdCrops, ADFREndpoints::Kind::Jquery})
            ADFREndpoints::setEndpoint(kind, {"http", "127.0.0.1", server.port()});
        server.route("GET", ADFRWallHtmlSrc::kJqueryPath,
                     Answer{.headers = {{"Content-Type", "application/javascript"}},
                            .body = testsupport::readFile(kJqueryFile)});
        server.route("GET", "/beacon", Answer{.headers = {{"Content-Type", "image/gif"}}, .body = "GIF89a"});
        server.route("GET", "/page",
                     Answer{.headers = {{"Content-Type", "text/html"}},
                            .body = "<html><body><a id='l' href='/other'>next</a></body></html>"});
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    }
    ~WallAdaptersTest() override {
        window.reset();
        EXPECT_EQ(plat::WebView::liveCount(), 0u);
        EXPECT_TRUE(pumpWebUntil([] { return testsupport::liveChildren().empty(); }));
    }

    template <typename Adapter>
    std::shared_ptr<Adapter> make(const std::string& html, const std::string& key,
                                  const std::string& wallType = "") {
        auto adapter = std::make_shared<Adapter>(plat::Rect{0, 44, 320, 524});
        ZividedirAdapterSettings settings(plat::Value::Dictionary{{"appId", "A"},
                                                                  {"userAdId", "U"},
                                                                  {"deviceId", "D"},
                                                                  {"loadHtml", plat::Value(html)},
                                                                  {"adnetworkKey", plat::Value(key)}});
        std::string extra = R"(, "adnetwork_key": ")" + key + "\"";
        if (!wallType.empty()) extra += R"(, "wall_type": ")" + wallType + "\"";
        settings.entity = adstest::entity(adstest::entry("U", R"({"ja": 1})", html, extra));
        adapter->setting(settings);
        window->addSubview(adapter);
        return adapter;
    }
    std::string evaluate(ZIZRadWallWebView& adapter, const std::string& script) {
        return testsupport::evaluate(*adapter.webView(), script);
    }
    // The offer page's script is done: the beacon has its source, or the not-found page is up.
    bool settled(ZIZRadWallWebView& adapter) {
        return pumpWebUntil([&] {
            if (adapter.finishCnt() == 0 || plat::InFlight::count(plat::InFlightKind::WebLoad) != 0)
                return false;
            return evaluate(adapter,
                            "(document.title == 'NotFound' || (document.getElementById('wall_beacon') && "
                            "document.getElementById('wall_beacon').getAttribute('src'))) ? 'yes' : 'no'") ==
                   "yes";
        });
    }
    // The offer list page (1) or the tile page (0), with `list` as the list text.
    std::shared_ptr<ZIZRadWallAdCrops> showList(const std::string& list, uint32_t page) {
        server.route("GET", "/ad/p/txt",
                     Answer{.headers = {{"Content-Type", "application/json"}}, .body = list});
        ADFRRandom::setDrawSource([page] { return page; });
        auto adapter = make<ZIZRadWallAdCrops>("site7", "1043", "2");
        adapter->loadAd();
        EXPECT_TRUE(settled(*adapter));
        return adapter;
    }
    int count(ZIZRadWallWebView& adapter, const std::string& selector) {
        return std::stoi("0" + evaluate(adapter, "document.querySelectorAll('" + selector + "').length"));
    }
    std::string title(ZIZRadWallWebView& adapter) { return evaluate(adapter, "document.title"); }

    std::string wallList(const std::string& ads) {
        return R"({"wall": {"beacon_url": ")" + server.url("/beacon") + R"("}, "ads": )" + ads + "}";
    }
    // Three offers on both pages, styled by the resource folder's style sheets.
    void expectThreeOffersFromTheResourceFolder() {
        for (uint32_t page : {0u, 1u}) {
            auto shown =
                showList(wallList(offers({offer(1, 3, 100), offer(2, 2, 100), offer(3, 1, 100)})), page);
            EXPECT_EQ(title(*shown), "おすすめアプリ");
            EXPECT_EQ(count(*shown, ".app_list article img"), 3);
            EXPECT_EQ(evaluate(*shown, "document.baseURI"), ZIZRadWallWebView::resourceBaseURL());
            EXPECT_EQ(
                evaluate(*shown, "getComputedStyle(document.querySelector('.site_header')).backgroundColor"),
                "rgb(58, 164, 18)");
        }
    }

    adstest::ScopedLanguage language{"en_US.UTF-8"};
    testsupport::TempHome home;
    testsupport::LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::shared_ptr<plat::Window> window;
};

}  // namespace

TEST_F(WallAdaptersTest, TwentyOffersGiveFourteenTilesAndSeventeenListArticlesHighestRewardFirst) {
    std::vector<std::string> list;
    for (int n = 1; n <= 20; ++n) list.push_back(offer(n, n * 10, n <= 3 ? 50 - n : 100, "", n % 2 ? 1 : 2));
    std::string text = wallList(offers(list));

    auto tiles = showList(text, 0);
    EXPECT_EQ(title(*tiles), "おすすめアプリ");
    EXPECT_EQ(count(*tiles, ".app_list article"), 14);
    EXPECT_EQ(count(*tiles, ".app_list article img.app_icon"), 14);
    EXPECT_EQ(evaluate(*tiles, "document.querySelector('.app_list article h1').textContent"), "App20");
    EXPECT_EQ(evaluate(*tiles, "document.getElementById('wall_css').getAttribute('href')"),
              "./ziz_wall_4.css");
    EXPECT_EQ(evaluate(*tiles, "document.getElementById('wall_beacon').style.display"), "none");
    EXPECT_EQ(evaluate(*tiles, "document.baseURI"), ZIZRadWallWebView::resourceBaseURL());
    ASSERT_TRUE(pumpWebUntil([&] { return server.requestsTo("/beacon").size() == 1; }));
    // The loader asked once, with the offer service's fixed agent.
    auto asked = server.requestsTo("/ad/p/txt");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].header("User-Agent"), ZividedirWallJsonEntity::kUserAgent);

    auto rows = showList(text, 1);
    EXPECT_EQ(count(*rows, ".app_list article"), 17);
    EXPECT_EQ(evaluate(*rows, "document.querySelector('.app_list article h1.app_name').textContent"),
              "無料App20");
    EXPECT_EQ(evaluate(*rows, "document.querySelectorAll('.app_list .dl_button')[0].textContent"), "詳細へ");
    EXPECT_EQ(evaluate(*rows, "document.querySelectorAll('.app_list .dl_button')[1].textContent"),
              "インストール");
    EXPECT_EQ(
        evaluate(*rows, "document.querySelectorAll('.app_list article')[16].querySelector('p').textContent"),
        "AboutApp4");  // whitespace is cleaned out of the whole list text
    EXPECT_EQ(evaluate(*rows, "document.getElementById('wall_css').getAttribute('href')"),
              "./ziz_list_4.css");
    ASSERT_TRUE(pumpWebUntil([&] { return server.requestsTo("/beacon").size() == 2; }));
    // The beacon goes out once a page.
    pumpWebUntil([] { return false; }, 0.3);
    EXPECT_EQ(server.requestsTo("/beacon").size(), 2u);
}

TEST_F(WallAdaptersTest, TheWallShowsItsOffersFromAFolderNamedWithASpaceAndJapaneseLetters) {
    testsupport::TempDir dir;
    const std::filesystem::path folder = dir.path() / "sp ace ゲーム";
    std::filesystem::copy(plat::Bundle::main().resourcePath(), folder);
    testsupport::ResourcePathScope resources(folder);
    ASSERT_EQ(ZIZRadWallWebView::resourceBaseURL(), plat::fileURLFromPath(folder) + "/");
    expectThreeOffersFromTheResourceFolder();
}

TEST_F(WallAdaptersTest, TheWallShowsItsOffersFromAFolderWhoseNameHoldsABackslash) {
    testsupport::TempDir dir;
    const std::filesystem::path folder = dir.path() / "back\\slash";
    std::filesystem::copy(plat::Bundle::main().resourcePath(), folder);
    testsupport::ResourcePathScope resources(folder);
    ASSERT_EQ(ZIZRadWallWebView::resourceBaseURL(), plat::fileURLFromPath(folder) + "/");
    expectThreeOffersFromTheResourceFolder();
}

TEST_F(WallAdaptersTest, TheWallShowsItsOffersFromAFolderGivenWithDotSegments) {
    // As "--resources ./assets" and "--resources x/../assets" name it, from the working folder.
    const std::filesystem::path assets = plat::Bundle::main().resourcePath();
    const std::filesystem::path fromHere = assets.lexically_relative(std::filesystem::current_path());
    for (const std::filesystem::path& given :
         {"." / fromHere, fromHere.parent_path() / "x" / ".." / fromHere.filename()}) {
        SCOPED_TRACE(given);
        testsupport::ResourcePathScope resources(given);
        ASSERT_EQ(ZIZRadWallWebView::resourceBaseURL(), plat::fileURLFromPath(assets) + "/");
        expectThreeOffersFromTheResourceFolder();
    }
}

TEST_F(WallAdaptersTest, FewOrNoQualifyingOffersFillTheTilePage) {
    std::vector<std::string> five;
    for (int n = 1; n <= 5; ++n) five.push_back(offer(n, n, 51));
    auto tiles = showList(wallList(offers(five)), 0);
    EXPECT_EQ(count(*tiles, ".app_list article"), 14);
    EXPECT_EQ(count(*tiles, ".app_list article img"), 5);
    EXPECT_EQ(count(*tiles, ".app_list article div[style]"), 9);

    std::vector<std::string> spent;
    for (int n = 1; n <= 4; ++n) spent.push_back(offer(n, n, 50));
    tiles = showList(wallList(offers(spent)), 0);
    EXPECT_EQ(title(*tiles), "おすすめアプリ");
    EXPECT_EQ(count(*tiles, ".app_list article img"), 0);
    EXPECT_EQ(count(*tiles, ".app_list article"), 14);
    auto rows = showList(wallList(offers(spent)), 1);
    EXPECT_EQ(title(*rows), "おすすめアプリ");
    EXPECT_EQ(count(*rows, ".app_list article"), 0);
}

TEST_F(WallAdaptersTest, ListsWithNothingToShowEndOnTheNotFoundPage) {
    for (const std::string& text : {wallList("[]"), std::string(R"({"wall": {"beacon_url": ""}})"),
                                    std::string(R"({"ads": [)") + offer(1, 1, 100) + "]}",
                                    std::string("{not json"), std::string("null")}) {
        SCOPED_TRACE(text);
        auto page = showList(text, 0);
        EXPECT_EQ(title(*page), "NotFound");
        EXPECT_EQ(evaluate(*page, "document.querySelector('#notfound p').textContent"),
                  "インターネットに接続できません。通信状況を確認してください。");
        EXPECT_EQ(evaluate(*page, "getComputedStyle(document.querySelector('#notfound h1')).width"), "160px");
    }
}

TEST_F(WallAdaptersTest, ListTextIsShownAsTextNeverAsMarkup) {
    const std::string hostile = R"(</script><b>x</b>)";
    std::string list = wallList(offers({offer(1, 5, 100, hostile), offer(2, 4, 100, R"(a\"b'c)")}));
    for (uint32_t page : {0u, 1u}) {
        auto shown = showList(list, page);
        EXPECT_EQ(title(*shown), "おすすめアプリ");
        EXPECT_EQ(count(*shown, ".app_list b"), 0);
        EXPECT_EQ(evaluate(*shown, "document.querySelector('.app_list article img').getAttribute('alt')"),
                  hostile);
        EXPECT_EQ(
            evaluate(*shown, "document.querySelectorAll('.app_list article img')[1].getAttribute('alt')"),
            "a\"b\u2019c");
    }
    EXPECT_EQ(ADFRWallHtmlSrc::withListText("x'[ADFR_CPIJS_JSONDATA]'y[ADFR_CPIJS_JSONDATA]", "<a>"),
              "x'\\u003ca>'y\\u003ca>");
}

TEST(WallListCleaning, NoWhitespaceApostrophesTurnedAndBackslashesDoubled) {
    EXPECT_EQ(
        ZividedirWallJsonEntity::cleanedListText("{\"t\": \"a b\",\r\n \"d\":\t\"it's\\n\u3000x\u00a0y\"}"),
        "{\"t\":\"ab\",\"d\":\"it\u2019s\\\\nxy\"}");
    EXPECT_EQ(ZividedirWallJsonEntity::cleanedListText("\\\\"), "\\\\\\\\");
    EXPECT_EQ(ZividedirWallJsonEntity::cleanedListText(""), "");
}

namespace {

struct LoaderRecorder : ZividedirWallJsonEntityDelegate {
    void zividedirCPIJsonFinish(ZividedirWallJsonEntity& l) override {
        events.push_back("finish " + *l.jsonString());
    }
    void zividedirCPIJsonFailed(ZividedirWallJsonEntity&) override { events.push_back("failed"); }
    std::vector<std::string> events;
};

}  // namespace

TEST_F(WallAdaptersTest, TheLoaderFollowsRedirectsAndReportsEveryFailure) {
    server.redirect("/moved", "/list");
    server.route("GET", "/list", Answer{.body = "{\"a\": 'b c'}"});
    server.route("GET", "/missing", Answer{.status = 404, .body = "no"});
    server.route("GET", "/empty", Answer{.body = ""});
    server.route("GET", "/binary", Answer{.body = std::string("\xff\xfe{}", 4)});
    server.route(
        "GET", "/cut",
        Answer{.body = std::string(100, 'x'), .fault = testsupport::Fault::PartialBody, .partialBytes = 10});
    auto run = [&](const std::string& path) {
        auto loader = ZividedirWallJsonEntity::create();
        auto recorder = std::make_shared<LoaderRecorder>();
        loader->setDelegate(recorder);
        loader->loadCpiRequest(server.url(path));
        EXPECT_EQ(loader->status(), 1);
        EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return !recorder->events.empty(); }));
        EXPECT_EQ(loader->status(), 0);
        return recorder->events;
    };
    using Events = std::vector<std::string>;
    EXPECT_EQ(run("/moved"), (Events{"finish {\"a\":\u2019bc\u2019}"}));
    EXPECT_EQ(run("/missing"), (Events{"failed"}));
    EXPECT_EQ(run("/empty"), (Events{"failed"}));
    EXPECT_EQ(run("/binary"), (Events{"failed"}));
    EXPECT_EQ(run("/cut"), (Events{"failed"}));

    // A cancelled request tells nobody.
    auto loader = ZividedirWallJsonEntity::create();
    auto recorder = std::make_shared<LoaderRecorder>();
    loader->setDelegate(recorder);
    loader->loadCpiRequest(server.url("/list"));
    loader->cancelgetInfoRequest();
    testsupport::runMainLoopUntil([] { return false; }, 0.2);
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(WallAdaptersTest, ANonOkListAnswerShowsTheNotFoundPage) {
    server.route("GET", "/ad/p/txt", Answer{.status = 500, .body = "down"});
    auto adapter = make<ZIZRadWallAdCrops>("site7", "1043", "2");
    adapter->loadAd();
    ASSERT_TRUE(settled(*adapter));
    EXPECT_EQ(title(*adapter), "NotFound");
}

TEST_F(WallAdaptersTest, WithoutItsScriptLibraryTheOfferWallAsksForNoList) {
    plat::Endpoints::shared().removeOverride(ADFREndpoints::name(ADFREndpoints::Kind::Jquery));
    auto adapter = make<ZIZRadWallAdCrops>("site7", "1043", "2");
    adapter->loadAd();
    ASSERT_TRUE(settled(*adapter));
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(WallAdaptersTest, ListURLByFirstPreferredLanguage) {
    {
        adstest::ScopedEnv languages("LANGUAGE", "ja:en");
        EXPECT_EQ(ZIZRadWallAdCrops::listURL("s1"),
                  server.url("/ad/p/txt") +
                      "?_lang=ja&_loc=1&_site=s1&_page=&_count=40&_format=json&_locale=ja_JP&_pl=&_i=");
    }
    adstest::ScopedLanguage english("en_GB.UTF-8");
    EXPECT_EQ(ZIZRadWallAdCrops::listURL("s2"),
              server.url("/ad/p/txt") +
                  "?_lang=en&_loc=1&_site=s2&_page=&_count=40&_format=json&_locale=en_GB&_pl=&_i=");
}

TEST_F(WallAdaptersTest, OtherWallTypesShowTheNotFoundPageTheHtmlOrTheRequestedPage) {
    auto notFound = make<ZIZRadWallWebView>("site7", "1044", "2");
    notFound->loadAd();
    ASSERT_TRUE(settled(*notFound));
    EXPECT_EQ(title(*notFound), "NotFound");

    auto html = make<ZIZRadWallHTMView>("<title>own</title>[ZIZ_IDFA]", "1");
    ASSERT_TRUE(html->entity());
    html->loadAd();
    ASSERT_TRUE(pumpWebUntil([&] { return html->finishCnt() == 1; }));
    EXPECT_EQ(title(*html), "own");
    EXPECT_EQ(evaluate(*html, "document.baseURI"), server.url("/"));

    auto request = make<ZIZRadWallRequest>(server.url("/page"), "1039", "1");
    request->setAdnetworkKey("");
    request->loadAd();
    EXPECT_EQ(request->adnetworkKey(), "1039");
    ASSERT_TRUE(pumpWebUntil([&] { return request->finishCnt() == 1; }));
    EXPECT_EQ(server.requestsTo("/page").size(), 1u);
    EXPECT_EQ(request->webView()->url(), server.url("/page"));
}

TEST_F(WallAdaptersTest, AWebWallPageGivenWithASpaceALetterAndDotsLoadsAndGoesToItsOwnPages) {
    // A site of its own: the ad server's pages may be visited anyway.
    testsupport::LoopbackServer site;
    const auto html = [](const std::string& body) {
        return Answer{.headers = {{"Content-Type", "text/html"}}, .body = body};
    };
    site.route("GET", "/wall dir/ä/", html("<script>location.href = 'next'</script>"));
    site.route("GET", "/wall dir/ä/next", html("<title>next</title>"));
    auto adapter = make<ZIZRadWallRequest>(site.url("/wall dir/x/../ä/"), "1043", "1");
    adapter->loadAd();
    ASSERT_TRUE(pumpWebUntil([&] { return title(*adapter) == "next"; }));
    EXPECT_EQ(site.requestsTo("/wall dir/ä/next").size(), 1u);
}

TEST_F(WallAdaptersTest, NavigationDecisions) {
    using Type = plat::WebViewNavigationType;
    auto wall = ZividedirWallView::create();
    struct Closes : ZividedirWallViewDelegate {
        void zividedirViewAdClose(ZividedirWallView& w) override { closes.push_back(w.closeType()); }
        void zividedirViewAdTapped(ZividedirWallView&) override { ++taps; }
        std::vector<int> closes;
        int taps = 0;
    };
    auto recorder = std::make_shared<Closes>();
    wall->setDelegate(recorder);

    auto adapter = make<ZIZRadWallRequest>(server.url("/page"), "1039", "1");
    adapter->setParentView(wall);
    adapter->loadAd();
    ASSERT_TRUE(pumpWebUntil([&] { return adapter->finishCnt() == 1; }));
    const int32_t allowed = adapter->shouldCnt();

    // Back within the site stays; back to another host closes the wall with 100.
    EXPECT_TRUE(adapter->shouldStartLoad(server.url("/before"), int(Type::BackForward)));
    EXPECT_EQ(adapter->shouldCnt(), allowed + 1);
    EXPECT_FALSE(adapter->shouldStartLoad("http://elsewhere.invalid/", int(Type::BackForward)));
    EXPECT_EQ(wall->closeType(), ZividedirWallView::kCloseButton);
    // Scripted loads go only to the page's own site and the ad server's, and are counted.
    EXPECT_FALSE(adapter->shouldStartLoad("http://elsewhere.invalid/x", int(Type::Other)));
    EXPECT_TRUE(
        adapter->shouldStartLoad(ADFREndpoints::url(ADFREndpoints::Kind::SiteRoot, "/x"), int(Type::Other)));
    EXPECT_EQ(adapter->shouldCnt(), allowed + 2);

    // With key 1039 a tapped link of the same host loads inside, uncounted; any other leaves the app.
    EXPECT_TRUE(adapter->shouldStartLoad(server.url("/other"), int(Type::LinkClicked)));
    EXPECT_EQ(adapter->shouldCnt(), allowed + 2);
    EXPECT_TRUE(server.requestsTo("/zividedir/api/rec-click/app_id/A/user_ad_id/U/uid/D/locale/en").empty());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(adapter->shouldStartLoad("http://elsewhere.invalid/x", int(Type::LinkClicked)));
    adapter->setAdnetworkKey("1043");
    EXPECT_FALSE(adapter->shouldStartLoad(server.url("/other"), int(Type::LinkClicked)));
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "open URL: http://elsewhere.invalid/x\nopen URL: " + server.url("/other") + "\n");
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] {
        return server.requestsTo("/zividedir/api/rec-click/app_id/A/user_ad_id/U/uid/D/locale/en").size() ==
               2;
    }));
    // The host hears of taps only when it made itself the adapter's delegate.
    EXPECT_EQ(recorder->taps, 0);
    adapter->setDelegate(recorder);
    testing::internal::CaptureStdout();
    adapter->shouldStartLoad("http://elsewhere.invalid/y", int(Type::LinkClicked));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(recorder->taps, 1);

    // The page's own way out: the not-found page.
    evaluate(*adapter, "location.href = 'adfri_notfound:'; 'ok'");
    ASSERT_TRUE(pumpWebUntil([&] { return adapter->finishCnt() == 2 && title(*adapter) == "NotFound"; }));
    // A page is its own address and what lies below it: no user name, no longer host, no "/wallx".
    adapter->loadPage("", "http://127.0.0.1:9");
    EXPECT_FALSE(adapter->shouldStartLoad("http://127.0.0.1:9@elsewhere.invalid/x", int(Type::Other)));
    adapter->loadPage("", "http://wall.invalid");
    EXPECT_FALSE(adapter->shouldStartLoad("http://wall.invalid.elsewhere.invalid/", int(Type::Other)));
    adapter->loadPage("", "http://wall.invalid/wall");
    EXPECT_FALSE(adapter->shouldStartLoad("http://wall.invalid/wallx", int(Type::Other)));
    EXPECT_TRUE(adapter->shouldStartLoad("http://wall.invalid/wall/x", int(Type::Other)));
}
