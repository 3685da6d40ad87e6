#include "analytics/store/RUVSqlStore.h"

#include <cstring>
#include <system_error>

#include <sys/stat.h>

#include "analytics/base/RUVWorker.h"
#include "analytics/store/RUVStoreContext.h"
#include "analytics/store/RUVStoreFiles.h"
#include "platform/base/Assert.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/storage/Paths.h"

namespace {

using Lease = plat::SqliteFile::Lease;
constexpr const char* kTableExistsSql = "SELECT name FROM sqlite_master WHERE type='table' AND name=?";

#define RUV_SQL_ASSERT_ON_WORKER() \
    PLAT_ASSERT(RUVWorker::thread().isCurrent(), "SQL store work runs on RUVThread")

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
    : databaseName_(std::move(name)), databasePath_(std::move(path)) {
    RUVStoreFiles::keepFile(database_);
}

RUVSqlStore::~RUVSqlStore() {
    RUVStoreFiles::forgetFile(database_);
    closeDatabase();
}

bool RUVSqlStore::ensureOpenDatabase() {
    RUV_SQL_ASSERT_ON_WORKER();
    std::error_code ec;
    if (database_.isOpen()) {
        // Inside a transaction the file was there when it began; the look costs a system call per use.
        if (database_.inTransaction() || std::filesystem::exists(databasePath_, ec)) return true;
        // The file vanished under the connection (a reset): start a new one. Closing folds the log into the
        // vanished file and removes it, so nothing of the old file comes back.
        closeDatabase();
    }
    return openAndValidateDatabase();
}

bool RUVSqlStore::openAndValidateDatabase() {
    RUV_SQL_ASSERT_ON_WORKER();
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
    auto logFailure = [&] {
        if (database_.failedStage() == plat::SqliteFile::Stage::Open) {
            RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        } else if (database_.failedStage() == plat::SqliteFile::Stage::Log ||
                   database_.failedStage() == plat::SqliteFile::Stage::Emptied) {
            RUV_LOG(RUVLogLevel::Error, "Damaged database %s: %s", databasePath_.c_str(),
                    database_.errorMessage().c_str());
        } else if (database_.failedStage() == plat::SqliteFile::Stage::CheckPrepare) {
            RUV_LOG(RUVLogLevel::Error, "Failed to prepare sql statement: %s",
                    database_.errorMessage().c_str());
            RUV_LOG(RUVLogLevel::Error, "Failed to construct 'quick check' sql statement");
        }
    };
    // Only a file SQLite calls damaged is replaced, and it is kept aside, not destroyed: nothing saved is
    // lost. A busy, locked or unreadable one is kept for later.
    std::error_code notSetAside;
    auto setAside = [&](const std::filesystem::path&, const std::error_code& ec) {
        logFailure();
        notSetAside = ec;
    };
    auto status = database_.openReplacingDamaged(databasePath_, {.busyTimeoutMillis = kBusyTimeoutMillis},
                                                 nullptr, setAside);
    if (status != plat::SqliteFile::OpenStatus::Open) {
        // A file that could not be set aside was told of already. (A log that could not be copied aside
        // opens all the same; its line says so.)
        if (notSetAside) {
            RUV_LOG(RUVLogLevel::Error, "Failed to delete database: %s", notSetAside.message().c_str());
        } else {
            logFailure();
        }
        return false;
    }
    // As the hit store's files (see RUVStoreContext::open). A file that keeps its old journal (busy) still
    // works, only slower.
    if (!database_.exec(RUVStoreContext::kJournalPragmas)) {
        RUV_LOG(RUVLogLevel::Warning, "Failed to set the journal mode: %s", database_.errorMessage().c_str());
    }
    plat::NotificationCenter::defaultCenter().post(kDidOpenDatabaseNotification);
    return true;
}

std::optional<std::string> RUVSqlStore::closeDatabase() {
    if (!database_.isOpen()) return std::nullopt;
    // A statement still out keeps the handle until it is finalised; the handle is not used again.
    if (database_.close()) return std::nullopt;
    std::string failure = database_.errorMessage();
    RUV_LOG(RUVLogLevel::Error, "Failed to close database: %s", failure.c_str());
    return failure;
}

bool RUVSqlStore::closeAndDeleteDatabase() {
    closeDatabase();
    std::error_code ec;
    if (!std::filesystem::exists(databasePath_, ec)) return true;
    ::chmod(databasePath_.c_str(), S_IRUSR | S_IWUSR);
    // A damaged file is kept aside, not destroyed: nothing saved is lost.
    plat::SqliteFile::setAside(databasePath_, ec);
    if (ec) {
        RUV_LOG(RUVLogLevel::Error, "Failed to delete database: %s", ec.message().c_str());
        return false;
    }
    return true;
}

plat::SqliteFile::Statement* RUVSqlStore::statementForQuery(const std::string& sql) {
    if (!database_.isOpen() && !ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return nullptr;
    }
    if (sql.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty sql string");
        return nullptr;
    }
    plat::SqliteFile::Statement* statement = database_.cached(sql);
    if (!statement)
        RUV_LOG(RUVLogLevel::Error, "Failed to prepare sql statement: %s", database_.errorMessage().c_str());
    return statement;
}

void RUVSqlStore::setStatement(plat::SqliteFile::Statement statement, const std::string& sql) {
    if (!sql.empty()) database_.cache(sql, std::move(statement));
}

void RUVSqlStore::removeStatementForQuery(const std::string& sql) {
    if (!sql.empty()) database_.dropCached(sql);
}

void RUVSqlStore::finalizeAndClearStatements() {
    database_.dropAllCached();
}

plat::SqliteFile::Statement RUVSqlStore::prepareSql(const std::string& sql) {
    if (!database_.isOpen()) return {};
    if (sql.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty sql string");
        return {};
    }
    plat::SqliteFile::Statement statement = database_.prepare(sql);
    if (!statement.ok())
        RUV_LOG(RUVLogLevel::Error, "Failed to prepare sql statement: %s", database_.errorMessage().c_str());
    return statement;
}

int RUVSqlStore::executeSql(const std::string& sql) {
    if (!ensureOpenDatabase()) return plat::SqliteFile::kError;
    if (sql.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty sql string");
        return plat::SqliteFile::kMisuse;
    }
    plat::SqliteFile::Statement statement = database_.prepare(sql);
    if (!statement.ok()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct sql statement: %s",
                database_.errorMessage().c_str());
        return plat::SqliteFile::kError;
    }
    return statement.step();
}

bool RUVSqlStore::beginTransaction() {
    // A file that cannot be opened is reported by the statements that follow.
    if (!ensureOpenDatabase()) return false;
    Lease statement(statementForQuery("BEGIN IMMEDIATE"));
    return statement.ok() && statement->step() == plat::SqliteFile::kDone;
}

bool RUVSqlStore::commitTransaction() {
    if (!database_.inTransaction()) return true;
    bool committed;
    {
        Lease statement(statementForQuery("COMMIT"));
        committed = statement.ok() && statement->step() == plat::SqliteFile::kDone;
    }
    if (!committed) {
        RUV_LOG(RUVLogLevel::Error, "Failed to commit: %s", database_.errorMessage().c_str());
        if (database_.inTransaction()) database_.exec("ROLLBACK");
    }
    return committed;
}

bool RUVSqlStore::tableExists(const std::string& table) {
    if (table.empty()) return false;
    if (!ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return false;
    }
    Lease statement(statementForQuery(kTableExistsSql));
    if (!statement.ok()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'table exists' sql statement");
        return false;
    }
    if (statement->bindText(1, table) != plat::SqliteFile::kOk) {
        RUV_LOG(RUVLogLevel::Error, "Failed to bind 'tableName' parameter");
        return false;
    }
    return statement->step() == plat::SqliteFile::kRow;
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
    // Not kept: a statement on a dropped table is of no further use.
    plat::SqliteFile::Statement statement = prepareSql("DROP TABLE " + table);
    if (!statement.ok()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'drop table' sql statement");
        return false;
    }
    return statement.step() == plat::SqliteFile::kDone;
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
    Lease statement(statementForQuery("SELECT count(*) from " + table + ";"));
    if (!statement.ok()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'count' sql statement");
        return 0;
    }
    if (statement->step() == plat::SqliteFile::kRow) return static_cast<uint64_t>(statement->columnInt64(0));
    RUV_LOG(RUVLogLevel::Error, "Failed to count rows from database: %s", database_.errorMessage().c_str());
    return 0;
}

std::optional<std::string> RUVSqlStore::errorMessage() const {
    if (!database_.isOpen()) return std::nullopt;
    return database_.errorMessage();
}
