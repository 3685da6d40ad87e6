#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "platform/base/Error.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

using tmtest::CapturedLog;

using tmtest::I;
using tmtest::L;
using tmtest::M;
using tmtest::T;
ZAVObjectPtr kv(const std::string& k, ZAVObjectPtr v) {
    return M({{T(k), std::move(v)}});
}

bool same(const ZAVObjectPtr& a, const ZAVObjectPtr& b) {
    return ZAVObject::Equal()(a, b);
}

class Recorder : public ZAVDataLayerListener {
  public:
    void changed(const ZAVObjectPtr& update) override {
        std::lock_guard<std::mutex> lock(mutex);
        updates.push_back(update);
    }
    std::vector<ZAVObjectPtr> seen() {
        std::lock_guard<std::mutex> lock(mutex);
        return updates;
    }
    std::mutex mutex;
    std::vector<ZAVObjectPtr> updates;
};

// Remembers saves; answers loadSaved when told to (on a thread of its own), or at once.
class FakeStore : public ZAVDataLayerPersistentStore {
  public:
    void saveKeyValues(const std::vector<ZAVKeyValue>& keyValues, int64_t lifetime) override {
        saved = keyValues;
        lifetimes.push_back(lifetime);
    }
    void loadSaved(std::shared_ptr<ZAVDataLayerPersistentStoreCallback> callback) override {
        pending = std::move(callback);
    }
    void clearKeysWithPrefix(const std::string& prefix) override { cleared.push_back(prefix); }
    // Answers on another thread; returns it so the test can join.
    std::thread answer(std::vector<ZAVKeyValue> entries) {
        return std::thread(
            [callback = std::move(pending), entries] { callback->onKeyValuesLoaded(entries); });
    }
    std::shared_ptr<ZAVDataLayerPersistentStoreCallback> pending;
    std::vector<ZAVKeyValue> saved;
    std::vector<int64_t> lifetimes;
    std::vector<std::string> cleared;
};

TEST(DataLayerTest, MergeAndGet) {
    auto layer = ZAVDataLayer::create();
    layer->push(kv("a.b", I(1)));
    EXPECT_TRUE(same(layer->get("a.b"), I(1)));
    EXPECT_TRUE(same(layer->get("a"), kv("b", I(1))));
    EXPECT_EQ(layer->get("a.b.c"), nullptr);
    EXPECT_EQ(layer->get("missing"), nullptr);

    auto before = layer->get("a");
    layer->push(kv("a", kv("c", I(2))));
    EXPECT_TRUE(same(layer->get("a"), M({{T("b"), I(1)}, {T("c"), I(2)}})));
    // A subtree handed out earlier does not change under its reader.
    EXPECT_TRUE(same(before, kv("b", I(1))));
    layer->push(kv("a", I(5)));
    EXPECT_TRUE(same(layer->get("a"), I(5)));
    layer->push(kv("a", L({I(1)})));
    EXPECT_TRUE(same(layer->get("a"), L({I(1)})));
}

// Updates that only change values share the key index of the map they replace; adding a key after
// that, and changing values again, keeps every key reachable and the earlier maps as they were.
TEST(DataLayerTest, ValueOnlyUpdatesKeepEveryKey) {
    auto layer = ZAVDataLayer::create();
    layer->push(M({{T("a"), I(1)}, {T("b"), kv("c", I(2))}}));
    auto first = layer->get("b");
    layer->push(kv("b", kv("c", I(3))));
    layer->push(kv("d", I(4)));
    layer->push(M({{T("a"), I(5)}, {T("d"), I(6)}}));
    EXPECT_TRUE(same(layer->get("a"), I(5)));
    EXPECT_TRUE(same(layer->get("b.c"), I(3)));
    EXPECT_TRUE(same(layer->get("d"), I(6)));
    EXPECT_TRUE(same(first, kv("c", I(2))));
    auto merged = ZAVDataLayer::mergeMap(kv("x", I(7)), M({{T("y"), I(8)}, {T("x"), I(9)}}));
    EXPECT_TRUE(same(merged, M({{T("y"), I(8)}, {T("x"), I(7)}})));
    EXPECT_EQ(merged->positionOfKey(T("x")), 1u);
    EXPECT_TRUE(same(merged->objectForKey("y"), I(8)));
}

// The keys of one update are merged in its order, dotted ones into the entry of their first part; a
// key that is not a text names the entry of its text.
TEST(DataLayerTest, KeysOfOneUpdateMergeInOrder) {
    auto layer = ZAVDataLayer::create();
    layer->push(M({{T("a.b"), I(1)}, {T("a"), kv("c", I(2))}, {T("a.d.e"), I(3)}}));
    EXPECT_TRUE(same(layer->get("a"), M({{T("b"), I(1)}, {T("c"), I(2)}, {T("d"), kv("e", I(3))}})));
    auto before = layer->get("a");
    layer->push(M({{T("a"), I(4)}, {T("a.b"), I(5)}}));
    EXPECT_TRUE(same(layer->get("a"), kv("b", I(5))));
    EXPECT_TRUE(same(before, M({{T("b"), I(1)}, {T("c"), I(2)}, {T("d"), kv("e", I(3))}})));
    layer->push(M({{I(7), T("seven")}}));
    EXPECT_TRUE(same(layer->get("7"), T("seven")));
    EXPECT_EQ(layer->get(""), nullptr);
    EXPECT_TRUE(same(layer->get(ZAVDataLayer::keyPath("a.b")), I(5)));
}

TEST(DataLayerTest, ListMergesAndMarkers) {
    auto marker = ZAVObject::notPresent();
    auto null = ZAVObject::nullMarker();
    EXPECT_TRUE(same(ZAVDataLayer::mergeList(L({I(9)}), L({I(1), I(2), I(3)})), L({I(9), I(2), I(3)})));
    EXPECT_TRUE(same(ZAVDataLayer::mergeList(L({I(7), I(8)}), L({I(1)})), L({I(7), I(8)})));
    EXPECT_TRUE(same(ZAVDataLayer::mergeList(L({marker, I(5)}), L({I(1), I(2)})), L({I(1), I(5)})));
    auto fresh = ZAVDataLayer::mergeList(L({marker, I(5)}), L({}));
    ASSERT_EQ(fresh->items().size(), 2u);
    EXPECT_EQ(fresh->items()[0], null);

    auto layer = ZAVDataLayer::create();
    layer->push(kv("x", null));
    EXPECT_EQ(layer->get("x"), null);
    EXPECT_EQ(layer->get("x.y"), null);
    EXPECT_TRUE(same(ZAVDataLayer::expandKey("a..b", I(1)), kv("a", kv("", kv("b", I(1))))));
}

TEST(DataLayerTest, Lifetimes) {
    CapturedLog log;
    EXPECT_EQ(ZAVDataLayer::parseLifetime("2h"), 7200000);
    EXPECT_EQ(ZAVDataLayer::parseLifetime("5 d"), 432000000);
    EXPECT_EQ(ZAVDataLayer::parseLifetime("10"), 10);
    EXPECT_EQ(ZAVDataLayer::parseLifetime("3s"), 3000);
    EXPECT_EQ(ZAVDataLayer::parseLifetime("4m"), 240000);
    EXPECT_FALSE(ZAVDataLayer::parseLifetime("0s"));
    EXPECT_EQ(log->count("warning", "non-positive lifetime: 0s"), 1u);
    EXPECT_FALSE(ZAVDataLayer::parseLifetime("5x"));
    EXPECT_FALSE(ZAVDataLayer::parseLifetime(" 5s"));
    EXPECT_EQ(log->count("info", "unknown lifetime: 5x"), 1u);
    EXPECT_EQ(log->count("info", "unknown lifetime:  5s"), 1u);
    // An Arabic-Indic three is a digit to the pattern but no number.
    EXPECT_FALSE(ZAVDataLayer::parseLifetime("\xd9\xa3h"));
    EXPECT_EQ(log->count("warning", "illegal number in lifetime value: \xd9\xa3h"), 1u);
    // Digits past 64 bits clamp, and the unit saturates instead of wrapping.
    EXPECT_EQ(ZAVDataLayer::parseLifetime("99999999999999999999d"), INT64_MAX);
    EXPECT_EQ(ZAVDataLayer::parseLifetime("9223372036854775807s"), INT64_MAX);
}

TEST(DataLayerTest, PersistsFlattenedUpdates) {
    auto store = std::make_shared<FakeStore>();
    auto layer = ZAVDataLayer::create(store);
    auto answer = store->answer({});
    answer.join();
    auto tags = L({T("a")});
    layer->push(
        M({{T("vuz"), kv("lifetime", T("1h"))}, {T("user"), M({{T("id"), T("u1")}, {T("tags"), tags}})}}));
    ASSERT_EQ(store->saved.size(), 2u);
    EXPECT_EQ(store->saved[0].key(), "user.id");
    EXPECT_TRUE(same(store->saved[0].value(), T("u1")));
    EXPECT_EQ(store->saved[1].key(), "user.tags");
    EXPECT_EQ(store->saved[1].value(), tags);
    EXPECT_EQ(store->lifetimes, std::vector<int64_t>{3600000});

    layer->push(kv("user.id", T("u2")));
    layer->push(M({{T("vuz"), T("1h")}, {T("k"), I(1)}}));
    EXPECT_EQ(store->lifetimes.size(), 1u);
    // A number as lifetime reads as its text; other "vuz" keys are saved.
    layer->push(M({{T("vuz"), M({{T("lifetime"), I(3600)}, {T("other"), I(2)}})}}));
    ASSERT_EQ(store->saved.size(), 1u);
    EXPECT_EQ(store->saved[0].key(), "vuz.other");
    EXPECT_EQ(store->lifetimes.back(), 3600);

    layer->clearPersistentKeysWithPrefix("user");
    EXPECT_EQ(layer->get("user.id"), ZAVObject::nullMarker());
    EXPECT_EQ(store->cleared, std::vector<std::string>{"user"});

    ZAVKeyValue a("k", I(1)), b("k", ZAVObject::floating(1.0));
    EXPECT_TRUE(a.isEqual(&b));
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_FALSE(a.isEqual(nullptr));
    EXPECT_EQ(a.description(), "ZAVKeyValue(k, 1)");
}

// Pushes once per notification until it has pushed `limit` times.
class Repusher : public ZAVDataLayerListener {
  public:
    Repusher(ZAVDataLayer* layer, int limit) : layer_(layer), limit_(limit) {}
    void changed(const ZAVObjectPtr&) override {
        ++seen;
        if (pushed < limit_) {
            ++pushed;
            layer_->push(kv("n", I(pushed)));
        }
    }
    int seen = 0;
    int pushed = 0;

  private:
    ZAVDataLayer* layer_;
    int limit_;
};

TEST(DataLayerTest, PushLoopStopsAfter500Updates) {
    auto layer = ZAVDataLayer::create();
    auto fine = std::make_shared<Repusher>(layer.get(), 499);
    layer->registerListener(fine);
    layer->registerListener(fine);  // held once
    EXPECT_NO_THROW(layer->push(kv("start", I(0))));
    EXPECT_EQ(fine->seen, 500);
    layer->unregisterListener(fine);

    auto looping = std::make_shared<Repusher>(layer.get(), 100000);
    layer->registerListener(looping);
    try {
        layer->push(kv("start", I(1)));
        ADD_FAILURE() << "no push loop";
    } catch (const plat::Exception& e) {
        EXPECT_EQ(e.name(), "ZAVListenerPushLoop");
        EXPECT_EQ(e.reason(), "Seems like an infinite loop of pushing to the data layer?");
    }
    EXPECT_EQ(looping->seen, 501);
    layer->unregisterListener(looping);
    // Still usable: the queue was emptied, the depth restored.
    auto recorder = std::make_shared<Recorder>();
    layer->registerListener(recorder);
    layer->push(kv("after", I(1)));
    EXPECT_EQ(recorder->seen().size(), 1u);
    EXPECT_TRUE(same(layer->get("after"), I(1)));
}

TEST(DataLayerTest, LateStoreHoldsPushesBackAndRestoresFirst) {
    auto store = std::make_shared<FakeStore>();
    auto layer = ZAVDataLayer::create(store);
    auto recorder = std::make_shared<Recorder>();
    layer->registerListener(recorder);
    EXPECT_FALSE(layer->isPersistentStoreLoaded());

    auto pushed = std::async(std::launch::async, [&] { layer->push(kv("live", I(1))); });
    // The push cannot finish before the store answers.
    EXPECT_EQ(pushed.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    auto answer = store->answer({ZAVKeyValue("saved.a", I(7)), ZAVKeyValue("saved.b", I(8))});
    pushed.get();
    answer.join();
    auto seen = recorder->seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_TRUE(same(seen[0], kv("saved", kv("a", I(7)))));
    EXPECT_TRUE(same(seen[2], kv("live", I(1))));
    EXPECT_TRUE(same(layer->get("saved.b"), I(8)));
}

TEST(DataLayerTest, ListenerPushingDuringRestoreDoesNotHang) {
    auto store = std::make_shared<FakeStore>();
    auto layer = ZAVDataLayer::create(store);
    auto echo = std::make_shared<Repusher>(layer.get(), 1);
    layer->registerListener(echo);
    auto answer = store->answer({ZAVKeyValue("saved", I(1))});
    answer.join();  // would never end if the listener's push waited for the restore it runs inside
    EXPECT_EQ(echo->pushed, 1);
    EXPECT_EQ(echo->seen, 2);
    EXPECT_TRUE(same(layer->get("n"), I(1)));
    EXPECT_TRUE(layer->isPersistentStoreLoaded());
}

}  // namespace
