#pragma once
// One SQLite file of the SDK (the auxiliary "zediveanalytics-aux-v4.sql"): opened lazily and checked with a
// quick integrity check, prepared statements cached by their SQL text, a few table helpers. A file SQLite
// finds damaged is set aside and a new one made (any other failure keeps the file); every (re)open posts
// "RUVSqlStoreDidOpenDatabaseNotification" on the opening thread before the open returns. Used from
// "RUVThread" only (asserted).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/storage/SqliteFile.h"

class RUVSqlStore {
  public:
    static constexpr const char* kSharedDatabaseName = "zediveanalytics-aux-v4.sql";
    static constexpr const char* kDidOpenDatabaseNotification = "RUVSqlStoreDidOpenDatabaseNotification";
    static constexpr int kBusyTimeoutMillis = 250;

    // The store on the shared file, made once per process.
    static RUVSqlStore& sharedInstance();
    // The app's Library folder.
    static std::filesystem::path databaseDirectoryPath();
    // Null, with a log line, for an empty name or when there is no Library folder.
    static std::unique_ptr<RUVSqlStore> initWithDatabaseName(const std::string& name);

    ~RUVSqlStore();
    RUVSqlStore(const RUVSqlStore&) = delete;
    RUVSqlStore& operator=(const RUVSqlStore&) = delete;

    bool ensureOpenDatabase();
    bool openAndValidateDatabase();
    // The close error message, empty on success or when nothing was open.
    std::optional<std::string> closeDatabase();
    bool closeAndDeleteDatabase();

    // Owned by the cache: reset after use (a plat::SqliteFile::Lease does it).
    plat::SqliteFile::Statement* statementForQuery(const std::string& sql);
    // An empty statement drops the one kept for the text.
    void setStatement(plat::SqliteFile::Statement statement, const std::string& sql);
    void removeStatementForQuery(const std::string& sql);
    void finalizeAndClearStatements();
    // The caller's; not ok() when no connection is open or it cannot be prepared.
    plat::SqliteFile::Statement prepareSql(const std::string& sql);
    // The SQLite result code of one step (kDone for a statement that ran to its end).
    int executeSql(const std::string& sql);

    // A write transaction around several statements: begun (false when it cannot be, and the statements
    // then commit one by one), then committed, or rolled back when the commit fails. Committing with no
    // transaction open on the connection (it was reopened meanwhile) is true: those statements committed
    // one by one.
    bool beginTransaction();
    bool commitTransaction();

    bool tableExists(const std::string& table);
    bool dropTableWithName(const std::string& table);
    uint64_t rowCountForTableWithName(const std::string& table);

    // SQLite's message for the last error, empty when no connection is open.
    std::optional<std::string> errorMessage() const;

    const std::string& databaseName() const { return databaseName_; }
    const std::filesystem::path& databasePath() const { return databasePath_; }
    size_t cachedStatementCount() const { return database_.cachedCount(); }

  private:
    RUVSqlStore(std::string name, std::filesystem::path path);

    std::string databaseName_;
    std::filesystem::path databasePath_;
    plat::SqliteFile database_;
};
