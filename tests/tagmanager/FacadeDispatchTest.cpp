// The facade's dispatch forwarding with both real hit-delivery layers: the tag hit dispatcher over its
// store file and the analytics SDK over its own, both sending to the loopback kit.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "analytics/RUV.h"
#include "analytics/base/RUVEndpoints.h"
#include "analytics/dispatch/RUVBatchingDispatcher.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "analytics/store/RUVAnalyticsPropertiesStore.h"
#include "analytics/store/RUVDataStore.h"
#include "analytics/store/RUVSqlStore.h"
#include "platform/net/Endpoints.h"
#include "platform/net/URLLoader.h"
#include "tagmanager/ZODAruzivu.h"
#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/tagmanager/HitTestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

using testsupport::Answer;

// Runs `task` on the analytics worker and waits for it.
void onAnalyticsWorker(const std::function<void()>& task) {
    std::promise<void> done;
    RUV::postToWorker([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

class FacadeDispatchTest : public tmtest::HitStoreFixture {
  protected:
    void SetUp() override {
        for (const char* path : {"/collect", "/px"}) server.route("GET", path, Answer{});
        server.route("POST", "/batch", Answer{});
        RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", server.port()});
        RUVEndpoints::setHttpEndpoint({"http", "127.0.0.1", server.port()});
        // Tag hits go out only with a configured tag-manager server.
        ZAVEndpoints::setServerEndpoint({"http", "127.0.0.1", server.port()});
        onAnalyticsWorker([&] {
            sql = RUVSqlStore::initWithDatabaseName(RUVSqlStore::kSharedDatabaseName);
            properties = std::make_unique<RUVAnalyticsPropertiesStore>(sql.get());
        });
        RUVBatchingDispatcher::setMaker([this](bool optOut) {
            return RUVBatchingDispatcher::create(RUVDataStore::dataStore(), properties.get(), optOut);
        });
        // Only the test's own dispatches send.
        ZAVDispatcher::instance()->setDispatchInterval(0);
    }
    void TearDown() override {
        ZODAruzivu::resetInstance();
        ZAVDispatcher::resetInstance();
        RUV::resetSharedInstance();
        RUVBatchingDispatcher::setMaker(nullptr);
        testsupport::runMainLoopUntil([] { return false; }, 0.05);
        onAnalyticsWorker([&] {
            properties.reset();
            sql.reset();
            plat::URLLoader::releaseIdle();
        });
        plat::Endpoints::shared().reset();
        HitStoreFixture::TearDown();
    }

    void trackScreenView() {
        auto tracker = RUV::sharedInstance()->trackerWithTrackingId("UA-1-1");
        tracker->send(RUVDictionaryBuilder::createScreenView()->build());
        onAnalyticsWorker([] {});
    }
    void storeTagHit() {
        ZAVDispatcher::instance()->sendHitToUrl(server.url("/px") + "?c=CTR-A");
        drain();
    }
    // The one result the facade's handler hears.
    int dispatchWithHandler() {
        auto results = std::make_shared<std::vector<int>>();
        auto mutex = std::make_shared<std::mutex>();
        ZODAruzivu::instance()->dispatchWithCompletionHandler([results, mutex](int result) {
            std::lock_guard<std::mutex> lock(*mutex);
            results->push_back(result);
        });
        auto count = [&] {
            std::lock_guard<std::mutex> lock(*mutex);
            return results->size();
        };
        EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return count() >= 1; }));
        // Whatever else was going to happen has happened.
        drain();
        onAnalyticsWorker([] {});
        testsupport::runMainLoopUntil([] { return false; }, 0.05);
        std::lock_guard<std::mutex> lock(*mutex);
        EXPECT_EQ(results->size(), 1u);
        return results->empty() ? -1 : results->front();
    }
    size_t storedTagHits() { return fetch(*ZAVDispatcher::instance()->store(), 0).size(); }

    testsupport::LoopbackServer server;
    testsupport::ForcedReachability reachable{plat::ReachabilityFlag::kReachable};
    tmtest::CapturedLog log;
    std::unique_ptr<RUVSqlStore> sql;
    std::unique_ptr<RUVAnalyticsPropertiesStore> properties;
};

TEST_F(FacadeDispatchTest, WhenTheAnalyticsSdkSentTheTagHitDispatcherDoesNotRun) {
    trackScreenView();
    storeTagHit();
    EXPECT_EQ(dispatchWithHandler(), 1);
    EXPECT_EQ(server.requestsTo("/collect").size() + server.requestsTo("/batch").size(), 1u);
    EXPECT_TRUE(server.requestsTo("/px").empty());
    EXPECT_EQ(storedTagHits(), 1u);
}

TEST_F(FacadeDispatchTest, WhenTheAnalyticsSdkHadNothingTheTagHitDispatcherAnswers) {
    storeTagHit();
    EXPECT_EQ(dispatchWithHandler(), ZAVDispatcher::kGood);
    EXPECT_EQ(server.requestsTo("/px").size(), 1u);
    EXPECT_EQ(storedTagHits(), 0u);
    // Neither has anything now.
    EXPECT_EQ(dispatchWithHandler(), ZAVDispatcher::kNoData);
}

TEST_F(FacadeDispatchTest, PlainDispatchAndTheIntervalReachBoth) {
    auto manager = ZODAruzivu::instance();
    manager->setDispatchInterval(0);
    EXPECT_EQ(manager->dispatchInterval(), 0);
    EXPECT_EQ(ZAVDispatcher::instance()->dispatchInterval(), 0);
    EXPECT_EQ(RUV::sharedInstance()->dispatchInterval(), 0);

    trackScreenView();
    storeTagHit();
    manager->dispatch();
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] {
        return server.requestsTo("/px").size() == 1 &&
               server.requestsTo("/collect").size() + server.requestsTo("/batch").size() == 1;
    }));
    // A dispatch without handler is a plain dispatch.
    manager->dispatchWithCompletionHandler(nullptr);
    manager->setDispatchInterval(30);
    EXPECT_EQ(manager->dispatchInterval(), 30);
    EXPECT_EQ(RUV::sharedInstance()->dispatchInterval(), 30);
}

}  // namespace
