// The pixel and data-layer-write tags: on a recording hit sender, on the real shared dispatcher (store file,
// rate limiter, virtual clock), and fired by a container's rule through the runtime.
#include <gtest/gtest.h>

#include <deque>
#include <mutex>

#include "tagmanager/datalayer/ZAVDataLayerPersistentStoreImpl.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tagmanager/runtime/ZAVResourceUtil.h"
#include "tagmanager/runtime/ZAVRuntime.h"
#include "tagmanager/runtime/ZAVTrackingTag.h"
#include "tagmanager/values/ZAVAsyncUtil.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/HitTestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "tests/tagmanager/support/ResourceBuilder.h"

namespace {

using Properties = ZAVFunctionCallImplementation::Properties;

using tmtest::I;
using tmtest::L;
using tmtest::M;
using tmtest::T;
ZAVPValuePtr V(const ZAVObjectPtr& object) {
    return ZAVTypes::objectToValue(object);
}

// Keeps every URL; answers with the queued results (true once they run out).
class RecordingSender : public ZAVHitSender {
  public:
    bool sendHitToUrl(const std::string& url) override {
        std::lock_guard<std::mutex> lock(mutex_);
        bool queued = answers_.empty() ? true : answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        if (queued) urls_.push_back(url);
        return queued;
    }
    std::shared_ptr<ZAVLogger> logger() const override { return nullptr; }
    void setLogger(std::weak_ptr<ZAVLogger>) override {}
    void answer(bool queued) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.push_back(queued);
    }
    std::vector<std::string> urls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return urls_;
    }

  private:
    mutable std::mutex mutex_;
    std::deque<bool> answers_;
    std::vector<std::string> urls_;
};

class Updates : public ZAVDataLayerListener {
  public:
    void changed(const ZAVObjectPtr& update) override {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(update);
    }
    std::mutex mutex;
    std::vector<ZAVObjectPtr> seen;
};

class TrackingTagTest : public tmtest::HitStoreFixture {
  protected:
    void TearDown() override { ZAVDispatcher::resetInstance(); }

    std::vector<std::string> sent(const Properties& properties) {
        RecordingSender sender;
        ZAVArbitraryPixel pixel(std::shared_ptr<ZAVHitSender>(&sender, [](ZAVHitSender*) {}));
        pixel.evaluate(properties);
        return sender.urls();
    }
    // The pixel's id file as a later run finds it.
    static void restart() {
        ZAVAsyncUtil::waitUntilIdle();
        ZAVArbitraryPixel::clearCache();
    }

    std::shared_ptr<RecordingSender> sender_ = std::make_shared<RecordingSender>();
    ZAVArbitraryPixel pixel_{sender_};
};

TEST_F(TrackingTagTest, AdditionalParametersJoinTheUrl) {
    auto one = V(L({M({{T("a"), I(1)}})}));
    EXPECT_EQ(sent({{"url", V(T("http://h/p"))}, {"additional_params", one}}),
              (std::vector<std::string>{"http://h/p?a=1"}));
    EXPECT_EQ(sent({{"url", V(T("http://h/p?x=y"))}, {"additional_params", one}}),
              (std::vector<std::string>{"http://h/p?x=y&a=1"}));
    auto two = V(L({M({{T("a"), I(1)}, {T("b c"), T("x&y")}}), M({{T("d"), ZAVObject::floating(2.5)}})}));
    EXPECT_EQ(sent({{"url", V(T("http://h/p"))}, {"additional_params", two}}),
              (std::vector<std::string>{"http://h/p?a=1&b%20c=x%26y&d=2.5"}));
    EXPECT_EQ(sent({{"url", V(T("http://h/p"))}, {"additional_params", V(L({}))}}),
              (std::vector<std::string>{"http://h/p?"}));
    EXPECT_EQ(sent({{"url", V(T("http://h/plain"))}}), (std::vector<std::string>{"http://h/plain"}));
}

TEST_F(TrackingTagTest, MalformedAdditionalParametersSendNothing) {
    tmtest::CapturedLog log;
    EXPECT_TRUE(sent({{"url", V(T("http://h/p"))}, {"additional_params", V(M({{T("a"), I(1)}}))}}).empty());
    EXPECT_EQ(log->count("warning",
                         "ArbitraryPixel: additional params not a list: not sending partial hit: "
                         "http://h/p"),
              1u);
    EXPECT_TRUE(
        sent({{"url", V(T("http://h/q"))}, {"additional_params", V(L({M({{T("a"), I(1)}}), T("s")}))}})
            .empty());
    EXPECT_EQ(log->count("warning",
                         "ArbitraryPixel: additional params contains non-map: not sending partial "
                         "hit: http://h/q"),
              1u);
}

TEST_F(TrackingTagTest, AnUnrepeatableIdIsSentOnceAlsoAcrossRestarts) {
    Properties once = {{"url", V(T("http://h/once"))}, {"unrepeatable", V(T("id-1"))}};
    pixel_.evaluate(once);
    ZAVArbitraryPixel other(sender_);  // the ids are shared by every pixel tag
    other.evaluate(once);
    EXPECT_EQ(sender_->urls().size(), 1u);

    restart();
    EXPECT_FALSE(ZAVArbitraryPixel::idInCache("id-1"));
    EXPECT_TRUE(ZAVArbitraryPixel::idInPlist("id-1"));
    pixel_.evaluate(once);
    EXPECT_EQ(sender_->urls().size(), 1u);

    // A second id recorded by a later run keeps the first in the file.
    restart();
    pixel_.evaluate({{"url", V(T("http://h/two"))}, {"unrepeatable", V(T("id-2"))}});
    restart();
    pixel_.evaluate(once);
    pixel_.evaluate({{"url", V(T("http://h/two"))}, {"unrepeatable", V(T("id-2"))}});
    EXPECT_EQ(sender_->urls(), (std::vector<std::string>{"http://h/once", "http://h/two"}));
}

TEST_F(TrackingTagTest, AFailedUnrepeatableIdSendsEveryTimeAndRecordsNoId) {
    Properties failed = {{"url", V(T("http://h/f"))}, {"unrepeatable", ZAVTypes::defaultValue()}};
    pixel_.evaluate(failed);
    pixel_.evaluate(failed);
    EXPECT_EQ(sender_->urls().size(), 2u);
    EXPECT_FALSE(ZAVArbitraryPixel::idProcessed(""));
}

TEST_F(TrackingTagTest, AThrottledUnrepeatableHitIsSentLater) {
    Properties once = {{"url", V(T("http://h/once"))}, {"unrepeatable", V(T("id-t"))}};
    sender_->answer(false);
    pixel_.evaluate(once);
    EXPECT_FALSE(ZAVArbitraryPixel::idProcessed("id-t"));
    pixel_.evaluate(once);
    pixel_.evaluate(once);
    EXPECT_EQ(sender_->urls(), (std::vector<std::string>{"http://h/once"}));
}

TEST_F(TrackingTagTest, ThePixelQueuesIntoTheSharedDispatcherWhichMayThrottleIt) {
    auto dispatcher = ZAVDispatcher::instance();
    dispatcher->setDispatchInterval(0);
    ZAVArbitraryPixel pixel;  // the shared dispatcher
    for (int i = 0; i < 60; ++i)
        ASSERT_TRUE(dispatcher->sendHitToUrl("http://127.0.0.1:9/" + std::to_string(i)));
    Properties once = {{"url", V(T("http://127.0.0.1:9/px"))}, {"unrepeatable", V(T("id-d"))}};
    pixel.evaluate(once);  // no token left
    EXPECT_FALSE(ZAVArbitraryPixel::idProcessed("id-d"));
    clock_.clock().advance(2);
    pixel.evaluate(once);
    pixel.evaluate(once);
    auto hits = fetch(*dispatcher->store(), 0);
    ASSERT_EQ(hits.size(), 61u);
    EXPECT_EQ(hits.back().dispatchURL, "http://127.0.0.1:9/px");
    EXPECT_TRUE(ZAVArbitraryPixel::idProcessed("id-d"));
}

TEST_F(TrackingTagTest, TagsAnswerTheIdenticalDefaultValue) {
    auto layer = ZAVDataLayer::create();
    ZAVDataLayerWrite write(layer);
    EXPECT_EQ(pixel_.evaluate({{"url", V(T("http://h/p"))}}), ZAVTypes::defaultValue());
    EXPECT_EQ(write.evaluate({{"value", V(L({M({{T("a"), I(1)}})}))}}), ZAVTypes::defaultValue());
    EXPECT_EQ(write.evaluate({}), ZAVTypes::defaultValue());
    EXPECT_FALSE(pixel_.isCacheable());
    EXPECT_FALSE(write.isCacheable());
    EXPECT_EQ(pixel_.requiredKeys(), (std::set<std::string>{"url"}));
    EXPECT_EQ(write.requiredKeys(), (std::set<std::string>{"value"}));
}

TEST_F(TrackingTagTest, DataLayerWritePushesTheMapsAndClearsAPrefix) {
    auto store = std::make_shared<ZAVDataLayerPersistentStoreImpl>();
    auto layer = ZAVDataLayer::create(store);
    auto updates = std::make_shared<Updates>();
    layer->registerListener(updates);
    ZAVDataLayerWrite write(layer);
    auto lifetime = M({{T("lifetime"), T("1h")}});
    write.evaluate({{"value", V(L({M({{T("vuz"), lifetime}, {T("user"), M({{T("id"), T("u1")}})}}),
                                   T("not a map"), M({{T("vuz"), lifetime}, {T("keep"), I(7)}})}))}});
    EXPECT_EQ(updates->seen.size(), 2u);
    EXPECT_EQ(layer->get("user.id")->textValue(), "u1");

    write.evaluate({{"value", V(T("not a list"))}, {"clear_data_layer_prefix", V(T("user"))}});
    EXPECT_EQ(layer->get("user"), ZAVObject::nullMarker());
    EXPECT_EQ(layer->get("keep")->int64Value(), 7);

    struct Collect : ZAVDataLayerPersistentStoreCallback {
        void onKeyValuesLoaded(const std::vector<ZAVKeyValue>& values) override {
            for (const auto& v : values) keys.push_back(v.key());
        }
        std::vector<std::string> keys;
    };
    auto collect = std::make_shared<Collect>();
    store->loadSaved(collect);
    store->waitUntilIdle();
    EXPECT_EQ(collect->keys, (std::vector<std::string>{"keep"}));
}

TEST_F(TrackingTagTest, TheRuntimeFiresTheBuiltInTags) {
    tmtest::ResourceBuilder b;
    int32_t url = b.string("http://h/rule");
    int32_t values = b.list({b.map({b.string("fired")}, {b.boolean(true)})});
    b.rule({{}, {}, {b.tag("_dlw", {{"value", values}}), b.tag("_img", {{"url", url}})}, {}, {}, {}});
    auto layer = ZAVDataLayer::create();
    auto runtime =
        ZAVRuntime::runtimeWithResource(ZAVResourceUtil::expandResource(*b.build()), layer, nullptr, nullptr);
    for (const char* id : {"_func", "_img", "_dlw", "_ua"})
        EXPECT_TRUE(runtime->trackingTagMap().count(id)) << id;
    ZAVDispatcher::instance()->setDispatchInterval(0);
    runtime->evaluateTags("go");
    EXPECT_TRUE(layer->get("fired")->boolValue());
    auto hits = fetch(*ZAVDispatcher::instance()->store(), 0);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].dispatchURL, "http://h/rule");
}

}  // namespace
