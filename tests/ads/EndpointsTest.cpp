// The ad server's endpoints: built-in defaults that resolve nowhere, the app's, and the endpoints
// file's "ads" section with its CA file.
#include <gtest/gtest.h>

#include "ads/base/ADFREndpoints.h"
#include "ads/settings/ADFRData.h"
#include "platform/net/FileURL.h"
#include "platform/net/NormalURL.h"
#include "platform/storage/KeyedArchive.h"
#include "tests/support/TestSupport.h"

using Kind = ADFREndpoints::Kind;

TEST(ADFREndpoints, DefaultsResolveNowhereAndTheSettingsGoOverHttps) {
    for (Kind kind : {Kind::SettingsMirror, Kind::Settings, Kind::Impression, Kind::ClickApi, Kind::IpEcho,
                      Kind::SiteRoot, Kind::Staging}) {
        std::string host = ADFREndpoints::endpoint(kind).host;
        EXPECT_TRUE(host.ends_with(".invalid")) << ADFREndpoints::name(kind);
    }
    EXPECT_TRUE(ADFREndpoints::url(Kind::IpEcho, "/ua.php").starts_with("http://"));
    ADFREndpoints::setEndpoint(Kind::Settings, {"http", "127.0.0.1", 8080});
    EXPECT_EQ(ADFREndpoints::settingsURL(Kind::Settings, "/x"), "https://127.0.0.1:8080/x");
    EXPECT_FALSE(ADFREndpoints::settingsHostsOnLoopback());
    ADFREndpoints::setEndpoint(Kind::SettingsMirror, {"https", "127.0.0.1", 8443});
    EXPECT_TRUE(ADFREndpoints::settingsHostsOnLoopback());
}

TEST(ADFREndpoints, TheFilesAdsSectionOverridesTheAppAndCarriesItsCaFile) {
    std::string error;
    auto table = plat::Endpoints::parse(R"({"collect": {"scheme": "http", "host": "127.0.0.1", "port": 1},
        "ads": {"ca_file": "/tmp/ca.pem",
                "settings": {"scheme": "https", "host": "127.0.0.1", "port": 2},
                "ip": {"scheme": "http", "host": "localhost", "port": 3}}})",
                                        &error);
    ASSERT_TRUE(table) << error;
    EXPECT_EQ(table->at("ads.settings").port, 2);
    EXPECT_EQ(table->at("ads.settings").caFile, "/tmp/ca.pem");
    EXPECT_EQ(table->at("collect").caFile, "");
    ADFREndpoints::setEndpoint(Kind::Settings, {"https", "10.0.0.1", 9});
    plat::Endpoints::shared().setFileTable(*table);
    EXPECT_EQ(ADFREndpoints::endpoint(Kind::Settings).port, 2);
    EXPECT_EQ(ADFREndpoints::url(Kind::IpEcho, "/ua.php"), "http://localhost:3/ua.php");
    // Written back, the section reads the same.
    auto again = plat::Endpoints::parse(plat::Endpoints::toJson(*table), &error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(*again, *table);
}

TEST(ADFREndpoints, AnAddressThatCannotBeReadOrLiesUnderInvalidLeadsNowhere) {
    for (const char* url :
         {"http://u@127.0.0.1:8080/r", "http://127.0.0.1:99999/r", "http://127.0.0.1:80\\/r", "",
          "127.0.0.1:8080/r", "http://report.ads.invalid./r", "http://other.invalid/r"})
        EXPECT_TRUE(ADFREndpoints::leadsNowhere(url)) << url;
}

TEST(ADFREndpoints, AFilePageHoldsWhatLiesBelowItHoweverItsPathIsEscaped) {
    const std::string page = plat::fileURLFromPath("/res/sp ace ゲーム#?%/");
    const std::string own = "file:///res/sp%20ace%20%E3%82%B2%E3%83%BC%E3%83%A0%23%3F%25/";
    EXPECT_TRUE(ADFREndpoints::withinPage(own + "x.css", page));
    EXPECT_TRUE(ADFREndpoints::withinPage(
        "file://localhost/res/sp ace %e3%82%b2%e3%83%bc%e3%83%a0%23%3f%25/a#b", page));
    for (const std::string& outside : std::vector<std::string>{
             "file:///res/", own.substr(0, own.size() - 1) + "x", "file:///etc/passwd", own + "../x",
             own + "%2e%2e/x", own + ".%2E", own + "a%2f..%2fx", "file://other/" + own.substr(8)})
        EXPECT_FALSE(ADFREndpoints::withinPage(outside, page)) << outside;
    // A web page's escaped "/" is refused, as a server may decode it; its ".." leads out in either spelling.
    EXPECT_FALSE(ADFREndpoints::withinPage("http://w.invalid/wall/x%2Fy", "http://w.invalid/wall"));
    EXPECT_FALSE(ADFREndpoints::withinPage("http://w.invalid/wall%2Fx", "http://w.invalid/wall"));
    EXPECT_FALSE(ADFREndpoints::withinPage("http://w.invalid/wall/%2E%2e/x", "http://w.invalid/wall"));
}

TEST(ADFREndpoints, AFilePageInAFolderWhoseNameHoldsABackslashHoldsItsFiles) {
    const std::string page = plat::fileURLFromPath("/res/back\\slash/");
    EXPECT_TRUE(ADFREndpoints::withinPage(page + "ziz_wall_1.css", page));
    EXPECT_TRUE(ADFREndpoints::withinPage("file:///res/back%5cslash/x%5C..", page));
    EXPECT_FALSE(ADFREndpoints::withinPage("file:///res/back%5Cslash/../x", page));
    EXPECT_FALSE(ADFREndpoints::withinPage("http://w.invalid/wall/x%5Cy", "http://w.invalid/wall"));
}

TEST(ADFREndpoints, AWebPageHoldsItsOwnAddressAsTheEngineSpellsIt) {
    const std::string page = "HTTP://W.invalid:80/wall dir/ä/../x";
    for (const std::string own : {"http://w.invalid/wall%20dir/x", "http://w.invalid/wall%20dir/x/a%c3%A4%7e",
                                  "http://w.invalid:80/wall%20dir/./x/y/../z"})
        EXPECT_TRUE(ADFREndpoints::withinPage(own, page)) << own;
    EXPECT_FALSE(ADFREndpoints::withinPage("http://w.invalid/wall%20dir/%C3%A4/x", page));
}

TEST(ADFREndpoints, AnAddressTheEnginesFormCannotReadIsRefused) {
    for (const std::string wall : {"http://w.invalid/wall", "file:///res/wall"}) {
        for (const std::string unread :
             {"/%2e%2e/x%zz", "/%2e%2e/%", "/..\\x", "/.\t./x", "/..\n/x", "/x%00", "/x%2"})
            EXPECT_FALSE(ADFREndpoints::withinPage(wall + unread, wall)) << wall + unread;
        EXPECT_TRUE(ADFREndpoints::withinPage(wall + "/x/y", wall));
    }
}

// Each address with the path a WHATWG URL parser reads in it (escapes in upper case): the form reads that
// path or refuses the address, and the gate holds it within the page only when that path lies below the
// page's and holds no escaped "/" (nor, in a web address, an escaped "\").
TEST(ADFREndpoints, TheGateReadsAnAddressAsAUrlParserDoesOrRefusesIt) {
    struct Row {
        const char* url;
        const char* parsed;
        bool formReadsIt;
        bool within;
    };
    for (const Row& row : std::initializer_list<Row>{
             {"file:///res/wall/.. ", "/res/", false, false},
             {"file:///C:/../res/wall/x", "/C:/res/wall/x", false, false},
             {"file:///C|/../res/wall/x", "/C:/res/wall/x", false, false},
             {"file:///c:/%2e%2e/res/wall/x", "/c:/res/wall/x", false, false},
             {"file:///res/../C:/../res/wall/x", "/C:/res/wall/x", false, false},
             {"file:///C%7C/../res/wall/x", "/res/wall/x", true, true},
             {"file:///res/C:/../wall/x", "/res/wall/x", true, true},
             {"file:////C:/../res/wall/x", "//res/wall/x", true, false},
             {"http://w.invalid/wall/..%2fx", "/wall/..%2Fx", true, false},
             {"http://w.invalid/wall/..%5cx", "/wall/..%5Cx", true, false},
             {"http://w.invalid/x%2F/../wall/y", "/wall/y", true, false},
             {"file:///res/../%5Cx/../res/wall/y", "/res/wall/y", true, true},
             {"http://w.invalid/wall/.%2E/x", "/x", true, false},
             {"HTTP://W.invalid:080/wall/a b/./x", "/wall/a%20b/x", true, true},
             {"http://w.invalid/wall/.. ", "/", false, false},
         }) {
        const std::string page =
            row.url[0] == 'h' || row.url[0] == 'H' ? "http://w.invalid/wall" : "file:///res/wall/";
        auto form = plat::NormalURL::of(row.url);
        EXPECT_EQ(form.has_value(), row.formReadsIt) << row.url;
        if (form) {
            EXPECT_EQ(form->path, row.parsed) << row.url;
        }
        EXPECT_EQ(ADFREndpoints::withinPage(row.url, page), row.within) << row.url;
    }
}

TEST(ADFREndpoints, ABadAdsSectionIsRefused) {
    for (const char* text : {
             R"({"ads": {"ca_file": 5, "settings": {"scheme": "https", "host": "h", "port": 1}}})",
             R"({"ads": {"ca_file": "", "settings": {"scheme": "https", "host": "h", "port": 1}}})",
             R"({"ads": {"settings": {"scheme": "ftp", "host": "h", "port": 1}}})",
             R"({"ads": {"settings": {"scheme": "https", "host": "h", "port": 0}}})",
             R"({"ads": {"settings": {"scheme": "https", "host": "h", "port": 1}, "ip": "127.0.0.1"}})",
             R"({"ads": {"a.b": {"scheme": "https", "host": "h", "port": 1}}})",
             R"({"ads.settings": {"scheme": "https", "host": "h", "port": 1}})",
             R"({"ads": {}})",
         }) {
        std::string error;
        EXPECT_FALSE(plat::Endpoints::parse(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

// The committed cache corpus holds a settings cache as the platform's archiver writes one.
TEST(ADFREndpoints, CommittedCacheSampleDecodes) {
    ADFRData::registerCodingClasses();
    auto bytes =
        testsupport::readFile(testsupport::sourceDir() / "tests/fuzz/corpus/ads_settings_cache/full.archive");
    auto data = plat::KeyedArchive::unarchiveObject<ADFRData>(plat::Bytes(bytes.begin(), bytes.end()));
    ASSERT_TRUE(data);
    ASSERT_EQ(data->adList().size(), 1u);
    EXPECT_EQ(data->adList()[0]->userAdId(), "u1");
    EXPECT_EQ(data->adList()[0]->uaId(), "123");
    ASSERT_TRUE(data->adList()[0]->param());
}
