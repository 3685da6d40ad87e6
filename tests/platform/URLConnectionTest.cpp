#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include <curl/curl.h>

#include "platform/base/Log.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/Thread.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/ProcessState.h"
#include "tests/support/TestSupport.h"

using plat::URLConnection;
using plat::URLRequest;
using plat::URLResponse;
using testsupport::Answer;
using testsupport::Fault;
using testsupport::LoopbackServer;
using testsupport::RecordingDelegate;
using testsupport::RefusedPort;
using testsupport::runMainLoopUntil;

namespace {

class URLConnectionTest : public ::testing::Test {
  protected:
    testsupport::URLLoadingScope scope_;
};

std::shared_ptr<RecordingDelegate> load(const URLRequest& request) {
    auto delegate = std::make_shared<RecordingDelegate>();
    URLConnection::create(request, delegate);
    EXPECT_TRUE(runMainLoopUntil([&] { return delegate->ended(); }));
    return delegate;
}

}  // namespace

TEST_F(URLConnectionTest, GetSendsHeadersAndDeliversResponseDataFinishInOrder) {
    LoopbackServer server;
    server.route("GET", "/settings",
                 Answer{.status = 200,
                        .headers = {{"Content-Type", "application/json; charset=UTF-8"}, {"X-Reply", "yes"}},
                        .body = R"({"cycle_time":30})"});
    URLRequest request(server.url("/settings?app_id=7&x=%20"));
    request.setValue("potemaru-test/1.0", "User-Agent");
    request.addValue("a", "X-Multi");
    request.addValue("b", "X-Multi");

    auto d = load(request);
    ASSERT_EQ(d->events.size(), 3u) << ::testing::PrintToString(d->events);
    EXPECT_EQ(d->events.front(), "response 200");
    EXPECT_EQ(d->events.back(), "finish");
    EXPECT_EQ(d->bodyText(), R"({"cycle_time":30})");
    const URLResponse& r = d->responses.at(0);
    EXPECT_EQ(r.url(), request.url());
    EXPECT_EQ(r.mimeType(), "application/json");
    EXPECT_EQ(r.textEncodingName(), "utf-8");
    EXPECT_EQ(r.valueForHTTPHeaderField("x-reply"), "yes");

    ASSERT_EQ(server.requestCount(), 1u);
    auto seen = server.requests()[0];
    EXPECT_EQ(seen.method, "GET");
    EXPECT_EQ(seen.path, "/settings");
    EXPECT_EQ(seen.query, "app_id=7&x=%20");
    EXPECT_EQ(seen.header("User-Agent"), "potemaru-test/1.0");
    EXPECT_EQ(seen.header("X-Multi"), "a, b");
    EXPECT_TRUE(seen.body.empty());
}

TEST_F(URLConnectionTest, PostBodyArrivesByteForByte) {
    LoopbackServer server;
    server.route("POST", "/batch", Answer{.status = 204});
    std::string body("v=1&t=screenview\0\x01\xff tail", 24);
    std::string large(200000, 'x');  // more than one write on the socket
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 26);

    for (const std::string& sent : {body, large}) {
        server.clearLog();
        URLRequest request(server.url("/batch"));
        request.setHTTPMethod("post");
        request.setValue("application/octet-stream", "Content-Type");
        request.setHTTPBody(sent);
        auto d = load(request);
        EXPECT_EQ(d->events, (std::vector<std::string>{"response 204", "finish"}));
        ASSERT_EQ(server.requestCount(), 1u);
        auto seen = server.requests()[0];
        EXPECT_EQ(seen.method, "POST");
        EXPECT_EQ(seen.header("Content-Type"), "application/octet-stream");
        EXPECT_EQ(seen.body, sent);
        EXPECT_FALSE(seen.hasHeader("Expect"));
    }
}

TEST_F(URLConnectionTest, RedirectIsFollowedAndOnlyTheFinalResponseIsDelivered) {
    LoopbackServer server;
    server.redirect("/old", "/hop");
    server.redirect("/hop", "/new", 301);
    server.route("GET", "/new", Answer{.status = 200, .body = "here"});
    auto d = load(URLRequest(server.url("/old")));
    EXPECT_EQ(d->events, (std::vector<std::string>{"response 200", "data 4", "finish"}));
    EXPECT_EQ(d->responses.at(0).url(), server.url("/new"));
    EXPECT_EQ(server.requestCount(), 3u);
}

TEST_F(URLConnectionTest, RedirectedPostKeepsMethodAndBodyOnlyWhenTheRequestAsks) {
    LoopbackServer server;
    server.route("POST", "/new", Answer{.status = 200, .body = "posted"});
    server.route("GET", "/new", Answer{.status = 200, .body = "got"});
    for (int status : {301, 302, 303}) {
        server.redirect("/old", "/new", status);
        // The same thread's loader reuses its easy handles: the second load shows the option is per request.
        for (bool keep : {true, false}) {
            server.clearLog();
            URLRequest request(server.url("/old"));
            request.setHTTPMethod("POST");
            request.setHTTPBody(std::string("a=1\nb=2"));
            request.setKeepsMethodOnRedirect(keep);
            auto d = load(request);
            ASSERT_EQ(d->finished, 1) << status;
            auto seen = server.requestsTo("/new");
            ASSERT_EQ(seen.size(), 1u) << status;
            if (keep) {
                EXPECT_EQ(d->bodyText(), "posted") << status;
                EXPECT_EQ(seen[0].method, "POST") << status;
                EXPECT_EQ(seen[0].body, "a=1\nb=2") << status;
            } else {
                EXPECT_EQ(d->bodyText(), "got") << status;
                EXPECT_EQ(seen[0].method, "GET") << status;
                EXPECT_EQ(seen[0].body, "") << status;
            }
        }
    }
}

TEST_F(URLConnectionTest, MoreThanTenRedirectsFailOnce) {
    LoopbackServer server;
    for (int i = 0; i < 12; ++i) server.redirect("/r" + std::to_string(i), "/r" + std::to_string(i + 1));
    server.route("GET", "/r12", Answer{.body = "end"});
    auto d = load(URLRequest(server.url("/r2")));  // ten hops reach the end
    EXPECT_EQ(d->finished, 1);
    d = load(URLRequest(server.url("/r0")));  // twelve do not
    EXPECT_EQ(d->events, (std::vector<std::string>{"fail -1007"}));
}

TEST_F(URLConnectionTest, HTTPErrorStatusIsAnAnswerNotAFailure) {
    LoopbackServer server;
    auto d = load(URLRequest(server.url("/nothing-here")));
    EXPECT_EQ(d->events.front(), "response 404");
    EXPECT_EQ(d->events.back(), "finish");
}

struct FailureCase {
    const char* name;
    Answer answer;
    int code;
    int transportCode;  // what the transport itself saw, so each fault is told apart; -1 not checked
};

class URLConnectionFailureTest : public URLConnectionTest,
                                 public ::testing::WithParamInterface<FailureCase> {};

TEST_P(URLConnectionFailureTest, FailsExactlyOnce) {
    const FailureCase& c = GetParam();
    LoopbackServer server;
    server.route("GET", "/x", c.answer);
    URLRequest request(server.url("/x"));
    // Only the stall has a short time-out: on a busy machine, another fault may come later than that.
    request.setTimeoutInterval(c.answer.fault == Fault::Stall ? 0.5 : 60);
    auto d = load(request);
    ASSERT_EQ(d->failed, 1) << ::testing::PrintToString(d->events);
    EXPECT_EQ(d->finished, 0);
    EXPECT_EQ(d->events.back(), "fail " + std::to_string(c.code));
    EXPECT_EQ(d->errors[0].domain(), "NSURLErrorDomain");
    EXPECT_FALSE(d->errors[0].localizedDescription().empty());
    ASSERT_TRUE(d->errors[0].underlyingError());
    if (c.transportCode >= 0) {
        EXPECT_EQ(d->errors[0].underlyingError()->code(), c.transportCode);
    }
    server.releaseWaits();
    testsupport::runMainLoopFor(0.3);
    EXPECT_EQ(d->failed + d->finished, 1) << ::testing::PrintToString(d->events);
    EXPECT_EQ(URLConnection::activeCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, URLConnectionFailureTest,
    ::testing::Values(
        FailureCase{"EmptyReply", Answer{.fault = Fault::CloseBeforeAnswer}, -1005, CURLE_GOT_NOTHING},
        FailureCase{"Reset", Answer{.fault = Fault::Reset}, -1005, CURLE_RECV_ERROR},
        FailureCase{"StallPastTimeOut", Answer{.fault = Fault::Stall}, -1001, -1},
        FailureCase{"PartialBody",
                    Answer{.body = std::string(1000, 'p'), .fault = Fault::PartialBody, .partialBytes = 300},
                    -1005, CURLE_PARTIAL_FILE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(URLConnectionTest, RefusedConnectionFailsOnce) {
    RefusedPort refused;
    const int port = refused.port();
    auto d = load(URLRequest("http://127.0.0.1:" + std::to_string(port) + "/"));
    EXPECT_EQ(d->events, (std::vector<std::string>{"fail -1004"}));
}

// What runs between two tests empties the main loop; a load an earlier test left running must not leave
// the next test's loads without the loader's timer (a stall would then never time out).
TEST_F(URLConnectionTest, ALoadLeftRunningAtATestsEndLeavesTheNextTestsTimeOutsWorking) {
    LoopbackServer server;
    server.route("GET", "/stall", Answer{.fault = Fault::Stall});
    auto left = std::make_shared<RecordingDelegate>();
    URLConnection::create(URLRequest(server.url("/stall")), left);
    ASSERT_TRUE(runMainLoopUntil([&] { return server.requestCount() == 1; }));
    testsupport::resetProcessState();
    URLRequest request(server.url("/stall"));
    request.setTimeoutInterval(0.3);
    EXPECT_EQ(load(request)->events, (std::vector<std::string>{"fail -1001"}));
    EXPECT_TRUE(left->events.empty());
    server.releaseWaits();
}

TEST_F(URLConnectionTest, UnusableRequestsFailLaterNotAtCreation) {
    for (const char* url : {"", "ftp://127.0.0.1/file", "http://bad host/"}) {
        auto delegate = std::make_shared<RecordingDelegate>();
        URLConnection::create(URLRequest(url), delegate);
        EXPECT_TRUE(delegate->events.empty());
        ASSERT_TRUE(runMainLoopUntil([&] { return delegate->ended(); })) << url;
        EXPECT_EQ(delegate->failed, 1) << url;
    }
}

TEST_F(URLConnectionTest, SlowButSteadyAnswerIsNotAnIdleTimeOut) {
    LoopbackServer server;
    // Half a second of silence before the answer is well within a time-out of 5 s of idle time, however
    // busy the machine.
    server.route("GET", "/slow", Answer{.body = "late", .delaySeconds = 0.5});
    URLRequest request(server.url("/slow"));
    request.setTimeoutInterval(5);
    auto d = load(request);
    EXPECT_EQ(d->finished, 1) << ::testing::PrintToString(d->events);
}

TEST_F(URLConnectionTest, TimeOutIsIdleTimeNotTotalTime) {
    LoopbackServer server;
    // Twelve chunks and the end, 0.25 s apart: 3 s in all, more than the time-out, but nowhere near 2.5 s
    // of silence, even on a busy machine.
    std::string body;
    for (char c = 'a'; c < 'a' + 12; ++c) body += std::string(4, c);
    server.route("GET", "/steady", Answer{.body = body, .chunkBytes = 4, .chunkDelaySeconds = 0.25});
    URLRequest request(server.url("/steady"));
    request.setTimeoutInterval(2.5);
    auto d = load(request);
    EXPECT_EQ(d->finished, 1) << ::testing::PrintToString(d->events);
    EXPECT_EQ(d->bodyText(), body);
    EXPECT_EQ(d->responses.at(0).expectedContentLength(), -1);
}

namespace {
// Cancels its connection from inside the callback named by `when`.
struct CancellingDelegate : RecordingDelegate {
    std::string when;
    bool cancelled = false;
    void connectionDidReceiveResponse(URLConnection& c, const URLResponse& r) override {
        RecordingDelegate::connectionDidReceiveResponse(c, r);
        if (when == "response") cancel(c);
    }
    void connectionDidReceiveData(URLConnection& c, const plat::Bytes& d) override {
        RecordingDelegate::connectionDidReceiveData(c, d);
        if (when == "data") cancel(c);
    }
    void cancel(URLConnection& c) {
        c.cancel();
        cancelled = true;
    }
};
}  // namespace

TEST_F(URLConnectionTest, CancelInsideACallbackEndsAllCallbacksWhileTheLoopRunsOn) {
    LoopbackServer server;
    server.route("GET", "/big", Answer{.body = std::string(3 << 20, 'b')});
    server.route("GET", "/small", Answer{.body = "s"});
    for (const char* when : {"response", "data"}) {
        auto cancelling = std::make_shared<CancellingDelegate>();
        cancelling->when = when;
        auto connection = URLConnection::create(URLRequest(server.url("/big")), cancelling);
        ASSERT_TRUE(runMainLoopUntil([&] { return cancelling->cancelled; }));
        EXPECT_FALSE(connection->isRunning());
        // Another load on the same loop runs to its end; the cancelled one stays silent.
        auto after = load(URLRequest(server.url("/small")));
        EXPECT_EQ(after->finished, 1);
        testsupport::runMainLoopFor(0.2);
        EXPECT_EQ(cancelling->events.size(), std::string(when) == "response" ? 1u : 2u)
            << ::testing::PrintToString(cancelling->events);
        EXPECT_EQ(cancelling->finished + cancelling->failed, 0);
    }
    EXPECT_EQ(URLConnection::activeCount(), 0u);
}

TEST_F(URLConnectionTest, CancelBeforeStartAndTwiceIsQuiet) {
    LoopbackServer server;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto c = URLConnection::create(URLRequest(server.url("/")), delegate, false);
    c->cancel();
    c->start();
    c->cancel();
    testsupport::runMainLoopFor(0.1);
    EXPECT_TRUE(delegate->events.empty());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(URLConnectionTest, HttpsWorksWithTheTestCAAndFailsWithoutIt) {
    LoopbackServer server(LoopbackServer::Options{.https = true});
    server.route("GET", "/secure", Answer{.body = "sealed"});
    {
        auto d = load(URLRequest(server.url("/secure")));
        EXPECT_EQ(d->events, (std::vector<std::string>{"fail -1202"}));
    }
    URLConnection::setCAFile(server.caFile());
    auto d = load(URLRequest(server.url("/secure")));
    EXPECT_EQ(d->bodyText(), "sealed");
    EXPECT_EQ(d->finished, 1);
    ASSERT_EQ(server.requestsTo("/secure").size(), 1u);  // the refused handshake never became a request
    EXPECT_TRUE(server.requests()[0].tls);
}

TEST_F(URLConnectionTest, TheProcessExitsCleanlyWhileAThreadSendsOverHttps) {
    LoopbackServer server(LoopbackServer::Options{.https = true});
    server.route("GET", "/price", Answer{.body = "token"});
    for (int run = 0; run < 15; ++run)
        EXPECT_EQ(testsupport::runProgram(testsupport::programPath("platform_https_at_exit"),
                                          {server.url("/price"), server.caFile()}),
                  0)
            << "run " << run;
}

TEST_F(URLConnectionTest, RequestsSideBySideEachTrustOnlyTheirOwnAuthority) {
    LoopbackServer a(LoopbackServer::Options{.https = true}), b(LoopbackServer::Options{.https = true});
    a.route("GET", "/a", Answer{.body = "from a"});
    b.route("GET", "/b", Answer{.body = "from b"});
    auto send = [](const std::string& url, const std::string& caFile) {
        URLRequest request(url);
        request.setCAFile(caFile);
        auto delegate = std::make_shared<RecordingDelegate>();
        URLConnection::create(request, delegate);
        return delegate;
    };
    auto toA = send(a.url("/a"), a.caFile());
    auto toB = send(b.url("/b"), b.caFile());
    auto crossed = send(a.url("/a"), b.caFile());
    ASSERT_TRUE(runMainLoopUntil([&] { return toA->ended() && toB->ended() && crossed->ended(); }));
    EXPECT_EQ(toA->bodyText(), "from a");
    EXPECT_EQ(toB->bodyText(), "from b");
    EXPECT_EQ(crossed->events, (std::vector<std::string>{"fail -1202"}));
}

TEST_F(URLConnectionTest, BodyLargerThanTheCapFailsInsteadOfGrowing) {
    LoopbackServer server;
    server.route("GET", "/huge", Answer{.body = std::string(100000, 'h')});
    URLRequest request(server.url("/huge"));
    request.setMaxBodyBytes(1000);
    auto d = load(request);
    EXPECT_EQ(d->failed, 1);
    EXPECT_EQ(d->errors.at(0).code(), plat::URLError::kDataLengthExceedsMaximum);
    EXPECT_LE(d->body.size(), 1000u);
    request.setMaxBodyBytes(100000);
    EXPECT_EQ(load(request)->finished, 1);
}

TEST_F(URLConnectionTest, TwoHundredConcurrentLoadsOnOneLoopNeedNoThreadAndLeaveNoDescriptor) {
    plat::RunLoop::main().runOnce(0);  // the loop's own wake-up descriptor lives for the whole process
    size_t fdsBefore = testsupport::openFdCount();
    {
        LoopbackServer server;
        server.route("GET", "/n",
                     [](const testsupport::RecordedRequest& r) { return Answer{.body = r.query}; });
        ASSERT_EQ(load(URLRequest(server.url("/n?warm")))->finished, 1);  // the server's threads are all up
        auto threads = testsupport::threadIds();
        size_t newThreads = 0;
        std::vector<std::shared_ptr<RecordingDelegate>> delegates;
        for (int i = 0; i < 200; ++i) {
            delegates.push_back(std::make_shared<RecordingDelegate>());
            URLConnection::create(URLRequest(server.url("/n?" + std::to_string(i))), delegates.back());
        }
        EXPECT_EQ(URLConnection::activeCount(), 200u);
        auto allEnded = [&] {
            newThreads = std::max(newThreads, testsupport::threadsNotIn(threads));
            return std::all_of(delegates.begin(), delegates.end(), [](auto& d) { return d->ended(); });
        };
        ASSERT_TRUE(runMainLoopUntil(allEnded, 30));
        EXPECT_EQ(newThreads, 0u);
        for (int i = 0; i < 200; ++i) {
            EXPECT_EQ(delegates[i]->finished, 1);
            EXPECT_EQ(delegates[i]->bodyText(), std::to_string(i));
        }
        EXPECT_EQ(URLConnection::activeCount(), 0u);
    }
    EXPECT_TRUE(URLConnection::closeIdleConnections());
    EXPECT_LE(testsupport::openFdCount(), fdsBefore);  // down, never up, as below
}

TEST_F(URLConnectionTest, CompletionRunsOnceOnTheSendingLoop) {
    LoopbackServer server;
    server.route("GET", "/c", Answer{.status = 201, .body = "made"});
    int calls = 0;
    std::optional<URLResponse> response;
    std::string body;
    URLConnection::sendAsynchronous(URLRequest(server.url("/c")),
                                    [&](const std::optional<URLResponse>& r, const plat::Bytes& data,
                                        const std::optional<plat::Error>& error) {
                                        EXPECT_TRUE(plat::RunLoop::main().isCurrent());
                                        EXPECT_FALSE(error);
                                        ++calls;
                                        response = r;
                                        body.assign(data.begin(), data.end());
                                    });
    ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }));
    testsupport::runMainLoopFor(0.05);
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode(), 201);
    EXPECT_EQ(body, "made");
}

TEST_F(URLConnectionTest, FireAndForgetOutlivesItsSender) {
    LoopbackServer server;
    server.route("GET", "/report", Answer{.status = 200});
    {
        URLRequest request(server.url("/report?imp=1"));
        URLConnection::sendAndForget(request);
    }  // nobody holds anything of the load now
    ASSERT_TRUE(
        runMainLoopUntil([&] { return server.requestCount() == 1 && URLConnection::activeCount() == 0; }));
    EXPECT_EQ(server.requests()[0].query, "imp=1");
}

TEST_F(URLConnectionTest, SynchronousLoadIsRefusedOnTheMainThreadAndWorksOnAWorker) {
    LoopbackServer server;
    server.route("POST", "/sync",
                 [](const testsupport::RecordedRequest& r) { return Answer{.body = r.body + "!"}; });
    URLRequest request(server.url("/sync"));
    request.setHTTPMethod("POST");
    request.setHTTPBody(std::string("ping"));
    std::optional<URLResponse> response;
    std::optional<plat::Error> error;
    {
        plat::LogCapture log;
        EXPECT_FALSE(URLConnection::sendSynchronous(request, &response, &error));
        EXPECT_TRUE(log.contains("on the main thread is refused"));
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), plat::URLError::kSynchronousOnMainThread);
    EXPECT_EQ(server.requestCount(), 0u);

    std::optional<plat::Bytes> body;
    std::thread worker([&] { body = URLConnection::sendSynchronous(request, &response, &error); });
    worker.join();
    ASSERT_TRUE(body);
    EXPECT_FALSE(error);
    EXPECT_EQ(std::string(body->begin(), body->end()), "ping!");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode(), 200);
}

TEST_F(URLConnectionTest, SynchronousLoadReportsAStallAsATimeOut) {
    LoopbackServer server;
    server.route("GET", "/stall", Answer{.fault = Fault::Stall});
    URLRequest request(server.url("/stall"));
    request.setTimeoutInterval(0.5);
    std::optional<plat::Error> error;
    std::optional<plat::Bytes> body = plat::Bytes{};
    std::thread worker([&] { body = URLConnection::sendSynchronous(request, nullptr, &error); });
    worker.join();
    EXPECT_FALSE(body);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), plat::URLError::kTimedOut);
}

TEST_F(URLConnectionTest, WorkerThreadLoadsOnItsOwnLoopAndLeavesNothingWhenItStops) {
    plat::RunLoop::main().runOnce(0);  // the loop's own wake-up descriptor lives for the whole process
    size_t fds = testsupport::openFdCount();
    {
        LoopbackServer server;
        server.route("GET", "/w", Answer{.body = "worker"});
        plat::Thread worker("RUVThread");
        ASSERT_TRUE(worker.start());
        std::atomic<int> calls{0};
        std::atomic<bool> onWorker{false};
        std::string body;
        std::promise<void> called;
        worker.post([&] {
            URLConnection::sendAsynchronous(URLRequest(server.url("/w")),
                                            [&](const std::optional<URLResponse>&, const plat::Bytes& data,
                                                const std::optional<plat::Error>&) {
                                                onWorker = worker.isCurrent();
                                                body.assign(data.begin(), data.end());
                                                if (++calls == 1) called.set_value();
                                            });
        });
        ASSERT_EQ(called.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
        ASSERT_EQ(calls, 1);
        EXPECT_TRUE(onWorker);
        EXPECT_EQ(body, "worker");
        EXPECT_EQ(URLConnection::activeCount(), 0u);  // nothing of it on the main thread's loader
        worker.stop();
    }
    // Nothing of it is left open. (An earlier test's peer may still close a socket of its own meanwhile,
    // so the count can go down, never up.)
    EXPECT_LE(testsupport::openFdCount(), fds);
}

TEST_F(URLConnectionTest, ProxiesFromTheEnvironmentNeverApplyToLoopback) {
    LoopbackServer server;
    server.route("GET", "/direct", Answer{.body = "direct"});
    RefusedPort proxy;  // a proxy that is not there: any load sent through it would fail
    setenv("http_proxy", proxy.url("").c_str(), 1);
    auto d = load(URLRequest(server.url("/direct")));
    auto byName = load(URLRequest("http://localhost:" + std::to_string(server.port()) + "/direct"));
    unsetenv("http_proxy");
    EXPECT_EQ(d->bodyText(), "direct");
    EXPECT_EQ(byName->bodyText(), "direct");
}
