#include "tagmanager/base/ZAVModel.h"

#include <system_error>

#include "tagmanager/base/ZAVLog.h"

namespace {

constexpr int kBusyTimeoutMillis = 250;

enum class Layout { Empty, Previous, Current, Foreign };

std::optional<int64_t> scalar(plat::SqliteFile& db, const char* sql) {
    auto s = db.prepare(sql);
    if (!s.ok() || s.step() != plat::SqliteFile::kRow) return std::nullopt;
    return s.columnInt64(0);
}

// What the checked file holds; empty when SQLite could not tell.
std::optional<Layout> readLayout(plat::SqliteFile& db) {
    auto version = scalar(db, "PRAGMA user_version");
    if (!version) return std::nullopt;
    auto tables = scalar(db, "SELECT count(*) FROM sqlite_master");
    if (!tables) return std::nullopt;
    if (*version == 0 && *tables == 0) return Layout::Empty;
    bool hasTable = false, hasLast = false;
    int columns = 0;
    auto info = db.prepare("PRAGMA table_info(ZAVHit)");
    if (!info.ok()) return std::nullopt;
    while (info.step() == plat::SqliteFile::kRow) {
        hasTable = true;
        ++columns;
        if (info.columnText(1) == "lastDispatchTime") hasLast = true;
    }
    if (*version == ZAVModel::kCurrentVersion && hasTable && hasLast) return Layout::Current;
    if (*version == ZAVModel::kPreviousVersion && hasTable && !hasLast && columns == 5)
        return Layout::Previous;
    return Layout::Foreign;
}

// Brings an opened file to the current layout; Damaged when it is not a store of ours, so that it may be
// set aside.
plat::SqliteFile::OpenStatus prepareStore(plat::SqliteFile& db, const std::filesystem::path& path) {
    using Status = plat::SqliteFile::OpenStatus;
    auto fail = [&](const std::string& what) {
        ZAVLog::error("Hit store " + path.string() + ": " + what);
        return plat::SqliteFile::isDamage(db.errorCode()) ? Status::Damaged : Status::Failed;
    };
    // A rollback journal and a full sync at commit: a hit once saved survives a kill.
    if (!db.exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL")) return fail(db.errorMessage());
    auto layout = readLayout(db);
    if (!layout) return fail(db.errorMessage());
    switch (*layout) {
        case Layout::Foreign:
            ZAVLog::error("Hit store " + path.string() + " holds something else");
            return Status::Damaged;
        case Layout::Previous:
            if (!ZAVModel::migrateToCurrentVersion(db)) return fail("migration failed");
            break;
        case Layout::Empty: {
            plat::SqliteFile::Transaction create(db);
            bool created = create.begun();
            for (const auto& s : ZAVModel::schemaSql(ZAVModel::kCurrentVersion))
                created = created && db.exec(s);
            if (!created || !create.commit()) return fail(db.errorMessage());
            break;
        }
        case Layout::Current:
            break;
    }
    return Status::Open;
}

std::optional<double> optionalDouble(const plat::SqliteFile::Statement& s, int column) {
    if (s.columnIsNull(column)) return std::nullopt;
    return s.columnDouble(column);
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

std::unique_ptr<plat::SqliteFile> ZAVModel::contextWithPath(const std::filesystem::path& path) {
    auto db = std::make_unique<plat::SqliteFile>();
    // Failures of the open itself; the layout step logs its own.
    auto logOpenFailure = [&] {
        if (db->failedStage() == plat::SqliteFile::Stage::CheckVerdict) {
            ZAVLog::error("Hit store " + path.string() + " holds something else");
        } else if (db->failedStage() != plat::SqliteFile::Stage::None) {
            ZAVLog::error("Hit store " + path.string() + ": " + db->errorMessage());
        }
    };
    bool logged = false;
    auto status = db->openReplacingDamaged(
        path, {.busyTimeoutMillis = kBusyTimeoutMillis}, [&] { return prepareStore(*db, path); },
        [&](const std::filesystem::path& p, const std::error_code& error) {
            logOpenFailure();
            logSetAside("Hit store", p, error);
            logged = static_cast<bool>(error);
        });
    if (status == plat::SqliteFile::OpenStatus::Open) return db;
    if (!logged) logOpenFailure();
    return nullptr;
}

bool ZAVModel::migrateToCurrentVersion(plat::SqliteFile& db) {
    plat::SqliteFile::Transaction migration(db);
    return migration.begun() &&
           db.exec(
               "ALTER TABLE ZAVHit ADD COLUMN lastDispatchTime REAL;"
               "CREATE INDEX ZAVHit_lastDispatchTime ON ZAVHit (lastDispatchTime);"
               "PRAGMA user_version=2") &&
           migration.commit();
}

std::vector<ZAVHit> ZAVModel::requestHits(plat::SqliteFile* db, uint64_t limit, std::optional<double> before,
                                          bool* ok) {
    *ok = false;
    std::vector<ZAVHit> hits;
    if (!db) return hits;
    std::string sql =
        "SELECT id, dispatchURL, timestamp, dispatchTime, retryCount, lastDispatchTime FROM ZAVHit";
    if (before) sql += " WHERE lastDispatchTime IS NULL OR lastDispatchTime <= ?1";
    sql += " ORDER BY timestamp, id LIMIT ?2";
    auto s = db->prepare(sql);
    if (!s.ok()) return hits;
    if (before) s.bindDouble(1, *before);
    s.bindInt64(2, limit == 0 || limit > INT64_MAX ? -1 : static_cast<int64_t>(limit));
    int rc;
    while ((rc = s.step()) == plat::SqliteFile::kRow) {
        ZAVHit hit;
        hit.objectId = s.columnInt64(0);
        if (!s.columnIsNull(1)) hit.dispatchURL = s.columnText(1);
        hit.timestamp = s.columnDouble(2);
        hit.dispatchTime = optionalDouble(s, 3);
        if (!s.columnIsNull(4)) hit.retryCount = s.columnInt64(4);
        hit.lastDispatchTime = optionalDouble(s, 5);
        hits.push_back(std::move(hit));
    }
    if (rc != plat::SqliteFile::kDone) {
        ZAVLog::error("Hit store fetch failed: " + db->errorMessage());
        return {};
    }
    *ok = true;
    return hits;
}

int64_t ZAVModel::hitCount(plat::SqliteFile* db) {
    if (!db) return -1;
    return scalar(*db, "SELECT count(*) FROM ZAVHit").value_or(-1);
}

void ZAVModel::logSetAside(const std::string& what, const std::filesystem::path& path,
                           const std::error_code& error) {
    if (error) {
        ZAVLog::error(what + " " + path.string() + " cannot be set aside");
    } else {
        ZAVLog::warning(what + " " + path.string() + " was damaged; set aside and started empty");
    }
}
