#include "platform/runloop/NotificationCenter.h"

#include <algorithm>

#include "platform/base/Lasting.h"

namespace plat {

NotificationCenter& NotificationCenter::defaultCenter() {
    static Lasting<NotificationCenter> center;
    return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Callback callback,
                                                          const void* sender) {
    if (!callback) return 0;
    auto entry = std::make_shared<Entry>();
    entry->name = std::move(name);
    entry->sender = sender;
    entry->callback = std::move(callback);
    std::lock_guard<std::mutex> lock(mutex_);
    entry->token = nextToken_++;
    entries_.push_back(entry);
    return entry->token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it =
        std::find_if(entries_.begin(), entries_.end(), [token](const auto& e) { return e->token == token; });
    if (it == entries_.end()) return;
    (*it)->removed.store(true);
    entries_.erase(it);
}

void NotificationCenter::post(std::string name, const void* sender, std::any userInfo) {
    post(Notification{std::move(name), sender, std::move(userInfo)});
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& e : entries_) {
            if (!e->name.empty() && e->name != notification.name) continue;
            if (e->sender && e->sender != notification.sender) continue;
            matching.push_back(e);
        }
    }
    // Called outside the lock so observers can post, add and remove freely.
    for (const auto& e : matching) {
        if (!e->removed.load()) e->callback(notification);
    }
}

void NotificationCenter::removeAllObservers() {
    std::vector<std::shared_ptr<Entry>> entries;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries.swap(entries_);
    }
    for (auto& entry : entries) entry->removed = true;
}

size_t NotificationCenter::observerCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

}  // namespace plat
