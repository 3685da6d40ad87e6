#pragma once
// Shared by the hit-delivery tests: a temporary app home with a virtual clock, bounded waits for work
// handed to ZAVThread, and direct reads of "VUZ.sql".
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/storage/Paths.h"
#include "tagmanager/hits/ZAVDataProvider.h"
#include "tagmanager/hits/ZAVDispatchUtil.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/SqlTestSupport.h"

namespace tmtest {

class HitStoreFixture : public ::testing::Test {
  protected:
    // ZAVThread ends before the home and the clock go away.
    void TearDown() override { ZAVDispatchUtil::shutdown(); }

    std::filesystem::path storePath() const { return plat::Paths::library() / "VUZ.sql"; }

    // Waits (bounded) for everything handed to ZAVThread so far.
    static void drain() {
        ZAVDispatchUtil::background([] {}, true);
    }

    static std::vector<ZAVHit> fetch(ZAVDataProvider& store, uint64_t limit, bool notRecent = false) {
        auto result = std::make_shared<std::promise<std::vector<ZAVHit>>>();
        auto future = result->get_future();
        auto done = [result](std::vector<ZAVHit> hits) { result->set_value(std::move(hits)); };
        if (notRecent) {
            store.fetchNotRecentlyAttemptedHitsWithLimit(limit, done);
        } else {
            store.fetchHitsWithLimit(limit, done);
        }
        if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "fetch never completed";
            return {};
        }
        return future.get();
    }

    static std::vector<std::string> column(const std::filesystem::path& path, const std::string& sql) {
        return sqlColumn(path, sql);
    }
    static void execSql(const std::filesystem::path& path, const std::string& sql) { sqlExec(path, sql); }

    testsupport::TempHome home_;
    testsupport::VirtualClockScope clock_;
};

}  // namespace tmtest
