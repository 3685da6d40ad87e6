#include "tagmanager/datalayer/ZAVDataLayerPersistentStoreImpl.h"

#include <sqlite3.h>

#include <functional>
#include <mutex>
#include <optional>

#include "platform/base/ClassRegistry.h"
#include "platform/base/Clock.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/base/ZAVModel.h"
#include "tagmanager/values/ZAVBoolean.h"
#include "tagmanager/values/ZAVTypes.h"

namespace {

constexpr const char* kTable = "datalayer";
constexpr const char* kBooleanClass = "ZAVBoolean";
// Two data layers may share the file; the second waits this long for the first's operation.
constexpr int kBusyTimeoutMillis = 1000;

double currentTimeInMilliseconds() {
    return plat::Clock::shared().nowSeconds() * 1000.0;
}

bool isDamage(int code) {
    int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// The platform's archive reads a boolean as a plain number; here it is the data layer's boolean again.
ZAVObjectPtr fromArchivedValue(const plat::Value& value) {
    switch (value.type()) {
        case plat::Value::Type::Bool:
            return ZAVBoolean::booleanWithBool(*value.boolIf());
        case plat::Value::Type::Array: {
            ZAVObject::List items;
            items.reserve(value.arrayIf()->size());
            for (const auto& item : *value.arrayIf()) items.push_back(fromArchivedValue(item));
            return ZAVObject::list(std::move(items));
        }
        case plat::Value::Type::Dictionary: {
            ZAVObject::Entries entries;
            entries.reserve(value.dictionaryIf()->size());
            for (const auto& [key, item] : *value.dictionaryIf())
                entries.emplace_back(ZAVObject::text(key), fromArchivedValue(item));
            return ZAVObject::map(entries);
        }
        default:
            return ZAVObject::fromPlatformValue(value);
    }
}

// The class name of an archive's root object, when the root is an object of a class.
std::optional<std::string> rootClassName(const plat::Bytes& bytes) {
    auto archive = plat::PropertyList::parse(bytes.data(), bytes.size());
    if (!archive) return std::nullopt;
    auto uidOf = [](const plat::Value& v) -> std::optional<int64_t> {
        const auto* d = v.dictionaryIf();
        const plat::Value* n = d && d->size() == 1 ? d->find("CF$UID") : nullptr;
        if (!n || !n->isInteger()) return std::nullopt;
        return *n->integerIf();
    };
    const auto* objects = (*archive)["$objects"].arrayIf();
    auto root = uidOf((*archive)["$top"]["root"]);
    if (!objects || !root || *root <= 0 || static_cast<uint64_t>(*root) >= objects->size())
        return std::nullopt;
    auto cls = uidOf((*objects)[*root]["$class"]);
    if (!cls || *cls <= 0 || static_cast<uint64_t>(*cls) >= objects->size()) return std::nullopt;
    if (const std::string* name = (*objects)[*cls]["$classname"].stringIf()) return *name;
    return std::nullopt;
}

}  // namespace

std::string ZAVKeyAndSerialized::description() const {
    std::string bytes(serialized_.begin(), serialized_.end());
    return zavFormat("KeyAndSerialized: key = %s serialized hash = %lu", key_.c_str(),
                     static_cast<unsigned long>(std::hash<std::string>()(bytes)));
}

// One queued operation: a save (entries and lifetime), a prefix clear, or a load (its callback).
struct ZAVDataLayerPersistentStoreImpl::Operation {
    std::vector<ZAVKeyAndSerialized> entries;
    int64_t lifetime = 0;
    std::optional<std::string> clearPrefix;
    bool load = false;
    std::shared_ptr<ZAVDataLayerPersistentStoreCallback> callback;  // of a load; may be none
};

// Operations waiting for the queue, in order; one task on the queue takes whatever has gathered.
struct ZAVDataLayerPersistentStoreImpl::Queued {
    std::mutex mutex;
    std::vector<Operation> operations;
    bool taskQueued = false;
};

// The connection and its statements; touched only on the store's queue.
class ZAVDataLayerPersistentStoreImpl::Database {
  public:
    Database(std::string name, uint64_t maxNumStoredItems)
        : name_(std::move(name)), maxNumStoredItems_(maxNumStoredItems) {}
    ~Database() { closeDatabase(); }

    // Queued saves and prefix clears, in the order queued, in one transaction: one sync for the lot.
    // Damage found on the way sets the file aside, once, and the batch is written into a new one.
    void write(const std::vector<const Operation*>& batch) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!openDatabaseAndInitStatements()) return;
            // Should another connection hold the file past the busy wait, each step commits on its own.
            bool inTransaction = exec("BEGIN IMMEDIATE");
            double now = currentTimeInMilliseconds();
            deleteEntriesOlderThan(ZAVTypes::saturatingInt64(now));
            for (const Operation* operation : batch) {
                if (operation->clearPrefix) {
                    clearKeysWithPrefix(*operation->clearPrefix);
                    continue;
                }
                makeRoomForEntries(operation->entries.size());
                // Saturated: an expiry past the 64-bit range is "never", not a negative time that expires
                // at once.
                writeEntriesToDatabase(
                    operation->entries,
                    ZAVTypes::saturatingInt64(now + static_cast<double>(operation->lifetime)));
            }
            if (inTransaction && !damaged_ && !exec("COMMIT")) {
                ZAVLog::error(zavFormat("Failed to insert data: %s", sqlite3_errmsg(db_)));
                noteFailure(sqlite3_extended_errcode(db_));
            }
            if (inTransaction && sqlite3_get_autocommit(db_) == 0) exec("ROLLBACK");
            if (!setAsideIfDamaged()) break;
        }
        closeDatabase();
    }

    std::vector<ZAVKeyAndSerialized> load() {
        std::vector<ZAVKeyAndSerialized> rows;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!openDatabaseAndInitStatements()) return {};
            deleteEntriesOlderThan(ZAVTypes::saturatingInt64(currentTimeInMilliseconds()));
            rows = loadSerialized();
            if (!setAsideIfDamaged()) break;
            rows.clear();
        }
        closeDatabase();
        return rows;
    }

  private:
    bool exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    // A failed step: damage (a file that is not, or no longer, a sound database) is remembered, and the
    // operation's end sets the file aside.
    void noteFailure(int code) {
        if (isDamage(code) || (db_ && isDamage(sqlite3_extended_errcode(db_)))) damaged_ = true;
    }

    // True when damage was found and the file was set aside (closed first): the caller starts again on
    // a new file.
    bool setAsideIfDamaged() {
        if (!damaged_) return false;
        damaged_ = false;
        closeDatabase();
        std::filesystem::path path = plat::Paths::library() / name_;
        if (!ZAVModel::setAside(path)) {
            ZAVLog::error("Data-layer store " + path.string() + " cannot be set aside");
            return false;
        }
        ZAVLog::warning("Data-layer store " + path.string() + " was damaged; set aside and started empty");
        return true;
    }

    void clearKeysWithPrefix(const std::string& prefix) {
        // Exact: "=" and substr compare bytes, so letter case counts and "_" or "%" are plain characters.
        std::string sql = zavFormat("DELETE from %s WHERE %s = ?1 OR substr(%s, 1, length(?2)) = ?2;", kTable,
                                    "key", "key");
        if (sqlite3_stmt* s = prepareSql(sql, "delete entries with key prefix")) {
            std::string below = prefix + ".";
            sqlite3_bind_text(s, 1, prefix.data(), static_cast<int>(prefix.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 2, below.data(), static_cast<int>(below.size()), SQLITE_TRANSIENT);
            int rc = sqlite3_step(s);
            if (rc != SQLITE_DONE) {
                ZAVLog::error(
                    zavFormat("Error: Failed to delete entries from database: %s", sqlite3_errmsg(db_)));
                noteFailure(rc);
            }
            sqlite3_finalize(s);
        }
    }

    bool openDatabaseAndInitStatements() {
        if (db_) return true;
        std::filesystem::path library = plat::Paths::library();
        if (library.empty()) return false;
        std::filesystem::path path = library / name_;
        bool damaged = false;
        if (openOnce(path, &damaged)) return true;
        if (!damaged) return false;
        // A file that is not a database is moved aside (kept, so nothing in it is lost) for an empty one.
        if (!ZAVModel::setAside(path)) {
            ZAVLog::error("Data-layer store " + path.string() + " cannot be set aside");
            return false;
        }
        ZAVLog::warning("Data-layer store " + path.string() + " was damaged; set aside and started empty");
        return openOnce(path, &damaged);
    }

    bool openOnce(const std::filesystem::path& path, bool* damaged) {
        *damaged = false;
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK) {
            ZAVLog::error("Unable to open VUZ database");
            sqlite3_close_v2(db_);
            db_ = nullptr;
            return false;
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, kBusyTimeoutMillis);
        if (!tablePresent(kTable)) {
            std::string create = zavFormat(
                "CREATE TABLE IF NOT EXISTS %s ( '%s' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, '%s' TEXT "
                "NOT "
                "NULL, '%s' BLOB NOT NULL, '%s' INTEGER NOT NULL);",
                kTable, "ID", "key", "value", "expires");
            sqlite3_stmt* s = prepareSql(create, "create maps table");
            int rc = s ? sqlite3_step(s) : SQLITE_ERROR;
            sqlite3_finalize(s);
            if (rc != SQLITE_DONE) return failOpen(damaged);
        }
        countStmt_ =
            prepareSql(zavFormat("SELECT COUNT(*) FROM %s", kTable), "query number of stored entries");
        expireStmt_ =
            prepareSql(zavFormat("DELETE from %s WHERE %s <= ?;", kTable, "expires"), "delete old Entries");
        insertStmt_ = prepareSql(
            zavFormat("INSERT INTO %s (%s, %s, %s) VALUES (?, ?, ?)", kTable, "key", "value", "expires"),
            "insert an entry");
        idsStmt_ = prepareSql(zavFormat("SELECT %s FROM %s ORDER BY %s ASC Limit ?", "ID", kTable, "ID"),
                              "fetch entryIds");
        allStmt_ = prepareSql(zavFormat("SELECT %s, %s FROM %s ORDER BY %s", "key", "value", kTable, "ID"),
                              "query data");
        if (!countStmt_ || !expireStmt_ || !insertStmt_ || !idsStmt_ || !allStmt_) return failOpen(damaged);
        return true;
    }

    bool failOpen(bool* damaged) {
        *damaged = isDamage(sqlite3_extended_errcode(db_));
        ZAVLog::error(zavFormat("Error initializing VUZ database: %s", sqlite3_errmsg(db_)));
        closeDatabase();
        return false;
    }

    void closeDatabase() {
        if (!db_) return;
        for (sqlite3_stmt** s : {&expireStmt_, &insertStmt_, &countStmt_, &idsStmt_, &allStmt_}) {
            sqlite3_finalize(*s);
            *s = nullptr;
        }
        if (sqlite3_close(db_) != SQLITE_OK) {
            ZAVLog::error(zavFormat("Failed to close database: %s", sqlite3_errmsg(db_)));
            sqlite3_close_v2(db_);
        }
        db_ = nullptr;
    }

    bool tablePresent(const char* table) {
        sqlite3_stmt* s = nullptr;
        std::string sql = zavFormat("SELECT name FROM sqlite_master WHERE type='table' AND name='%s'", table);
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            ZAVLog::error(zavFormat("Error: Failed to prepare %s statement: %d", "table exists",
                                    sqlite3_extended_errcode(db_)));
            ZAVLog::error(zavFormat("Error: Failed to prepare table exists stmt: %s", sqlite3_errmsg(db_)));
            sqlite3_finalize(s);
            return false;
        }
        bool present = sqlite3_step(s) == SQLITE_ROW;
        sqlite3_finalize(s);
        return present;
    }

    sqlite3_stmt* prepareSql(const std::string& sql, const char* description) {
        if (!db_) return nullptr;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            ZAVLog::error(zavFormat("Error: Failed to prepare %s statement: %d", description,
                                    sqlite3_extended_errcode(db_)));
            sqlite3_finalize(s);
            return nullptr;
        }
        return s;
    }

    uint64_t numStoredEntries() {
        int rc = sqlite3_step(countStmt_);
        uint64_t count = 0;
        if (rc == SQLITE_ROW) {
            count = static_cast<uint64_t>(sqlite3_column_int64(countStmt_, 0));
        } else {
            ZAVLog::error(zavFormat("Error: Failed to retrieve number of entries from database: %s",
                                    sqlite3_errmsg(db_)));
            noteFailure(rc);
        }
        sqlite3_reset(countStmt_);
        return count;
    }

    void deleteEntriesOlderThan(int64_t millis) {
        sqlite3_bind_int64(expireStmt_, 1, millis);
        int rc = sqlite3_step(expireStmt_);
        if (rc != SQLITE_DONE) {
            ZAVLog::error(zavFormat("Error: Failed to delete older entries: %s", sqlite3_errmsg(db_)));
            noteFailure(rc);
        }
        sqlite3_reset(expireStmt_);
    }

    void makeRoomForEntries(uint64_t count) {
        int64_t excess = static_cast<int64_t>(numStoredEntries()) - static_cast<int64_t>(maxNumStoredItems_) +
                         static_cast<int64_t>(count);
        if (excess < 1) return;
        auto ids = peekEntryIds(excess);
        ZAVLog::info(zavFormat("DataLayer store full, deleting %lu entries to make room.",
                               static_cast<unsigned long>(ids.size())));
        deleteEntries(ids);
    }

    std::vector<int64_t> peekEntryIds(int64_t count) {
        std::vector<int64_t> ids;
        if (count <= 0) {
            ZAVLog::warning("Invalid maxEntries specified. Skipping.");
            return ids;
        }
        sqlite3_bind_int64(idsStmt_, 1, count);
        int rc;
        while ((rc = sqlite3_step(idsStmt_)) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(idsStmt_, 0));
        if (rc != SQLITE_DONE) noteFailure(rc);
        sqlite3_reset(idsStmt_);
        return ids;
    }

    void deleteEntries(const std::vector<int64_t>& ids) {
        if (ids.empty()) return;
        // SQLite's limit on bound values is far above maxNumStoredItems, but a batch keeps any count safe.
        constexpr size_t kBatch = 500;
        for (size_t start = 0; start < ids.size(); start += kBatch) {
            size_t n = std::min(kBatch, ids.size() - start);
            std::string markers = "?";
            for (size_t i = 1; i < n; ++i) markers += ", ?";
            sqlite3_stmt* s =
                prepareSql(zavFormat("DELETE from %s WHERE %s IN (%s);", kTable, "ID", markers.c_str()),
                           "delete old Entries");
            if (!s) return;
            // 64-bit: a row id past 2^31 must not wrap onto another row.
            for (size_t i = 0; i < n; ++i) sqlite3_bind_int64(s, static_cast<int>(i + 1), ids[start + i]);
            int rc = sqlite3_step(s);
            if (rc != SQLITE_DONE) {
                ZAVLog::error(
                    zavFormat("Error: Failed to delete entries from database: %s", sqlite3_errmsg(db_)));
                noteFailure(rc);
            }
            sqlite3_finalize(s);
        }
    }

    void writeEntriesToDatabase(const std::vector<ZAVKeyAndSerialized>& entries, int64_t expireTime) {
        for (const auto& entry : entries) {
            const auto& key = entry.key();
            const auto& bytes = entry.serialized();
            sqlite3_bind_text(insertStmt_, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
            // A zero-length blob must still be a blob, not NULL, for the NOT NULL column.
            sqlite3_bind_blob(insertStmt_, 2, bytes.empty() ? "" : static_cast<const void*>(bytes.data()),
                              static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(insertStmt_, 3, expireTime);
            int rc = sqlite3_step(insertStmt_);
            if (rc != SQLITE_DONE) {
                ZAVLog::error(zavFormat("Failed to insert data: %s", sqlite3_errmsg(db_)));
                noteFailure(rc);
                // Damage fails every later step alike: the batch goes again into a new file.
                if (damaged_) {
                    sqlite3_reset(insertStmt_);
                    return;
                }
            }
            sqlite3_reset(insertStmt_);
        }
    }

    std::vector<ZAVKeyAndSerialized> loadSerialized() {
        std::vector<ZAVKeyAndSerialized> rows;
        int rc;
        while ((rc = sqlite3_step(allStmt_)) == SQLITE_ROW) {
            const auto* key = reinterpret_cast<const char*>(sqlite3_column_text(allStmt_, 0));
            int keyLength = sqlite3_column_bytes(allStmt_, 0);
            const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(allStmt_, 1));
            int blobLength = sqlite3_column_bytes(allStmt_, 1);
            rows.emplace_back(key ? std::string(key, static_cast<size_t>(keyLength)) : std::string(),
                              blob ? plat::Bytes(blob, blob + blobLength) : plat::Bytes());
        }
        if (rc != SQLITE_DONE) noteFailure(rc);
        sqlite3_reset(allStmt_);
        return rows;
    }

    const std::string name_;
    const uint64_t maxNumStoredItems_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insertStmt_ = nullptr;
    sqlite3_stmt* countStmt_ = nullptr;
    sqlite3_stmt* allStmt_ = nullptr;
    sqlite3_stmt* idsStmt_ = nullptr;
    sqlite3_stmt* expireStmt_ = nullptr;
    bool damaged_ = false;
};

ZAVDataLayerPersistentStoreImpl::ZAVDataLayerPersistentStoreImpl()
    : ZAVDataLayerPersistentStoreImpl(kDatabaseName, kMaxNumStoredItems) {}

ZAVDataLayerPersistentStoreImpl::ZAVDataLayerPersistentStoreImpl(std::string databaseName,
                                                                 uint64_t maxNumStoredItems)
    : databaseName_(std::move(databaseName)),
      maxNumStoredItems_(maxNumStoredItems),
      database_(std::make_shared<Database>(databaseName_, maxNumStoredItems_)),
      queued_(std::make_shared<Queued>()),
      operationQueue_(kQueueName) {}

// The queue's end runs what is queued first, from its own thread too (the load's answer releasing the
// data layer there).
ZAVDataLayerPersistentStoreImpl::~ZAVDataLayerPersistentStoreImpl() = default;

void ZAVDataLayerPersistentStoreImpl::waitUntilIdle() {
    if (operationQueue_.runningThread()) operationQueue_.sync(nullptr);
}

void ZAVDataLayerPersistentStoreImpl::saveKeyValues(const std::vector<ZAVKeyValue>& keyValues,
                                                    int64_t lifetimeInMillis) {
    Operation save;
    save.entries = serializeValues(keyValues);
    save.lifetime = lifetimeInMillis;
    enqueue(std::move(save));
}

void ZAVDataLayerPersistentStoreImpl::loadSaved(
    std::shared_ptr<ZAVDataLayerPersistentStoreCallback> callback) {
    Operation load;
    load.load = true;
    load.callback = std::move(callback);
    enqueue(std::move(load));
}

void ZAVDataLayerPersistentStoreImpl::clearKeysWithPrefix(const std::string& prefix) {
    Operation clear;
    clear.clearPrefix = prefix;
    enqueue(std::move(clear));
}

void ZAVDataLayerPersistentStoreImpl::enqueue(Operation operation) {
    std::lock_guard<std::mutex> lock(queued_->mutex);
    queued_->operations.push_back(std::move(operation));
    if (queued_->taskQueued) return;
    // The task takes every operation gathered by the time it runs, and those that come while it writes:
    // saves and clears in a row share one transaction, a load between them keeps its place.
    queued_->taskQueued = operationQueue_.post([queued = queued_, database = database_] {
        for (;;) {
            std::vector<Operation> operations;
            {
                std::lock_guard<std::mutex> taken(queued->mutex);
                if (queued->operations.empty()) {
                    queued->taskQueued = false;
                    return;
                }
                operations.swap(queued->operations);
            }
            std::vector<const Operation*> writes;
            for (const Operation& operation : operations) {
                if (!operation.load) {
                    writes.push_back(&operation);
                    continue;
                }
                if (!writes.empty()) database->write(writes);
                writes.clear();
                auto values = unserializeValues(database->load());
                if (operation.callback) operation.callback->onKeyValuesLoaded(values);
            }
            if (!writes.empty()) database->write(writes);
        }
    });
    if (!queued_->taskQueued) queued_->operations.clear();  // the process is exiting
}

std::optional<plat::Bytes> ZAVDataLayerPersistentStoreImpl::serialize(const ZAVObjectPtr& value) {
    // A boolean of its own is archived as the data layer's boolean object; one inside a list or map goes
    // as the archive's plain boolean, and both read back as booleans.
    if (auto boolean = std::dynamic_pointer_cast<const ZAVBoolean>(value))
        return plat::KeyedArchive::archive(std::shared_ptr<const plat::Coding>(boolean));
    auto tree = ZAVObject::toPlatformValue(value);
    if (!tree) return std::nullopt;
    return plat::KeyedArchive::archive(*tree);
}

ZAVObjectPtr ZAVDataLayerPersistentStoreImpl::unserialize(const plat::Bytes& bytes) {
    if (rootClassName(bytes) == kBooleanClass) {
        // Asked each time rather than once: whoever registered it may have taken it away since.
        if (!plat::ClassRegistry::shared().contains(kBooleanClass)) ZAVBoolean::registerCoding();
        auto boolean = plat::KeyedArchive::unarchiveObject<ZAVBoolean>(bytes);
        return boolean ? ZAVBoolean::booleanWithBool(boolean->boolValue()) : nullptr;
    }
    auto tree = plat::KeyedArchive::unarchiveValue(bytes);
    return tree ? fromArchivedValue(*tree) : nullptr;
}

std::vector<ZAVKeyAndSerialized> ZAVDataLayerPersistentStoreImpl::serializeValues(
    const std::vector<ZAVKeyValue>& keyValues) {
    std::vector<ZAVKeyAndSerialized> entries;
    entries.reserve(keyValues.size());
    for (const auto& keyValue : keyValues) {
        auto bytes = serialize(keyValue.value());
        if (!bytes) {
            ZAVLog::warning("Unable to save " + keyValue.description() + ": the value cannot be archived");
            continue;
        }
        entries.emplace_back(keyValue.key(), std::move(*bytes));
    }
    return entries;
}

std::vector<ZAVKeyValue> ZAVDataLayerPersistentStoreImpl::unserializeValues(
    const std::vector<ZAVKeyAndSerialized>& rows) {
    std::vector<ZAVKeyValue> values;
    values.reserve(rows.size());
    for (const auto& row : rows) {
        auto value = unserialize(row.serialized());
        if (!value) {
            ZAVLog::warning("Skipping a saved data-layer value that does not unarchive: " +
                            row.description());
            continue;
        }
        values.emplace_back(row.key(), std::move(value));
    }
    return values;
}
