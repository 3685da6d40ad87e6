#pragma once
// The persistent queue of hits waiting to be sent, with the four identity properties (client id, hashed
// advertising identifier, its change count and the time that count was reset).
//
// Two SQLite files in Library/: "zediveanalytics-v3.sql" holds this version's hits; "zediveanalytics-v2.sql"
// (the earlier layout) holds the properties and any hits an earlier version left, which are converted and
// fetched first until that file is empty. All store work runs on "RUVThread"; calls from other threads wait
// for it.
//
// A hit given to addHit is a dictionary {"timestamp": date (optional), "parameters": {key: text or null}}.
// Fetched hits carry "objectID" as well; ids of the earlier file's hits are negative, so an id handed out
// for one file can never delete a hit of the other.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "analytics/store/RUVStoreContext.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/Thread.h"

class RUVDataStore : public std::enable_shared_from_this<RUVDataStore> {
  public:
    static constexpr const char* kStoreFileName = "zediveanalytics-v3.sql";
    static constexpr const char* kOldStoreFileName = "zediveanalytics-v2.sql";
    static constexpr uint64_t kDefaultMaxHitCount = 2000;
    static constexpr double kStaleHitSeconds = 2592000;  // 30 days

    // A new store; its set-up is queued on the worker without waiting.
    static std::shared_ptr<RUVDataStore> dataStore();
    // Library/<name>; empty when there is no Library folder.
    static std::optional<std::filesystem::path> databaseFullPath(const std::string& name);
    // The same as a file URL (plat::fileURLFromPath); empty when there is no Library folder.
    static std::string databaseFullURL(const std::string& name);
    // Removes a store file with its "-wal", "-shm" and "-journal", ignoring errors.
    static void deleteStoreFile(const std::string& name);

    ~RUVDataStore();
    RUVDataStore(const RUVDataStore&) = delete;
    RUVDataStore& operator=(const RUVDataStore&) = delete;

    // Work handed to the worker: the block gets an error slot and returns its result (null for none).
    using Block = std::function<plat::Value(std::optional<plat::Error>& error)>;
    // Runs the block on the worker (at once when called there, waiting otherwise). Skipped, with a null
    // result, when set-up has not run or failed. An exception inside becomes an "NSSQLiteErrorDomain"
    // error, code -1, with the exception's description under "exception". Without an error out-parameter
    // an error is logged as "Datastore error: ...".
    plat::Value performBlockAndWait(const Block& block, std::optional<plat::Error>* error = nullptr);

    bool setUpCoreData();
    bool isSetUp() const { return setUp_; }
    // Inserts a hit in the current file; saved by save(). Without `error` a failure is logged.
    void addHit(const plat::Value& hit, std::optional<plat::Error>* error = nullptr);
    // Trims to maxHitCount, commits both files, and moves to the current file once the earlier one is empty.
    bool save(std::optional<plat::Error>* error = nullptr);
    // Oldest first; limit 0 fetches all.
    plat::Value::Array fetchHitsWithLimit(uint64_t limit, std::optional<plat::Error>* error = nullptr);
    // Ids not found (or of the other file) are skipped. Not saved.
    bool deleteHitsWithIds(const std::vector<plat::Value>& ids, std::optional<plat::Error>* error = nullptr);
    bool deleteAllHits(std::optional<plat::Error>* error = nullptr);
    // Hits in both files; -1 on error.
    int64_t hitCount(std::optional<plat::Error>* error = nullptr);

    std::optional<std::string> clientId();
    void setClientId(const std::optional<std::string>& clientId);
    std::optional<std::string> hashedIdfa();
    void setHashedIdfa(const std::optional<std::string>& hashedIdfa);
    int64_t idfaChangeCount();
    void setIdfaChangeCount(int64_t count);
    int64_t lastChangeTimeStamp();
    void setLastChangeTimeStamp(int64_t secondsSince1970);
    std::optional<std::string> fetchClientId();

    uint64_t maxHitCount() const { return maxHitCount_.load(); }
    void setMaxHitCount(uint64_t count) { maxHitCount_.store(count); }

    // Whether hits are read from the earlier file.
    bool isReadingOldHits();
    // Saves, after the work already queued on the worker. Called when the app resigns active or ends.
    void onExit();

  private:
    RUVDataStore();
    std::shared_ptr<RUVStoreContext> contextWithModel(RUVManagedObjectModel model,
                                                      const std::string& fileName);
    plat::Value runGuarded(const Block& block, std::optional<plat::Error>& error);
    plat::Value::Dictionary oldHitDescription(const plat::Value::Dictionary& record);
    bool deleteExcessHits(std::optional<plat::Error>& error);
    bool removeStaleHits(std::optional<plat::Error>& error);
    std::optional<plat::Value::Dictionary> propertyRecord(const std::string& name,
                                                          std::optional<plat::Error>& error);
    plat::Value readProperty(const std::string& name, const char* attribute);
    bool setProperty(const std::string& name, const std::string& attribute, const plat::Value& value,
                     std::optional<plat::Error>& error);
    // A cached identity field, read once set-up (which fills them) has run.
    template <typename T>
    T identity(const T& field);
    // Caches `value` and stores it as the property `name`.
    template <typename T>
    void setIdentity(T& field, const T& value, const char* name, const char* attribute,
                     const plat::Value& stored);

    // Worker only.
    std::shared_ptr<RUVStoreContext> oldContext_;
    std::shared_ptr<RUVStoreContext> context_;
    std::shared_ptr<RUVStoreContext> currentContext_;
    std::atomic<bool> setUp_{false};

    std::atomic<uint64_t> maxHitCount_{kDefaultMaxHitCount};
    std::vector<uint64_t> lifeCycleObservers_;

    // The cached identity fields are written by setters on the caller's thread and read by getters on
    // any thread.
    std::mutex identityMutex_;
    std::optional<std::string> clientId_;
    std::optional<std::string> hashedIdfa_;
    int64_t idfaChangeCount_ = 0;
    int64_t lastChangeTimeStamp_ = 0;
};
