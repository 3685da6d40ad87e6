// The shared hit dispatcher and its rate limiter: real store file, loopback servers, virtual clock.
#include <gtest/gtest.h>

#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/tagmanager/HitTestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

using testsupport::Answer;
using testsupport::LoopbackServer;

// Flags of a host that needs a connection nobody makes: not reachable. (The default host, under
// ".invalid", already has no flags, so forcing none would be no change.)
constexpr uint32_t kOffline =
    plat::ReachabilityFlag::kReachable | plat::ReachabilityFlag::kConnectionRequired;

// Every result a dispatch callback heard (kept alive by the callback, which may outlive a failed test).
class Results {
  public:
    ZAVDispatcher::Callback callback() {
        return [state = state_](int result) {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->results.push_back(result);
            state->cv.notify_all();
        };
    }
    bool waitFor(size_t count) {
        std::unique_lock<std::mutex> lock(state_->mutex);
        return state_->cv.wait_for(lock, std::chrono::seconds(10),
                                   [&] { return state_->results.size() >= count; });
    }
    std::vector<int> all() {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return state_->results;
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        std::vector<int> results;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Whether the kernel still runs the thread `tid` of this process. A thread is told by its id, not its
// name: threads that ZAVThread starts (the resolver's, say) carry its name and may end later.
bool threadRuns(pid_t tid) {
    return std::filesystem::exists("/proc/self/task/" + std::to_string(tid));
}

class HitDispatcherTest : public tmtest::HitStoreFixture {
  protected:
    // Hits go out only with a configured server (each hit names its own address).
    void SetUp() override { ZAVEndpoints::setServerEndpoint({"http", "127.0.0.1", server_.port()}); }
    void TearDown() override {
        ZAVDispatcher::resetInstance();
        plat::Endpoints::shared().reset();
    }

    // Bounded: runs `check` on ZAVThread until it holds.
    static bool waitUntil(const std::function<bool()>& check) {
        for (int i = 0; i < 1000; ++i) {
            bool ok = false;
            ZAVDispatchUtil::background([&] { ok = check(); }, true);
            if (ok) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::vector<ZAVHit> stored() { return fetch(*dispatcher_->store(), 0); }
    // The shared dispatcher without timed dispatches, so only the test's own dispatches send.
    std::shared_ptr<ZAVDispatcher> quiet() {
        auto d = ZAVDispatcher::instance();
        d->setDispatchInterval(0);
        return d;
    }
    // One dispatch with a callback; its single result.
    int dispatchOnce() {
        Results results;
        dispatcher_->dispatchWithCallback(results.callback());
        if (!results.waitFor(1)) return -1;
        drain();
        EXPECT_EQ(results.all().size(), 1u);
        return results.all()[0];
    }

    LoopbackServer server_;
    std::shared_ptr<ZAVDispatcher> dispatcher_;
};

TEST(ZAVRateLimiterTest, FullBucketThenOneTokenEveryPeriod) {
    testsupport::VirtualClockScope clock;
    auto limiter = ZAVRateLimiter::rateLimiterWithMaxTokens(60, 2);
    EXPECT_EQ(limiter->tokens(), 0);
    for (int i = 0; i < 60; ++i) ASSERT_TRUE(limiter->tokenAvailable()) << i;
    EXPECT_FALSE(limiter->tokenAvailable());
    clock.clock().advance(1);
    EXPECT_FALSE(limiter->tokenAvailable());
    clock.clock().advance(1);  // half a token each second adds up
    EXPECT_TRUE(limiter->tokenAvailable());
    EXPECT_FALSE(limiter->tokenAvailable());
    clock.clock().advance(3600);
    for (int i = 0; i < 60; ++i) ASSERT_TRUE(limiter->tokenAvailable()) << i;
    EXPECT_FALSE(limiter->tokenAvailable());
    EXPECT_DOUBLE_EQ(limiter->lastTrackTime(),
                     clock.clock().nowSeconds() - ZAVRateLimiter::kReferenceDateOffset);
}

TEST(ZAVRateLimiterTest, NoRefillPeriodRefusesEverything) {
    EXPECT_FALSE(ZAVRateLimiter::rateLimiterWithMaxTokens(60, 0)->tokenAvailable());
    EXPECT_FALSE(ZAVRateLimiter::rateLimiterWithMaxTokens(60, -1)->tokenAvailable());
}

TEST_F(HitDispatcherTest, SixtyOneHitsAtOnceQueueSixty) {
    dispatcher_ = quiet();
    auto warnings = std::make_shared<tmtest::CapturingLogger>();
    dispatcher_->setLogger(warnings);
    for (int i = 0; i < 60; ++i) ASSERT_TRUE(dispatcher_->sendHitToUrl("http://h/" + std::to_string(i)));
    EXPECT_FALSE(dispatcher_->sendHitToUrl("http://h/dropped"));
    EXPECT_EQ(warnings->count("warning", "Excessive tracking detected and throttled."), 1u);
    EXPECT_EQ(stored().size(), 60u);
    clock_.clock().advance(2);
    EXPECT_TRUE(dispatcher_->sendHitToUrl("http://h/later"));
    auto hits = stored();
    ASSERT_EQ(hits.size(), 61u);
    EXPECT_EQ(hits.back().dispatchURL, "http://h/later");
}

TEST_F(HitDispatcherTest, AThrottledHitWithoutALoggerLogsNothing) {
    tmtest::CapturedLog log;
    dispatcher_ = quiet();
    for (int i = 0; i < 60; ++i) dispatcher_->sendHitToUrl("http://h/x");
    EXPECT_FALSE(dispatcher_->sendHitToUrl("http://h/x"));
    EXPECT_EQ(log->count("warning"), 0u);
}

TEST_F(HitDispatcherTest, WithoutTimedDispatchesDispatchStillSends) {
    server_.route("GET", "/ok", Answer{.status = 200});
    dispatcher_ = quiet();
    dispatcher_->sendHitToUrl(server_.url("/ok"));
    drain();
    EXPECT_FALSE(dispatcher_->timerInterval());
    clock_.clock().advance(300);  // no timer, not even the initial one, sends anything
    drain();
    EXPECT_EQ(server_.requestCount(), 0u);
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kGood);
    EXPECT_EQ(server_.requestsTo("/ok").size(), 1u);
    EXPECT_TRUE(stored().empty());
    EXPECT_FALSE(dispatcher_->store()->hasHits());
}

TEST_F(HitDispatcherTest, WithOnlyTheBuiltInServerNoTimerRunsAndTheHitsStay) {
    server_.route("GET", "/ok", Answer{.status = 200});
    plat::Endpoints::shared().reset();
    testsupport::ForcedReachability reachable(plat::ReachabilityFlag::kReachable);
    dispatcher_ = ZAVDispatcher::instance();
    dispatcher_->sendHitToUrl(server_.url("/ok"));
    drain();
    EXPECT_FALSE(dispatcher_->timerInterval());
    clock_.clock().advance(300);
    drain();
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kNoData);
    EXPECT_EQ(server_.requestCount(), 0u);
    EXPECT_EQ(stored().size(), 1u);
}

TEST_F(HitDispatcherTest, ADispatchWhileRequestsAreInFlightSendsNothing) {
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    server_.route("GET", "/slow", [released](const testsupport::RecordedRequest&) {
        released.wait_for(std::chrono::seconds(10));
        return Answer{.status = 200};
    });
    dispatcher_ = quiet();
    dispatcher_->sendHitToUrl(server_.url("/slow"));
    dispatcher_->sendHitToUrl(server_.url("/slow"));
    dispatcher_->dispatch();
    ASSERT_TRUE(server_.waitForRequests(1));
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kNoData);
    release->set_value();
    ASSERT_TRUE(waitUntil([&] { return dispatcher_->operationCount() == 0; }));
    EXPECT_EQ(server_.requestCount(), 2u);  // the two of the first dispatch, nothing more
    EXPECT_TRUE(stored().empty());
}

TEST_F(HitDispatcherTest, ACallbackDispatchSendsOneHitAPlainOneUpToForty) {
    server_.route("GET", "/ok", Answer{.status = 200});
    dispatcher_ = quiet();
    for (int i = 0; i < 45; ++i) dispatcher_->sendHitToUrl(server_.url("/ok") + "?n=" + std::to_string(i));
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kGood);
    EXPECT_EQ(server_.requestCount(), 1u);
    dispatcher_->dispatch();
    ASSERT_TRUE(waitUntil([&] { return dispatcher_->operationCount() == 0; }));
    ASSERT_TRUE(waitUntil([&] { return server_.requestCount() == 41; }));
    auto requests = server_.requests();
    for (size_t i = 0; i < requests.size(); ++i) EXPECT_EQ(requests[i].query, "n=" + std::to_string(i));
    EXPECT_EQ(stored().size(), 4u);
}

// Another program holds the store's write lock: the delivered hit cannot be deleted. Its dispatch ends as
// failed, it is not delivered again, and its deletion lands once the store is free. (Each failed deletion
// waits out the store's busy time-out.)
TEST_F(HitDispatcherTest, ADeliveredHitThatCannotBeDeletedIsNotSentAgain) {
    tmtest::CapturedLog log;
    server_.route("GET", "/ok", Answer{.status = 200});
    dispatcher_ = quiet();
    dispatcher_->sendHitToUrl(server_.url("/ok"));
    drain();
    plat::SqliteFile lock;
    ASSERT_EQ(lock.open(storePath(), {.busyTimeoutMillis = 0, .quickCheck = false}),
              plat::SqliteFile::OpenStatus::Open);
    ASSERT_TRUE(lock.exec("BEGIN IMMEDIATE"));
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kError);
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kNoData);
    EXPECT_EQ(log->count("error", "A delivered hit could not be deleted from the store"), 1u);
    lock.close();
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kNoData);
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(server_.requestCount(), 1u);
}

TEST_F(HitDispatcherTest, FailuresAreGivenUpFourHoursAfterTheFirst) {
    tmtest::CapturedLog log;
    ZAVLog::logger()->setLogLevel(ZAVLoggerLogLevelVerbose);
    server_.route("GET", "/missing", Answer{.status = 404});
    dispatcher_ = quiet();
    const std::string url = server_.url("/missing") + "?a";
    dispatcher_->sendHitToUrl(url);
    const double first = clock_.clock().nowSeconds();
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kError);
    EXPECT_EQ(log->count("verbose", "Failed to send hit: " + url), 1u);
    // First failed an hour ago: kept and marked again.
    clock_.clock().advance(3600);
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kError);
    auto hits = stored();
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_DOUBLE_EQ(hits[0].dispatchTime.value_or(0), first);
    EXPECT_DOUBLE_EQ(hits[0].lastDispatchTime.value_or(0), first + 3600);
    // First failed five hours ago: the next answer, even a 404, ends it.
    clock_.clock().advance(4 * 3600);
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kGood);
    EXPECT_EQ(log->count("verbose", "Successfully sent hit: " + url), 1u);
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(server_.requestCount(), 3u);
}

TEST_F(HitDispatcherTest, AnUnsendableURLFailsAndTheQueueGoesOn) {
    tmtest::CapturedLog log;
    ZAVLog::logger()->setLogLevel(ZAVLoggerLogLevelVerbose);
    server_.route("GET", "/ok", Answer{.status = 200});
    dispatcher_ = quiet();
    dispatcher_->sendHitToUrl("not a url");
    dispatcher_->sendHitToUrl(server_.url("/ok"));
    dispatcher_->dispatch();
    ASSERT_TRUE(server_.waitForRequests(1));
    ASSERT_TRUE(waitUntil([&] { return dispatcher_->operationCount() == 0; }));
    auto hits = stored();
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].dispatchURL, "not a url");
    EXPECT_TRUE(hits[0].lastDispatchTime);
    EXPECT_EQ(log->count("verbose", "Failed to send hit: not a url"), 1u);
}

TEST_F(HitDispatcherTest, ANoContentAnswerDeletesTheHit) {
    server_.route("GET", "/nc", Answer{.status = 204});
    dispatcher_ = quiet();
    dispatcher_->sendHitToUrl(server_.url("/nc"));
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kGood);
    EXPECT_TRUE(stored().empty());
}

TEST_F(HitDispatcherTest, NoEligibleHitReportsNoDataOnce) {
    server_.route("GET", "/err", Answer{.status = 500});
    dispatcher_ = quiet();
    dispatcher_->sendHitToUrl(server_.url("/err"));
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kError);
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kNoData);  // failed under two minutes ago
    EXPECT_EQ(server_.requestCount(), 1u);
    clock_.clock().advance(120);
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kError);
    EXPECT_EQ(server_.requestCount(), 2u);
}

TEST_F(HitDispatcherTest, AnEmptyStoreOrNoNetworkSendsNothing) {
    dispatcher_ = quiet();
    drain();
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kNoData);  // the first look finds the store empty
    EXPECT_FALSE(dispatcher_->store()->hasHits());
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kNoData);

    server_.route("GET", "/ok", Answer{.status = 200});
    dispatcher_->sendHitToUrl(server_.url("/ok"));
    testsupport::ForcedReachability offline(kOffline);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return !dispatcher_->network()->isReachable(); }));
    EXPECT_EQ(dispatchOnce(), ZAVDispatcher::kNoData);
    EXPECT_EQ(server_.requestCount(), 0u);
    EXPECT_EQ(stored().size(), 1u);
}

TEST_F(HitDispatcherTest, ARequestEndingWhileUnreachableLeavesTheHitUnmarked) {
    // The server answers only when the test lets it.
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    server_.route("GET", "/hold", [released](const testsupport::RecordedRequest&) {
        released.wait_for(std::chrono::seconds(10));
        return Answer{.status = 500};
    });
    dispatcher_ = quiet();
    dispatcher_->sendHitToUrl(server_.url("/hold"));
    Results results;
    dispatcher_->dispatchWithCallback(results.callback());
    ASSERT_TRUE(server_.waitForRequests(1));
    testsupport::ForcedReachability offline(kOffline);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return !dispatcher_->network()->isReachable(); }));
    release->set_value();
    ASSERT_TRUE(results.waitFor(1));
    EXPECT_EQ(results.all(), std::vector<int>{ZAVDispatcher::kNoData});
    auto hits = stored();
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_FALSE(hits[0].dispatchTime);
    EXPECT_FALSE(hits[0].lastDispatchTime);
}

TEST_F(HitDispatcherTest, WrappedHitsCarryTheHitURLEncoded) {
    dispatcher_ = quiet();
    const std::string hit = "http://h/p?a=1&b=x y";
    dispatcher_->setWrapperUrl("http://w/collect");
    dispatcher_->sendHitToUrl(hit);  // the parameter is missing: not wrapped
    dispatcher_->setWrapperQueryParameter("u");
    dispatcher_->sendHitToUrl(hit);
    auto hits = stored();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].dispatchURL, hit);
    EXPECT_EQ(hits[1].dispatchURL, "http://w/collect?u=" + ZAVValueEscapeUtil::urlEncode(hit));
    EXPECT_EQ(hits[1].dispatchURL->find('?'), hits[1].dispatchURL->rfind('?'));
}

TEST_F(HitDispatcherTest, TheInitialDispatchComesOneSecondAfterStart) {
    server_.route("GET", "/ok", Answer{.status = 200});
    dispatcher_ = ZAVDispatcher::instance();
    dispatcher_->sendHitToUrl(server_.url("/ok"));
    drain();
    EXPECT_EQ(server_.requestCount(), 0u);
    clock_.clock().advance(1);
    ASSERT_TRUE(server_.waitForRequests(1));
    // The store empties and the timer stops with it.
    ASSERT_TRUE(waitUntil([&] { return !dispatcher_->timerInterval(); }));
    EXPECT_FALSE(dispatcher_->store()->hasHits());
}

TEST_F(HitDispatcherTest, TheTimerFollowsHitsAndTheInterval) {
    server_.route("GET", "/err", Answer{.status = 500});
    dispatcher_ = ZAVDispatcher::instance();
    dispatcher_->sendHitToUrl(server_.url("/err"));
    ASSERT_TRUE(waitUntil([&] { return dispatcher_->timerInterval() == 120.0; }));
    dispatcher_->setDispatchInterval(30);
    ASSERT_TRUE(waitUntil([&] { return dispatcher_->timerInterval() == 30.0; }));
    // The change of interval replaced the initial dispatch; the timer sends, then sends the failed hit
    // again once its two minutes are over.
    drain();
    clock_.clock().advance(1);
    drain();
    EXPECT_EQ(server_.requestCount(), 0u);
    clock_.clock().advance(29);
    ASSERT_TRUE(server_.waitForRequests(1));
    // Marked failed at this time, so it is due again 120 s later.
    ASSERT_TRUE(waitUntil([&] { return dispatcher_->operationCount() == 0; }));
    for (int i = 0; i < 4; ++i) {
        drain();
        clock_.clock().advance(30);
    }
    ASSERT_TRUE(server_.waitForRequests(2));
    dispatcher_->setDispatchInterval(0);
    ASSERT_TRUE(waitUntil([&] { return !dispatcher_->timerInterval(); }));
    testsupport::ForcedReachability offline(kOffline);
    dispatcher_->setDispatchInterval(60);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return !dispatcher_->network()->isReachable(); }));
    drain();
    bool running = true;
    ZAVDispatchUtil::background([&] { running = dispatcher_->timerInterval().has_value(); }, true);
    EXPECT_FALSE(running);
}

TEST_F(HitDispatcherTest, TheSharedInstanceIsOneAndResets) {
    auto a = ZAVDispatcher::instance();
    EXPECT_EQ(a, ZAVDispatcher::instance());
    EXPECT_EQ(a, ZAVDispatcher::existingInstance());
    EXPECT_EQ(a->dispatchInterval(), 120);
    EXPECT_EQ(a->maxRequestsPerDispatch(), 40u);
    pid_t tid = 0;
    ZAVDispatchUtil::background([&] { tid = gettid(); }, true);
    EXPECT_TRUE(threadRuns(tid));
    a.reset();
    ZAVDispatcher::resetInstance();
    EXPECT_FALSE(ZAVDispatcher::existingInstance());
    // A joined thread leaves the kernel's list a moment after the join returns.
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return !threadRuns(tid); }, 5));
}

}  // namespace

// An app that used the dispatcher and then returns from main (or calls exit) ends cleanly: the shared
// dispatcher is not torn down after ZAVThread and the statics its work uses.
TEST(ZAVDispatcherAtExit, AProcessThatSentAHitExitsCleanly) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            {
                testsupport::TempHome home;
                ZAVDispatcher::instance()->sendHitToUrl("http://127.0.0.1:9/never");
                ZAVDispatchUtil::background([] {}, true);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}
