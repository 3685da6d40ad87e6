#pragma once
// Fixtures of the hit store tests: a temporary app home, a recording logger, raw SQLite access to the
// files the store writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "platform/storage/Paths.h"
#include "tests/analytics/AnalyticsTestSupport.h"
#include "tests/support/TestSupport.h"

namespace analyticstest {

class StoreTest : public ::testing::Test {
  protected:
    // Everything the worker still holds for this test (connections closing) is done before the home goes.
    void TearDown() override { releaseWorkerConnections(); }

    std::filesystem::path library() const { return plat::Paths::library(); }
    std::filesystem::path file(const std::string& name) const { return library() / name; }
    // Files in Library/ whose name starts with `prefix`.
    std::vector<std::filesystem::path> filesStartingWith(const std::string& prefix) const {
        std::vector<std::filesystem::path> out;
        for (const auto& entry : std::filesystem::directory_iterator(library())) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0) out.push_back(entry.path());
        }
        return out;
    }

    testsupport::TempHome home;
    LoggerScope logger;
};

// A test's own connection to a store file.
class RawDb {
  public:
    explicit RawDb(const std::filesystem::path& path) { sqlite3_open(path.c_str(), &db_); }
    ~RawDb() { sqlite3_close(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;
    int exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }
    // The first column of every row, as text.
    std::vector<std::string> column(const std::string& sql, int index = 0) {
        std::vector<std::string> out;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            return {"<" + std::string(sqlite3_errmsg(db_)) + ">"};
        while (sqlite3_step(s) == SQLITE_ROW) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
            out.push_back(t ? t : "NULL");
        }
        sqlite3_finalize(s);
        return out;
    }
    std::string scalar(const std::string& sql) {
        auto c = column(sql);
        return c.empty() ? "" : c[0];
    }
    sqlite3* get() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace analyticstest
