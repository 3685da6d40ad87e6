#pragma once
// Direct reads and writes of the tag manager's SQLite files, past the code under test.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tmtest {

// The first column of every row the query gives, as text ("NULL" for null).
inline std::vector<std::string> sqlColumn(const std::filesystem::path& path, const std::string& sql) {
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

inline void sqlExec(const std::filesystem::path& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
              SQLITE_OK);
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close_v2(db);
}

}  // namespace tmtest
