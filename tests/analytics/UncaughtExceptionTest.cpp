// The uncaught-exception reporter: installing and removing it in the platform's slot, bailing out of a
// second report, and a child process whose uncaught exception reaches the collection server before the
// handler installed earlier runs and the process aborts.
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "analytics/RUVUncaughtExceptionHandler.h"
#include "analytics/base/RUVStringUtil.h"
#include "tests/analytics/FacadeTestSupport.h"

using namespace analyticstest;

namespace {

constexpr const char* kChildEnv = "POTEMARU_ANALYTICS_UNCAUGHT";

std::atomic<int> earlierCalls{0};
void earlierHandler(const plat::Exception*) {
    ++earlierCalls;
}
void laterHandler(const plat::Exception*) {}

class UncaughtException : public FacadeTest {
  protected:
    void TearDown() override {
        plat::setUncaughtExceptionHandler(nullptr);
        earlierCalls = 0;
        FacadeTest::TearDown();
    }
};

// ---- the child ------------------------------------------------------------------------------------------

int reportFd = -1;

void childsEarlierHandler(const plat::Exception* exception) {
    const std::string line = "earlier " + exception->name() + ": " + exception->reason() + "\n";
    if (write(reportFd, line.data(), line.size()) < 0) std::_Exit(3);
}

[[noreturn]] __attribute__((noinline)) void throwFromDeepInside() {
    throw std::runtime_error("boom");
}

// Tracks uncaught exceptions with a handler of its own already in place, then throws one nobody catches.
[[noreturn]] void throwingChild(const std::string& argument) {
    const size_t a = argument.find(','), b = argument.find(',', a + 1);
    reportFd = std::atoi(argument.substr(0, a).c_str());
    plat::Paths::setHome(argument.substr(a + 1, b - a - 1));
    RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", std::atoi(argument.substr(b + 1).c_str())});
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    plat::setUncaughtExceptionHandler(&childsEarlierHandler);
    auto ruv = RUV::sharedInstance();
    if (!ruv->trackerWithTrackingId("UA-27182818-1")) std::_Exit(2);
    ruv->setTrackUncaughtExceptions(true);
    throwFromDeepInside();
}

const bool kIsChild = [] {
    if (const char* argument = std::getenv(kChildEnv)) throwingChild(argument);
    return false;
}();

}  // namespace

TEST_F(UncaughtException, InstallingTwiceKeepsTheFirstSavedHandler) {
    plat::setUncaughtExceptionHandler(&earlierHandler);
    auto ruv = RUV::sharedInstance();
    RUVUsageTracker::getUsageSequence();
    ruv->setTrackUncaughtExceptions(true);
    EXPECT_TRUE(ruv->trackUncaughtExceptions());
    EXPECT_EQ(plat::getUncaughtExceptionHandler(), &RUVUncaughtExceptionHandler);
    EXPECT_EQ(RUVUncaughtExceptionHandlerPrevious(), &earlierHandler);
    ruv->setTrackUncaughtExceptions(true);
    EXPECT_EQ(RUVUncaughtExceptionHandlerPrevious(), &earlierHandler);
    ruv->setTrackUncaughtExceptions(false);
    EXPECT_EQ(plat::getUncaughtExceptionHandler(), &earlierHandler);
    EXPECT_FALSE(ruv->trackUncaughtExceptions());
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), ".efeef");
}

TEST_F(UncaughtException, RemovingLeavesAHandlerInstalledLater) {
    auto ruv = RUV::sharedInstance();
    ruv->setTrackUncaughtExceptions(true);
    plat::setUncaughtExceptionHandler(&laterHandler);
    ruv->setTrackUncaughtExceptions(false);
    EXPECT_EQ(plat::getUncaughtExceptionHandler(), &laterHandler);
}

TEST_F(UncaughtException, ASecondExceptionBailsOutWithoutCallingTheEarlierHandler) {
    plat::setUncaughtExceptionHandler(&earlierHandler);
    auto ruv = RUV::sharedInstance();
    auto sender = std::make_shared<RecordingSender>(ruv->dispatcher()->dataStore());
    ruv->setTrackerImplClass([&](std::shared_ptr<RUVDispatchSender>, const std::string& name) {
        return RUVTrackerImpl::trackerWithDispatcher(sender, name);
    });
    ruv->trackerWithTrackingId("UA-1-1");
    ruv->setTrackUncaughtExceptions(true);
    RUVUncaughtExceptionHandlerSetReporting(true);
    const plat::Exception second("NSRangeException", "index 3 beyond bounds");
    RUVUncaughtExceptionHandler(&second);
    EXPECT_TRUE(logger->contains("W ZediveAnalytics 3.12 void RUVUncaughtExceptionHandler("));
    EXPECT_TRUE(logger->contains("Bailing on multiple uncaught exceptions: index 3 beyond bounds"));
    EXPECT_FALSE(logger->contains("Uncaught exception: "));
    EXPECT_EQ(earlierCalls.load(), 0);
    EXPECT_EQ(sender->count(), 0u);

    // Nothing to report: the report flag is taken all the same, so the next one bails too.
    RUVUncaughtExceptionHandlerForget();
    RUVUncaughtExceptionHandler(nullptr);
    RUVUncaughtExceptionHandler(&second);
    EXPECT_EQ(logger->count("Bailing on multiple uncaught exceptions"), 2u);
}

TEST_F(UncaughtException, AChildsUncaughtExceptionIsSentThenTheEarlierHandlerRuns) {
    ASSERT_FALSE(kIsChild);
    // Ends when the child's end closes the pipe.
    const KilledChild child =
        runChildUntilKilled(kChildEnv, home.path().string() + "," + std::to_string(server.port()), 99, 300);
    ASSERT_TRUE(WIFSIGNALED(child.status));
    EXPECT_EQ(WTERMSIG(child.status), SIGABRT);
    EXPECT_EQ(child.reported, std::set<std::string>{"earlier std::runtime_error: boom"});

    auto requests = server.requestsTo("/collect");
    ASSERT_EQ(requests.size(), 1u);
    const auto hit = RUVStringUtil::decodeParametersFromQuery(requests[0].method == "GET" ? requests[0].query
                                                                                          : requests[0].body);
    EXPECT_EQ(hit.at("t"), "exception");
    EXPECT_EQ(hit.at("exf"), "1");
    EXPECT_EQ(hit.at("tid"), "UA-27182818-1");
    const std::string& description = hit.at("exd");
    EXPECT_EQ(
        description.rfind("std::runtime_error\nTrace:\n(anonymous namespace)::throwFromDeepInside()\n", 0),
        0u)
        << description;
    EXPECT_LE(RUVStringUtil::utf16Length(description), 150u);
}
