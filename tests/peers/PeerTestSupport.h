#pragma once
// potemaru-peers in process for the tests of its contracts: the server with every route, the committed
// data and TLS files and a record file, and requests sent to it from the main run loop.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "peers/PeerServer.h"
#include "platform/net/URLConnection.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

namespace peertest {

// The committed data and TLS folders that potemaru-peers serves by default.
inline std::string dataDir() {
    return (testsupport::sourceDir() / "peers" / "data").string();
}
inline std::string tlsDir() {
    return (testsupport::sourceDir() / "peers" / "tls").string();
}

struct Got {
    int status = 0;
    std::string body;
    std::optional<plat::Error> error;
};

inline Got send(const plat::URLRequest& request) {
    Got got;
    bool done = false;
    plat::URLConnection::sendAsynchronous(request, [&](auto& response, auto& data, auto& error) {
        got = {response ? response->statusCode() : 0, std::string(data.begin(), data.end()), error};
        done = true;
    });
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return done; }));
    return got;
}

inline Got get(const std::string& url) {
    return send(plat::URLRequest(url));
}

struct PeerFixture : ::testing::Test {
    PeerFixture() {
        peers::addRoutes(server);
        started = server.start();
        table = server.endpoints();
    }
    // No idle connection of the loader outlives the server it was kept for.
    ~PeerFixture() override { plat::URLConnection::closeIdleConnections(); }
    testsupport::TempDir dir;
    peers::PeerServer server{{.port = 0,
                              .dataDir = dataDir(),
                              .recordFile = (dir.path() / "record.jsonl").string(),
                              .tlsDir = tlsDir()}};
    bool started = false;
    plat::Endpoints::Table table;
};

}  // namespace peertest
