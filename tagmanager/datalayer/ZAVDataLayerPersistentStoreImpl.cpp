#include "tagmanager/datalayer/ZAVDataLayerPersistentStoreImpl.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/base/ClassRegistry.h"
#include "platform/base/Clock.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "platform/storage/SqliteFile.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/base/ZAVModel.h"
#include "tagmanager/values/ZAVBoolean.h"
#include "tagmanager/values/ZAVTypes.h"

namespace {

constexpr const char* kTable = "datalayer";
constexpr const char* kBooleanClass = "ZAVBoolean";
// Two data layers may share the file; the second waits this long for the first's operation.
constexpr int kBusyTimeoutMillis = 1000;
// Pushes that could not be written are tried again after this long, doubling up to the last.
constexpr double kFirstRetrySeconds = 2;
constexpr double kLastRetrySeconds = 120;
constexpr size_t kMaxWaitingPushes = 1000;

double currentTimeInMilliseconds() {
    return plat::Clock::shared().nowSeconds() * 1000.0;
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
    // Milliseconds; the lifetime counts from the push, however late the write.
    double savedAt = 0;
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
class ZAVDataLayerPersistentStoreImpl::Database
    : public std::enable_shared_from_this<ZAVDataLayerPersistentStoreImpl::Database> {
  public:
    using Statement = plat::SqliteFile::Statement;
    using Status = plat::SqliteFile::OpenStatus;

    Database(std::string name, uint64_t maxNumStoredItems)
        : name_(std::move(name)), maxNumStoredItems_(maxNumStoredItems) {}
    ~Database() { closeDatabase(); }

    // A save or clear joins the pushes that wait for the file, behind the older ones.
    void wait(Operation operation) { waiting_.push_back(std::move(operation)); }

    // Writes the waiting pushes, all or none. Those that fail stay, for the next write or the retry timer
    // (none after the last try).
    void flush(bool last = false) {
        if (waiting_.empty()) return;
        trimWaiting();
        if (write(waiting_)) {
            if (retrying_)
                ZAVLog::warning(zavFormat("Data-layer store: %zu waiting pushes written", waiting_.size()));
            waiting_.clear();
            retrying_ = false;
            retryDelaySeconds_ = kFirstRetrySeconds;
            plat::RunLoop::current().cancelTimer(retryTimer_);
            return;
        }
        if (last) return;
        retrying_ = true;
        ZAVLog::warning(zavFormat("Data-layer store: write failed; pushes waiting: %zu", waiting_.size()));
        // The queue's loop is the store's own, so a timer id it knows is this store's retry.
        plat::RunLoop& loop = plat::RunLoop::current();
        if (loop.hasTimer(retryTimer_)) return;
        retryTimer_ = loop.addTimer(retryDelaySeconds_, [weak = weak_from_this()] {
            if (auto database = weak.lock()) database->flush();
        });
        retryDelaySeconds_ = std::min(retryDelaySeconds_ * 2, kLastRetrySeconds);
    }

    // The queue's thread is ending, and its retry timer with it: one last try. A thread started later
    // begins with no retry pending.
    void finish() {
        flush(true);
        if (waiting_.empty()) return;
        plat::RunLoop::current().cancelTimer(retryTimer_);
        retrying_ = false;
        retryDelaySeconds_ = kFirstRetrySeconds;
        ZAVLog::error(zavFormat("Data-layer store closed with %zu pushes unwritten", waiting_.size()));
        waiting_.clear();
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
    // Saves and prefix clears, in the order queued, in one transaction: one sync for the lot, and all of
    // them or none. Damage found on the way sets the file aside, once, and the batch is written into a new
    // one. False when the batch did not reach the file.
    bool write(const std::deque<Operation>& batch) {
        bool written = false;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!openDatabaseAndInitStatements()) break;
            written = writeInTransaction(batch);
            if (written || !setAsideIfDamaged()) break;
        }
        closeDatabase();
        return written;
    }

    bool writeInTransaction(const std::deque<Operation>& batch) {
        failed_ = false;
        plat::SqliteFile::Transaction transaction(file_);
        if (!transaction.begun()) {
            logFailure("begin a transaction", file_.errorCode());
            return false;
        }
        // SQLite may roll the whole transaction back by itself (a full disk, an I/O error): nothing more
        // may run, as it would commit on its own.
        auto intact = [&] { return !failed_ && file_.inTransaction(); };
        deleteEntriesOlderThan(ZAVTypes::saturatingInt64(currentTimeInMilliseconds()));
        for (auto operation = batch.begin(); operation != batch.end() && intact(); ++operation) {
            if (operation->clearPrefix) {
                clearKeysWithPrefix(*operation->clearPrefix);
                continue;
            }
            makeRoomForEntries(operation->entries.size());
            // Saturated: an expiry past the 64-bit range is "never", not a negative time that expires at
            // once.
            if (intact())
                writeEntriesToDatabase(
                    operation->entries,
                    ZAVTypes::saturatingInt64(operation->savedAt + static_cast<double>(operation->lifetime)));
        }
        if (!intact()) return false;
        if (!transaction.commit()) {
            ZAVLog::error(zavFormat("Failed to insert data: %s", file_.errorMessage().c_str()));
            noteFailure(file_.errorCode());
            return false;
        }
        return true;
    }

    // Past the bound the oldest waiting pushes go. Saves after the newest clear that hold
    // maxNumStoredItems entries push every older row out of the file as they are written, so what is
    // older than them changes nothing; a hard cap bounds the rest.
    void trimWaiting() {
        size_t newerEntries = 0;
        size_t keepFrom = waiting_.size() > kMaxWaitingPushes ? waiting_.size() - kMaxWaitingPushes : 0;
        for (size_t i = waiting_.size(); i > keepFrom; --i) {
            const Operation& operation = waiting_[i - 1];
            if (operation.clearPrefix) break;
            newerEntries += operation.entries.size();
            if (newerEntries >= maxNumStoredItems_) {
                keepFrom = i - 1;
                break;
            }
        }
        if (keepFrom == 0) return;
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(keepFrom));
        ZAVLog::warning(zavFormat("Data-layer store: %zu oldest waiting pushes dropped, %zu wait", keepFrom,
                                  waiting_.size()));
    }

    // A failed step: damage (a file that is not, or no longer, a sound database) is remembered, and the
    // operation's end sets the file aside.
    void noteFailure(int code) {
        if (plat::SqliteFile::isDamage(code) || plat::SqliteFile::isDamage(file_.errorCode()))
            damaged_ = true;
        failed_ = true;
    }

    void logFailure(const char* what, int code) {
        ZAVLog::error(zavFormat("Error: Failed to %s: %s", what, file_.errorMessage().c_str()));
        noteFailure(code);
    }

    // True when damage was found and the file was set aside (closed first): the caller starts again on
    // a new file.
    bool setAsideIfDamaged() {
        if (!damaged_) return false;
        damaged_ = false;
        closeDatabase();
        std::filesystem::path path = plat::Paths::library() / name_;
        std::error_code error;
        plat::SqliteFile::setAside(path, error);
        ZAVModel::logSetAside("Data-layer store", path, error);
        return !error;
    }

    void clearKeysWithPrefix(const std::string& prefix) {
        // Exact: "=" and substr compare bytes, so letter case counts and "_" or "%" are plain characters.
        std::string sql = zavFormat("DELETE from %s WHERE %s = ?1 OR substr(%s, 1, length(?2)) = ?2;", kTable,
                                    "key", "key");
        Statement s = prepareSql(sql, "delete entries with key prefix");
        if (!s.ok()) return noteFailure(file_.errorCode());
        s.bindText(1, prefix);
        s.bindText(2, prefix + ".");
        int rc = s.step();
        if (rc != plat::SqliteFile::kDone) logFailure("delete entries from database", rc);
    }

    bool openDatabaseAndInitStatements() {
        if (file_.isOpen()) return true;
        std::filesystem::path library = plat::Paths::library();
        if (library.empty()) return false;
        // A file that is not a database is moved aside (kept, so nothing in it is lost) for an empty one.
        auto status = file_.openReplacingDamaged(
            library / name_, {.busyTimeoutMillis = kBusyTimeoutMillis, .quickCheck = false},
            [this] { return initStatements(); },
            [this](const std::filesystem::path& path, const std::error_code& error) {
                // What an emptied file or a refused log cost is said before the set-aside.
                auto stage = file_.failedStage();
                if (stage == plat::SqliteFile::Stage::Emptied || stage == plat::SqliteFile::Stage::Log)
                    ZAVLog::warning("Data-layer store " + path.string() + ": " + file_.errorMessage());
                ZAVModel::logSetAside("Data-layer store", path, error);
            });
        if (file_.failedStage() == plat::SqliteFile::Stage::Open)
            ZAVLog::error("Unable to open VUZ database");
        if (status != Status::Open) closeDatabase();
        return status == Status::Open;
    }

    Status initStatements() {
        if (!tablePresent(kTable)) {
            std::string create = zavFormat(
                "CREATE TABLE IF NOT EXISTS %s ( '%s' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, '%s' TEXT "
                "NOT "
                "NULL, '%s' BLOB NOT NULL, '%s' INTEGER NOT NULL);",
                kTable, "ID", "key", "value", "expires");
            Statement s = prepareSql(create, "create maps table");
            if ((s.ok() ? s.step() : plat::SqliteFile::kError) != plat::SqliteFile::kDone) return failOpen();
        }
        countStmt_ =
            cachedSql(zavFormat("SELECT COUNT(*) FROM %s", kTable), "query number of stored entries");
        expireStmt_ =
            cachedSql(zavFormat("DELETE from %s WHERE %s <= ?;", kTable, "expires"), "delete old Entries");
        insertStmt_ = cachedSql(
            zavFormat("INSERT INTO %s (%s, %s, %s) VALUES (?, ?, ?)", kTable, "key", "value", "expires"),
            "insert an entry");
        idsStmt_ = cachedSql(zavFormat("SELECT %s FROM %s ORDER BY %s ASC Limit ?", "ID", kTable, "ID"),
                             "fetch entryIds");
        allStmt_ = cachedSql(zavFormat("SELECT %s, %s FROM %s ORDER BY %s", "key", "value", kTable, "ID"),
                             "query data");
        if (!countStmt_ || !expireStmt_ || !insertStmt_ || !idsStmt_ || !allStmt_) return failOpen();
        return Status::Open;
    }

    Status failOpen() {
        bool damaged = plat::SqliteFile::isDamage(file_.errorCode());
        ZAVLog::error(zavFormat("Error initializing VUZ database: %s", file_.errorMessage().c_str()));
        closeDatabase();
        return damaged ? Status::Damaged : Status::Failed;
    }

    void closeDatabase() {
        expireStmt_ = insertStmt_ = countStmt_ = idsStmt_ = allStmt_ = nullptr;
        file_.close();
    }

    bool tablePresent(const char* table) {
        std::string sql = zavFormat("SELECT name FROM sqlite_master WHERE type='table' AND name='%s'", table);
        Statement s = file_.prepare(sql);
        if (!s.ok()) {
            ZAVLog::error(
                zavFormat("Error: Failed to prepare %s statement: %d", "table exists", file_.errorCode()));
            ZAVLog::error(
                zavFormat("Error: Failed to prepare table exists stmt: %s", file_.errorMessage().c_str()));
            return false;
        }
        return s.step() == plat::SqliteFile::kRow;
    }

    Statement prepareSql(const std::string& sql, const char* description) {
        Statement s = file_.prepare(sql);
        if (file_.isOpen() && !s.ok())
            ZAVLog::error(
                zavFormat("Error: Failed to prepare %s statement: %d", description, file_.errorCode()));
        return s;
    }

    // Kept for the connection's life (the file's cache); null, logged, when it cannot be prepared.
    Statement* cachedSql(const std::string& sql, const char* description) {
        Statement* s = file_.cached(sql);
        if (!s)
            ZAVLog::error(
                zavFormat("Error: Failed to prepare %s statement: %d", description, file_.errorCode()));
        return s;
    }

    uint64_t numStoredEntries() {
        plat::SqliteFile::Lease s(countStmt_);
        int rc = s->step();
        if (rc == plat::SqliteFile::kRow) return static_cast<uint64_t>(s->columnInt64(0));
        logFailure("retrieve number of entries from database", rc);
        return 0;
    }

    void deleteEntriesOlderThan(int64_t millis) {
        plat::SqliteFile::Lease s(expireStmt_);
        s->bindInt64(1, millis);
        int rc = s->step();
        if (rc != plat::SqliteFile::kDone) logFailure("delete older entries", rc);
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
        plat::SqliteFile::Lease s(idsStmt_);
        s->bindInt64(1, count);
        int rc;
        while ((rc = s->step()) == plat::SqliteFile::kRow) ids.push_back(s->columnInt64(0));
        if (rc != plat::SqliteFile::kDone) noteFailure(rc);
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
            Statement s =
                prepareSql(zavFormat("DELETE from %s WHERE %s IN (%s);", kTable, "ID", markers.c_str()),
                           "delete old Entries");
            if (!s.ok()) return noteFailure(file_.errorCode());
            // 64-bit: a row id past 2^31 must not wrap onto another row.
            for (size_t i = 0; i < n; ++i) s.bindInt64(static_cast<int>(i + 1), ids[start + i]);
            int rc = s.step();
            if (rc != plat::SqliteFile::kDone) logFailure("delete entries from database", rc);
        }
    }

    void writeEntriesToDatabase(const std::vector<ZAVKeyAndSerialized>& entries, int64_t expireTime) {
        for (const auto& entry : entries) {
            plat::SqliteFile::Lease s(insertStmt_);
            s->bindText(1, entry.key());
            // A zero-length blob stays a blob, not NULL, for the NOT NULL column.
            s->bindBlob(2, entry.serialized().data(), entry.serialized().size());
            s->bindInt64(3, expireTime);
            int rc = s->step();
            if (rc != plat::SqliteFile::kDone) {
                ZAVLog::error(zavFormat("Failed to insert data: %s", file_.errorMessage().c_str()));
                // A value SQLite refuses would fail alike on every try: only that entry is lost.
                if (file_.inTransaction() && plat::SqliteFile::refusesValue(rc)) continue;
                noteFailure(rc);
                return;
            }
        }
    }

    std::vector<ZAVKeyAndSerialized> loadSerialized() {
        std::vector<ZAVKeyAndSerialized> rows;
        plat::SqliteFile::Lease s(allStmt_);
        int rc;
        while ((rc = s->step()) == plat::SqliteFile::kRow) {
            size_t size = 0;
            const uint8_t* blob = s->columnBlob(1, &size);
            rows.emplace_back(s->columnText(0), blob ? plat::Bytes(blob, blob + size) : plat::Bytes());
        }
        if (rc != plat::SqliteFile::kDone) noteFailure(rc);
        return rows;
    }

    const std::string name_;
    const uint64_t maxNumStoredItems_;
    plat::SqliteFile file_;
    // The file's cached statements, while it is open.
    Statement* insertStmt_ = nullptr;
    Statement* countStmt_ = nullptr;
    Statement* allStmt_ = nullptr;
    Statement* idsStmt_ = nullptr;
    Statement* expireStmt_ = nullptr;
    bool damaged_ = false;
    // A step of the batch being written failed: it is rolled back whole.
    bool failed_ = false;
    // Saves and clears not yet in the file, oldest first.
    std::deque<Operation> waiting_;
    bool retrying_ = false;
    double retryDelaySeconds_ = kFirstRetrySeconds;
    plat::RunLoop::TimerId retryTimer_ = 0;
};

ZAVDataLayerPersistentStoreImpl::ZAVDataLayerPersistentStoreImpl()
    : ZAVDataLayerPersistentStoreImpl(kDatabaseName, kMaxNumStoredItems) {}

ZAVDataLayerPersistentStoreImpl::ZAVDataLayerPersistentStoreImpl(std::string databaseName,
                                                                 uint64_t maxNumStoredItems)
    : databaseName_(std::move(databaseName)),
      maxNumStoredItems_(maxNumStoredItems),
      database_(std::make_shared<Database>(databaseName_, maxNumStoredItems_)),
      queued_(std::make_shared<Queued>()),
      operationQueue_(kQueueName) {
    operationQueue_.atEnd([database = database_] { database->finish(); });
}

ZAVDataLayerPersistentStoreImpl::~ZAVDataLayerPersistentStoreImpl() = default;

void ZAVDataLayerPersistentStoreImpl::waitUntilIdle() {
    if (operationQueue_.runningThread()) operationQueue_.sync(nullptr);
}

void ZAVDataLayerPersistentStoreImpl::saveKeyValues(const std::vector<ZAVKeyValue>& keyValues,
                                                    int64_t lifetimeInMillis) {
    Operation save;
    save.entries = serializeValues(keyValues);
    save.lifetime = lifetimeInMillis;
    save.savedAt = currentTimeInMilliseconds();
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
    // the saves and clears waiting share one transaction, a load between them keeps its place.
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
            for (Operation& operation : operations) {
                if (!operation.load) {
                    database->wait(std::move(operation));
                    continue;
                }
                database->flush();
                auto values = unserializeValues(database->load());
                if (operation.callback) operation.callback->onKeyValuesLoaded(values);
            }
            database->flush();
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
