#include <gtest/gtest.h>

#include <thread>

#include "platform/base/Log.h"
#include "tagmanager/base/RUVLoggerImpl.h"
#include "tagmanager/base/ZAVLog.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

void logAll() {
    ZAVLog::error("e");
    ZAVLog::warning("w");
    ZAVLog::info("i");
    ZAVLog::debug("d");
    ZAVLog::verbose("v");
}

TEST(ZAVLogTest, StartsAtWarningAndPrintsWarningsAndErrors) {
    plat::LogCapture capture;
    EXPECT_EQ(ZAVLog::logLevel(), 3u);
    logAll();
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("ZuruziVarOvozivi error: e"), std::string::npos);
    EXPECT_NE(lines[1].find("ZuruziVarOvozivi warning: w"), std::string::npos);
}

TEST(ZAVLogTest, LevelZeroPrintsAllAndNoneOrAbovePrintNothing) {
    plat::LogCapture capture;
    ZAVLog::logger()->setLogLevel(0);
    logAll();
    EXPECT_EQ(capture.lines().size(), 5u);
    EXPECT_TRUE(capture.contains("ZuruziVarOvozivi verbose: v"));
    EXPECT_TRUE(capture.contains("ZuruziVarOvozivi debug: d"));
    capture.clear();
    for (uint32_t level : {5u, 0xFFFFFFFFu}) {
        ZAVLog::logger()->setLogLevel(level);
        logAll();
    }
    EXPECT_TRUE(capture.lines().empty());
}

TEST(ZAVLogTest, CustomLoggerReplacesDefaultAndEmptyLoggerDropsLines) {
    plat::LogCapture capture;
    {
        tmtest::CapturedLog log;
        ZAVLog::error("to custom");
        EXPECT_EQ(log->count("error", "to custom"), 1u);
        EXPECT_TRUE(capture.lines().empty());
    }
    auto previous = ZAVLog::logger();
    ZAVLog::setLogger(nullptr);
    EXPECT_EQ(ZAVLog::logLevel(), 0u);
    logAll();
    EXPECT_TRUE(capture.lines().empty());
    ZAVLog::setLogger(previous);
}

TEST(ZAVLogTest, ReplacingTheLoggerWhileOthersLogIsSafe) {
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop) ZAVLog::debug("from another thread");
    });
    for (int i = 0; i < 2000; ++i) ZAVLog::setLogger(std::make_shared<tmtest::CapturingLogger>());
    stop = true;
    writer.join();
    SUCCEED();
}

TEST(RUVLoggerImplTest, MapsLevelsAndForwards) {
    tmtest::CapturedLog log;
    RUVLoggerImpl bridge;
    const std::pair<uint32_t, RUVLogLevel> table[] = {
        {0, RUVLogLevel::Verbose}, {1, RUVLogLevel::Verbose},       {2, RUVLogLevel::Info},
        {3, RUVLogLevel::Warning}, {4, RUVLogLevel::Error},         {5, RUVLogLevel::None},
        {6, RUVLogLevel::None},    {0xFFFFFFFFu, RUVLogLevel::None}};
    for (auto [ours, theirs] : table) {
        log->setLogLevel(ours);
        EXPECT_EQ(bridge.logLevel(), theirs) << ours;
    }
    bridge.verbose("a");
    bridge.info("b");
    bridge.warning("c");
    bridge.error("d");
    EXPECT_EQ(log->count("verbose", "a") + log->count("info", "b") + log->count("warning", "c") +
                  log->count("error", "d"),
              4u);
}

TEST(RUVLoggerImplTest, SetLogLevelWarnsOnceAndChangesNothing) {
    tmtest::CapturedLog log;
    log->setLogLevel(3);
    RUVLoggerImpl bridge;
    bridge.setLogLevel(RUVLogLevel::Verbose);
    EXPECT_EQ(log->lines().size(), 1u);
    EXPECT_EQ(log->count("warning", "GA uses VUZ logger. Please use ZODAruzivu.logger.logLevel instead."),
              1u);
    EXPECT_EQ(ZAVLog::logLevel(), 3u);
}

}  // namespace
