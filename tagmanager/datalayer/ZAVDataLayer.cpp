#include "tagmanager/datalayer/ZAVDataLayer.h"

#include <limits>
#include <unordered_map>

#include "platform/base/Error.h"
#include "platform/base/Regex.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/values/ZAVTypes.h"

namespace {

const std::string kLifetimeKey = "vuz.lifetime";

}  // namespace

std::vector<std::string> ZAVDataLayer::keyPath(const std::string& key) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t dot = key.find('.', start);
        parts.push_back(key.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) return parts;
        start = dot + 1;
    }
}

namespace {

std::string keyText(const ZAVObjectPtr& key) {
    return ZAVTypes::objectToString(key)->textValue();
}

// Clears the owner mark and lowers the depth however the push ends.
class PushScope {
  public:
    PushScope(std::recursive_mutex& lock, std::atomic<std::thread::id>& owner, int64_t& depth)
        : lock_(lock), owner_(owner), depth_(depth) {
        lock_.lock();
        previousOwner_ = owner_.exchange(std::this_thread::get_id());
        previousDepth_ = depth_++;
    }
    ~PushScope() {
        depth_ = previousDepth_;
        owner_.store(previousOwner_);
        lock_.unlock();
    }
    int64_t previousDepth() const { return previousDepth_; }

  private:
    std::recursive_mutex& lock_;
    std::atomic<std::thread::id>& owner_;
    int64_t& depth_;
    std::thread::id previousOwner_;
    int64_t previousDepth_ = 0;
};

}  // namespace

bool ZAVKeyValue::isEqual(const ZAVKeyValue* other) const {
    if (other == this) return true;
    if (!other) return false;
    return key_ == other->key_ && ZAVObject::Equal()(value_, other->value_);
}

size_t ZAVKeyValue::hash() const {
    return 31u * std::hash<std::string>()(key_) + 7u * ZAVObject::Hash()(value_);
}

std::string ZAVKeyValue::description() const {
    return "ZAVKeyValue(" + key_ + ", " + (value_ ? value_->description() : "(null)") + ")";
}

void ZAVNoopDataLayerPersistentStore::loadSaved(
    std::shared_ptr<ZAVDataLayerPersistentStoreCallback> callback) {
    if (callback) callback->onKeyValuesLoaded({});
}

namespace {

// Keeps the data layer alive until the store has answered.
class ZAVDataLayerCallback final : public ZAVDataLayerPersistentStoreCallback {
  public:
    explicit ZAVDataLayerCallback(std::shared_ptr<ZAVDataLayer> dataLayer)
        : dataLayer_(std::move(dataLayer)) {}
    void onKeyValuesLoaded(const std::vector<ZAVKeyValue>& keyValues) override {
        dataLayer_->onKeyValuesLoaded(keyValues);
    }

  private:
    const std::shared_ptr<ZAVDataLayer> dataLayer_;
};

}  // namespace

ZAVDataLayer::ZAVDataLayer(std::shared_ptr<ZAVDataLayerPersistentStore> store)
    : persistentStore_(std::move(store)) {}

ZAVDataLayer::~ZAVDataLayer() = default;

std::shared_ptr<ZAVDataLayer> ZAVDataLayer::create() {
    return create(std::make_shared<ZAVNoopDataLayerPersistentStore>());
}

std::shared_ptr<ZAVDataLayer> ZAVDataLayer::create(std::shared_ptr<ZAVDataLayerPersistentStore> store) {
    if (!store) store = std::make_shared<ZAVNoopDataLayerPersistentStore>();
    std::shared_ptr<ZAVDataLayer> layer(new ZAVDataLayer(store));
    store->loadSaved(std::make_shared<ZAVDataLayerCallback>(layer));
    return layer;
}

void ZAVDataLayer::onKeyValuesLoaded(const std::vector<ZAVKeyValue>& keyValues) {
    for (const auto& entry : keyValues) pushWithoutWaitingForSaved(expandKey(entry.key(), entry.value()));
    std::lock_guard<std::mutex> lock(loadingMutex_);
    persistentStoreLoaded_ = true;
    loadingCondition_.notify_all();
}

void ZAVDataLayer::push(const ZAVObjectPtr& update) {
    // A push from inside a push (a listener) on the thread that restores the saved entries would
    // otherwise wait for itself.
    if (!persistentStoreLoaded_ && pushLockOwner_.load() != std::this_thread::get_id()) {
        std::unique_lock<std::mutex> lock(loadingMutex_);
        loadingCondition_.wait(lock, [this] { return persistentStoreLoaded_.load(); });
    }
    pushWithoutWaitingForSaved(update);
}

void ZAVDataLayer::pushValue(const ZAVObjectPtr& value, const std::string& key) {
    push(expandKey(key, value));
}

void ZAVDataLayer::pushWithoutWaitingForSaved(const ZAVObjectPtr& update) {
    if (!update || !update->isMap()) {
        ZAVLog::warning("Ignoring a data layer push that is not a map");
        return;
    }
    PushScope scope(pushLock_, pushLockOwner_, pushDepth_);
    updateQueue_.push_front(update);
    if (scope.previousDepth() == 0) processQueuedUpdates();
    savePersistentlyIfNeeded(update);
}

void ZAVDataLayer::processQueuedUpdates() {
    size_t processed = 0;
    while (!updateQueue_.empty()) {
        ZAVObjectPtr update = updateQueue_.back();
        updateQueue_.pop_back();
        processUpdate(update);
        if (++processed > kMaxUpdatesPerDrain) {
            updateQueue_.clear();
            throw plat::Exception("ZAVListenerPushLoop",
                                  "Seems like an infinite loop of pushing to the data layer?");
        }
    }
}

void ZAVDataLayer::processUpdate(const ZAVObjectPtr& update) {
    {
        std::lock_guard<std::mutex> lock(modelMutex_);
        // Only the entry under the update's first key part changes; its subtree is merged as a copy.
        for (const auto& [key, value] : update->entries()) {
            const auto parts = keyPath(keyText(key));
            ZAVObjectPtr source = value;
            for (size_t i = parts.size(); i-- > 1;)
                source = ZAVObject::map({{ZAVObject::text(parts[i]), source}});
            auto& entry = root_[parts.front()];
            entry = mergeValue(source, entry);
        }
        modelVersion_.fetch_add(1, std::memory_order_release);
    }
    std::vector<std::shared_ptr<ZAVDataLayerListener>> listeners;
    {
        std::lock_guard<std::mutex> lock(listenersMutex_);
        listeners = listeners_;
    }
    for (const auto& listener : listeners) listener->changed(update);
}

ZAVObjectPtr ZAVDataLayer::mergeValue(const ZAVObjectPtr& source, const ZAVObjectPtr& target) {
    if (source && source->isList()) return mergeList(source, target);
    if (source && source->isMap()) return mergeMap(source, target);
    return source;
}

ZAVObjectPtr ZAVDataLayer::mergeMap(const ZAVObjectPtr& source, const ZAVObjectPtr& target) {
    const bool isMap = target && target->isMap();
    ZAVObject::Entries entries = isMap ? target->entries() : ZAVObject::Entries{};
    // The update's keys are distinct, so a key the target lacks is simply added at the end. Most updates
    // only change values: the result then has the target's keys in place and shares its key index.
    bool keysKept = isMap;
    for (const auto& [key, value] : source->entries()) {
        auto at = isMap ? target->positionOfKey(key) : std::nullopt;
        ZAVObjectPtr merged = mergeValue(value, at ? entries[*at].second : nullptr);
        if (at) {
            entries[*at].second = merged;
        } else {
            entries.emplace_back(key, merged);
            keysKept = false;
        }
    }
    return keysKept ? ZAVObject::mapWithKeysOf(target, std::move(entries)) : ZAVObject::map(entries);
}

ZAVObjectPtr ZAVDataLayer::mergeList(const ZAVObjectPtr& source, const ZAVObjectPtr& target) {
    ZAVObject::List items = target && target->isList() ? target->items() : ZAVObject::List{};
    const auto& sourceItems = source->items();
    if (items.size() < sourceItems.size()) items.resize(sourceItems.size(), ZAVObject::nullMarker());
    for (size_t i = 0; i < sourceItems.size(); ++i) {
        const auto& e = sourceItems[i];
        if (e && e->isList())
            items[i] = mergeList(e, items[i]);
        else if (e && e->isMap())
            items[i] = mergeMap(e, items[i]);
        else if (e != ZAVObject::notPresent())
            items[i] = e;
    }
    return ZAVObject::list(std::move(items));
}

ZAVObjectPtr ZAVDataLayer::expandKey(const std::string& key, const ZAVObjectPtr& value) {
    auto parts = keyPath(key);
    ZAVObjectPtr result = value;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        result = ZAVObject::map({{ZAVObject::text(*it), result}});
    return result;
}

ZAVObjectPtr ZAVDataLayer::get(const std::string& key) const {
    return get(keyPath(key));
}

ZAVObjectPtr ZAVDataLayer::get(const std::vector<std::string>& path) const {
    ZAVObjectPtr current;
    {
        std::lock_guard<std::mutex> lock(modelMutex_);
        if (path.empty()) {
            ZAVObject::Entries entries;
            for (const auto& [key, value] : root_) entries.emplace_back(ZAVObject::text(key), value);
            return ZAVObject::map(entries);
        }
        auto found = root_.find(path.front());
        if (found == root_.end() || !found->second) return nullptr;
        current = found->second;
    }
    if (current == ZAVObject::nullMarker()) return current;
    for (size_t i = 1; i < path.size(); ++i) {
        if (!current || !current->isMap()) return nullptr;
        current = current->objectForKey(path[i]);
        if (!current) return nullptr;
        if (current == ZAVObject::nullMarker()) return current;
    }
    return current;
}

void ZAVDataLayer::registerListener(const std::shared_ptr<ZAVDataLayerListener>& listener) {
    if (!listener) return;
    std::lock_guard<std::mutex> lock(listenersMutex_);
    for (const auto& existing : listeners_)
        if (existing == listener) return;
    listeners_.push_back(listener);
}

void ZAVDataLayer::unregisterListener(const std::shared_ptr<ZAVDataLayerListener>& listener) {
    std::lock_guard<std::mutex> lock(listenersMutex_);
    std::erase(listeners_, listener);
}

void ZAVDataLayer::clearPersistentKeysWithPrefix(const std::string& prefix) {
    push(ZAVObject::map({{ZAVObject::text(prefix), ZAVObject::nullMarker()}}));
    persistentStore_->clearKeysWithPrefix(prefix);
}

std::optional<int64_t> ZAVDataLayer::parseLifetime(const std::string& text) {
    static const auto pattern = plat::Regex::create("^(\\d+)\\s*([smhd]?)$");
    auto match = pattern ? pattern->firstMatch(text) : std::nullopt;
    if (!match) {
        ZAVLog::info("unknown lifetime: " + text);
        return std::nullopt;
    }
    auto number = ZAVTypes::numberWithString(match->group(1));
    if (!number || !number->isNumber()) {
        ZAVLog::warning("illegal number in lifetime value: " + text);
        return std::nullopt;
    }
    int64_t count =
        number->isIntegerNumber() ? number->int64Value() : ZAVTypes::saturatingInt64(number->doubleValue());
    if (count <= 0) {
        ZAVLog::warning("non-positive lifetime: " + text);
        return std::nullopt;
    }
    const std::string& unit = match->group(2);
    int64_t factor = unit == "s"   ? 1000
                     : unit == "m" ? 60000
                     : unit == "h" ? 3600000
                     : unit == "d" ? 86400000
                                   : 1;
    // Clamped digits times the unit may pass 64 bits: a lifetime that long is as good as forever.
    if (count > std::numeric_limits<int64_t>::max() / factor) return std::numeric_limits<int64_t>::max();
    return count * factor;
}

void ZAVDataLayer::savePersistentlyIfNeeded(const ZAVObjectPtr& update) {
    ZAVObjectPtr lifetime = update;
    for (const char* part : {"vuz", "lifetime"}) {
        if (!lifetime || !lifetime->isMap()) return;
        lifetime = lifetime->objectForKey(part);
    }
    if (!lifetime) return;
    auto millis = parseLifetime(ZAVTypes::objectToString(lifetime)->textValue());
    if (!millis) return;
    persistentStore_->saveKeyValues(flattenMap(update), *millis);
}

std::vector<ZAVKeyValue> ZAVDataLayer::flattenMap(const ZAVObjectPtr& map) {
    std::vector<ZAVKeyValue> out;
    auto walk = [&out](auto& self, const ZAVObjectPtr& node, const std::string* prefix) -> void {
        for (const auto& [key, value] : node->entries()) {
            std::string full = prefix ? *prefix + "." + keyText(key) : keyText(key);
            if (value && value->isMap())
                self(self, value, &full);
            else if (full != kLifetimeKey)
                out.emplace_back(full, value);
        }
    };
    if (map && map->isMap()) walk(walk, map, nullptr);
    return out;
}
