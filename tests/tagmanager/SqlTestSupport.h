#pragma once
// Direct reads and writes of the tag manager's SQLite files, past the code under test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/SqliteFile.h"

namespace tmtest {

// The first column of every row the query gives, as text ("NULL" for null).
inline std::vector<std::string> sqlColumn(const std::filesystem::path& path, const std::string& sql) {
    std::vector<std::string> out;
    plat::SqliteFile db;
    if (db.open(path, {.busyTimeoutMillis = 0, .quickCheck = false, .readOnly = true}) !=
        plat::SqliteFile::OpenStatus::Open)
        return out;
    auto s = db.prepare(sql);
    while (s.ok() && s.step() == plat::SqliteFile::kRow)
        out.push_back(s.columnIsNull(0) ? "NULL" : s.columnText(0));
    return out;
}

inline void sqlExec(const std::filesystem::path& path, const std::string& sql) {
    plat::SqliteFile db;
    ASSERT_EQ(db.open(path, {.busyTimeoutMillis = 0, .quickCheck = false}),
              plat::SqliteFile::OpenStatus::Open);
    EXPECT_TRUE(db.exec(sql)) << db.errorMessage();
}

}  // namespace tmtest
