// The tracker on the virtual clock: the token bucket, the hit-type rules, the usage codes and the hand-over
// to a sender that keeps every hit.
#include <gtest/gtest.h>

#include <future>

#include "analytics/RUVTrackerImpl.h"
#include "analytics/base/RUVHitUtil.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "platform/base/ClassRegistry.h"
#include "tests/analytics/FacadeTestSupport.h"

using namespace analyticstest;

namespace {

class Tracker : public StoreTest {
  protected:
    void SetUp() override { RUVUsageTracker::getUsageSequence(); }
    void TearDown() override {
        tracker.reset();
        sender.reset();
        store.reset();
        drainWorker();
        StoreTest::TearDown();
    }
    void event(int n = 1) {
        for (int i = 0; i < n; ++i) tracker->send({{"&t", "event"}, {"&ea", std::to_string(i)}});
    }

    testsupport::VirtualClockScope clock;
    std::shared_ptr<RUVDataStore> store = RUVDataStore::dataStore();
    std::shared_ptr<RecordingSender> sender = std::make_shared<RecordingSender>(store);
    std::shared_ptr<RUVTrackerImpl> tracker = RUVTrackerImpl::trackerWithDispatcher(sender, "t");
};

}  // namespace

TEST_F(Tracker, NeedsADispatcher) {
    EXPECT_EQ(RUVTrackerImpl::trackerWithDispatcher(nullptr, "x"), nullptr);
    EXPECT_TRUE(logger->contains("E ZediveAnalytics 3.12 "));
    EXPECT_TRUE(logger->contains("initialization failed: dispatcher is required."));
}

TEST_F(Tracker, SixtyEventsInASecondPassTheSixtyFirstIsThrottled) {
    for (int i = 0; i < 60; ++i) {
        event();
        clock.clock().advance(1.0 / 61);
    }
    EXPECT_EQ(sender->count(), 60u);
    EXPECT_FALSE(logger->contains("Excessive tracking detected and throttled."));
    event();
    EXPECT_EQ(sender->count(), 60u);
    EXPECT_EQ(logger->count("I ZediveAnalytics"), 1u);
    EXPECT_TRUE(logger->contains("Excessive tracking detected and throttled."));
    // The refused attempt still moved the bucket's time: two seconds from it give one credit.
    clock.clock().advance(2.0);
    event();
    EXPECT_EQ(sender->count(), 61u);
    event();
    EXPECT_EQ(sender->count(), 61u);
}

TEST_F(Tracker, OnceSpentAttemptsEverySecondPassEverySecondTime) {
    event(60);
    std::vector<bool> passed;
    for (int i = 0; i < 8; ++i) {
        clock.clock().advance(1.0);
        const size_t before = sender->count();
        event();
        passed.push_back(sender->count() > before);
    }
    EXPECT_EQ(passed, (std::vector<bool>{false, true, false, true, false, true, false, true}));
}

TEST_F(Tracker, TransactionAndItemHitsNeitherNeedNorSpendCredits) {
    event(61);
    ASSERT_EQ(sender->count(), 60u);
    const double credits = tracker->trackingCredits();
    const double last = tracker->lastTrackTime();
    clock.clock().advance(0.5);
    tracker->send(RUVDictionaryBuilder::createTransactionWithId("T1", "a", plat::Value(1.0), plat::Value(),
                                                                plat::Value(), "JPY")
                      ->build());
    tracker->send(RUVDictionaryBuilder::createItemWithTransactionId("T1", "n", "s", "c", plat::Value(1.0),
                                                                    plat::Value(int64_t{1}), "JPY")
                      ->build());
    EXPECT_EQ(sender->count(), 62u);
    EXPECT_EQ(tracker->trackingCredits(), credits);
    EXPECT_EQ(tracker->lastTrackTime(), last);
}

TEST_F(Tracker, AHitWithoutATypeWarnsCountsAScreenViewAndGoes) {
    const uint32_t before = RUVTrackerModel::screenViewCounter();
    tracker->send({{"&cd", "Home"}});
    EXPECT_TRUE(logger->contains("W ZediveAnalytics"));
    EXPECT_TRUE(logger->contains("Bad or missing hit type."));
    EXPECT_EQ(sender->count(), 1u);
    EXPECT_EQ(RUVTrackerModel::screenViewCounter(), before + 1);

    // A type from the tracker's own parameters counts; events and an empty type do not.
    tracker->set("&t", "appview");
    tracker->send({{"&cd", "Home"}});
    tracker->send({{"&t", "event"}});
    tracker->send({{"&t", ""}});
    EXPECT_EQ(RUVTrackerModel::screenViewCounter(), before + 2);
    EXPECT_EQ(sender->count(), 4u);
}

TEST_F(Tracker, ANullValueHidesTheKeyAndComputedValuesAreRead) {
    tracker->set("&cd", "Home");
    EXPECT_EQ(tracker->get("&cd"), "Home");
    tracker->set("&cd", std::nullopt);
    EXPECT_EQ(tracker->get("&cd"), std::nullopt);
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    auto hit = sender->hits().back();
    ASSERT_TRUE(hit.count("&cd"));
    EXPECT_EQ(hit["&cd"], std::nullopt);

    EXPECT_EQ(tracker->get("&ul"), RUVHitUtil::systemLanguage());
    EXPECT_EQ(tracker->get("&cid"), store->clientId());
    tracker->set("&ul", std::nullopt);
    EXPECT_EQ(tracker->get("&ul"), std::nullopt);
}

TEST_F(Tracker, UsageCodesTravelWithTheNextHit) {
    tracker->set("&cd", "Home");
    tracker->get("&cd");
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    EXPECT_EQ(sender->hits().back()["&_u"], ".KJ9L");
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    EXPECT_EQ(sender->hits().back()["&_u"], ".9L");
    // The unrecorded forms add nothing.
    tracker->ruv_set("&cd", "x");
    tracker->ruv_get("&cd");
    tracker->ruv_send({{"&t", "screenview"}});
    EXPECT_EQ(sender->hits().back()["&_u"], "");
}

TEST_F(Tracker, SettingAllowIdfaCollectionReachesTheModel) {
    EXPECT_FALSE(tracker->allowIDFACollection());
    tracker->setAllowIDFACollection(true);
    EXPECT_TRUE(tracker->allowIDFACollection());
    EXPECT_TRUE(tracker->model().allowIDFACollection());
    tracker->ruv_set(RUVHitRecord{{"&cd", "a"}, {"&dr", "b"}});
    EXPECT_EQ(tracker->get("&dr"), "b");
    EXPECT_EQ(tracker->name(), "t");
}

namespace {

// An advertising-id provider that, while the tracker computes a value, has the worker send through it.
struct SendingProvider : RUVAdIdProvider {
    std::optional<std::string> retrieveId() override { return std::nullopt; }
    bool retrieveTrackingFlag() override {
        auto target = tracker;
        auto send = std::make_shared<std::packaged_task<void()>>([target] {
            target->ruv_send({{"&t", "event"}});
        });
        auto done = send->get_future();
        RUV::postToWorker([send] { (*send)(); });
        // Bounded, so a tracker that computes under its lock fails here instead of hanging.
        sentMeanwhile = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        return true;
    }
    std::shared_ptr<RUVTrackerImpl> tracker;
    bool sentMeanwhile = false;
};

}  // namespace

TEST_F(Tracker, ComputedValuesAreReadOutsideTheTrackersLock) {
    auto provider = std::make_shared<SendingProvider>();
    provider->tracker = tracker;
    plat::ClassRegistry::Scoped scope(plat::ClassRegistry::shared(), RUVTrackerModel::kProviderClassName);
    plat::ClassRegistry::shared().registerProvider<RUVAdIdProvider>(RUVTrackerModel::kProviderClassName,
                                                                    provider);
    tracker->setAllowIDFACollection(true);
    EXPECT_EQ(tracker->get("&ate"), "1");
    EXPECT_TRUE(provider->sentMeanwhile);
    drainWorker();
    EXPECT_EQ(sender->count(), 1u);
    provider->tracker.reset();
}
