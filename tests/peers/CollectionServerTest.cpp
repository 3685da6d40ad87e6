// The collection server of potemaru-peers, in process: single hits and gzip batches over TLS, each hit
// recorded as a line of its own with its decoded fields.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "peers/PeerServer.h"
#include "platform/net/URLConnection.h"
#include "tests/peers/PeerTestSupport.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

plat::Bytes gzipped(const std::string& text) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
    plat::Bytes out(deflateBound(&z, text.size()));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

int send(const plat::URLRequest& request) {
    int status = -1;
    bool done = false;
    plat::URLConnection::sendAsynchronous(request, [&](auto& response, auto&, auto& error) {
        status = error ? -1 : (response ? response->statusCode() : 0);
        done = true;
    });
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return done; }));
    return status;
}

}  // namespace

TEST(CollectionServer, GzipBatchAndGetOverTlsRecordFourHits) {
    testsupport::TempDir dir;
    const auto recordFile = dir.path() / "record.jsonl";
    peers::PeerServer server{{.port = 0,
                              .dataDir = peertest::dataDir(),
                              .recordFile = recordFile.string(),
                              .tlsDir = peertest::tlsDir()}};
    peers::addRoutes(server);
    ASSERT_TRUE(server.start());
    const auto table = server.endpoints();
    ASSERT_TRUE(table.count("analytics.https"));
    ASSERT_TRUE(table.count("analytics.http"));
    const plat::Endpoint& secure = table.at("analytics.https");
    EXPECT_EQ(secure.port, server.tlsPort());
    testsupport::URLLoadingScope trust(secure.caFile);

    plat::URLRequest batch(secure.url("/batch"));
    batch.setHTTPMethod("POST");
    batch.setValue("gzip", "Content-Encoding");
    batch.setHTTPBody(gzipped("v=1&t=screenview&cd=Level+1\nv=1&t=screenview&cd=Level+2\nv=1&t=event&cd"));
    EXPECT_EQ(send(batch), 200);
    EXPECT_EQ(send(plat::URLRequest(secure.url("/collect?v=1&t=screenview&cd=%E3%81%BD"))), 200);
    plat::URLConnection::closeIdleConnections();  // else the stop waits out the keep-alive time
    server.stop();

    std::ifstream in(recordFile);
    std::vector<nlohmann::json> hits;
    for (std::string line; std::getline(in, line);) {
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (json.is_object() && json.value("hit", false)) hits.push_back(json);
    }
    ASSERT_EQ(hits.size(), 4u);
    EXPECT_EQ(hits[0]["path"], "/batch");
    EXPECT_EQ(hits[0]["encoding"], "gzip");
    EXPECT_EQ(hits[1]["fields"]["cd"], "Level 2");
    EXPECT_EQ(hits[2]["fields"]["cd"], "");
    EXPECT_EQ(hits[3]["method"], "GET");
    EXPECT_EQ(hits[3]["fields"]["cd"], "\xE3\x81\xBD");
}
