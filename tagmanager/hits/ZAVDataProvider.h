#pragma once
// The persistent queue of tag hits, "VUZ.sql" in the Library folder. Every operation but the accessors
// only hands its work to ZAVThread and returns; completions run on ZAVThread. Each change is saved at
// once, and a save keeps the store within maxHitCount hits (oldest go first) and maxHitAge seconds.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/runloop/NotificationCenter.h"
#include "tagmanager/base/ZAVModel.h"

class ZAVDataProvider : public std::enable_shared_from_this<ZAVDataProvider> {
  public:
    static constexpr const char* kDatabaseName = "VUZ.sql";
    static constexpr uint64_t kDefaultMaxHitCount = 2000;
    static constexpr double kDefaultMaxHitAge = 2592000;  // 30 days
    static constexpr double kRetryDelaySeconds = 120;

    using Completion = std::function<void(std::vector<ZAVHit>)>;

    // Subscribes to the application's resign-active and terminate notifications and queues the opening
    // of the store.
    static std::shared_ptr<ZAVDataProvider> create();
    ~ZAVDataProvider();
    ZAVDataProvider(const ZAVDataProvider&) = delete;
    ZAVDataProvider& operator=(const ZAVDataProvider&) = delete;

    void addHitWithURLString(const std::string& url);
    // The oldest hits, at most `limit` (0: all).
    void fetchHitsWithLimit(uint64_t limit, Completion completion);
    // The same, leaving out hits whose last failed send is less than 120 seconds ago.
    void fetchNotRecentlyAttemptedHitsWithLimit(uint64_t limit, Completion completion);
    // `done`, when given, hears on ZAVThread whether the deletion was saved.
    void deleteHits(std::vector<ZAVHit> hits, std::function<void(bool deleted)> done = nullptr);
    // Marks a failed send: the first failure time once, the last one every time.
    void updateFailedHits(std::vector<ZAVHit> hits);
    // Waits until the work handed in so far is saved.
    void onExit();

    // Whether the store held hits when it was last counted; true from the opening on.
    bool hasHits() const { return hasHits_.load(); }
    // Called (on ZAVThread) whenever hasHits is set; the dispatcher's watch on it.
    void setHasHitsChangeHook(std::function<void()> hook);

    uint64_t maxHitCount() const { return maxHitCount_.load(); }
    void setMaxHitCount(uint64_t count) { maxHitCount_.store(count); }
    double maxHitAge() const { return maxHitAge_.load(); }
    void setMaxHitAge(double seconds) { maxHitAge_.store(seconds); }
    // Whether the store is open (read on ZAVThread).
    bool hasContext() const { return context_ != nullptr; }

  private:
    ZAVDataProvider() = default;
    void open();
    void fetch(uint64_t limit, std::optional<double> lastDispatchedBefore, const Completion& completion);
    // Runs `change` in a transaction with the limits applied, then counts the hits; whether it was saved.
    bool change(const std::function<bool()>& change);
    bool deleteExcessHits();
    void setHasHits(bool hasHits);
    void recount();

    std::unique_ptr<plat::SqliteFile> context_;  // ZAVThread only
    std::atomic<bool> hasHits_{false};
    std::atomic<uint64_t> maxHitCount_{kDefaultMaxHitCount};
    std::atomic<double> maxHitAge_{kDefaultMaxHitAge};
    std::mutex hookMutex_;
    std::function<void()> hasHitsChanged_;
    std::vector<plat::NotificationCenter::Token> observers_;
};
