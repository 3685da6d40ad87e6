#pragma once
// Fixtures of the facade, tracker and campaign tests: a temporary home with its own auxiliary store, the
// facade's dispatcher made over it, a loopback collection server, and a tracker sender that keeps hits.
#include <memory>
#include <mutex>
#include <vector>

#include "analytics/RUV.h"
#include "analytics/RUVTrackerImpl.h"
#include "analytics/base/RUVEndpoints.h"
#include "analytics/base/RUVUsageTracker.h"
#include "analytics/dispatch/RUVBatchingDispatcher.h"
#include "analytics/hits/RUVTrackerModel.h"
#include "analytics/store/RUVAnalyticsPropertiesStore.h"
#include "analytics/store/RUVDataStore.h"
#include "analytics/store/RUVSqlStore.h"
#include "platform/net/Endpoints.h"
#include "tests/analytics/StoreTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"

namespace analyticstest {

// Keeps every model a tracker hands over, as the hit it would become.
class RecordingSender : public RUVDispatchSender {
  public:
    explicit RecordingSender(std::shared_ptr<RUVDataStore> store) : store_(std::move(store)) {}
    void queueDispatch(const plat::Value::Dictionary&) override {}
    void queueModel(const RUVTrackerModel& model) override {
        std::lock_guard lock(mutex_);
        hits_.push_back(model.parameters());
    }
    std::shared_ptr<RUVDataStore> dataStore() const override { return store_; }
    std::vector<RUVHitRecord> hits() const {
        std::lock_guard lock(mutex_);
        return hits_;
    }
    size_t count() const { return hits().size(); }

  private:
    std::shared_ptr<RUVDataStore> store_;
    mutable std::mutex mutex_;
    std::vector<RUVHitRecord> hits_;
};

class FacadeTest : public StoreTest {
  protected:
    void SetUp() override {
        RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", server.port()});
        RUVEndpoints::setHttpEndpoint({"http", "127.0.0.1", server.port()});
        for (const char* method : {"GET", "POST"}) server.route(method, "/collect", testsupport::Answer{});
        server.route("POST", "/batch", testsupport::Answer{});
        openAuxiliaryStore();
        RUVBatchingDispatcher::setMaker([this](bool optOut) {
            return RUVBatchingDispatcher::create(RUVDataStore::dataStore(), properties.get(), optOut);
        });
        RUVUsageTracker::getUsageSequence();
    }
    void TearDown() override {
        RUV::resetSharedInstance();
        RUVBatchingDispatcher::setMaker(nullptr);
        // Answers still queued for a dropped dispatcher come to nothing.
        testsupport::runMainLoopUntil([] { return false; }, 0.05);
        drainWorker();
        closeAuxiliaryStore();
        RUVURLConnection::setDryRun(false);
        plat::Endpoints::shared().reset();
        StoreTest::TearDown();
    }
    // The auxiliary store of this home, as a new process would open it.
    void openAuxiliaryStore() {
        onWorker([&] {
            sql = RUVSqlStore::initWithDatabaseName(RUVSqlStore::kSharedDatabaseName);
            properties = std::make_unique<RUVAnalyticsPropertiesStore>(sql.get());
        });
    }
    void closeAuxiliaryStore() {
        onWorker([&] {
            properties.reset();
            sql.reset();
        });
    }
    // Hits stored by the facade's dispatcher.
    int64_t stored() {
        auto d = RUV::sharedInstance()->dispatcher();
        return onWorker([&] { return d->dataStore()->hitCount(); });
    }
    // One dispatch through the facade; waits for its outcome on the main run loop.
    int dispatchOnce() {
        auto outcome = std::make_shared<std::atomic<int>>(-1);
        RUV::sharedInstance()->dispatchWithCompletionHandler(
            [outcome](RUVDispatchOutcome o) { *outcome = o; });
        EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return *outcome >= 0; }));
        drainWorker();
        return *outcome;
    }

    testsupport::VirtualClockScope clock;
    testsupport::ForcedReachability reachable{0x2};
    testsupport::LoopbackServer server;
    std::unique_ptr<RUVSqlStore> sql;
    std::unique_ptr<RUVAnalyticsPropertiesStore> properties;
};

}  // namespace analyticstest
