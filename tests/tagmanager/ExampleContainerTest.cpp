// The example container that potemaru-peers serves (peers/data/tagmanager/CTR-EXAMPLE, made by
// tools/tmcontainer): it reads as a download does and its rule fires its three tags on "go" only.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tagmanager/runtime/ZAVResourceUtil.h"
#include "tagmanager/runtime/ZAVRuntime.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/HitTestSupport.h"
#include "tests/tagmanager/support/ResourceBuilder.h"
#include "wire/ZAVWireRootObject.h"

namespace {

class Handler : public ZAVCustomEvaluator {
  public:
    ZAVObjectPtr evaluate(const std::string& name, const Parameters& parameters) override {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back({name, parameters});
        return nullptr;
    }
    std::mutex mutex;
    std::vector<std::pair<std::string, Parameters>> calls;
};

class ExampleContainerTest : public tmtest::HitStoreFixture {
  protected:
    void TearDown() override { ZAVDispatcher::resetInstance(); }
};

TEST_F(ExampleContainerTest, GoFiresThePixelTheWriteAndTheHandler) {
    const std::string bytes =
        testsupport::readFile(testsupport::sourceDir() / "peers/data/tagmanager/CTR-EXAMPLE");
    ASSERT_FALSE(bytes.empty());
    auto message = ZAVPSupplementedResource::parseFromData(ZAVWireData::create(bytes),
                                                           tmtest::ResourceBuilder::registry());
    ASSERT_TRUE(message->hasResource());
    EXPECT_EQ(message->fingerprint()->utf8(), "example-1");
    auto handler = std::make_shared<Handler>();
    auto layer = ZAVDataLayer::create();
    auto runtime = ZAVRuntime::runtimeWithResource(ZAVResourceUtil::expandResource(*message->resource()),
                                                   layer, nullptr, handler);
    ZAVDispatcher::instance()->setDispatchInterval(0);

    runtime->evaluateTags("stop");
    EXPECT_TRUE(handler->calls.empty());
    EXPECT_FALSE(layer->get("done"));

    runtime->evaluateTags("go");
    ASSERT_TRUE(layer->get("done"));
    EXPECT_TRUE(layer->get("done")->boolValue());
    ASSERT_EQ(handler->calls.size(), 1u);
    EXPECT_EQ(handler->calls[0].first, "example");
    ASSERT_TRUE(handler->calls[0].second.count("event"));
    EXPECT_EQ(handler->calls[0].second.at("event")->textValue(), "go");
    auto hits = fetch(*ZAVDispatcher::instance()->store(), 0);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].dispatchURL, "http://peers.invalid/px?c=CTR-EXAMPLE&e=go");
}

}  // namespace
