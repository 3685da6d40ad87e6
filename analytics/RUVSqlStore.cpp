#include "analytics/RUVSqlStore.h"

#include <cstring>
#include <system_error>

#include <sqlite3.h>
#include <sys/stat.h>

#include "analytics/RUV.h"
#include "analytics/RUVLogger.h"
#include "analytics/RUVStoreContext.h"
#include "platform/base/Assert.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/storage/Paths.h"

namespace {

constexpr const char* kQuickCheckSql = "PRAGMA quick_check";
constexpr const char* kTableExistsSql = "SELECT name FROM sqlite_master WHERE type='table' AND name=?";

#define RUV_SQL_ASSERT_ON_WORKER() PLAT_ASSERT(RUV::thread().isCurrent(), "SQL store work runs on RUVThread")

}  // namespace

RUVSqlStore& RUVSqlStore::sharedInstance() {
    // Made once, kept for the life of the process.
    static RUVSqlStore* shared = initWithDatabaseName(kSharedDatabaseName).release();
    return *shared;
}

std::filesystem::path RUVSqlStore::databaseDirectoryPath() {
    return plat::Paths::library();
}

std::unique_ptr<RUVSqlStore> RUVSqlStore::initWithDatabaseName(const std::string& name) {
    if (name.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty database name");
        return nullptr;
    }
    std::filesystem::path directory = databaseDirectoryPath();
    if (directory.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty database path");
        return nullptr;
    }
    return std::unique_ptr<RUVSqlStore>(new RUVSqlStore(name, directory / name));
}

RUVSqlStore::RUVSqlStore(std::string name, std::filesystem::path path)
    : databaseName_(std::move(name)), databasePath_(std::move(path)) {}

RUVSqlStore::~RUVSqlStore() {
    closeDatabase();
}

bool RUVSqlStore::ensureOpenDatabase() {
    RUV_SQL_ASSERT_ON_WORKER();
    std::error_code ec;
    if (database_) {
        // Inside a transaction the file was there when it began; the look costs a system call per use.
        if (!sqlite3_get_autocommit(database_) || std::filesystem::exists(databasePath_, ec)) return true;
        // The file vanished under the connection (a reset): start a new one. SQLite drops a log or journal
        // it finds beside an empty file, so nothing of the old file comes back.
        closeDatabase();
        return openAndValidateDatabase();
    }
    if (openAndValidateDatabase()) return true;
    // Only a file SQLite calls damaged is replaced; a busy, locked or unreadable one is kept for later.
    if (!lastOpenFoundDamage_) return false;
    if (!closeAndDeleteDatabase()) return false;
    return openAndValidateDatabase();
}

bool RUVSqlStore::openAndValidateDatabase() {
    RUV_SQL_ASSERT_ON_WORKER();
    lastOpenFoundDamage_ = false;
    auto damaged = [](int rc) { return (rc & 0xFF) == SQLITE_NOTADB || (rc & 0xFF) == SQLITE_CORRUPT; };
    struct stat st {};
    if (::stat(databasePath_.c_str(), &st) == 0) {
        // The file's "immutable" mark is a missing owner-write permission.
        if (!(st.st_mode & S_IWUSR) && ::chmod(databasePath_.c_str(), st.st_mode | S_IWUSR) != 0) {
            RUV_LOG(RUVLogLevel::Error, "Failed to unlock database file: %s", std::strerror(errno));
            return false;
        }
    } else if (errno != ENOENT) {
        RUV_LOG(RUVLogLevel::Error, "Failed to read database file attributes: %s", std::strerror(errno));
        return false;
    }
    int rc = sqlite3_open_v2(databasePath_.c_str(), &database_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc != SQLITE_OK) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        lastOpenFoundDamage_ = damaged(rc);
        closeDatabase();
        return false;
    }
    sqlite3_busy_timeout(database_, kBusyTimeoutMillis);
    sqlite3_stmt* check = prepareSql(kQuickCheckSql);
    if (!check) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'quick check' sql statement");
        lastOpenFoundDamage_ = damaged(sqlite3_errcode(database_));
        closeDatabase();
        return false;
    }
    bool valid = false;
    rc = sqlite3_step(check);
    if (rc == SQLITE_ROW && sqlite3_column_count(check) == 1) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
        valid = text && std::strcmp(text, "ok") == 0;
        lastOpenFoundDamage_ = !valid;
    } else {
        lastOpenFoundDamage_ = damaged(rc);
    }
    sqlite3_finalize(check);
    if (!valid) {
        closeDatabase();
        return false;
    }
    // As the hit store's files (see RUVStoreContext::open). A file that keeps its old journal (busy) still
    // works, only slower.
    if (sqlite3_exec(database_, RUVStoreContext::kJournalPragmas, nullptr, nullptr, nullptr) != SQLITE_OK) {
        RUV_LOG(RUVLogLevel::Warning, "Failed to set the journal mode: %s", sqlite3_errmsg(database_));
    }
    plat::NotificationCenter::defaultCenter().post(kDidOpenDatabaseNotification);
    return true;
}

std::optional<std::string> RUVSqlStore::closeDatabase() {
    if (!database_) return std::nullopt;
    finalizeAndClearStatements();
    std::optional<std::string> failure;
    if (sqlite3_close(database_) != SQLITE_OK) {
        failure = sqlite3_errmsg(database_);
        RUV_LOG(RUVLogLevel::Error, "Failed to close database: %s", failure->c_str());
        // The handle is released once its last statement is gone; it is not used again.
        sqlite3_close_v2(database_);
    }
    database_ = nullptr;
    return failure;
}

bool RUVSqlStore::closeAndDeleteDatabase() {
    closeDatabase();
    std::error_code ec;
    if (!std::filesystem::exists(databasePath_, ec)) return true;
    ::chmod(databasePath_.c_str(), S_IRUSR | S_IWUSR);
    // A damaged file is kept aside, not destroyed: nothing saved is lost.
    if (!RUVStoreContext::setAside(databasePath_, ec)) {
        RUV_LOG(RUVLogLevel::Error, "Failed to delete database: %s", ec.message().c_str());
        return false;
    }
    return true;
}

sqlite3_stmt* RUVSqlStore::statementForQuery(const std::string& sql) {
    auto it = statementCache_.find(sql);
    if (it != statementCache_.end()) return it->second;
    if (!ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return nullptr;
    }
    sqlite3_stmt* statement = prepareSql(sql);
    if (!statement) return nullptr;
    statementCache_[sql] = statement;
    return statement;
}

void RUVSqlStore::setStatement(sqlite3_stmt* statement, const std::string& sql) {
    if (sql.empty()) return;
    if (!statement) {
        removeStatementForQuery(sql);
        return;
    }
    auto it = statementCache_.find(sql);
    if (it != statementCache_.end() && it->second != statement) sqlite3_finalize(it->second);
    statementCache_[sql] = statement;
}

void RUVSqlStore::removeStatementForQuery(const std::string& sql) {
    if (sql.empty()) return;
    auto it = statementCache_.find(sql);
    if (it == statementCache_.end()) return;
    sqlite3_finalize(it->second);
    statementCache_.erase(it);
}

void RUVSqlStore::finalizeAndClearStatements() {
    for (auto& [sql, statement] : statementCache_) sqlite3_finalize(statement);
    statementCache_.clear();
}

sqlite3_stmt* RUVSqlStore::prepareSql(const std::string& sql) {
    if (!database_) return nullptr;
    if (sql.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty sql string");
        return nullptr;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        RUV_LOG(RUVLogLevel::Error, "Failed to prepare sql statement: %s", sqlite3_errmsg(database_));
        sqlite3_finalize(statement);
        return nullptr;
    }
    return statement;
}

int RUVSqlStore::executeSql(const std::string& sql) {
    if (!ensureOpenDatabase()) return SQLITE_ERROR;
    if (sql.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty sql string");
        return SQLITE_MISUSE;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct sql statement: %s", sqlite3_errmsg(database_));
        sqlite3_finalize(statement);
        return SQLITE_ERROR;
    }
    int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    return rc;
}

bool RUVSqlStore::beginTransaction() {
    // A file that cannot be opened is reported by the statements that follow.
    if (!ensureOpenDatabase()) return false;
    sqlite3_stmt* statement = statementForQuery("BEGIN IMMEDIATE");
    if (!statement) return false;
    const bool begun = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
    return begun;
}

bool RUVSqlStore::commitTransaction() {
    if (!database_ || sqlite3_get_autocommit(database_)) return true;
    sqlite3_stmt* statement = statementForQuery("COMMIT");
    const bool committed = statement && sqlite3_step(statement) == SQLITE_DONE;
    if (statement) sqlite3_reset(statement);
    if (!committed) {
        RUV_LOG(RUVLogLevel::Error, "Failed to commit: %s", sqlite3_errmsg(database_));
        if (!sqlite3_get_autocommit(database_))
            sqlite3_exec(database_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return committed;
}

bool RUVSqlStore::tableExists(const std::string& table) {
    if (table.empty()) return false;
    if (!ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return false;
    }
    sqlite3_stmt* statement = statementForQuery(kTableExistsSql);
    if (!statement) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'table exists' sql statement");
        return false;
    }
    sqlite3_reset(statement);
    if (sqlite3_bind_text(statement, 1, table.c_str(), -1, SQLITE_TRANSIENT) != SQLITE_OK) {
        RUV_LOG(RUVLogLevel::Error, "Failed to bind 'tableName' parameter");
        return false;
    }
    bool exists = sqlite3_step(statement) == SQLITE_ROW;
    sqlite3_reset(statement);
    return exists;
}

bool RUVSqlStore::dropTableWithName(const std::string& table) {
    if (table.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty table name");
        return false;
    }
    if (!ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return false;
    }
    if (!tableExists(table)) return true;
    sqlite3_stmt* statement = statementForQuery("DROP TABLE " + table);
    if (!statement) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'drop table' sql statement");
        return false;
    }
    int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    // A cached statement on a dropped table is of no further use.
    removeStatementForQuery("DROP TABLE " + table);
    return rc == SQLITE_DONE;
}

uint64_t RUVSqlStore::rowCountForTableWithName(const std::string& table) {
    if (table.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty table name");
        return 0;
    }
    if (!ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return 0;
    }
    if (!tableExists(table)) {
        RUV_LOG(RUVLogLevel::Error, "Table does not exist: %s", table.c_str());
        return 0;
    }
    sqlite3_stmt* statement = statementForQuery("SELECT count(*) from " + table + ";");
    if (!statement) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'count' sql statement");
        return 0;
    }
    uint64_t count = 0;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        count = static_cast<uint64_t>(sqlite3_column_int(statement, 0));
    } else {
        RUV_LOG(RUVLogLevel::Error, "Failed to count rows from database: %s", sqlite3_errmsg(database_));
    }
    sqlite3_reset(statement);
    return count;
}

std::optional<std::string> RUVSqlStore::errorMessage() const {
    if (!database_) return std::nullopt;
    return std::string(sqlite3_errmsg(database_));
}
