#pragma once
// The tag manager's shared key/value model. Maps pushed in are merged deeply into the model, listeners
// hear of every push, and a push carrying "vuz.lifetime" is also handed to a persistent store whose saved
// entries come back into the model when the next data layer starts. Any thread may push, read and
// register; pushes are serialised, and a listener may push from inside its notification (that push is
// queued behind the running one).
//
// Below its top level the model is made of immutable nodes: a merge copies the path it changes, so `get`
// hands out a subtree that no later push can change under the reader.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "tagmanager/values/ZAVObject.h"

namespace plat {
class Regex;
}

// One persistent entry: a dotted key and its value.
class ZAVKeyValue {
  public:
    ZAVKeyValue(std::string key, ZAVObjectPtr value) : key_(std::move(key)), value_(std::move(value)) {}
    const std::string& key() const { return key_; }
    const ZAVObjectPtr& value() const { return value_; }
    bool isEqual(const ZAVKeyValue* other) const;
    size_t hash() const;
    std::string description() const;

  private:
    std::string key_;
    ZAVObjectPtr value_;
};

class ZAVDataLayerPersistentStoreCallback {
  public:
    virtual ~ZAVDataLayerPersistentStoreCallback() = default;
    virtual void onKeyValuesLoaded(const std::vector<ZAVKeyValue>& keyValues) = 0;
};

class ZAVDataLayerPersistentStore {
  public:
    virtual ~ZAVDataLayerPersistentStore() = default;
    virtual void saveKeyValues(const std::vector<ZAVKeyValue>& keyValues, int64_t lifetimeInMillis) = 0;
    // Must answer the callback exactly once, on any thread.
    virtual void loadSaved(std::shared_ptr<ZAVDataLayerPersistentStoreCallback> callback) = 0;
    virtual void clearKeysWithPrefix(const std::string& prefix) = 0;
};

// Keeps nothing: the saved entries are an empty list, delivered at once.
class ZAVNoopDataLayerPersistentStore final : public ZAVDataLayerPersistentStore {
  public:
    void saveKeyValues(const std::vector<ZAVKeyValue>&, int64_t) override {}
    void loadSaved(std::shared_ptr<ZAVDataLayerPersistentStoreCallback> callback) override;
    void clearKeysWithPrefix(const std::string&) override {}
};

class ZAVDataLayerListener {
  public:
    virtual ~ZAVDataLayerListener() = default;
    // The update as pushed (not expanded), after it has been merged.
    virtual void changed(const ZAVObjectPtr& update) = 0;
};

class ZAVDataLayer : public std::enable_shared_from_this<ZAVDataLayer> {
  public:
    static constexpr size_t kMaxUpdatesPerDrain = 500;

    // With the no-op store; loaded before it returns.
    static std::shared_ptr<ZAVDataLayer> create();
    static std::shared_ptr<ZAVDataLayer> create(std::shared_ptr<ZAVDataLayerPersistentStore> store);

    // Waits until the saved entries are in (except on a thread already inside a push). A non-map is
    // logged and ignored. Raises "ZAVListenerPushLoop" when listeners keep pushing past 500 updates.
    void push(const ZAVObjectPtr& update);
    void pushValue(const ZAVObjectPtr& value, const std::string& key);
    // The value at the dotted key, the null marker, or null when there is none.
    ZAVObjectPtr get(const std::string& key) const;
    // The same for a key already split at its dots (see keyPath).
    ZAVObjectPtr get(const std::vector<std::string>& path) const;
    // Raised by every change of the model: a reader that saw the same count before and after its reads
    // read one state of the model.
    uint64_t modelVersion() const { return modelVersion_.load(std::memory_order_acquire); }
    void registerListener(const std::shared_ptr<ZAVDataLayerListener>& listener);
    void unregisterListener(const std::shared_ptr<ZAVDataLayerListener>& listener);
    void clearPersistentKeysWithPrefix(const std::string& prefix);
    void onKeyValuesLoaded(const std::vector<ZAVKeyValue>& keyValues);
    bool isPersistentStoreLoaded() const { return persistentStoreLoaded_.load(); }

    // "a.b" gives {"a", "b"}.
    static std::vector<std::string> keyPath(const std::string& key);
    // 'a.b' with v gives {'a': {'b': v}}.
    static ZAVObjectPtr expandKey(const std::string& key, const ZAVObjectPtr& value);
    // Milliseconds of a lifetime text ("2h", "5 d", "10"); empty, with a log line, when it is none.
    static std::optional<int64_t> parseLifetime(const std::string& text);
    // The update's leaves as dotted entries, "vuz.lifetime" left out.
    static std::vector<ZAVKeyValue> flattenMap(const ZAVObjectPtr& map);
    // The source merged over the target: lists and maps deeply, anything else replaces it.
    static ZAVObjectPtr mergeValue(const ZAVObjectPtr& source, const ZAVObjectPtr& target);
    static ZAVObjectPtr mergeMap(const ZAVObjectPtr& source, const ZAVObjectPtr& target);
    static ZAVObjectPtr mergeList(const ZAVObjectPtr& source, const ZAVObjectPtr& target);

    ~ZAVDataLayer();

  private:
    explicit ZAVDataLayer(std::shared_ptr<ZAVDataLayerPersistentStore> store);
    void pushWithoutWaitingForSaved(const ZAVObjectPtr& update);
    void processQueuedUpdates();
    void processUpdate(const ZAVObjectPtr& update);
    void savePersistentlyIfNeeded(const ZAVObjectPtr& update);

    std::atomic<bool> persistentStoreLoaded_{false};
    mutable std::mutex listenersMutex_;
    std::vector<std::shared_ptr<ZAVDataLayerListener>> listeners_;
    mutable std::mutex modelMutex_;
    // The model's top level, changed in place under modelMutex_; everything below it is made of
    // immutable nodes (a merge copies the path it changes), so `get` hands out a subtree that no later
    // push can change under the reader.
    std::unordered_map<std::string, ZAVObjectPtr> root_;
    std::atomic<uint64_t> modelVersion_{0};
    std::recursive_mutex pushLock_;
    // The thread inside a push, so that its own nested pushes neither wait for loading nor deadlock.
    std::atomic<std::thread::id> pushLockOwner_{};
    std::deque<ZAVObjectPtr> updateQueue_;
    int64_t pushDepth_ = 0;
    const std::shared_ptr<ZAVDataLayerPersistentStore> persistentStore_;
    std::mutex loadingMutex_;
    std::condition_variable loadingCondition_;
};
