#pragma once
// Shared by the hit-delivery tests: a temporary app home with a virtual clock, bounded waits for work
// handed to ZAVThread, and direct reads of "VUZ.sql".
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/storage/Paths.h"
#include "tagmanager/ZAVDataProvider.h"
#include "tagmanager/ZAVDispatchUtil.h"
#include "tests/support/TestSupport.h"

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

    // One column of every row of a store file, in id order, read with SQLite directly.
    static std::vector<std::string> column(const std::filesystem::path& path, const std::string& sql) {
        std::vector<std::string> out;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
                while (sqlite3_step(s) == SQLITE_ROW) {
                    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
                    out.push_back(t ? t : "NULL");
                }
            }
            sqlite3_finalize(s);
        }
        sqlite3_close_v2(db);
        return out;
    }

    static void execSql(const std::filesystem::path& path, const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
                  SQLITE_OK);
        char* error = nullptr;
        int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close_v2(db);
    }

    testsupport::TempHome home_;
    testsupport::VirtualClockScope clock_;
};

}  // namespace tmtest
