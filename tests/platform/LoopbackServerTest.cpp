// The loopback server kit itself: what other network tests rely on.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <thread>

#include "platform/net/URLConnection.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"

using testsupport::Answer;
using testsupport::LoopbackServer;

namespace {

// windowBits 15 + 16 writes a gzip member, 15 a zlib stream.
std::string compress(const std::string& text, int windowBits) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

TEST(LoopbackServer, LogsCompressedRequestBodiesDecoded) {
    testsupport::URLLoadingScope scope;
    LoopbackServer server;
    server.route("POST", "/batch", Answer{.status = 200});
    const std::string hits = "v=1&t=screenview&cd=Title\nv=1&t=event&ec=play";
    for (auto [encoding, bits] : {std::pair{"gzip", 15 + 16}, std::pair{"deflate", 15}}) {
        server.clearLog();
        plat::URLRequest request(server.url("/batch"));
        request.setHTTPMethod("POST");
        request.setValue(std::string(encoding), "Content-Encoding");
        request.setHTTPBody(compress(hits, bits));
        bool done = false;
        plat::URLConnection::sendAsynchronous(request, [&](auto&, auto&, auto&) { done = true; });
        ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return done; }));
        ASSERT_TRUE(server.waitForRequests(1));
        EXPECT_EQ(server.requests()[0].body, hits) << encoding;
        EXPECT_EQ(server.requests()[0].header("Content-Encoding"), encoding);
    }
}

TEST(LoopbackServer, WaitForRequestsIsBoundedAndUnroutedPathsGet404) {
    LoopbackServer server;
    EXPECT_FALSE(server.waitForRequests(1, 0.05));
    EXPECT_EQ(server.url("x"), "http://127.0.0.1:" + std::to_string(server.port()) + "/x");
    EXPECT_TRUE(server.caFile().empty());
}

TEST(LoopbackServer, StopsPromptlyWithAStalledAnswerAndLeavesNoThread) {
    plat::RunLoop::main().runOnce(0);  // the loop's own wake-up descriptor lives for the whole process
    auto threads = testsupport::threadIds();
    size_t fds = testsupport::openFdCount();
    {
        testsupport::URLLoadingScope scope;
        LoopbackServer server(LoopbackServer::Options{.https = true});
        ASSERT_FALSE(server.caFile().empty());
        plat::URLConnection::setCAFile(server.caFile());
        server.route("GET", "/stall", Answer{.fault = testsupport::Fault::Stall});
        auto delegate = std::make_shared<testsupport::RecordingDelegate>();
        auto c = plat::URLConnection::create(plat::URLRequest(server.url("/stall")), delegate);
        ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return server.requestCount() == 1; }));
        c->cancel();
    }
    EXPECT_EQ(testsupport::threadsNotIn(threads), 0u);
    // A web process an earlier test ended may still close a descriptor of its own meanwhile: the count
    // can go down, never up.
    EXPECT_LE(testsupport::openFdCount(), fds);
}

// A browser connects ahead, and a loaded machine may send late: the first request is answered all the same.
TEST(LoopbackServer, AnswersARequestSentAMomentAfterTheConnect) {
    LoopbackServer server;
    server.route("GET", "/late", Answer{.body = "late"});
    const std::string answer = testsupport::rawExchange(
        server.port(), "GET /late HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(1200)); });
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 200");
}
