#include "analytics/store/RUVStoreContext.h"

#include "analytics/base/RUVUtil.h"
#include "analytics/base/RUVWorker.h"
#include "analytics/store/RUVStoreFiles.h"
#include "platform/base/Assert.h"

namespace {

#define RUV_ASSERT_ON_WORKER() \
    PLAT_ASSERT(RUVWorker::thread().isCurrent(), "hit store work runs on RUVThread")

using Statement = plat::SqliteFile::Statement;
using Lease = plat::SqliteFile::Lease;

plat::Error sqliteError(int code, const std::string& message) {
    return plat::Error::withDescription(RUVStoreContext::kErrorDomain, code, message);
}

void putU32(plat::Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putText(plat::Bytes& out, const std::string& text) {
    putU32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

// Binds one attribute's value; throws for a value of the wrong kind.
int bindValue(Statement& stmt, int index, const RUVEntityDescription& entity,
              const RUVAttributeDescription& a, const plat::Value& v) {
    if (v.isNull()) return stmt.bindNull(index);
    switch (a.attributeType) {
        case RUVAttributeInteger64:
            if (v.isNumber()) return stmt.bindInt64(index, v.toInt64());
            break;
        case RUVAttributeString:
            if (const std::string* s = v.stringIf()) return stmt.bindText(index, *s);
            break;
        case RUVAttributeDate:
            if (const auto* d = v.dateIf()) return stmt.bindDouble(index, d->secondsSince1970);
            break;
        case RUVAttributeBinaryData:
            if (const plat::Bytes* b = v.dataIf()) return stmt.bindBlob(index, b->data(), b->size());
            break;
        case RUVAttributeTransformable:
            if (const auto* d = v.dictionaryIf()) {
                plat::Bytes blob = RUVStoreContext::encodeParameters(*d);
                return stmt.bindBlob(index, blob.data(), blob.size());
            }
            break;
        default:
            break;
    }
    throw plat::Exception("NSInvalidArgumentException",
                          "Unacceptable type of value for attribute: property = \"" + a.name +
                              "\"; entity = " + entity.name + "; value kind = " + RUVUtil::typeName(v));
}

plat::Value columnValue(const Statement& stmt, int column, const RUVAttributeDescription& a) {
    if (stmt.columnIsNull(column)) return plat::Value();
    size_t size = 0;
    switch (a.attributeType) {
        case RUVAttributeInteger64:
            return plat::Value(stmt.columnInt64(column));
        case RUVAttributeString:
            return plat::Value(stmt.columnText(column));
        case RUVAttributeDate:
            return plat::Value(plat::Value::Date{stmt.columnDouble(column)});
        case RUVAttributeTransformable: {
            const uint8_t* blob = stmt.columnBlob(column, &size);
            auto decoded = RUVStoreContext::decodeParameters(blob, size);
            if (!decoded) {
                RUV_LOG(RUVLogLevel::Error, "Unreadable stored value of %s", a.name.c_str());
                return plat::Value();
            }
            return plat::Value(std::move(*decoded));
        }
        default: {
            const uint8_t* blob = stmt.columnBlob(column, &size);
            return plat::Value(plat::Bytes(blob, blob + size));
        }
    }
}

}  // namespace

RUVStoreContext::RUVStoreContext(RUVManagedObjectModel model, std::filesystem::path path)
    : model_(std::move(model)), path_(std::move(path)) {
    RUVStoreFiles::keepFile(file_);
}

RUVStoreContext::~RUVStoreContext() {
    RUVStoreFiles::forgetFile(file_);
    close();
}

void RUVStoreContext::close() {
    // Closing with a transaction open rolls it back.
    file_.close();
    inTransaction_ = false;
}

plat::Error RUVStoreContext::lastError() const {
    // Closed: the failure of the last open, if any.
    if (!file_.isOpen() && file_.errorCode() == plat::SqliteFile::kOk)
        return sqliteError(plat::SqliteFile::kCantOpen, "unable to open database file");
    return sqliteError(file_.errorCode(), file_.errorMessage());
}

RUVStoreContext::OpenStatus RUVStoreContext::open(std::optional<plat::Error>& error) {
    RUV_ASSERT_ON_WORKER();
    close();
    // Only a file SQLite calls damaged, or one of another layout, is replaced; it is kept aside.
    OpenStatus status = file_.openReplacingDamaged(
        path_, {.busyTimeoutMillis = kBusyTimeoutMillis}, [&] { return prepareFile(error); },
        [&](const std::filesystem::path&, const std::error_code&) {
            RUV_LOG(RUVLogLevel::Warning, "Corrupted database with URL file://%s: %s", path_.c_str(),
                    RUVUtil::describeError(error.value_or(lastError())).c_str());
            error.reset();
        });
    if (status != OpenStatus::Open) {
        if (!error) error = lastError();
        close();
    }
    return status;
}

RUVStoreContext::OpenStatus RUVStoreContext::prepareFile(std::optional<plat::Error>& error) {
    auto fail = [&]() {
        error = lastError();
        return plat::SqliteFile::isDamage(file_.errorCode()) ? OpenStatus::Damaged : OpenStatus::Failed;
    };
    // A write-ahead log: a commit appends to "-wal", and the worker copies the log back into the file soon
    // after (syncing both) and at exit (RUVStoreFiles::keepFile). A process that dies keeps every commit; a
    // power loss or a damaged log may take back the last few, and never leaves the file torn. A sync at
    // every commit cost more than the rest of storing a hit together.
    if (!file_.exec(kJournalPragmas)) return fail();
    int64_t mark = 0, tables = 0;
    for (auto [sql, out] : {std::pair{"PRAGMA application_id", &mark},
                            std::pair{"SELECT count(*) FROM sqlite_master", &tables}}) {
        Statement s = file_.prepare(sql);
        if (!s.ok() || s.step() != plat::SqliteFile::kRow) return fail();
        *out = s.columnInt64(0);
    }
    if (mark == model_.layoutMark()) return OpenStatus::Open;
    if (mark != 0 || tables != 0) {
        error = sqliteError(plat::SqliteFile::kNotADatabase, "the file holds another layout");
        return OpenStatus::Damaged;
    }
    // A new file: its layout and mark in one transaction.
    plat::SqliteFile::Transaction create(file_);
    bool created = create.begun();
    for (const auto& statement : model_.schemaSql()) created = created && file_.exec(statement);
    if (created && file_.exec("PRAGMA application_id=" + std::to_string(model_.layoutMark())) &&
        create.commit())
        return OpenStatus::Open;
    return fail();
}

bool RUVStoreContext::ensureOpen(std::optional<plat::Error>& error) {
    RUV_ASSERT_ON_WORKER();
    if (file_.isOpen()) return true;
    return open(error) == OpenStatus::Open;
}

bool RUVStoreContext::beginChange(std::optional<plat::Error>& error) {
    if (!ensureOpen(error)) return false;
    if (inTransaction_) return true;
    // With a write-ahead log SQLite goes on writing to a file removed under the connection (a reset), and
    // what is written there is gone: such a change fails instead.
    if (file_.hasMoved()) {
        error = sqliteError(plat::SqliteFile::kReadOnlyDbMoved, "the store file was removed");
        return false;
    }
    Lease begin(statement("BEGIN IMMEDIATE"));
    if (!begin.ok() || begin->step() != plat::SqliteFile::kDone) {
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
        if (!file_.exec("INSERT INTO " + RUVCoreDataUtil::sqlName(entity) + " DEFAULT VALUES")) {
            error = lastError();
            return std::nullopt;
        }
        return file_.lastInsertRowId();
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
        if (bindValue(*s, index++, e, *e.attribute(key), value) != plat::SqliteFile::kOk) {
            error = lastError();
            return std::nullopt;
        }
    }
    if (s->step() != plat::SqliteFile::kDone) {
        error = lastError();
        return std::nullopt;
    }
    return file_.lastInsertRowId();
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
        if (bindValue(*s, index++, e, *e.attribute(key), value) != plat::SqliteFile::kOk) {
            error = lastError();
            return false;
        }
    }
    s->bindInt64(index, objectId);
    if (s->step() != plat::SqliteFile::kDone) {
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
        if (bindValue(*s, index++, e, *e.attribute(name), value) != plat::SqliteFile::kOk) {
            error = lastError();
            return out;
        }
    }
    if (request.atOrBefore) s->bindDouble(index++, request.atOrBefore->second);
    s->bindInt64(index++, request.fetchLimit > 0 && request.fetchLimit <= static_cast<uint64_t>(INT64_MAX)
                              ? static_cast<int64_t>(request.fetchLimit)
                              : -1);
    int rc;
    while ((rc = s->step()) == plat::SqliteFile::kRow) {
        plat::Value::Dictionary record;
        if (request.includesPropertyValues) {
            for (size_t i = 0; i < e.properties.size(); ++i) {
                record.set(e.properties[i].name, columnValue(*s, static_cast<int>(i) + 1, e.properties[i]));
            }
        }
        record.set(kObjectIdKey, plat::Value(s->columnInt64(0)));
        out.push_back(std::move(record));
    }
    if (rc != plat::SqliteFile::kDone) {
        error = lastError();
        out.clear();
    }
    return out;
}

int64_t RUVStoreContext::count(const std::string& entity, std::optional<plat::Error>& error) {
    const RUVEntityDescription& e = entityOrThrow(entity);
    if (!ensureOpen(error)) return -1;
    Lease s(statement("SELECT count(*) FROM " + RUVCoreDataUtil::sqlName(e.name)));
    if (!s.ok() || s->step() != plat::SqliteFile::kRow) {
        error = lastError();
        return -1;
    }
    return s->columnInt64(0);
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
    s->bindInt64(1, objectId);
    if (s->step() != plat::SqliteFile::kDone) {
        error = lastError();
        return false;
    }
    return file_.changes() > 0;
}

bool RUVStoreContext::deleteAll(const std::string& entity, std::optional<plat::Error>& error) {
    const RUVEntityDescription& e = entityOrThrow(entity);
    if (!beginChange(error)) return false;
    if (!file_.exec("DELETE FROM " + RUVCoreDataUtil::sqlName(e.name))) {
        error = lastError();
        return false;
    }
    return true;
}

bool RUVStoreContext::save(std::optional<plat::Error>& error) {
    RUV_ASSERT_ON_WORKER();
    if (!inTransaction_) return true;
    if (!file_.isOpen()) return false;
    bool committed;
    {
        Lease commit(statement("COMMIT"));
        committed = commit.ok() && commit->step() == plat::SqliteFile::kDone;
        if (!committed) error = lastError();
    }
    // A failed commit may have ended the transaction (rolled back) or left it open to try again.
    inTransaction_ = file_.inTransaction();
    return committed;
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
