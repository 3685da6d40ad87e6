#include "analytics/RUVStoreContext.h"

#include <cstring>

#include <sqlite3.h>

#include "analytics/RUV.h"
#include "analytics/RUVUtil.h"
#include "platform/base/Assert.h"
#include "platform/base/Clock.h"

namespace {

#define RUV_ASSERT_ON_WORKER() PLAT_ASSERT(RUV::thread().isCurrent(), "hit store work runs on RUVThread")

plat::Error sqliteError(int code, const std::string& message) {
    return plat::Error::withDescription(RUVStoreContext::kErrorDomain, code, message);
}

bool isDamageCode(int code) {
    int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// A prepared statement finalised when it goes out of scope.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return rc_ == SQLITE_OK && stmt_; }
    int prepareCode() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

// A statement of the context's cache in use: reset, its bindings cleared, when the use ends.
class Lease {
  public:
    explicit Lease(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Lease() {
        if (!stmt_) return;
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    bool ok() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }

  private:
    sqlite3_stmt* stmt_;
};

void putU32(plat::Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putText(plat::Bytes& out, const std::string& text) {
    putU32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

// Binds one attribute's value; throws for a value of the wrong kind.
int bindValue(sqlite3_stmt* stmt, int index, const RUVEntityDescription& entity,
              const RUVAttributeDescription& a, const plat::Value& v) {
    if (v.isNull()) return sqlite3_bind_null(stmt, index);
    switch (a.attributeType) {
        case RUVAttributeInteger64:
            if (v.isNumber()) return sqlite3_bind_int64(stmt, index, v.toInt64());
            break;
        case RUVAttributeString:
            if (const std::string* s = v.stringIf()) {
                return sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()),
                                         SQLITE_TRANSIENT);
            }
            break;
        case RUVAttributeDate:
            if (const auto* d = v.dateIf()) return sqlite3_bind_double(stmt, index, d->secondsSince1970);
            break;
        case RUVAttributeBinaryData:
            if (const plat::Bytes* b = v.dataIf()) {
                return sqlite3_bind_blob64(stmt, index, b->data(), b->size(), SQLITE_TRANSIENT);
            }
            break;
        case RUVAttributeTransformable:
            if (const auto* d = v.dictionaryIf()) {
                plat::Bytes blob = RUVStoreContext::encodeParameters(*d);
                return sqlite3_bind_blob64(stmt, index, blob.data(), blob.size(), SQLITE_TRANSIENT);
            }
            break;
        default:
            break;
    }
    throw plat::Exception("NSInvalidArgumentException",
                          "Unacceptable type of value for attribute: property = \"" + a.name +
                              "\"; entity = " + entity.name + "; value kind = " + RUVUtil::typeName(v));
}

plat::Value columnValue(sqlite3_stmt* stmt, int column, const RUVAttributeDescription& a) {
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL) return plat::Value();
    switch (a.attributeType) {
        case RUVAttributeInteger64:
            return plat::Value(static_cast<int64_t>(sqlite3_column_int64(stmt, column)));
        case RUVAttributeString: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return plat::Value(
                std::string(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt, column))));
        }
        case RUVAttributeDate:
            return plat::Value(plat::Value::Date{sqlite3_column_double(stmt, column)});
        case RUVAttributeTransformable: {
            const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, column));
            auto size = static_cast<size_t>(sqlite3_column_bytes(stmt, column));
            auto decoded = RUVStoreContext::decodeParameters(blob, size);
            if (!decoded) {
                RUV_LOG(RUVLogLevel::Error, "Unreadable stored value of %s", a.name.c_str());
                return plat::Value();
            }
            return plat::Value(std::move(*decoded));
        }
        default: {
            const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, column));
            auto size = static_cast<size_t>(sqlite3_column_bytes(stmt, column));
            return plat::Value(plat::Bytes(blob, blob + size));
        }
    }
}

}  // namespace

RUVStoreContext::RUVStoreContext(RUVManagedObjectModel model, std::filesystem::path path)
    : model_(std::move(model)), path_(std::move(path)) {}

RUVStoreContext::~RUVStoreContext() {
    close();
}

void RUVStoreContext::close() {
    if (!db_) return;
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    statements_.clear();
    // Closing with a transaction open rolls it back.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    inTransaction_ = false;
}

plat::Error RUVStoreContext::lastError() const {
    if (!db_) return sqliteError(SQLITE_CANTOPEN, "unable to open database file");
    return sqliteError(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
}

RUVStoreContext::OpenStatus RUVStoreContext::open(std::optional<plat::Error>& error) {
    RUV_ASSERT_ON_WORKER();
    close();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        error =
            sqliteError(db ? sqlite3_extended_errcode(db) : rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return isDamageCode(rc) ? OpenStatus::Damaged : OpenStatus::Failed;
    }
    db_ = db;
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMillis);
    auto fail = [&](int code) {
        error = lastError();
        close();
        return isDamageCode(code) ? OpenStatus::Damaged : OpenStatus::Failed;
    };
    // A write-ahead log: a commit appends to "-wal" and the log is synced when it is copied back into the
    // file. A process that dies keeps every commit; a power loss may take back the last few, and never
    // leaves the file torn. A sync at every commit cost more than the rest of storing a hit together.
    rc = sqlite3_exec(db_, kJournalPragmas, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    {
        Statement check(db_, "PRAGMA quick_check");
        if (!check.ok()) return fail(check.prepareCode());
        rc = sqlite3_step(check.get());
        if (rc != SQLITE_ROW) return fail(rc);
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
        if (!text || std::strcmp(text, "ok") != 0) {
            error = sqliteError(SQLITE_CORRUPT, std::string("quick check: ") + (text ? text : "(null)"));
            close();
            return OpenStatus::Damaged;
        }
    }
    int64_t mark = 0, tables = 0;
    for (auto [sql, out] : {std::pair{"PRAGMA application_id", &mark},
                            std::pair{"SELECT count(*) FROM sqlite_master", &tables}}) {
        Statement s(db_, sql);
        if (!s.ok()) return fail(s.prepareCode());
        rc = sqlite3_step(s.get());
        if (rc != SQLITE_ROW) return fail(rc);
        *out = sqlite3_column_int64(s.get(), 0);
    }
    if (mark == model_.layoutMark()) return OpenStatus::Open;
    if (mark != 0 || tables != 0) {
        error = sqliteError(SQLITE_NOTADB, "the file holds another layout");
        close();
        return OpenStatus::Damaged;
    }
    // A new file: its layout and mark in one transaction.
    std::string create = "BEGIN IMMEDIATE;";
    for (const auto& statement : model_.schemaSql()) create += statement + ";";
    create += "PRAGMA application_id=" + std::to_string(model_.layoutMark()) + ";COMMIT;";
    rc = sqlite3_exec(db_, create.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        error = lastError();
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        close();
        return isDamageCode(rc) ? OpenStatus::Damaged : OpenStatus::Failed;
    }
    return OpenStatus::Open;
}

sqlite3_stmt* RUVStoreContext::statement(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    statements_.emplace(sql, stmt);
    return stmt;
}

bool RUVStoreContext::ensureOpen(std::optional<plat::Error>& error) {
    RUV_ASSERT_ON_WORKER();
    if (db_) return true;
    return open(error) == OpenStatus::Open;
}

bool RUVStoreContext::beginChange(std::optional<plat::Error>& error) {
    if (!ensureOpen(error)) return false;
    if (inTransaction_) return true;
    // With a write-ahead log SQLite goes on writing to a file removed under the connection (a reset), and
    // what is written there is gone: such a change fails instead.
    int moved = 0;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved) {
        error = sqliteError(SQLITE_READONLY_DBMOVED, "the store file was removed");
        return false;
    }
    Lease begin(statement("BEGIN IMMEDIATE"));
    if (!begin.ok() || sqlite3_step(begin.get()) != SQLITE_DONE) {
        error = lastError();
        return false;
    }
    inTransaction_ = true;
    return true;
}

const RUVEntityDescription& RUVStoreContext::entityOrThrow(const std::string& entity) const {
    const RUVEntityDescription* e = model_.entity(entity);
    if (!e)
        throw plat::Exception("NSInternalInconsistencyException",
                              "No entity named " + entity + " in the model");
    return *e;
}

void RUVStoreContext::checkKeys(const RUVEntityDescription& entity,
                                const plat::Value::Dictionary& values) const {
    for (const auto& [key, value] : values) {
        if (!entity.attribute(key)) {
            throw plat::Exception("NSUnknownKeyException",
                                  "the entity " + entity.name +
                                      " is not key value coding-compliant for the key \"" + key + "\".");
        }
    }
}

std::optional<int64_t> RUVStoreContext::insert(const std::string& entity,
                                               const plat::Value::Dictionary& values,
                                               std::optional<plat::Error>& error) {
    const RUVEntityDescription& e = entityOrThrow(entity);
    checkKeys(e, values);
    if (values.empty()) {
        if (!beginChange(error)) return std::nullopt;
        if (sqlite3_exec(db_, ("INSERT INTO " + RUVCoreDataUtil::sqlName(entity) + " DEFAULT VALUES").c_str(),
                         nullptr, nullptr, nullptr) != SQLITE_OK) {
            error = lastError();
            return std::nullopt;
        }
        return sqlite3_last_insert_rowid(db_);
    }
    std::string columns, marks;
    for (const auto& [key, value] : values) {
        columns += (columns.empty() ? "" : ", ") + RUVCoreDataUtil::sqlName(key);
        marks += marks.empty() ? "?" : ", ?";
    }
    if (!beginChange(error)) return std::nullopt;
    Lease s(statement("INSERT INTO " + RUVCoreDataUtil::sqlName(entity) + " (" + columns + ") VALUES (" +
                      marks + ")"));
    if (!s.ok()) {
        error = lastError();
        return std::nullopt;
    }
    int index = 1;
    for (const auto& [key, value] : values) {
        if (bindValue(s.get(), index++, e, *e.attribute(key), value) != SQLITE_OK) {
            error = lastError();
            return std::nullopt;
        }
    }
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = lastError();
        return std::nullopt;
    }
    return sqlite3_last_insert_rowid(db_);
}

bool RUVStoreContext::update(const std::string& entity, int64_t objectId,
                             const plat::Value::Dictionary& values, std::optional<plat::Error>& error) {
    const RUVEntityDescription& e = entityOrThrow(entity);
    checkKeys(e, values);
    if (values.empty()) return true;
    std::string assignments;
    for (const auto& [key, value] : values)
        assignments += (assignments.empty() ? "" : ", ") + RUVCoreDataUtil::sqlName(key) + " = ?";
    if (!beginChange(error)) return false;
    Lease s(statement("UPDATE " + RUVCoreDataUtil::sqlName(entity) + " SET " + assignments +
                      " WHERE objectID = ?"));
    if (!s.ok()) {
        error = lastError();
        return false;
    }
    int index = 1;
    for (const auto& [key, value] : values) {
        if (bindValue(s.get(), index++, e, *e.attribute(key), value) != SQLITE_OK) {
            error = lastError();
            return false;
        }
    }
    sqlite3_bind_int64(s.get(), index, objectId);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = lastError();
        return false;
    }
    return true;
}

std::vector<plat::Value::Dictionary> RUVStoreContext::fetch(const RUVFetchRequest& request,
                                                            std::optional<plat::Error>& error) {
    const RUVEntityDescription& e = entityOrThrow(request.entityName);
    std::vector<plat::Value::Dictionary> out;
    if (!ensureOpen(error)) return out;
    std::string sql = "SELECT objectID";
    if (request.includesPropertyValues) {
        for (const auto& a : e.properties) sql += ", " + RUVCoreDataUtil::sqlName(a.name);
    }
    sql += " FROM " + RUVCoreDataUtil::sqlName(e.name);
    std::string where;
    if (request.equals) {
        if (!e.attribute(request.equals->first)) checkKeys(e, {{request.equals->first, plat::Value()}});
        where += RUVCoreDataUtil::sqlName(request.equals->first) + " = ?";
    }
    if (request.atOrBefore) {
        if (!e.attribute(request.atOrBefore->first))
            checkKeys(e, {{request.atOrBefore->first, plat::Value()}});
        where +=
            (where.empty() ? "" : " AND ") + RUVCoreDataUtil::sqlName(request.atOrBefore->first) + " <= ?";
    }
    if (!where.empty()) sql += " WHERE " + where;
    if (request.sortBy) {
        if (!e.attribute(*request.sortBy)) checkKeys(e, {{*request.sortBy, plat::Value()}});
        sql += " ORDER BY " + RUVCoreDataUtil::sqlName(*request.sortBy) + " ASC, objectID ASC";
    } else {
        sql += " ORDER BY objectID ASC";
    }
    // One text for every limit, so the statement is prepared once; -1 is no limit.
    sql += " LIMIT ?";
    Lease s(statement(sql));
    if (!s.ok()) {
        error = lastError();
        return out;
    }
    int index = 1;
    if (request.equals) {
        const auto& [name, value] = *request.equals;
        if (bindValue(s.get(), index++, e, *e.attribute(name), value) != SQLITE_OK) {
            error = lastError();
            return out;
        }
    }
    if (request.atOrBefore) sqlite3_bind_double(s.get(), index++, request.atOrBefore->second);
    sqlite3_bind_int64(s.get(), index++,
                       request.fetchLimit > 0 && request.fetchLimit <= static_cast<uint64_t>(INT64_MAX)
                           ? static_cast<sqlite3_int64>(request.fetchLimit)
                           : -1);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        plat::Value::Dictionary record;
        if (request.includesPropertyValues) {
            for (size_t i = 0; i < e.properties.size(); ++i) {
                record.set(e.properties[i].name,
                           columnValue(s.get(), static_cast<int>(i) + 1, e.properties[i]));
            }
        }
        record.set(kObjectIdKey, plat::Value(static_cast<int64_t>(sqlite3_column_int64(s.get(), 0))));
        out.push_back(std::move(record));
    }
    if (rc != SQLITE_DONE) {
        error = lastError();
        out.clear();
    }
    return out;
}

int64_t RUVStoreContext::count(const std::string& entity, std::optional<plat::Error>& error) {
    const RUVEntityDescription& e = entityOrThrow(entity);
    if (!ensureOpen(error)) return -1;
    Lease s(statement("SELECT count(*) FROM " + RUVCoreDataUtil::sqlName(e.name)));
    if (!s.ok() || sqlite3_step(s.get()) != SQLITE_ROW) {
        error = lastError();
        return -1;
    }
    return sqlite3_column_int64(s.get(), 0);
}

bool RUVStoreContext::deleteObject(const std::string& entity, int64_t objectId,
                                   std::optional<plat::Error>& error) {
    const RUVEntityDescription& e = entityOrThrow(entity);
    if (!beginChange(error)) return false;
    Lease s(statement("DELETE FROM " + RUVCoreDataUtil::sqlName(e.name) + " WHERE objectID = ?"));
    if (!s.ok()) {
        error = lastError();
        return false;
    }
    sqlite3_bind_int64(s.get(), 1, objectId);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = lastError();
        return false;
    }
    return sqlite3_changes(db_) > 0;
}

bool RUVStoreContext::deleteAll(const std::string& entity, std::optional<plat::Error>& error) {
    const RUVEntityDescription& e = entityOrThrow(entity);
    if (!beginChange(error)) return false;
    if (sqlite3_exec(db_, ("DELETE FROM " + RUVCoreDataUtil::sqlName(e.name)).c_str(), nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
        error = lastError();
        return false;
    }
    return true;
}

bool RUVStoreContext::save(std::optional<plat::Error>& error) {
    RUV_ASSERT_ON_WORKER();
    if (!inTransaction_) return true;
    if (!db_) return false;
    bool committed;
    {
        Lease commit(statement("COMMIT"));
        committed = commit.ok() && sqlite3_step(commit.get()) == SQLITE_DONE;
        if (!committed) error = lastError();
    }
    // A failed commit may have ended the transaction (rolled back) or left it open to try again.
    inTransaction_ = !sqlite3_get_autocommit(db_);
    return committed;
}

bool RUVStoreContext::setAside(const std::filesystem::path& path, std::error_code& error) {
    std::string aside = path.string() + ".damaged-" + std::to_string(plat::Clock::shared().nowMicros());
    std::filesystem::rename(path, aside, error);
    if (error) return false;
    // The log holds commits not yet in the file: it goes along.
    for (const char* suffix : kSideFileSuffixes) {
        std::error_code ignored;
        std::filesystem::path side = path.string() + suffix;
        if (std::filesystem::exists(side, ignored)) std::filesystem::rename(side, aside + suffix, ignored);
    }
    return true;
}

void RUVStoreContext::removeWithSideFiles(const std::filesystem::path& path) {
    // The side files first: stopped midway, this leaves at worst a file without its newest commits, never
    // a log without its file.
    std::error_code ignored;
    for (const char* suffix : kSideFileSuffixes) std::filesystem::remove(path.string() + suffix, ignored);
    std::filesystem::remove(path, ignored);
}

plat::Bytes RUVStoreContext::encodeParameters(const plat::Value::Dictionary& parameters) {
    plat::Bytes out;
    putU32(out, static_cast<uint32_t>(parameters.size()));
    for (const auto& [key, value] : parameters) {
        putText(out, key);
        if (value.isNull()) {
            out.push_back(0);
            continue;
        }
        std::optional<std::string> text;
        if (const std::string* s = value.stringIf()) {
            text = *s;
        } else {
            text = RUVUtil::valueForNumber(value);
        }
        if (!text) {
            throw plat::Exception("NSInvalidArgumentException",
                                  "Hit parameter " + key + " holds a " + RUVUtil::typeName(value));
        }
        out.push_back(1);
        putText(out, *text);
    }
    return out;
}

std::optional<plat::Value::Dictionary> RUVStoreContext::decodeParameters(const uint8_t* data, size_t size) {
    size_t at = 0;
    auto u32 = [&](uint32_t& v) {
        if (size - at < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(data[at + i]) << (8 * i);
        at += 4;
        return true;
    };
    auto text = [&](std::string& s) {
        uint32_t n;
        if (!u32(n) || size - at < n) return false;
        s.assign(reinterpret_cast<const char*>(data + at), n);
        at += n;
        return true;
    };
    if (!data && size) return std::nullopt;
    uint32_t count;
    if (!u32(count)) return std::nullopt;
    plat::Value::Dictionary out;
    for (uint32_t i = 0; i < count; ++i) {
        std::string key;
        if (!text(key) || at >= size) return std::nullopt;
        uint8_t kind = data[at++];
        if (kind == 0) {
            out.set(std::move(key), plat::Value());
        } else if (kind == 1) {
            std::string value;
            if (!text(value)) return std::nullopt;
            out.set(std::move(key), plat::Value(std::move(value)));
        } else {
            return std::nullopt;
        }
    }
    if (at != size) return std::nullopt;
    return out;
}
