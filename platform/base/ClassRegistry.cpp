#include "platform/base/ClassRegistry.h"

#include "platform/base/Lasting.h"

namespace plat {

ClassRegistry& ClassRegistry::shared() {
    static Lasting<ClassRegistry> registry;
    return *registry;
}

void ClassRegistry::put(std::string name, std::any entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[std::move(name)] = std::move(entry);
}

std::any ClassRegistry::get(std::string_view name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(name);
    return it == entries_.end() ? std::any() : it->second;
}

bool ClassRegistry::unregister(std::string_view name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(name);
    if (it == entries_.end()) return false;
    entries_.erase(it);
    return true;
}

bool ClassRegistry::contains(std::string_view name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.find(name) != entries_.end();
}

}  // namespace plat
