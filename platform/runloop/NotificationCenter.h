#pragma once
// Named notifications delivered synchronously, on the posting thread, to every observer registered for
// that name (and sender, when an observer names one). Observers may be added or removed from inside a
// delivery: a removed observer is not called again, one added is first called at the next post.
#include <any>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plat {

struct Notification {
    std::string name;
    const void* sender = nullptr;
    std::any userInfo;
};

class NotificationCenter {
  public:
    using Callback = std::function<void(const Notification&)>;
    using Token = uint64_t;

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    static NotificationCenter& defaultCenter();

    // An empty name observes every notification; a non-null sender only that sender's. Returns 0 for a
    // null callback.
    Token addObserver(std::string name, Callback callback, const void* sender = nullptr);
    // Once this returns the callback is not started again (a delivery already inside it on another
    // thread finishes).
    void removeObserver(Token token);
    void post(std::string name, const void* sender = nullptr, std::any userInfo = {});
    void post(const Notification& notification);
    size_t observerCount() const;
    // Forgets every observer (a test's leftovers).
    void removeAllObservers();

  private:
    struct Entry {
        Token token;
        std::string name;
        const void* sender;
        Callback callback;
        std::atomic<bool> removed{false};
    };

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Entry>> entries_;
    Token nextToken_ = 1;
};

}  // namespace plat
