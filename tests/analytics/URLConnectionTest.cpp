#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "analytics/base/RUVEndpoints.h"
#include "analytics/dispatch/RUVURLConnection.h"
#include "tests/analytics/AnalyticsTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"

using testsupport::Answer;
using testsupport::LoopbackServer;
using testsupport::RefusedPort;
using testsupport::runMainLoopUntil;

namespace {
struct Outcome {
    int calls = 0;
    std::optional<plat::URLResponse> response;
    std::optional<plat::Bytes> data;
    std::optional<plat::Error> error;
};

std::shared_ptr<RUVURLConnection> send(const plat::URLRequest& request, const std::shared_ptr<Outcome>& out) {
    return RUVURLConnection::create(request,
                                    [out](const auto& response, const auto& data, const auto& error) {
                                        ++out->calls;
                                        out->response = response;
                                        out->data = data;
                                        out->error = error;
                                    });
}

std::string text(const std::optional<plat::Bytes>& data) {
    return data ? std::string(data->begin(), data->end()) : "(none)";
}

class Connection : public ::testing::Test {
  protected:
    void TearDown() override { analyticstest::releaseWorkerConnections(); }
};

struct DryRunScope {
    DryRunScope() { RUVURLConnection::setDryRun(true); }
    ~DryRunScope() { RUVURLConnection::setDryRun(false); }
};
}  // namespace

TEST_F(Connection, DryRunAnswers200WithAnEmptyBodyAndNoTraffic) {
    LoopbackServer server;
    DryRunScope dry;
    auto out = std::make_shared<Outcome>();
    auto c = send(plat::URLRequest(server.url("/collect")), out);
    EXPECT_EQ(out->calls, 0);  // never inside creation
    ASSERT_TRUE(runMainLoopUntil([&] { return out->calls > 0; }));
    EXPECT_EQ(out->response->statusCode(), 200);
    EXPECT_EQ(text(out->data), "");
    EXPECT_FALSE(out->error);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(Connection, RedirectIsFollowedAndTheFinalAnswerDelivered) {
    LoopbackServer server;
    server.redirect("/old", "/collect");
    server.route("GET", "/collect", Answer{.status = 200, .body = "fine"});
    auto out = std::make_shared<Outcome>();
    auto c = send(plat::URLRequest(server.url("/old")), out);
    ASSERT_TRUE(runMainLoopUntil([&] { return out->calls > 0; }));
    EXPECT_EQ(out->response->statusCode(), 200);
    EXPECT_EQ(text(out->data), "fine");
    EXPECT_FALSE(out->error);
    // A second outcome would have left the worker by now, and would run with the main queue's next turn.
    analyticstest::drainWorker();
    plat::RunLoop::main().runOnce(0);
    EXPECT_EQ(out->calls, 1);
}

TEST_F(Connection, RedirectedPostStaysAPostWithItsWholeBody) {
    LoopbackServer server;
    server.route("POST", "/batch", Answer{.status = 200, .body = "kept"});
    std::string body;
    for (int i = 0; i < 20; ++i) body += "v=1&t=screenview&cd1=hit" + std::to_string(i) + "\n";
    for (int status : {301, 302, 303}) {
        server.clearLog();
        server.redirect("/moved", "/batch", status);
        plat::URLRequest request(server.url("/moved"));
        request.setHTTPMethod("POST");
        request.setHTTPBody(body);
        auto out = std::make_shared<Outcome>();
        auto c = send(request, out);
        ASSERT_TRUE(runMainLoopUntil([&] { return out->calls > 0; }));
        ASSERT_TRUE(out->response);
        EXPECT_EQ(out->response->statusCode(), 200) << status;
        EXPECT_EQ(text(out->data), "kept") << status;
        auto seen = server.requestsTo("/batch");
        ASSERT_EQ(seen.size(), 1u) << status;
        EXPECT_EQ(seen[0].method, "POST") << status;
        EXPECT_EQ(seen[0].body, body) << status;
    }
}

TEST_F(Connection, RefusedGivesAnErrorAndNoResponse) {
    RefusedPort refused;
    const int port = refused.port();
    auto out = std::make_shared<Outcome>();
    auto c = send(plat::URLRequest("http://127.0.0.1:" + std::to_string(port) + "/collect"), out);
    ASSERT_TRUE(runMainLoopUntil([&] { return out->calls > 0; }));
    EXPECT_TRUE(out->error);
    EXPECT_FALSE(out->response);
}

TEST_F(Connection, CancelGivesNoDataAndNoErrorOnce) {
    LoopbackServer server;
    server.route("GET", "/stall", Answer{.fault = testsupport::Fault::Stall});
    auto out = std::make_shared<Outcome>();
    auto c = send(plat::URLRequest(server.url("/stall")), out);
    ASSERT_TRUE(server.waitForRequests(1));
    c->cancel();
    c->cancel();
    ASSERT_TRUE(runMainLoopUntil([&] { return out->calls > 0; }));
    EXPECT_FALSE(out->data);
    EXPECT_FALSE(out->error);
    // A second outcome would have left the worker by now, and would run with the main queue's next turn.
    analyticstest::drainWorker();
    plat::RunLoop::main().runOnce(0);
    EXPECT_EQ(out->calls, 1);
}

TEST_F(Connection, InvalidHostFailsAtOnceWithoutALookup) {
    EXPECT_TRUE(RUVEndpoints::isInvalidHost("http://u:p@collect.analytics.invalid/collect"));
    EXPECT_TRUE(RUVEndpoints::isInvalidHost("https://collect.analytics.invalid/batch"));
    EXPECT_TRUE(RUVEndpoints::isInvalidHost("http://X.INVALID.:80/collect"));
    EXPECT_FALSE(RUVEndpoints::isInvalidHost("http://127.0.0.1:8080/invalid"));
    auto out = std::make_shared<Outcome>();
    auto c = send(plat::URLRequest(RUVEndpoints::httpsBatchURL()), out);
    ASSERT_TRUE(runMainLoopUntil([&] { return out->calls > 0; }));
    ASSERT_TRUE(out->error);
    EXPECT_EQ(out->error->code(), plat::URLError::kCannotFindHost);
}

TEST_F(Connection, EndpointsComeFromTheAnalyticsSection) {
    std::string error;
    auto table = plat::Endpoints::parse(
        R"({"analytics": {"ca_file": "/tmp/ca.pem", "https": {"scheme": "https", "host": "127.0.0.1", "port": 4443},
            "http": {"scheme": "http", "host": "127.0.0.1", "port": 8080}}})",
        &error);
    ASSERT_TRUE(table) << error;
    plat::Endpoints::shared().setFileTable(*table);
    EXPECT_EQ(RUVEndpoints::httpsURL(), "https://127.0.0.1:4443/collect");
    EXPECT_EQ(RUVEndpoints::httpBatchURL(), "http://127.0.0.1:8080/batch");
    EXPECT_EQ(RUVEndpoints::caFileFor("https://127.0.0.1:4443/batch"), "/tmp/ca.pem");
    plat::Endpoints::shared().reset();
    EXPECT_EQ(RUVEndpoints::httpURL(), "http://collect.analytics.invalid:80/collect");
}
