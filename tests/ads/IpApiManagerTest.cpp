// The shared IP and user-agent lookup against a real loopback server.
#include <gtest/gtest.h>

#include "ads/base/ADFREndpoints.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "platform/ui/WebView.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"

using testsupport::Answer;
using testsupport::LoopbackServer;
using testsupport::RefusedPort;
using testsupport::runMainLoopUntil;

namespace {

struct IpApiManagerTest : ::testing::Test {
    IpApiManagerTest() { pointAt(server.port()); }
    void pointAt(int port) {
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::IpEcho, {"http", "127.0.0.1", port});
    }

    // A handler owner that counts its calls.
    std::shared_ptr<int> counter() { return std::make_shared<int>(0); }
    void listen(const std::shared_ptr<int>& calls) {
        manager->setFinishLoadHandler(calls, [raw = calls.get()](ADFRIpApiManager&) { ++*raw; });
    }

    LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::shared_ptr<ADFRIpApiManager> manager = ADFRIpApiManager::sharedManager();
};

}  // namespace

TEST_F(IpApiManagerTest, LearnsTheAddressOnceAndAnswersLaterLoadsWithoutTraffic) {
    server.route("GET", "/ua.php", Answer{.body = R"({"ip": "203.0.113.7"})"});
    EXPECT_EQ(ADFRIpApiManager::sharedManager(), manager);
    auto calls = counter();
    listen(calls);
    manager->loadIpAndUa();
    ASSERT_TRUE(runMainLoopUntil([&] { return *calls == 1; }));
    EXPECT_EQ(manager->ip(), "203.0.113.7");
    EXPECT_EQ(manager->ua(), plat::WebView::defaultUserAgent());
    EXPECT_TRUE(manager->errorStr().empty());
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requestsTo("/ua.php")[0].header("User-Agent"), plat::WebView::defaultUserAgent());

    listen(calls);
    manager->loadIpAndUa();
    ASSERT_TRUE(runMainLoopUntil([&] { return *calls == 2; }));
    testsupport::runMainLoopFor(0.1);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(*calls, 2);
}

TEST_F(IpApiManagerTest, AnswerThatIsNoObjectLeavesBothEmpty) {
    server.route("GET", "/ua.php", Answer{.body = "\"203.0.113.7\""});
    auto calls = counter();
    listen(calls);
    manager->loadIpAndUa();
    ASSERT_TRUE(runMainLoopUntil([&] { return *calls == 1; }));
    EXPECT_TRUE(manager->ip().empty());
    EXPECT_TRUE(manager->ua().empty());
}

TEST_F(IpApiManagerTest, StatusOtherThan200IsReported) {
    server.route("GET", "/ua.php", Answer{.status = 500, .body = R"({"ip": "1.2.3.4"})"});
    auto calls = counter();
    listen(calls);
    manager->loadIpAndUa();
    ASSERT_TRUE(runMainLoopUntil([&] { return *calls == 1; }));
    EXPECT_EQ(manager->errorStr(), "Error Status:500");
    EXPECT_TRUE(manager->ip().empty());
    testsupport::runMainLoopFor(0.1);
    EXPECT_EQ(*calls, 1);
}

TEST_F(IpApiManagerTest, RefusedConnectionSetsTheErrorText) {
    RefusedPort refused;
    const int closedPort = refused.port();
    pointAt(closedPort);
    auto calls = counter();
    listen(calls);
    manager->loadIpAndUa();
    ASSERT_TRUE(runMainLoopUntil([&] { return *calls == 1; }));
    EXPECT_FALSE(manager->errorStr().empty());
    EXPECT_TRUE(manager->ip().empty());
}

TEST_F(IpApiManagerTest, EveryWaitingCallerIsToldOnceAndCancelForgetsOnlyItsCaller) {
    server.route("GET", "/ua.php", Answer{.body = R"({"ip": "198.51.100.1"})", .delaySeconds = 0.2});
    auto first = counter();
    auto second = counter();
    auto third = counter();
    listen(first);
    listen(second);
    listen(third);
    manager->cancel(third.get());
    manager->loadIpAndUa();
    ASSERT_TRUE(runMainLoopUntil([&] { return *first == 1 && *second == 1; }));
    testsupport::runMainLoopFor(0.1);
    EXPECT_EQ(*first, 1);
    EXPECT_EQ(*second, 1);
    EXPECT_EQ(*third, 0);
}

TEST_F(IpApiManagerTest, CallerThatWentAwayIsNotCalled) {
    server.route("GET", "/ua.php", Answer{.body = R"({"ip": "198.51.100.1"})"});
    int called = 0;
    {
        auto owner = std::make_shared<int>(0);
        manager->setFinishLoadHandler(owner, [&called](ADFRIpApiManager&) { ++called; });
    }
    auto calls = counter();
    listen(calls);
    manager->loadIpAndUa();
    ASSERT_TRUE(runMainLoopUntil([&] { return *calls == 1; }));
    EXPECT_EQ(called, 0);
}
