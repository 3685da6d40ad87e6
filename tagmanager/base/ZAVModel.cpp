#include "tagmanager/base/ZAVModel.h"

#include <sqlite3.h>

#include <cstring>
#include <system_error>

#include "platform/base/Clock.h"
#include "tagmanager/base/ZAVLog.h"

namespace {

constexpr int kBusyTimeoutMillis = 250;

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return rc_ == SQLITE_OK && stmt_; }
    sqlite3_stmt* get() const { return stmt_; }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

bool isDamage(int code) {
    int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

enum class Layout { Empty, Previous, Current, Foreign };

std::optional<int64_t> scalar(sqlite3* db, const char* sql, int* rc) {
    Statement s(db, sql);
    if (!s.ok()) {
        *rc = sqlite3_extended_errcode(db);
        return std::nullopt;
    }
    *rc = sqlite3_step(s.get());
    if (*rc != SQLITE_ROW) {
        *rc = sqlite3_extended_errcode(db);
        return std::nullopt;
    }
    *rc = SQLITE_OK;
    return sqlite3_column_int64(s.get(), 0);
}

// What the file holds; empty (with `rc`) when SQLite could not tell.
std::optional<Layout> readLayout(sqlite3* db, int* rc) {
    {
        Statement check(db, "PRAGMA quick_check");
        if (!check.ok()) {
            *rc = sqlite3_extended_errcode(db);
            return std::nullopt;
        }
        int step = sqlite3_step(check.get());
        if (step != SQLITE_ROW) {
            *rc = sqlite3_extended_errcode(db);
            return std::nullopt;
        }
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
        if (!text || std::strcmp(text, "ok") != 0) return Layout::Foreign;
    }
    auto version = scalar(db, "PRAGMA user_version", rc);
    if (!version) return std::nullopt;
    auto tables = scalar(db, "SELECT count(*) FROM sqlite_master", rc);
    if (!tables) return std::nullopt;
    if (*version == 0 && *tables == 0) return Layout::Empty;
    bool hasTable = false, hasLast = false;
    int columns = 0;
    {
        Statement info(db, "PRAGMA table_info(ZAVHit)");
        if (!info.ok()) {
            *rc = sqlite3_extended_errcode(db);
            return std::nullopt;
        }
        while (sqlite3_step(info.get()) == SQLITE_ROW) {
            hasTable = true;
            ++columns;
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
            if (name && std::strcmp(name, "lastDispatchTime") == 0) hasLast = true;
        }
    }
    if (*version == ZAVModel::kCurrentVersion && hasTable && hasLast) return Layout::Current;
    if (*version == ZAVModel::kPreviousVersion && hasTable && !hasLast && columns == 5)
        return Layout::Previous;
    return Layout::Foreign;
}

bool exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Opens `path`; Damaged when the file is not a store of ours, so that it may be set aside.
enum class Outcome { Open, Damaged, Failed };
Outcome openOnce(const std::filesystem::path& path, sqlite3** out) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto fail = [&](int code, const std::string& what) {
        ZAVLog::error("Hit store " + path.string() + ": " + what);
        sqlite3_close_v2(db);
        return isDamage(code) ? Outcome::Damaged : Outcome::Failed;
    };
    if (rc != SQLITE_OK) return fail(db ? sqlite3_extended_errcode(db) : rc, sqlite3_errstr(rc));
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMillis);
    // A rollback journal and a full sync at commit: a hit once saved survives a kill.
    if (!exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL"))
        return fail(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
    rc = SQLITE_OK;
    auto layout = readLayout(db, &rc);
    if (!layout) return fail(rc, sqlite3_errmsg(db));
    switch (*layout) {
        case Layout::Foreign:
            ZAVLog::error("Hit store " + path.string() + " holds something else");
            sqlite3_close_v2(db);
            return Outcome::Damaged;
        case Layout::Previous:
            if (!ZAVModel::migrateToCurrentVersion(db))
                return fail(sqlite3_extended_errcode(db), "migration failed");
            break;
        case Layout::Empty: {
            std::string create = "BEGIN IMMEDIATE;";
            for (const auto& s : ZAVModel::schemaSql(ZAVModel::kCurrentVersion)) create += s + ";";
            create += "COMMIT;";
            if (!exec(db, create)) {
                int code = sqlite3_extended_errcode(db);
                std::string message = sqlite3_errmsg(db);
                exec(db, "ROLLBACK");
                return fail(code, message);
            }
            break;
        }
        case Layout::Current:
            break;
    }
    *out = db;
    return Outcome::Open;
}

std::optional<double> optionalDouble(sqlite3_stmt* s, int column) {
    if (sqlite3_column_type(s, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_double(s, column);
}

}  // namespace

std::vector<std::string> ZAVModel::schemaSql(int version) {
    std::vector<std::string> sql;
    if (version == kPreviousVersion) {
        sql.push_back(
            "CREATE TABLE ZAVHit (id INTEGER PRIMARY KEY, dispatchURL TEXT NOT NULL, timestamp REAL NOT "
            "NULL, dispatchTime REAL, "
            "retryCount INTEGER)");
    } else {
        sql.push_back(
            "CREATE TABLE ZAVHit (id INTEGER PRIMARY KEY, dispatchURL TEXT NOT NULL, timestamp REAL NOT "
            "NULL, dispatchTime REAL, "
            "retryCount INTEGER, lastDispatchTime REAL)");
        sql.push_back("CREATE INDEX ZAVHit_lastDispatchTime ON ZAVHit (lastDispatchTime)");
    }
    sql.push_back("CREATE INDEX ZAVHit_dispatchURL ON ZAVHit (dispatchURL)");
    sql.push_back("CREATE INDEX ZAVHit_timestamp ON ZAVHit (timestamp)");
    sql.push_back("CREATE INDEX ZAVHit_dispatchTime ON ZAVHit (dispatchTime)");
    sql.push_back("PRAGMA user_version=" + std::to_string(version == kPreviousVersion ? 1 : 2));
    return sql;
}

sqlite3* ZAVModel::contextWithPath(const std::filesystem::path& path) {
    sqlite3* db = nullptr;
    Outcome outcome = openOnce(path, &db);
    if (outcome == Outcome::Damaged) {
        if (!setAside(path)) {
            ZAVLog::error("Hit store " + path.string() + " cannot be set aside");
            return nullptr;
        }
        ZAVLog::warning("Hit store " + path.string() + " was damaged; set aside and started empty");
        outcome = openOnce(path, &db);
    }
    return outcome == Outcome::Open ? db : nullptr;
}

bool ZAVModel::migrateToCurrentVersion(sqlite3* db) {
    if (exec(db,
             "BEGIN IMMEDIATE;"
             "ALTER TABLE ZAVHit ADD COLUMN lastDispatchTime REAL;"
             "CREATE INDEX ZAVHit_lastDispatchTime ON ZAVHit (lastDispatchTime);"
             "PRAGMA user_version=2;"
             "COMMIT;"))
        return true;
    exec(db, "ROLLBACK");
    return false;
}

std::vector<ZAVHit> ZAVModel::requestHits(sqlite3* db, uint64_t limit, std::optional<double> before,
                                          bool* ok) {
    *ok = false;
    std::vector<ZAVHit> hits;
    if (!db) return hits;
    std::string sql =
        "SELECT id, dispatchURL, timestamp, dispatchTime, retryCount, lastDispatchTime FROM ZAVHit";
    if (before) sql += " WHERE lastDispatchTime IS NULL OR lastDispatchTime <= ?1";
    sql += " ORDER BY timestamp, id LIMIT ?2";
    Statement s(db, sql.c_str());
    if (!s.ok()) return hits;
    if (before) sqlite3_bind_double(s.get(), 1, *before);
    sqlite3_bind_int64(s.get(), 2, limit == 0 || limit > INT64_MAX ? -1 : static_cast<int64_t>(limit));
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        ZAVHit hit;
        hit.objectId = sqlite3_column_int64(s.get(), 0);
        if (sqlite3_column_type(s.get(), 1) != SQLITE_NULL) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
            hit.dispatchURL =
                std::string(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s.get(), 1)));
        }
        hit.timestamp = sqlite3_column_double(s.get(), 2);
        hit.dispatchTime = optionalDouble(s.get(), 3);
        if (sqlite3_column_type(s.get(), 4) != SQLITE_NULL) hit.retryCount = sqlite3_column_int64(s.get(), 4);
        hit.lastDispatchTime = optionalDouble(s.get(), 5);
        hits.push_back(std::move(hit));
    }
    if (rc != SQLITE_DONE) {
        ZAVLog::error(std::string("Hit store fetch failed: ") + sqlite3_errmsg(db));
        return {};
    }
    *ok = true;
    return hits;
}

int64_t ZAVModel::hitCount(sqlite3* db) {
    if (!db) return -1;
    int rc = SQLITE_OK;
    auto count = scalar(db, "SELECT count(*) FROM ZAVHit", &rc);
    return count ? *count : -1;
}

bool ZAVModel::setAside(const std::filesystem::path& path) {
    std::string aside = path.string() + ".damaged-" + std::to_string(plat::Clock::shared().nowMicros());
    std::error_code error;
    std::filesystem::rename(path, aside, error);
    if (error) return false;
    std::filesystem::path journal = path.string() + "-journal";
    if (std::filesystem::exists(journal, error)) std::filesystem::rename(journal, aside + "-journal", error);
    return true;
}
