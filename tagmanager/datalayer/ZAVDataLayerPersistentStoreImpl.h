#pragma once
// The data layer's saved entries in SQLite ("zedive_zodaruzivu.db" in the Library folder, table
// `datalayer`): entries pushed with a lifetime are kept until they expire, at most maxNumStoredItems of
// them (the oldest go first), and come back into the data layer at its next start. The public operations
// only serialise values and queue work; every database step runs on the store's own serial queue, which
// opens the database at the start of each operation and closes it at the end. Saves and clears queued
// while the queue is busy go to the file together, in one transaction, so the file keeps up with pushes.
// A batch that does not reach the file (held by another connection, a full disk) is rolled back whole and
// waits, in memory and in order, for the next write or a retry timer on the queue. The queue's thread
// ends (at exit, at the workers' shutdown, with the store) with one last try; what that cannot write is
// dropped, counted in one error line.
// A file found damaged, at the open or at any later step, is set aside (kept) with a warning and the
// store goes on with a new one.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "tagmanager/base/ZAVWorkers.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"

// An entry in stored form: its dotted key and its value as a keyed archive.
class ZAVKeyAndSerialized {
  public:
    ZAVKeyAndSerialized(std::string key, plat::Bytes serialized)
        : key_(std::move(key)), serialized_(std::move(serialized)) {}
    const std::string& key() const { return key_; }
    const plat::Bytes& serialized() const { return serialized_; }
    std::string description() const;

  private:
    std::string key_;
    plat::Bytes serialized_;
};

class ZAVDataLayerPersistentStoreImpl final : public ZAVDataLayerPersistentStore {
  public:
    static constexpr const char* kDatabaseName = "zedive_zodaruzivu.db";
    static constexpr uint64_t kMaxNumStoredItems = 2000;
    static constexpr const char* kQueueName = "ZAVDataLayerStore";

    ZAVDataLayerPersistentStoreImpl();
    ZAVDataLayerPersistentStoreImpl(std::string databaseName, uint64_t maxNumStoredItems);
    // Runs the work already queued and the last try, then ends the queue; also when the last holder lets
    // go from inside a queued operation (the load's answer releasing the data layer there).
    ~ZAVDataLayerPersistentStoreImpl() override;
    ZAVDataLayerPersistentStoreImpl(const ZAVDataLayerPersistentStoreImpl&) = delete;
    ZAVDataLayerPersistentStoreImpl& operator=(const ZAVDataLayerPersistentStoreImpl&) = delete;

    void saveKeyValues(const std::vector<ZAVKeyValue>& keyValues, int64_t lifetimeInMillis) override;
    // The callback hears the entries in the order saved, on the store's queue; an empty list when the
    // database cannot be opened.
    void loadSaved(std::shared_ptr<ZAVDataLayerPersistentStoreCallback> callback) override;
    // Removes the key equal to the prefix and every key below it ("a" takes "a" and "a.b", not "ab").
    void clearKeysWithPrefix(const std::string& prefix) override;
    // Waits until the work queued so far has run.
    void waitUntilIdle();

    const std::string& databaseName() const { return databaseName_; }
    uint64_t maxNumStoredItems() const { return maxNumStoredItems_; }

    // One value as a keyed archive; empty, with a warning, for a value that has no archived form.
    static std::optional<plat::Bytes> serialize(const ZAVObjectPtr& value);
    // Null when the bytes are not an archive of a data-layer value.
    static ZAVObjectPtr unserialize(const plat::Bytes& bytes);
    // Entries whose value cannot be archived are left out with a warning.
    static std::vector<ZAVKeyAndSerialized> serializeValues(const std::vector<ZAVKeyValue>& keyValues);
    // Order kept; a row whose bytes do not unarchive is left out with a warning.
    static std::vector<ZAVKeyValue> unserializeValues(const std::vector<ZAVKeyAndSerialized>& rows);

    class Database;
    struct Operation;
    struct Queued;

  private:
    void enqueue(Operation operation);

    const std::string databaseName_;
    const uint64_t maxNumStoredItems_;
    std::shared_ptr<Database> database_;  // used only on the queue
    std::shared_ptr<Queued> queued_;
    ZAVWorker operationQueue_;
};
