#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/net/Endpoints.h"
#include "tests/support/TestSupport.h"

using plat::Endpoint;
using plat::Endpoints;

namespace {
struct EndpointsTest : ::testing::Test {
    ~EndpointsTest() override { Endpoints::shared().reset(); }
};
}  // namespace

TEST_F(EndpointsTest, FileOverridesAppWhichOverridesDefaults) {
    Endpoints& e = Endpoints::shared();
    e.setDefault("ads", {"http", "ads.invalid", 80});
    e.setDefault("collect", {"https", "collect.invalid", 443});
    e.setDefault("tags", {"https", "tags.invalid", 443});
    e.setOverride("collect", {"https", "collect.example.test", 8443});
    e.setOverride("tags", {"http", "10.0.0.1", 81});
    e.setFileTable({{"tags", {"http", "127.0.0.1", 4000}}});
    EXPECT_EQ(e.find("ads"), (Endpoint{"http", "ads.invalid", 80}));
    EXPECT_EQ(e.find("collect"), (Endpoint{"https", "collect.example.test", 8443}));
    EXPECT_EQ(e.find("tags")->url("/r?id=1"), "http://127.0.0.1:4000/r?id=1");
    EXPECT_FALSE(e.find("nothing"));
    EXPECT_EQ(e.effectiveTable().size(), 3u);
    EXPECT_FALSE(e.isConfigured("ads"));
    EXPECT_TRUE(e.isConfigured("collect"));
    EXPECT_TRUE(e.isConfigured("tags"));
    e.removeOverride("collect");
    EXPECT_EQ(e.find("collect")->host, "collect.invalid");
    EXPECT_FALSE(e.isConfigured("collect"));
}

TEST_F(EndpointsTest, ParsesWhatItWrites) {
    Endpoints::Table table{{"ads", {"http", "127.0.0.1", 40123}}, {"collect", {"https", "localhost", 1}}};
    std::string error;
    auto back = Endpoints::parse(Endpoints::toJson(table), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, table);
}

TEST_F(EndpointsTest, RefusesBadFilesWithAClearReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "not valid JSON"},
        {"{\"a\":", "not valid JSON"},
        {"[1]", "not a JSON object"},
        {R"({"a": 5})", "endpoint \"a\": not an object"},
        {R"({"a": {"scheme": "ftp", "host": "h", "port": 1}})", "http or https"},
        {R"({"a": {"scheme": "http", "host": "", "port": 1}})", "\"host\""},
        {R"({"a": {"scheme": "http", "host": "a/b", "port": 1}})", "\"host\""},
        {R"({"a": {"scheme": "http", "host": "h", "port": 0}})", "1 to 65535"},
        {R"({"a": {"scheme": "http", "host": "h", "port": 70000}})", "1 to 65535"},
        {R"({"a": {"scheme": "http", "host": "h", "port": 18446744073709551615}})", "1 to 65535"},
        {R"({"a": {"scheme": "http", "host": "h", "port": "80"}})", "integer"},
        {R"({"a": {"scheme": "http", "host": "h"}})", "integer"},
        {R"({"a": {"scheme": "http", "host": "h", "port": 80, "path": "/x"}})", "unknown key \"path\""},
        {R"({"": {"scheme": "http", "host": "h", "port": 80}})", "empty name"},
    };
    for (const auto& [text, reason] : cases) {
        std::string error;
        EXPECT_FALSE(Endpoints::parse(text, &error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << text << " -> " << error;
    }
    std::string error;
    EXPECT_FALSE(Endpoints::parse(std::string(Endpoints::kMaxFileBytes + 1, ' '), &error));
    EXPECT_FALSE(Endpoints::loadFile("/nonexistent/endpoints.json", &error));
    EXPECT_EQ(error, "no such file");
}

TEST_F(EndpointsTest, ReadsRegularFilesOnlyAndEveryCaFileMustExist) {
    testsupport::TempDir dir;
    ASSERT_EQ(mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(Endpoints::readFile((dir.path() / "pipe").string(), &error));  // must not wait for a writer
    EXPECT_EQ(error, "is not a regular file");
    EXPECT_FALSE(Endpoints::readFile(dir.path().string(), &error));
    EXPECT_EQ(error, "is a folder, not a file");
    const auto path = dir.path() / "endpoints.json";
    const std::string ca = (dir.path() / "ca.pem").string();
    testsupport::writeFile(path, R"({"ads": {"ca_file": ")" + ca +
                                     R"(", "settings": {"scheme": "https", "host": "h", "port": 1}}})");
    EXPECT_FALSE(Endpoints::readFile(path.string(), &error));
    EXPECT_EQ(error, "section \"ads\": \"ca_file\" " + ca + ": no such file");
}

TEST_F(EndpointsTest, LoadFileInstallsTheFileLayer) {
    testsupport::TempDir dir;
    auto path = dir.path() / "endpoints.json";
    testsupport::writeFile(path, R"({"ads": {"scheme": "http", "host": "127.0.0.1", "port": 5555}})");
    Endpoints::shared().setDefault("ads", {"http", "ads.invalid", 80});
    std::string error;
    ASSERT_TRUE(Endpoints::loadFile(path.string(), &error)) << error;
    EXPECT_EQ(Endpoints::shared().find("ads")->port, 5555);
}
