// The tag-manager server of potemaru-peers, in process: the committed example container over TLS with
// its placeholder addresses turned into the server's own, "no change" for a known fingerprint, previews,
// unknown ids, and pixels written down with their User-Agent.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "PeerTestSupport.h"
#include "wire/ZAVWireArray.h"
#include "wire/ZAVWireExtensionField.h"
#include "wire/ZAVWireRootObject.h"
#include "wire/ZAVWireString.h"
#include "wire/schema/ZAVPServing.h"

namespace {

using peertest::get;
using peertest::Got;

struct TagManagerPeerTest : peertest::PeerFixture {
    std::string http(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server.port()) + path;
    }
};

std::shared_ptr<ZAVPSupplementedResource> parse(const std::string& body) {
    static const auto registry = [] {
        auto r = std::make_shared<ZAVWireExtensionRegistry>();
        r->addExtension(std::static_pointer_cast<const ZAVWireExtensionField>(
            ZAVPServingValue::ext().shared_from_this()));
        return r;
    }();
    return ZAVPSupplementedResource::parseFromData(ZAVWireData::create(body), registry.get());
}

std::vector<std::string> strings(const ZAVPResource& resource) {
    std::vector<std::string> out;
    auto values = resource.valueArray();
    for (size_t i = 0; i < values->count(); ++i) {
        auto v = std::static_pointer_cast<ZAVPValue>(values->objectAtIndex(i));
        if (v->hasString()) out.push_back(v->string()->utf8());
    }
    return out;
}

}  // namespace

TEST_F(TagManagerPeerTest, ServesTheExampleContainerWithItsOwnAddressOverTls) {
    ASSERT_TRUE(started);
    ASSERT_TRUE(table.count("tagmanager.server"));
    const plat::Endpoint& tm = table.at("tagmanager.server");
    EXPECT_EQ(tm.scheme, "https");
    testsupport::URLLoadingScope trust(tm.caFile);
    Got got = get(tm.url("/r?id=CTR-EXAMPLE&v=i92886563"));
    ASSERT_EQ(got.status, 200);
    auto message = parse(got.body);
    ASSERT_TRUE(message->hasResource());
    EXPECT_EQ(message->fingerprint()->utf8(), "example-1");
    auto texts = strings(*message->resource());
    const std::string pixel = http("/px?c=CTR-EXAMPLE&e=go");
    EXPECT_NE(std::find(texts.begin(), texts.end(), pixel), texts.end());
    for (const auto& t : texts) EXPECT_EQ(t.find("peers.invalid"), std::string::npos) << t;
}

TEST_F(TagManagerPeerTest, AKnownFingerprintGetsNoResourceAndPreviewsAreServedAlike) {
    ASSERT_TRUE(started);
    Got same = get(http("/r?id=CTR-EXAMPLE&v=i92886563&pv=example-1"));
    ASSERT_EQ(same.status, 200);
    auto unchanged = parse(same.body);
    EXPECT_FALSE(unchanged->hasResource());
    EXPECT_EQ(unchanged->fingerprint()->utf8(), "example-1");

    Got older = get(http("/r?id=CTR-EXAMPLE&v=i92886563&pv=example-0"));
    ASSERT_EQ(older.status, 200);
    EXPECT_TRUE(parse(older.body)->hasResource());

    Got preview = get(http("/r?id=CTR-EXAMPLE&vuz_auth=x&vuz_preview=1&v=i92886563"));
    ASSERT_EQ(preview.status, 200);
    EXPECT_TRUE(parse(preview.body)->hasResource());
}

TEST_F(TagManagerPeerTest, UnknownOrPathLikeIdsAreNotFound) {
    ASSERT_TRUE(started);
    EXPECT_EQ(get(http("/r?id=CTR-NONE&v=i92886563")).status, 404);
    EXPECT_EQ(get(http("/r?id=..%2FREADME.txt&v=i92886563")).status, 404);
    EXPECT_EQ(get(http("/r?v=i92886563")).status, 404);
}

TEST_F(TagManagerPeerTest, PixelsAreAnsweredAndRecordedWithTheirUserAgent) {
    ASSERT_TRUE(started);
    plat::URLRequest request(http("/px?c=CTR-EXAMPLE&e=go"));
    request.setValue("Pixel-Agent/2.0", "User-Agent");
    Got got = peertest::send(request);
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.body.substr(0, 6), "GIF89a");
    plat::URLConnection::closeIdleConnections();
    server.stop();

    std::ifstream in(dir.path() / "record.jsonl");
    std::vector<nlohmann::json> pixels;
    for (std::string line; std::getline(in, line);) {
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (json.is_object() && json.value("pixel", false)) pixels.push_back(json);
    }
    ASSERT_EQ(pixels.size(), 1u);
    EXPECT_EQ(pixels[0]["path"], "/px");
    EXPECT_EQ(pixels[0]["query"], "c=CTR-EXAMPLE&e=go");
    EXPECT_EQ(pixels[0]["user_agent"], "Pixel-Agent/2.0");
}
