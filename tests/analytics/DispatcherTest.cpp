#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "analytics/base/RUVCompressionUtil.h"
#include "analytics/base/RUVEndpoints.h"
#include "analytics/dispatch/RUVBatchingDispatcher.h"
#include "analytics/hits/RUVTrackerModel.h"
#include "analytics/store/RUVAnalyticsPropertiesStore.h"
#include "analytics/store/RUVDataStore.h"
#include "analytics/store/RUVSqlStore.h"
#include "platform/net/Endpoints.h"
#include "platform/runloop/SerialQueue.h"
#include "tests/analytics/StoreTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"

using namespace analyticstest;
using testsupport::Answer;
using testsupport::Fault;
using testsupport::LoopbackServer;
using testsupport::RefusedPort;
using testsupport::runMainLoopUntil;

namespace {

constexpr const char* kClient = "0e8f5d5a-3b9c-4a53-9d2e-1f2a3b4c5d6e";

// Ids ("&cd1") found in every request a server logged, in arrival order.
std::vector<std::string> idsIn(const std::vector<testsupport::RecordedRequest>& requests) {
    std::vector<std::string> ids;
    for (const auto& r : requests) {
        const std::string text = r.query + "\n" + r.body;
        for (size_t at = text.find("cd1="); at != std::string::npos; at = text.find("cd1=", at + 1)) {
            if (at > 0 && text[at - 1] != '&' && text[at - 1] != '\n' && text[at - 1] != '?') continue;
            size_t end = text.find_first_of("&\n", at);
            ids.push_back(text.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4));
        }
    }
    return ids;
}

struct Outcomes {
    std::vector<int> values;
    RUVBatchingDispatcher::CompletionHandler handler() {
        return [this](RUVDispatchOutcome o) {
            std::lock_guard lock(mutex);
            values.push_back(o);
        };
    }
    size_t size() {
        std::lock_guard lock(mutex);
        return values.size();
    }
    int last() {
        std::lock_guard lock(mutex);
        return values.empty() ? -1 : values.back();
    }
    std::mutex mutex;
};

class Dispatcher : public StoreTest {
  protected:
    void SetUp() override {
        RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", secureServer.port()});
        RUVEndpoints::setHttpEndpoint({"http", "127.0.0.1", plainServer.port()});
        for (auto* s : {&secureServer, &plainServer}) {
            s->route("GET", "/collect", Answer{.status = 200});
            s->route("POST", "/collect", Answer{.status = 200});
            s->route("POST", "/batch", Answer{.status = 200});
        }
        store = RUVDataStore::dataStore();
        onWorker([&] {
            sql = RUVSqlStore::initWithDatabaseName(RUVSqlStore::kSharedDatabaseName);
            properties = std::make_unique<RUVAnalyticsPropertiesStore>(sql.get());
        });
        ASSERT_TRUE(store->isSetUp());
        store->setClientId(std::string(kClient));
    }
    void TearDown() override {
        dispatcher.reset();
        // Answers still queued for a dropped dispatcher come to nothing.
        runMainLoopUntil([] { return false; }, 0.05);
        drainWorker();
        store.reset();
        onWorker([&] {
            properties.reset();
            sql.reset();
        });
        RUVEndpoints::setTimeoutInterval(0);
        RUVURLConnection::setDryRun(false);
        plat::Endpoints::shared().reset();
        StoreTest::TearDown();
    }

    void make(bool optOut = false) {
        dispatcher = RUVBatchingDispatcher::create(store, properties.get(), optOut);
        ASSERT_TRUE(dispatcher);
    }

    // A stored hit whose payload, sent at the clock's present time, is exactly `payloadBytes` long (when
    // non-zero).
    void storeHit(const std::string& id, double secondsAgo, size_t payloadBytes = 0,
                  plat::Value::Dictionary extra = {}) {
        const double t = clock.clock().nowSeconds() - secondsAgo;
        plat::Value::Dictionary params{{"&t", plat::Value("screenview")}, {"&cd1", plat::Value(id)}};
        for (const auto& [k, v] : extra) params.set(k, v);
        auto record = [&](const plat::Value::Dictionary& p) {
            return plat::Value(plat::Value::Dictionary{{"timestamp", plat::Value(plat::Value::Date{t})},
                                                       {"parameters", plat::Value(p)}});
        };
        if (payloadBytes) {
            params.set("&cd", plat::Value("x"));
            RUVRequestBuilder builder;
            const size_t base = builder.parametersForHit(record(params)).size();
            EXPECT_LT(base, payloadBytes);
            params.set("&cd", plat::Value(std::string(payloadBytes - base + 1, 'x')));
            EXPECT_EQ(builder.parametersForHit(record(params)).size(), payloadBytes);
        }
        if (dispatcher) {
            // Through intake, as a tracker's hit would come (it marks the dispatcher as holding hits).
            params.set("timestamp", plat::Value(plat::Value::Date{t}));
            dispatcher->queueDispatch(params);
            drainWorker();
            return;
        }
        onWorker([&] {
            store->addHit(record(params));
            store->save();
        });
    }
    int64_t stored() {
        return onWorker([&] { return store->hitCount(); });
    }
    std::vector<std::string> chosen() {
        return onWorker([&] {
            std::vector<std::string> ids;
            for (const auto& h : dispatcher->hitsForDispatch())
                ids.push_back(h.record["parameters"]["&cd1"].toString());
            return ids;
        });
    }
    // One dispatch with a handler; waits for its outcome.
    int dispatchOnce() {
        Outcomes out;
        dispatcher->dispatchWithCompletionHandler(out.handler());
        EXPECT_TRUE(runMainLoopUntil([&] { return out.size() > 0; }));
        // Deletion after an answer is queued on the worker before the handler ran.
        drainWorker();
        return out.last();
    }
    // Dispatches (draining) until the store is empty.
    bool drain() {
        dispatcher->dispatch();
        if (!runMainLoopUntil([&] { return stored() == 0 && !dispatcher->hasConnection(); })) return false;
        // The answer's log line and outcome were queued to the main queue before the connection went.
        auto ran = std::make_shared<bool>(false);
        plat::mainQueue().async([ran] { *ran = true; });
        return runMainLoopUntil([&] { return *ran; });
    }

    testsupport::VirtualClockScope clock{1500000000LL * 1000000LL};
    testsupport::ForcedReachability reachable{0x2};
    LoopbackServer secureServer;
    LoopbackServer plainServer;
    std::shared_ptr<RUVDataStore> store;
    std::unique_ptr<RUVSqlStore> sql;
    std::unique_ptr<RUVAnalyticsPropertiesStore> properties;
    std::shared_ptr<RUVBatchingDispatcher> dispatcher;
};

}  // namespace

// ---- choice of hits -----------------------------------------------------------------------------------

TEST_F(Dispatcher, TimeGapSendsTheHitsBeforeTheLargestGap) {
    make();
    // Gaps of 5, 60 and 10 s between the first four; n = 4 of 2000-byte payloads.
    storeHit("a", 100, 2000);
    storeHit("b", 95, 2000);
    storeHit("c", 35, 2000);
    storeHit("d", 25, 2000);
    storeHit("e", 20, 2000);
    EXPECT_EQ(chosen(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(Dispatcher, TimeGapWithTwoThatFitSendsOneAndTiesTakeTheLaterGap) {
    make();
    storeHit("a", 100, 3000);
    storeHit("b", 90, 3000);
    storeHit("c", 10, 3000);
    EXPECT_EQ(chosen(), (std::vector<std::string>{"a"}));  // n = 2: the only gap looked at follows a
}

TEST_F(Dispatcher, TimeGapWithEqualTimesSendsAllButOneOfThoseThatFit) {
    make();
    for (int i = 0; i < 5; ++i) storeHit(std::to_string(i), 50, 2000);
    EXPECT_EQ(chosen().size(), 3u);  // n = 4
}

TEST_F(Dispatcher, ATotalThatFitsGoesWholeUpToTwenty) {
    make();
    for (int i = 0; i < 25; ++i) storeHit(std::to_string(i), 100 - i);
    EXPECT_EQ(chosen().size(), 20u);
    dispatcher->setBatchingStrategy(RUVBatchingStrategySingle);
    EXPECT_EQ(chosen(), std::vector<std::string>{"0"});
}

TEST_F(Dispatcher, EachStrategyCutsAsItSays) {
    make();
    // Six 1500-byte payloads: total 9005 with separators, n = 5.
    storeHit("0", 60, 1500);
    storeHit("1", 50, 1500);
    storeHit("2", 40, 1500, {{"&sc", plat::Value("start")}});
    storeHit("3", 30, 1500);
    storeHit("4", 20, 1500, {{"&sc", plat::Value("end")}});
    storeHit("5", 10, 1500);
    dispatcher->setBatchingStrategy(RUVBatchingStrategyFitBody);
    EXPECT_EQ(chosen().size(), 5u);
    dispatcher->setBatchingStrategy(RUVBatchingStrategyHalveBySize);
    EXPECT_EQ(chosen().size(), 2u);  // running totals 1500, 3001, 4502: the last at or below 4502 is index 2
    dispatcher->setBatchingStrategy(RUVBatchingStrategyHalveByCount);
    EXPECT_EQ(chosen().size(), 3u);
    dispatcher->setBatchingStrategy(RUVBatchingStrategySessionSplit);
    EXPECT_EQ(chosen().size(), 5u);  // the session end at index 4 closes the request
    dispatcher->setBatchingStrategy(99);
    EXPECT_EQ(chosen().size(), 1u);
    EXPECT_TRUE(logger->contains("unexpected batch strategy: 99"));
}

TEST_F(Dispatcher, SessionStartOpensTheNextRequest) {
    make();
    dispatcher->setBatchingStrategy(RUVBatchingStrategySessionSplit);
    for (int i = 0; i < 6; ++i)
        storeHit(std::to_string(i), 60 - i, 1500,
                 i == 3 ? plat::Value::Dictionary{{"&sc", plat::Value("start")}} : plat::Value::Dictionary{});
    EXPECT_EQ(chosen().size(), 3u);
}

TEST_F(Dispatcher, APlainFirstHitTakesOnlyPlainHits) {
    make();
    storeHit("p1", 50, 0, {{"useSecure", plat::Value("0")}});
    storeHit("s1", 40);
    storeHit("p2", 30, 0, {{"useSecure", plat::Value("0")}});
    EXPECT_EQ(chosen(), (std::vector<std::string>{"p1", "p2"}));
    ASSERT_TRUE(drain());
    EXPECT_EQ(idsIn(plainServer.requestsTo("/batch")), (std::vector<std::string>{"p1", "p2"}));
    EXPECT_EQ(idsIn(secureServer.requests()), std::vector<std::string>{"s1"});
}

TEST_F(Dispatcher, ABatchChosenToFitStillFitsWithItsLineFeeds) {
    make();
    dispatcher->setBatchingStrategy(RUVBatchingStrategyFitBody);
    dispatcher->setCompressionStrategy(RUVCompressionNone);
    // 4 × 2048 = 8192 without separators; with them only three fit.
    for (int i = 0; i < 4; ++i) storeHit(std::to_string(i), 40 - i, 2048);
    ASSERT_TRUE(drain());
    EXPECT_EQ(idsIn(secureServer.requests()), (std::vector<std::string>{"0", "1", "2", "3"}));
    EXPECT_FALSE(logger->contains("Failed to generate request"));
}

// ---- requests ------------------------------------------------------------------------------------------

TEST_F(Dispatcher, SingleHitsGoByGetUnder2000BytesElseByPlainPost) {
    make();
    dispatcher->setBatchingStrategy(RUVBatchingStrategySingle);
    storeHit("get", 20, 1999);
    storeHit("post", 10, 2000);
    ASSERT_TRUE(drain());
    auto requests = secureServer.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/collect");
    EXPECT_EQ(requests[0].query.size(), 1999u);
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].path, "/collect");
    EXPECT_FALSE(requests[1].hasHeader("Content-Encoding"));
    EXPECT_EQ(requests[1].body.size(), 2000u);
}

TEST_F(Dispatcher, ABatchGoesByGzipPostOneHitPerLine) {
    make();
    std::atomic<int> announced{0};
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        RUVBatchingDispatcher::kWillDispatchNotification, [&](const plat::Notification&) { ++announced; },
        dispatcher.get());
    for (int i = 0; i < 3; ++i) storeHit(std::to_string(i), 30 - i);
    ASSERT_TRUE(drain());
    plat::NotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(announced.load(), 1);
    for (const char* line : {"Saved hit: ", "Sending hit(s) POST: ", "Hit(s) dispatched: HTTP status 200",
                             "hit(s) Successfully deleted"})
        EXPECT_TRUE(logger->contains(line)) << line;
    auto requests = secureServer.requestsTo("/batch");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Content-Encoding"), "gzip");
    EXPECT_EQ(idsIn(requests), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(std::count(requests[0].body.begin(), requests[0].body.end(), '\n'), 2);
    EXPECT_TRUE(logger->contains("3 hit(s) sent"));
}

// ---- schedule ------------------------------------------------------------------------------------------

TEST_F(Dispatcher, StoredHitsGoOneSecondAfterStartAndDrain) {
    for (int i = 0; i < 45; ++i) storeHit(std::to_string(i), 100 - i);
    make();
    EXPECT_FALSE(dispatcher->hasTimer());
    drainWorker();  // the clock has not moved: the start-up dispatch waits
    EXPECT_EQ(secureServer.requestCount(), 0u);
    clock.clock().advance(1.0);
    ASSERT_TRUE(runMainLoopUntil([&] { return stored() == 0 && !dispatcher->hasConnection(); }));
    EXPECT_EQ(secureServer.requestsTo("/batch").size(), 3u);  // 20, 20, 5
    EXPECT_EQ(idsIn(secureServer.requests()).size(), 45u);
    drainWorker();
    EXPECT_FALSE(dispatcher->hasHits());
    EXPECT_FALSE(dispatcher->hasTimer());
}

TEST_F(Dispatcher, TimerFollowsHasHitsAndTheInterval) {
    make();
    ASSERT_EQ(dispatchOnce(), 0);  // nothing stored: hasHits becomes NO
    EXPECT_TRUE(logger->contains("No pending hits."));
    drainWorker();
    EXPECT_FALSE(dispatcher->hasTimer());
    dispatcher->setDispatchInterval(120);
    plat::Value::Dictionary hit{{"&t", plat::Value("screenview")}, {"&cd1", plat::Value("x")}};
    dispatcher->queueDispatch(hit);
    drainWorker();
    EXPECT_TRUE(dispatcher->hasTimer());
    dispatcher->setDispatchInterval(120);  // the same: nothing
    drainWorker();
    EXPECT_TRUE(dispatcher->hasTimer());
    dispatcher->setDispatchInterval(0);
    drainWorker();
    EXPECT_FALSE(dispatcher->hasTimer());
    dispatcher->setDispatchInterval(30);
    drainWorker();
    EXPECT_TRUE(dispatcher->hasTimer());
    clock.clock().advance(30);
    ASSERT_TRUE(runMainLoopUntil([&] { return stored() == 0 && !dispatcher->hasConnection(); }));
    EXPECT_EQ(idsIn(secureServer.requests()), std::vector<std::string>{"x"});
}

TEST_F(Dispatcher, AHandlerDispatchStopsTheTimerAndDoesNotDrain) {
    make();
    dispatcher->setBatchingStrategy(RUVBatchingStrategySingle);
    storeHit("a", 20);
    storeHit("b", 10);
    Outcomes out;
    dispatcher->dispatchWithCompletionHandler(out.handler());
    EXPECT_EQ(dispatcher->dispatchInterval(), -1.0);
    ASSERT_TRUE(runMainLoopUntil([&] { return out.size() > 0; }));
    drainWorker();  // a next dispatch would have started its request by now
    EXPECT_FALSE(dispatcher->hasConnection());
    EXPECT_EQ(out.values, std::vector<int>{1});
    EXPECT_EQ(stored(), 1);
    EXPECT_EQ(secureServer.requestCount(), 1u);
}

TEST_F(Dispatcher, UnreachableHostStopsTheTimerAndDispatchesSendNothing) {
    make();
    storeHit("a", 10);
    dispatcher->setDispatchInterval(60);
    drainWorker();
    EXPECT_TRUE(dispatcher->hasTimer());
    dispatcher->reachabilityStatusChanged(*dispatcher->reachability(), RUVReachabilityNotReachable);
    drainWorker();
    EXPECT_FALSE(dispatcher->hasTimer());
    EXPECT_EQ(dispatchOnce(), 0);
    dispatcher->reachabilityStatusChanged(*dispatcher->reachability(), RUVReachabilityUnknown);
    EXPECT_TRUE(dispatcher->hostReachable());
    EXPECT_EQ(secureServer.requestCount(), 0u);
}

TEST_F(Dispatcher, WithOnlyTheBuiltInEndpointsNothingIsSentAndTheHitsStay) {
    // The servers stand where the defaults point, but neither the file nor the app names them.
    plat::Endpoints::shared().reset();
    plat::Endpoints::shared().setDefault(RUVEndpoints::kHttpsName,
                                         {"http", "127.0.0.1", secureServer.port()});
    plat::Endpoints::shared().setDefault(RUVEndpoints::kHttpName, {"http", "127.0.0.1", plainServer.port()});
    make();
    storeHit("a", 10);
    dispatcher->setDispatchInterval(30);
    drainWorker();
    EXPECT_FALSE(dispatcher->hasTimer());
    clock.clock().advance(31);
    EXPECT_EQ(dispatchOnce(), 0);
    EXPECT_EQ(stored(), 1);
    EXPECT_EQ(secureServer.requestCount() + plainServer.requestCount(), 0u);
}

// ---- intake --------------------------------------------------------------------------------------------

TEST_F(Dispatcher, SamplingNumberingAndHitTime) {
    make();
    auto hit = [](const std::string& id, const char* sf) {
        plat::Value::Dictionary h{
            {"&tid", plat::Value("UA-1-1")}, {"&cid", plat::Value(kClient)}, {"&cd1", plat::Value(id)}};
        if (sf) h.set("&sf", plat::Value(sf));
        return h;
    };
    dispatcher->queueDispatch(hit("zero", "0"));
    dispatcher->queueDispatch(hit("six", "6"));  // remainder 615 ≥ 600: dropped
    dispatcher->queueDispatch(hit("seven", "7"));
    dispatcher->queueDispatch(hit("sixx", "6x"));
    dispatcher->queueDispatch(hit("none", nullptr));
    auto stamped = hit("stamped", nullptr);
    stamped.set("timestamp", plat::Value(plat::Value::Date{1400000000.5}));
    dispatcher->queueDispatch(stamped);
    drainWorker();
    auto hits = onWorker([&] { return store->fetchHitsWithLimit(0); });
    std::map<std::string, plat::Value> byId;
    for (const auto& h : hits) byId[h["parameters"]["&cd1"].toString()] = h;
    EXPECT_EQ(byId.size(), 4u);
    EXPECT_FALSE(byId.count("zero"));
    EXPECT_FALSE(byId.count("six"));
    EXPECT_EQ(byId["seven"]["parameters"]["&_s"].toString(), "0");
    EXPECT_EQ(byId["sixx"]["parameters"]["&_s"].toString(), "1");
    EXPECT_EQ(byId["stamped"]["timestamp"].dateIf()->secondsSince1970, 1400000000.5);
    EXPECT_FALSE(byId["stamped"]["parameters"].dictionaryIf()->contains("timestamp"));
    EXPECT_EQ(byId["none"]["timestamp"].dateIf()->secondsSince1970, 1500000000.0);
}

TEST_F(Dispatcher, QueuedModelIsBuiltAndStored) {
    make();
    RUVTrackerModel model(store);
    model.setObject("UA-2-2", "&tid");
    model.setObject("m", "&cd1");
    dispatcher->queueModel(model);
    drainWorker();
    auto hits = onWorker([&] { return store->fetchHitsWithLimit(0); });
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0]["parameters"]["&v"].toString(), "1");
    EXPECT_EQ(hits[0]["parameters"]["&_s"].toString(), "0");
}

TEST_F(Dispatcher, OptOutEmptiesTheStoreAndDropsNewHits) {
    make();
    plat::Value::Dictionary hit{{"&cd1", plat::Value("a")}};
    dispatcher->queueDispatch(hit);
    drainWorker();
    EXPECT_EQ(stored(), 1);
    dispatcher->optOutChanged(true);
    dispatcher->queueDispatch(hit);
    drainWorker();
    EXPECT_EQ(stored(), 0);
    dispatcher->optOutChanged(false);
    drainWorker();
    EXPECT_EQ(stored(), 0);
    dispatcher->queueDispatch(hit);
    drainWorker();
    EXPECT_EQ(stored(), 1);
}

TEST_F(Dispatcher, ADispatcherMadeAfterOptOutHonoursIt) {
    make(true);
    dispatcher->queueDispatch({{"&cd1", plat::Value("a")}});
    drainWorker();
    EXPECT_EQ(stored(), 0);
}

// ---- answers against a faulty server -------------------------------------------------------------------

TEST_F(Dispatcher, TransportFailuresKeepTheHitsForTheNextDispatch) {
    RUVEndpoints::setTimeoutInterval(0.5);
    make();
    std::atomic<int> mode{0};
    secureServer.route("POST", "/batch", [&](const testsupport::RecordedRequest&) {
        switch (mode.load()) {
            case 1:
                return Answer{.fault = Fault::CloseBeforeAnswer};
            case 2:
                return Answer{.fault = Fault::Reset};
            case 3:
                return Answer{.fault = Fault::Stall};
            default:
                return Answer{.status = 200};
        }
    });
    // Refused: the factory aims this one request at a port nobody listens on.
    RefusedPort refused;
    const int closedPort = refused.port();
    std::atomic<bool> refuse{true};
    dispatcher->setUrlConnectionClass(
        [&](const plat::URLRequest& request, RUVURLConnection::CompletionHandler h) {
            plat::URLRequest r = request;
            if (refuse.exchange(false)) {
                std::string url = r.url();
                const std::string from = ":" + std::to_string(secureServer.port());
                url.replace(url.find(from), from.size(), ":" + std::to_string(closedPort));
                r.setURL(url);
            }
            return RUVURLConnection::create(r, std::move(h));
        });
    storeHit("a", 20);
    storeHit("b", 10);
    EXPECT_EQ(dispatchOnce(), 2);
    EXPECT_EQ(stored(), 2);
    for (int m : {1, 2, 3}) {
        mode = m;
        EXPECT_EQ(dispatchOnce(), 2) << m;
        EXPECT_EQ(stored(), 2) << m;
        EXPECT_FALSE(dispatcher->hasConnection());
    }
    secureServer.releaseWaits();
    mode = 0;
    ASSERT_TRUE(drain());
    auto ids = idsIn(secureServer.requestsTo("/batch"));
    EXPECT_EQ(std::vector<std::string>(ids.end() - 2, ids.end()), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(logger->contains("Dispatch error:"));
}

TEST_F(Dispatcher, APartialBodyAfter200DeletesTheHitsWithFailure) {
    make();
    secureServer.route(
        "POST", "/batch",
        Answer{
            .status = 200, .body = std::string(100, 'x'), .fault = Fault::PartialBody, .partialBytes = 10});
    storeHit("a", 20);
    storeHit("b", 10);
    EXPECT_EQ(dispatchOnce(), 2);
    EXPECT_EQ(stored(), 0);
}

TEST_F(Dispatcher, RefusedBatchesFallBackToSingleHitsForAnHour) {
    make();
    for (int status : {302, 404, 502}) {
        secureServer.clearLog();
        dispatcher->setServerBatchingDisabled(false);
        secureServer.route("POST", "/batch", Answer{.status = status});
        storeHit("a" + std::to_string(status), 20);
        storeHit("b" + std::to_string(status), 10);
        EXPECT_EQ(dispatchOnce(), 2) << status;
        EXPECT_EQ(stored(), 2) << status;
        EXPECT_TRUE(dispatcher->serverBatchingDisabled());
        ASSERT_TRUE(drain()) << status;
        auto singles = secureServer.requestsTo("/collect");
        ASSERT_EQ(singles.size(), 2u) << status;
        EXPECT_EQ(singles[0].method, "GET");
    }
    EXPECT_TRUE(logger->contains("falling back to non-batching mode: HTTP status 404"));
    secureServer.route("POST", "/batch", Answer{.status = 200});
    secureServer.clearLog();
    clock.clock().advance(3601);
    storeHit("c", 20);
    storeHit("d", 10);
    ASSERT_TRUE(drain());
    EXPECT_EQ(secureServer.requestsTo("/batch").size(), 1u);
    EXPECT_FALSE(dispatcher->serverBatchingDisabled());
}

TEST_F(Dispatcher, ServerErrorsKeepTheHitsForThreeTriesThenDropThem) {
    make();
    secureServer.route("POST", "/batch", Answer{.status = 500});
    storeHit("a", 20);
    storeHit("b", 10);
    for (int64_t left : {2, 2, 0}) {
        EXPECT_EQ(dispatchOnce(), 2);
        EXPECT_EQ(stored(), left);
    }
    EXPECT_EQ(secureServer.requestCount(), 3u);
    EXPECT_TRUE(logger->contains("Dropping 2 hit(s) after 3 answers with a server error"));
}

TEST_F(Dispatcher, DeliveredHitsWhoseDeletionFailsAreNotSentAgainUntilItGoesThrough) {
    make();
    storeHit("a", 20);
    storeHit("b", 10);
    {
        RawDb other(file(RUVDataStore::kStoreFileName));  // another process holds the write lock
        ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), plat::SqliteFile::kOk);
        EXPECT_EQ(dispatchOnce(), 2);
        EXPECT_EQ(dispatchOnce(), 2);
        EXPECT_EQ(stored(), 2);
    }
    EXPECT_EQ(dispatchOnce(), 0);
    EXPECT_EQ(stored(), 0);
    EXPECT_EQ(idsIn(secureServer.requests()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(logger->count("Unable to delete hit(s)"), 1u);
}

TEST_F(Dispatcher, AHitTheLockedStoreRefusesIsNotReportedSaved) {
    make();
    RawDb other(file(RUVDataStore::kStoreFileName));
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), plat::SqliteFile::kOk);
    dispatcher->queueDispatch({{"&cd1", plat::Value("c")}});
    drainWorker();
    EXPECT_TRUE(logger->contains("Failed to save hit: NSSQLiteErrorDomain 5"));
    EXPECT_FALSE(logger->contains("Saved hit"));
}

TEST_F(Dispatcher, ADeliveredBatchIsDeletedWithoutWaitingForTheMainQueue) {
    make();
    storeHit("a", 20);
    storeHit("b", 10);
    dispatcher->dispatch();
    ASSERT_TRUE(secureServer.waitForRequests(1));
    // The main run loop does not turn from here on.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (stored() != 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(stored(), 0);
}

TEST_F(Dispatcher, AHitOverTheLimitGoesAsAnEmptyGetAndIsDeleted) {
    make();
    storeHit("big", 10, 9000);
    EXPECT_EQ(dispatchOnce(), 1);
    EXPECT_EQ(stored(), 0);
    auto requests = secureServer.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].query, "");
}

TEST_F(Dispatcher, DryRunSendsNothingAndDrains) {
    RUVURLConnection::setDryRun(true);
    make();
    for (int i = 0; i < 30; ++i) storeHit(std::to_string(i), 40 - i);
    ASSERT_TRUE(drain());
    EXPECT_EQ(secureServer.requestCount(), 0u);
}

TEST_F(Dispatcher, AFailedDispatchWithHitsLeftStartsTheTimer) {
    secureServer.route("POST", "/batch", Answer{.fault = Fault::Reset});
    storeHit("a", 20);
    storeHit("b", 10);
    make();
    clock.clock().advance(1.0);  // the first dispatch after start fails
    ASSERT_TRUE(secureServer.waitForRequests(1));
    ASSERT_TRUE(runMainLoopUntil([&] { return logger->contains("Dispatch error:"); }));
    drainWorker();
    EXPECT_EQ(stored(), 2);
    EXPECT_TRUE(dispatcher->hasTimer());
    secureServer.route("POST", "/batch", Answer{.status = 200});
    clock.clock().advance(120);
    ASSERT_TRUE(runMainLoopUntil([&] { return stored() == 0 && !dispatcher->hasConnection(); }));
    EXPECT_EQ(idsIn(secureServer.requestsTo("/batch")).size(), 4u);
}

TEST_F(Dispatcher, AStoreErrorKeepsTheTimerAndTheNextTickDelivers) {
    make();
    storeHit("a", 10);
    dispatcher->setDispatchInterval(60);
    drainWorker();  // the timer is set on the worker: before the clock moves, not after
    RawDb other(file(RUVDataStore::kStoreFileName));
    ASSERT_EQ(other.exec("ALTER TABLE RUVHit RENAME TO held"), plat::SqliteFile::kOk);
    for (int tick = 0; tick < 2; ++tick) {
        clock.clock().advance(60);
        ASSERT_TRUE(runMainLoopUntil([&] { return logger->contains("Failed to load pending hits"); }));
        drainWorker();
        EXPECT_TRUE(dispatcher->hasTimer());
    }
    ASSERT_EQ(other.exec("ALTER TABLE held RENAME TO RUVHit"), plat::SqliteFile::kOk);
    clock.clock().advance(60);
    ASSERT_TRUE(runMainLoopUntil([&] { return stored() == 0 && !dispatcher->hasConnection(); }));
    EXPECT_EQ(idsIn(secureServer.requests()), std::vector<std::string>{"a"});
    EXPECT_EQ(logger->count("Failed to load pending hits"), 1u);
}

// ---- expired hits --------------------------------------------------------------------------------------

TEST_F(Dispatcher, AHitStoredOnAVirtualClockArrivesAfterARealClockLaunch) {
    make();
    dispatcher->setDispatchInterval(-1);
    storeHit("headless", 0);  // 2017 on this clock: years old on the real one
    struct RealClock {
        std::shared_ptr<plat::Clock> previous = plat::Clock::setShared(nullptr);
        ~RealClock() { plat::Clock::setShared(previous); }
    } real;
    EXPECT_EQ(dispatchOnce(), 1);
    EXPECT_EQ(idsIn(secureServer.requests()), std::vector<std::string>{"headless"});
}

TEST_F(Dispatcher, ExpiredHitsAreDeletedUnsentBeforeAnyChoice) {
    for (int i = 0; i < 25; ++i) storeHit("old" + std::to_string(i), 2592000 + 100 - i);
    storeHit("edge", 2592000);  // exactly 30 days: expired too
    storeHit("fresh", 10);
    make();
    EXPECT_EQ(chosen(), std::vector<std::string>{"fresh"});
    EXPECT_EQ(stored(), 1);
}

TEST_F(Dispatcher, ExpiredHitsThatWillNotGoAwayEndTheDispatchWithAnErrorLine) {
    storeHit("old", 2592000 + 100);
    storeHit("fresh", 10);
    {
        RawDb db(file(RUVDataStore::kStoreFileName));
        ASSERT_EQ(db.exec("CREATE TRIGGER keep BEFORE DELETE ON RUVHit BEGIN SELECT RAISE(IGNORE); END"),
                  plat::SqliteFile::kOk);
    }
    make();
    EXPECT_EQ(dispatchOnce(), 0);
    EXPECT_TRUE(logger->contains("Failed to delete expired hits"));
    EXPECT_EQ(secureServer.requestCount(), 0u);
}

// ---- a seeded schedule of faults -----------------------------------------------------------------------

namespace {
// The "z=" values of one request as the client built it (its query, and its body inflated if packed).
std::vector<std::string> zsIn(const plat::URLRequest& request) {
    plat::Bytes body = request.httpBody();
    if (request.valueForHTTPHeaderField("Content-Encoding")) {
        auto inflated = RUVCompressionUtil::dataByInflating(body);
        body = inflated ? std::move(*inflated) : plat::Bytes{};
    }
    const size_t q = request.url().find('?');
    const std::string text = (q == std::string::npos ? "" : request.url().substr(q + 1)) + "\n" +
                             std::string(body.begin(), body.end());
    std::vector<std::string> zs;
    for (size_t at = text.find("z="); at != std::string::npos; at = text.find("z=", at + 1)) {
        if (at > 0 && text[at - 1] != '&' && text[at - 1] != '\n') continue;
        size_t end = text.find_first_of("&\n", at);
        zs.push_back(text.substr(at + 2, end == std::string::npos ? std::string::npos : end - at - 2));
    }
    return zs;
}
}  // namespace

TEST_F(Dispatcher, SeededFaultsLoseNothingAndRepeatOnlyWhatWasNotAnswered) {
    // POTEMARU_FAULT_SEED repeats a printed schedule.
    const char* given = std::getenv("POTEMARU_FAULT_SEED");
    const unsigned seed =
        given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device{}();
    std::cout << "fault schedule seed " << seed << std::endl;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    RUVEndpoints::setTimeoutInterval(0.3);
    make();

    std::mutex logMutex;
    auto responder = [&](const testsupport::RecordedRequest& r) {
        std::lock_guard lock(logMutex);
        const int roll = static_cast<int>(random() % 100);
        if (roll < 12) return Answer{.fault = Fault::CloseBeforeAnswer};
        if (roll < 24) return Answer{.fault = Fault::Reset};
        if (roll < 30) return Answer{.fault = Fault::Stall};
        if (roll < 40 && r.path == "/batch") return Answer{.status = 404};
        return Answer{.status = 200};
    };
    for (const char* method : {"GET", "POST"}) secureServer.route(method, "/collect", responder);
    secureServer.route("POST", "/batch", responder);
    // In order: each request as the client sends it, and each answer of 200 as the client takes it.
    struct Seen {
        std::vector<std::string> zs;
        bool answered;
    };
    std::vector<Seen> log;
    RefusedPort refused;
    const int closedPort = refused.port();
    std::atomic<unsigned> refuseRoll{seed};
    dispatcher->setUrlConnectionClass(
        [&](const plat::URLRequest& request, RUVURLConnection::CompletionHandler h) {
            plat::URLRequest r = request;
            // Refused at connect: a tenth of the requests never reach the server.
            if (refuseRoll.fetch_add(2654435761u) % 10 == 0) {
                std::string url = r.url();
                const std::string from = ":" + std::to_string(secureServer.port());
                url.replace(url.find(from), from.size(), ":" + std::to_string(closedPort));
                r.setURL(url);
            }
            // What the client sent and what it saw: an answer the server wrote but the client gave up on
            // (its timeout ran out first) is not an answer, and sending those hits again is right.
            auto zs = std::make_shared<std::vector<std::string>>(zsIn(r));
            {
                std::lock_guard lock(logMutex);
                log.push_back(Seen{*zs, false});
            }
            return RUVURLConnection::create(
                r, [&, zs, h = std::move(h)](const std::optional<plat::URLResponse>& response,
                                             const std::optional<plat::Bytes>& data,
                                             const std::optional<plat::Error>& error) {
                    if (response && response->statusCode() == 200) {
                        std::lock_guard lock(logMutex);
                        log.push_back(Seen{*zs, true});
                    }
                    h(response, data, error);
                });
        });

    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                const std::string id = std::to_string(t) + "-" + std::to_string(i);
                dispatcher->queueDispatch({{"&tid", plat::Value("UA-1-1")},
                                           {"&cid", plat::Value(kClient)},
                                           {"&t", plat::Value("event")},
                                           {"&cd1", plat::Value(id)},
                                           {"&z", plat::Value("z" + id)}});
            }
        });
    }
    for (auto& t : threads) t.join();
    drainWorker();
    ASSERT_EQ(stored(), 300);

    int dispatches = 0;
    while (stored() > 0 && dispatches < 1000) {
        dispatchOnce();
        secureServer.releaseWaits();
        // Single-hit mode after a refusal lasts a few dispatches, not the whole run.
        clock.clock().advance(1200);
        ++dispatches;
    }
    EXPECT_EQ(stored(), 0) << "after " << dispatches << " dispatches";

    std::set<std::string> arrived;
    for (const auto& id : idsIn(secureServer.requests())) arrived.insert(id);
    for (int t = 0; t < 3; ++t)
        for (int i = 0; i < 100; ++i) EXPECT_TRUE(arrived.count(std::to_string(t) + "-" + std::to_string(i)));
    std::lock_guard lock(logMutex);
    for (size_t i = 0; i < log.size(); ++i) {
        if (!log[i].answered) continue;
        for (size_t j = i + 1; j < log.size(); ++j) {
            if (log[j].answered) continue;
            for (const auto& z : log[j].zs)
                EXPECT_EQ(std::count(log[i].zs.begin(), log[i].zs.end(), z), 0)
                    << z << " was sent again after the client took an answer for it";
        }
    }
}

// ---- a kill in the middle of a run ---------------------------------------------------------------------

namespace {

constexpr const char* kChildEnv = "POTEMARU_ANALYTICS_DISPATCH_LOOP";

// The child: queues hits against a port that refuses, reporting each one once it is stored, until killed.
[[noreturn]] void dispatchLoop(const std::string& argument) {
    const size_t a = argument.find(','), b = argument.find(',', a + 1);
    const int fd = std::atoi(argument.substr(0, a).c_str());
    plat::Paths::setHome(argument.substr(a + 1, b - a - 1));
    const int port = std::atoi(argument.substr(b + 1).c_str());
    RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", port});
    auto dispatcher = RUVBatchingDispatcher::dispatcher(false);
    if (!dispatcher) std::_Exit(2);
    dispatcher->setDispatchInterval(0.05);
    for (int i = 0;; ++i) {
        dispatcher->queueDispatch(
            {{"&t", plat::Value("event")}, {"&cd1", plat::Value("k" + std::to_string(i))}});
        drainWorker();
        plat::RunLoop::main().runOnce(0);
        const std::string line = "k" + std::to_string(i) + "\n";
        if (write(fd, line.data(), line.size()) < 0) std::_Exit(1);
    }
}

const bool kIsDispatchChild = [] {
    if (const char* argument = std::getenv(kChildEnv)) dispatchLoop(argument);
    return false;
}();

}  // namespace

TEST_F(Dispatcher, HitsReportedSavedByAKilledProcessAreDeliveredAfterRestart) {
    ASSERT_FALSE(kIsDispatchChild);
    RefusedPort refused;
    const int closedPort = refused.port();
    const KilledChild child =
        runChildUntilKilled(kChildEnv, home.path().string() + "," + std::to_string(closedPort), 150, 300);
    const std::set<std::string>& reported = child.reported;
    const int status = child.status;
    ASSERT_GE(reported.size(), 150u);
    EXPECT_TRUE(WIFSIGNALED(status));

    // Restarted, with the server up.
    store = RUVDataStore::dataStore();
    drainWorker();
    make();
    ASSERT_TRUE(drain());
    std::set<std::string> arrived;
    for (const auto& id : idsIn(secureServer.requests())) arrived.insert(id);
    for (const auto& id : reported) EXPECT_TRUE(arrived.count(id)) << id << " was reported saved";
}

TEST_F(Dispatcher, AHitThatCanNeverFitIsDeletedWithoutARequest) {
    make();
    dispatcher->setMaxHitSize(0);  // no per-hit check: the body limit decides
    storeHit("huge", 10, 9000);
    EXPECT_EQ(dispatchOnce(), 1);
    EXPECT_EQ(stored(), 0);
    EXPECT_TRUE(logger->contains("Failed to generate request for hit(s)."));
    EXPECT_EQ(secureServer.requestCount(), 0u);
}
