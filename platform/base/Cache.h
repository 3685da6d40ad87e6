#pragma once
// An evicting cache: objects with a cost, dropped least recently used first once the total cost or the
// count passes its limit (0 means no limit). An object whose cost alone passes the limit is not kept.
// Thread-safe; evicted objects are destroyed after the lock is released, so their destructors may use
// the cache.
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace plat {

template <typename Key, typename Object, typename Hash = std::hash<Key>, typename Equal = std::equal_to<Key>>
class Cache {
  public:
    explicit Cache(size_t totalCostLimit = 0, size_t countLimit = 0)
        : totalCostLimit_(totalCostLimit), countLimit_(countLimit) {}
    Cache(const Cache&) = delete;
    Cache& operator=(const Cache&) = delete;

    // A copy of the object, which becomes the most recently used; nothing when absent.
    std::optional<Object> object(const Key& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = index_.find(key);
        if (it == index_.end()) return std::nullopt;
        entries_.splice(entries_.end(), entries_, it->second);
        return it->second->object;
    }

    void setObject(const Key& key, Object object, size_t cost = 0) {
        std::vector<Entry> evicted;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (auto it = index_.find(key); it != index_.end()) {
                totalCost_ -= it->second->cost;
                evicted.push_back(std::move(*it->second));
                entries_.erase(it->second);
                index_.erase(it);
            }
            entries_.push_back(Entry{key, std::move(object), cost});
            index_.emplace(key, std::prev(entries_.end()));
            totalCost_ += cost;
            trim(&evicted);
        }
    }

    void removeObject(const Key& key) {
        std::optional<Entry> removed;
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = index_.find(key);
        if (it == index_.end()) return;
        totalCost_ -= it->second->cost;
        removed = std::move(*it->second);
        entries_.erase(it->second);
        index_.erase(it);
    }

    void removeAllObjects() {
        std::list<Entry> removed;
        std::lock_guard<std::mutex> lock(mutex_);
        removed.swap(entries_);
        index_.clear();
        totalCost_ = 0;
    }

    void setTotalCostLimit(size_t limit) {
        std::vector<Entry> evicted;
        std::lock_guard<std::mutex> lock(mutex_);
        totalCostLimit_ = limit;
        trim(&evicted);
    }
    void setCountLimit(size_t limit) {
        std::vector<Entry> evicted;
        std::lock_guard<std::mutex> lock(mutex_);
        countLimit_ = limit;
        trim(&evicted);
    }
    size_t totalCostLimit() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return totalCostLimit_;
    }
    size_t countLimit() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return countLimit_;
    }
    size_t count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_.size();
    }
    size_t totalCost() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return totalCost_;
    }

  private:
    struct Entry {
        Key key;
        Object object;
        size_t cost;
    };

    // Declared so that `evicted` (a local of the caller, declared before the lock) outlives the lock.
    void trim(std::vector<Entry>* evicted) {
        while (!entries_.empty() && ((totalCostLimit_ && totalCost_ > totalCostLimit_) ||
                                     (countLimit_ && entries_.size() > countLimit_))) {
            Entry& oldest = entries_.front();
            totalCost_ -= oldest.cost;
            index_.erase(oldest.key);
            evicted->push_back(std::move(oldest));
            entries_.pop_front();
        }
    }

    mutable std::mutex mutex_;
    std::list<Entry> entries_;  // least recently used first
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash, Equal> index_;
    size_t totalCost_ = 0;
    size_t totalCostLimit_;
    size_t countLimit_;
};

}  // namespace plat
