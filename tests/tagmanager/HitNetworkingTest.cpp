// Hit requests against loopback servers: one at a time, redirects, the User-Agent, cancelling; and the
// reachability watch that gates dispatching.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/hits/ZAVDispatchUtil.h"
#include "tagmanager/hits/ZAVNetworking.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"

namespace {

using testsupport::Answer;
using testsupport::Fault;
using testsupport::LoopbackServer;

// Counts completions per operation; waits are bounded.
class Completions {
  public:
    ZAVNetOperation::Completion record(std::string name) {
        return [this, name](ZAVNetOperation& operation) {
            std::lock_guard<std::mutex> lock(mutex_);
            order_.push_back(name);
            statuses_[name] = operation.response() ? operation.response()->statusCode() : 0;
            bodies_[name] = std::string(operation.data().begin(), operation.data().end());
            if (operation.error()) errors_[name] = operation.error()->code();
            cv_.notify_all();
        };
    }
    bool waitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return order_.size() >= count; });
    }
    std::vector<std::string> order() {
        std::lock_guard<std::mutex> lock(mutex_);
        return order_;
    }
    int status(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        return statuses_[name];
    }
    std::string body(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        return bodies_[name];
    }
    std::optional<int> error(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = errors_.find(name);
        return it == errors_.end() ? std::nullopt : std::optional<int>(it->second);
    }
    size_t count(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::count(order_.begin(), order_.end(), name);
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> order_;
    std::map<std::string, int> statuses_;
    std::map<std::string, std::string> bodies_;
    std::map<std::string, int> errors_;
};

class HitNetworkingTest : public ::testing::Test {
  protected:
    void TearDown() override {
        networking_.reset();
        ZAVDispatchUtil::shutdown();
    }
    std::shared_ptr<ZAVNetworking> networking_ = ZAVNetworking::create();
    LoopbackServer server_;
    Completions done_;
};

TEST_F(HitNetworkingTest, TheSecondRequestStartsAfterTheFirstHasFinished) {
    std::atomic<bool> firstDone{false}, secondSawFirstDone{false};
    server_.route("GET", "/a", Answer{.status = 200, .body = "a", .delaySeconds = 0.2});
    server_.route("GET", "/b", [&](const testsupport::RecordedRequest&) {
        secondSawFirstDone = firstDone.load();
        return Answer{.status = 204};
    });
    auto first = done_.record("a");
    networking_->sendURL(server_.url("/a"), [&, first](ZAVNetOperation& op) {
        firstDone = true;
        first(op);
    });
    networking_->sendURL(server_.url("/b"), done_.record("b"));
    ASSERT_TRUE(done_.waitFor(2));
    EXPECT_EQ(done_.order(), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(secondSawFirstDone);
    EXPECT_EQ(done_.status("a"), 200);
    EXPECT_EQ(done_.body("a"), "a");
    EXPECT_EQ(done_.status("b"), 204);
}

TEST_F(HitNetworkingTest, AStalledServerCannotHoldTheQueue) {
    server_.route("GET", "/stall", Answer{.fault = Fault::Stall});
    server_.route("GET", "/b", Answer{.status = 200});
    // Only the stalled request has the short time-out: the one behind it is answered however slow the
    // machine is.
    networking_->setTimeoutInterval(0.3);
    networking_->sendURL(server_.url("/stall"), done_.record("stall"));
    networking_->setTimeoutInterval(0);
    networking_->sendURL(server_.url("/b"), done_.record("b"));
    ASSERT_TRUE(done_.waitFor(2));
    EXPECT_EQ(done_.order(), (std::vector<std::string>{"stall", "b"}));
    EXPECT_EQ(done_.status("stall"), 0);
    EXPECT_EQ(done_.error("stall"), plat::URLError::kTimedOut);
    EXPECT_EQ(done_.status("b"), 200);
    server_.releaseWaits();
}

TEST_F(HitNetworkingTest, ARedirectIsFollowed) {
    server_.redirect("/old", "/new");
    server_.route("GET", "/new", Answer{.status = 200, .body = "moved"});
    networking_->sendURL(server_.url("/old"), done_.record("r"));
    ASSERT_TRUE(done_.waitFor(1));
    EXPECT_EQ(done_.status("r"), 200);
    EXPECT_EQ(done_.body("r"), "moved");
    EXPECT_EQ(server_.requestsTo("/old").size(), 1u);
    EXPECT_EQ(server_.requestsTo("/new").size(), 1u);
}

TEST_F(HitNetworkingTest, RequestsAreUncachedGetsWithTheLibrarysUserAgent) {
    auto request = networking_->requestWithURL("http://127.0.0.1/x?a=1");
    EXPECT_EQ(request.httpMethod(), "GET");
    EXPECT_EQ(request.cachePolicy(), plat::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData);
    EXPECT_TRUE(request.httpBody().empty());
    EXPECT_EQ(request.timeoutInterval(), plat::URLRequest::kDefaultTimeoutInterval);

    server_.route("GET", "/hit", Answer{.status = 200});
    networking_->sendURL(server_.url("/hit") + "?v=1&x=%20", done_.record("hit"));
    ASSERT_TRUE(done_.waitFor(1));
    auto requests = server_.requestsTo("/hit");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].query, "v=1&x=%20");
    EXPECT_EQ(requests[0].header("User-Agent"), ZAVDispatchUtil::userAgentString());
}

TEST_F(HitNetworkingTest, AConnectionFailureEndsWithAnErrorAndNoResponse) {
    server_.route("GET", "/reset", Answer{.fault = Fault::Reset});
    networking_->sendURL(server_.url("/reset"), done_.record("x"));
    ASSERT_TRUE(done_.waitFor(1));
    EXPECT_EQ(done_.status("x"), 0);
    EXPECT_TRUE(done_.error("x"));
}

TEST_F(HitNetworkingTest, CancelClearsDataAndResponseAndCompletesOnce) {
    server_.route(
        "GET", "/slow",
        Answer{.status = 200, .body = std::string(40, 'z'), .chunkBytes = 2, .chunkDelaySeconds = 0.1});
    auto operation = networking_->sendURL(server_.url("/slow"), done_.record("slow"));
    // Bounded wait until part of the answer is in.
    bool started = false;
    for (int i = 0; i < 500 && !started; ++i) {
        ZAVDispatchUtil::background([&] { started = operation->response() && !operation->data().empty(); },
                                    true);
        if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(started);
    operation->cancel();
    ASSERT_TRUE(done_.waitFor(1));
    ZAVDispatchUtil::background(
        [&] {
            EXPECT_TRUE(operation->isCancelled());
            EXPECT_TRUE(operation->isFinished());
            EXPECT_FALSE(operation->isExecuting());
            EXPECT_FALSE(operation->response());
            EXPECT_TRUE(operation->data().empty());
        },
        true);
    operation->cancel();  // a second cancel finds nothing to call
    ZAVDispatchUtil::background([] {}, true);
    EXPECT_EQ(done_.count("slow"), 1u);
}

TEST_F(HitNetworkingTest, CancelRacingTheEndCompletesEachOperationOnce) {
    server_.route("GET", "/fast", Answer{.status = 200});
    std::vector<std::shared_ptr<ZAVNetOperation>> operations;
    for (int i = 0; i < 20; ++i) {
        std::string name = "op" + std::to_string(i);
        auto record = done_.record(name);
        operations.push_back(networking_->sendURL(server_.url("/fast"), [record](ZAVNetOperation& op) {
            record(op);
            op.cancel();  // after the end: nothing more
        }));
        if (i % 2 == 0) operations.back()->cancel();  // while queued or running
    }
    ASSERT_TRUE(done_.waitFor(20));
    ZAVDispatchUtil::background([] {}, true);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(done_.count("op" + std::to_string(i)), 1u) << i;
    // The queue went on to the end.
    for (auto& op : operations) EXPECT_TRUE(op->isFinished());
}

TEST_F(HitNetworkingTest, CancelAllEndsTheRunningAndQueuedOperations) {
    server_.route("GET", "/stall", Answer{.fault = Fault::Stall});
    networking_->sendURL(server_.url("/stall"), done_.record("a"));
    networking_->sendURL(server_.url("/stall"), done_.record("b"));
    ASSERT_TRUE(server_.waitForRequests(1));
    networking_->cancelAllOperations();
    ASSERT_TRUE(done_.waitFor(2));
    EXPECT_EQ(server_.requestCount(), 1u);  // the queued one never went out
    server_.releaseWaits();
}

TEST(ZAVNetReachabilityTest, FlagsToStatus) {
    using namespace plat::ReachabilityFlag;
    EXPECT_EQ(ZAVNetReachability::statusForFlags(0), 1u);
    EXPECT_EQ(ZAVNetReachability::statusForFlags(kIsWWAN), 1u);
    EXPECT_EQ(ZAVNetReachability::statusForFlags(kReachable), 2u);
    EXPECT_EQ(ZAVNetReachability::statusForFlags(kReachable | kIsWWAN), 3u);
    EXPECT_EQ(ZAVNetReachability::statusForFlags(kReachable | kConnectionRequired), 1u);
    EXPECT_EQ(ZAVNetReachability::statusForFlags(kReachable | kConnectionRequired | kConnectionOnTraffic),
              2u);
    EXPECT_EQ(
        ZAVNetReachability::statusForFlags(kReachable | kConnectionRequired | kConnectionOnDemand | kIsWWAN),
        3u);
    EXPECT_EQ(ZAVNetReachability::statusForFlags(kReachable | kConnectionRequired | kConnectionOnTraffic |
                                                 kInterventionRequired),
              1u);
}

TEST(ZAVNetReachabilityTest, ARepeatedStatusIsReportedOnce) {
    auto watcher = ZAVNetReachability::initWithHostName("127.0.0.1");
    std::vector<uint32_t> heard;
    watcher->setStatusChange([&](uint32_t s) { heard.push_back(s); });
    watcher->setReachabilityStatus(1);
    watcher->setReachabilityStatus(1);
    watcher->setReachabilityStatus(2);
    EXPECT_EQ(heard, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(watcher->reachabilityStatus(), 2u);
    EXPECT_TRUE(watcher->start());
    EXPECT_FALSE(watcher->start());
    watcher->stop();
    EXPECT_TRUE(watcher->start());
}

TEST_F(HitNetworkingTest, ReachabilityChangesGateTheNetwork) {
    using namespace plat::ReachabilityFlag;
    EXPECT_EQ(networking_->reachability()->host(), ZAVEndpoints::serverHost());
    EXPECT_EQ(networking_->reachability()->reachabilityStatus(), 0u);
    EXPECT_TRUE(networking_->isReachable());  // unknown counts as reachable
    int changes = 0;
    networking_->setReachableChangeHook([&] { ++changes; });
    testsupport::ForcedReachability forced(kReachable | kConnectionRequired);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return !networking_->isReachable(); }));
    EXPECT_EQ(networking_->reachability()->reachabilityStatus(), 1u);
    forced.set(kReachable | kIsWWAN);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return networking_->isReachable(); }));
    EXPECT_EQ(networking_->reachability()->reachabilityStatus(), 3u);
    EXPECT_EQ(changes, 2);
}

}  // namespace
