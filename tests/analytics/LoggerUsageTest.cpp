#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "analytics/base/RUVError.h"
#include "analytics/base/RUVUsageTracker.h"
#include "analytics/base/RUVUtil.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "platform/base/Log.h"
#include "tests/analytics/AnalyticsTestSupport.h"

using analyticstest::LoggerScope;

namespace {

// Every test starts and ends with an empty usage sequence, whatever ran before.
class Usage : public ::testing::Test {
  protected:
    void SetUp() override { RUVUsageTracker::getUsageSequence(); }
    void TearDown() override { RUVUsageTracker::getUsageSequence(); }
};

}  // namespace

TEST(DefaultLogger, PrintsByLevel) {
    plat::LogCapture capture;
    RUVDefaultLogger logger;
    EXPECT_EQ(logger.logLevel(), RUVLogLevel::Warning);
    logger.info("i");
    logger.verbose("v");
    logger.warning("careful");
    logger.error("bad");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"WARNING: careful", "ERROR: bad"}));

    capture.clear();
    logger.setLogLevel(RUVLogLevel::None);
    logger.error("bad");
    logger.warning("careful");
    EXPECT_TRUE(capture.lines().empty());

    logger.setLogLevel(RUVLogLevel::Verbose);
    logger.verbose("v");
    logger.info("i");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"VERBOSE: v", "INFO: i"}));
}

TEST(DefaultLogger, IsTheSlotsLoggerUntilReplaced) {
    auto installed = RUV::sharedLogger();
    ASSERT_TRUE(installed);
    {
        LoggerScope scope;
        EXPECT_EQ(RUV::sharedLogger().get(), &*scope);
        // A null logger is refused.
        EXPECT_EQ(RUV::exchangeSharedLogger(nullptr).get(), &*scope);
        EXPECT_EQ(RUV::sharedLogger().get(), &*scope);
    }
    EXPECT_EQ(RUV::sharedLogger(), installed);
}

TEST(SdkLogLine, CarriesTagVersionFunctionFileAndLine) {
    LoggerScope logger;
    int line = __LINE__ + 1;
    RUV_LOG(RUVLogLevel::Error, "Datastore error: %s", "x");
    ASSERT_EQ(logger->lines().size(), 1u);
    const std::string text = logger->lines()[0];
    EXPECT_EQ(text.rfind("E ZediveAnalytics 3.12 ", 0), 0u) << text;
    EXPECT_NE(text.find(__func__), std::string::npos) << text;
    EXPECT_NE(text.find("(LoggerUsageTest.cpp:" + std::to_string(line) + "): Datastore error: x"),
              std::string::npos)
        << text;
    RUV_LOG(RUVLogLevel::Verbose, "v");
    RUV_LOG(RUVLogLevel::None, "nothing");
    EXPECT_EQ(logger->lines().size(), 2u);
    EXPECT_EQ(logger->lines()[1].rfind("V ", 0), 0u);
}

TEST_F(Usage, SequenceIsTakenOnce) {
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), "");
    auto builder = RUVDictionaryBuilder::createScreenView();
    builder->build();
    RUVUsageTracker::trackAction("send:");
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), ".9L");
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), "");
}

TEST_F(Usage, CodeTableIsExactAndCaseSensitive) {
    EXPECT_EQ(RUVUsageTracker::codeForSelector("get:"), 'J');
    EXPECT_EQ(RUVUsageTracker::codeForSelector("dictionaryGet:"), 'C');
    EXPECT_EQ(RUVUsageTracker::codeForSelector("createTimingWithCategory:interval:name:label:"), 'j');
    EXPECT_EQ(RUVUsageTracker::codeForSelector("createAppView"), '-');
    EXPECT_EQ(RUVUsageTracker::codeForSelector("build"), 0);
    EXPECT_EQ(RUVUsageTracker::codeForSelector("Send:"), 0);

    LoggerScope quiet;
    auto builder = RUVDictionaryBuilder::createAppView();
    builder->get("&t");
    RUVUsageTracker tracker;
    tracker.trackActionOnInstance("get:");
    builder->set("x", "&cd")
        .setAll(plat::Value(plat::Value::Dictionary{}))
        .setCampaignParametersFromUrl("a=b");
    RUVUsageTracker::trackAction("clientId");
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), ".-CJABD");
}

TEST_F(Usage, EightThreadsLoseNoCode) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 1000; ++i) RUVUsageTracker::trackAction("dispatch");
        });
    }
    for (auto& t : threads) t.join();
    std::string seq = RUVUsageTracker::getUsageSequence();
    ASSERT_EQ(seq.size(), 8001u);
    EXPECT_EQ(seq.find_first_not_of('s', 1), std::string::npos);
}

TEST(RUVErrorTest, UserInfoEndsAtFirstMissingValue) {
    plat::Error bare = RUVError::errorWithCode(3);
    EXPECT_EQ(bare.domain(), RUVError::kDomain);
    EXPECT_TRUE(std::string(RUVError::kDomain).ends_with(".analytics.error"));
    EXPECT_EQ(bare.code(), 3);
    EXPECT_TRUE(bare.userInfo().empty());

    EXPECT_EQ(RUVError::errorWithCodeWithFormat(4, "n=%d", 5).localizedDescription(), "n=5");

    plat::Error withPath = RUVError::errorWithCodeWithFailedFilePath(1, "/p", "d");
    EXPECT_EQ(withPath.userInfo().keys(),
              (std::vector<std::string>{plat::Error::kLocalizedDescriptionKey, RUVError::kFilePathKey}));
    plat::Error noDescription = RUVError::errorWithCodeWithFailedFilePath(1, "/p", std::nullopt);
    EXPECT_TRUE(noDescription.userInfo().empty());
    EXPECT_TRUE(RUVError::errorWithCodeWithFailedFilePathWithFormat(1, std::nullopt, "%s", "d")
                    .userInfo()
                    .contains(plat::Error::kLocalizedDescriptionKey));

    plat::Error under("U", 9);
    plat::Error wrapped = RUVError::errorWithCodeWithUnderlyingError(2, under, "w");
    ASSERT_TRUE(wrapped.underlyingError());
    EXPECT_EQ(wrapped.underlyingError()->domain(), "U");
    EXPECT_FALSE(RUVError::errorWithCodeWithUnderlyingError(2, under, std::nullopt).underlyingError());
    EXPECT_EQ(RUVError::errorWithCodeWithUnderlyingErrorWithFormat(2, under, "%d", 7).localizedDescription(),
              "7");
}

TEST(RUVUtilTest, NumbersStringsAndDescriptions) {
    EXPECT_EQ(RUVUtil::valueForNumber(plat::Value(9.99)), "9.99");
    EXPECT_EQ(RUVUtil::valueForNumber(plat::Value(0.1)), "0.1");
    EXPECT_EQ(RUVUtil::valueForNumber(plat::Value(2.0)), "2");
    EXPECT_EQ(RUVUtil::valueForNumber(plat::Value(-42)), "-42");
    EXPECT_EQ(RUVUtil::valueForNumber(plat::Value(true)), "1");
    EXPECT_EQ(RUVUtil::valueForNumber(plat::Value(false)), "0");
    EXPECT_EQ(RUVUtil::valueForNumber(plat::Value("9.99")), std::nullopt);
    EXPECT_EQ(RUVUtil::valueForNumber(plat::Value()), std::nullopt);
    EXPECT_EQ(RUVUtil::valueForString(std::nullopt), std::nullopt);

    plat::Error e = plat::Error::withDescription("D", 7, "x");
    EXPECT_EQ(RUVUtil::descriptionFromError(&e), "D 7: x");
    EXPECT_EQ(RUVUtil::descriptionFromError(nullptr), std::nullopt);
    EXPECT_EQ(RUVUtil::descriptionFromException(nullptr), std::nullopt);
    plat::Exception ex("N", "reason");
    EXPECT_EQ(RUVUtil::descriptionFromException(&ex), "N");
}
