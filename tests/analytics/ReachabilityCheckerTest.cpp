#include <gtest/gtest.h>

#include <vector>

#include "analytics/dispatch/RUVReachabilityChecker.h"
#include "platform/runloop/RunLoop.h"
#include "tests/analytics/AnalyticsTestSupport.h"

namespace {
struct RecordingDelegate : RUVReachabilityDelegate {
    void reachabilityStatusChanged(RUVReachabilityChecker&, int32_t status) override {
        statuses.push_back(status);
    }
    std::vector<int32_t> statuses;
};

// Forced flags for the test's length, then the machine's own again.
struct ForcedFlags {
    explicit ForcedFlags(uint32_t flags) { plat::Reachability::forceFlags(flags); }
    ~ForcedFlags() { plat::Reachability::forceFlags(std::nullopt); }
};
}  // namespace

TEST(ReachabilityChecker, StatusForFlags) {
    EXPECT_EQ(RUVReachabilityChecker::statusForFlags(0x2), 2);
    EXPECT_EQ(RUVReachabilityChecker::statusForFlags(0x40002), 3);
    EXPECT_EQ(RUVReachabilityChecker::statusForFlags(0x6), 1);
    EXPECT_EQ(RUVReachabilityChecker::statusForFlags(0x26), 2);
    EXPECT_EQ(RUVReachabilityChecker::statusForFlags(0x36), 1);
    EXPECT_EQ(RUVReachabilityChecker::statusForFlags(0), 1);
}

TEST(ReachabilityChecker, EmptyHostIsRefused) {
    analyticstest::LoggerScope log;
    EXPECT_EQ(RUVReachabilityChecker::create({}, ""), nullptr);
    EXPECT_TRUE(log->contains("Invalid host specified."));
}

TEST(ReachabilityChecker, SameStatusTwiceTellsTheDelegateOnce) {
    analyticstest::LoggerScope log;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto checker = RUVReachabilityChecker::create(delegate, "collect.example.invalid");
    ASSERT_TRUE(checker);
    checker->reachabilityFlagsChanged(0x2);
    checker->reachabilityFlagsChanged(0x2);
    EXPECT_EQ(delegate->statuses, std::vector<int32_t>{2});
    EXPECT_TRUE(log->contains("Reachability flags update: 0X000002"));
}

TEST(ReachabilityChecker, DelegateHearsReachableThenViaWWAN) {
    analyticstest::LoggerScope log;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto checker = RUVReachabilityChecker::create(delegate, "collect.example.invalid");
    ASSERT_TRUE(checker);
    checker->reachabilityFlagsChanged(0x2);
    checker->reachabilityFlagsChanged(0x40002);
    checker->reachabilityFlagsChanged(0x40002);
    checker->reachabilityFlagsChanged(0x0);
    EXPECT_EQ(delegate->statuses, (std::vector<int32_t>{2, 3, 1}));
    EXPECT_EQ(checker->reachabilityStatus(), 1);
    EXPECT_TRUE(log->contains("Reachability flags update: 0X040002"));
}

TEST(ReachabilityChecker, RunsOnTheMainLoopAndHearsChanges) {
    ForcedFlags forced(0x2);
    analyticstest::LoggerScope log;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto checker = RUVReachabilityChecker::create(delegate, "127.0.0.1");
    ASSERT_TRUE(checker);
    ASSERT_TRUE(checker->start());
    EXPECT_TRUE(checker->isActive());
    EXPECT_TRUE(checker->start());  // already running: nothing new
    static const RUVReachabilityApi other = *RUVReachabilityApi::defaultApi();
    checker->setReachabilityApi(&other);
    EXPECT_EQ(checker->reachabilityApi(), RUVReachabilityApi::defaultApi());
    EXPECT_TRUE(log->contains("Cannot change reachability API while reachability running"));

    plat::Reachability::forceFlags(0x40002);
    for (int i = 0; i < 400 && delegate->statuses.empty(); ++i) plat::RunLoop::main().runOnce(0.005);
    EXPECT_EQ(delegate->statuses, std::vector<int32_t>{3});
    checker->stop();
    EXPECT_FALSE(checker->isActive());
    EXPECT_EQ(checker->reachabilityStatus(), 0);
    checker->stop();
    EXPECT_EQ(delegate->statuses.size(), 1u);
}
