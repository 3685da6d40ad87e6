#include "analytics/hits/RUVTrackerModel.h"

#include "analytics/base/RUVHitUtil.h"
#include "analytics/base/RUVStringUtil.h"
#include "analytics/base/RUVWorker.h"
#include "analytics/store/RUVDataStore.h"
#include "platform/base/ClassRegistry.h"
#include "platform/base/Clock.h"
#include "platform/base/Lasting.h"
#include "platform/storage/Bundle.h"

namespace {
// Starts anywhere in 1..0x7FFFFFFE, differently in every process (the kernel's generator, not the seeded
// one): the collection side tells launches apart by it.
std::atomic<uint32_t>& counter() {
    static std::atomic<uint32_t> value{[] {
        constexpr uint32_t kRange = 0x7FFFFFFE;
        uint32_t r;
        do r = RUVHitUtil::systemRandom32();
        while (r >= 2 * kRange);  // uniform: the last few values would favour the smallest
        return r % kRange + 1;
    }()};
    return value;
}

std::string infoText(const plat::Bundle& bundle, const char* key) {
    const plat::Value& v = bundle.objectForInfoDictionaryKey(key);
    const std::string* s = v.stringIf();
    return s ? *s : std::string();
}
}  // namespace

const RUVHitRecord& RUVTrackerModel::defaultParameters() {
    static const plat::Lasting<RUVHitRecord> table([] {
        RUVHitRecord p;
        const plat::Bundle bundle = plat::Bundle::main();
        std::string name = infoText(bundle, plat::Bundle::kNameKey);
        if (name.empty()) name = infoText(bundle, plat::Bundle::kIdentifierKey);
        if (!name.empty()) {
            p["&an"] = name;
        } else {
            RUV_LOG(RUVLogLevel::Warning, "could not load application name or identifier.");
        }
        const std::string version = infoText(bundle, plat::Bundle::kShortVersionKey);
        if (!version.empty()) p["&av"] = version;
        const std::string id = bundle.bundleIdentifier();
        if (!id.empty()) p["&aid"] = id;
        p["ruvVersion"] = RUVWorker::kVersion;
        return p;
    }());
    return *table;
}

const RUVHitRecord& RUVTrackerModel::forcedParameters() {
    static const plat::Lasting<RUVHitRecord> table(RUVHitRecord{{"&_v", "mi3.1.2"}, {"&v", "1"}});
    return *table;
}

const std::vector<std::string>& RUVTrackerModel::requiredParameters() {
    static const plat::Lasting<std::vector<std::string>> keys([] {
        std::vector<std::string> k{"&ul", "&idfa", "&ate", "&dm", "&sr", "&a", "&_crc", "&cid", "&ds"};
        for (const auto& [key, value] : defaultParameters()) k.push_back(key);
        return k;
    }());
    return *keys;
}

std::shared_ptr<RUVAdIdProvider> RUVTrackerModel::provider() {
    auto found = plat::ClassRegistry::shared().provider<RUVAdIdProvider>(kProviderClassName);
    if (!found) {
        // Looked up on every use so a provider registered later (tests) is seen; the line goes out once.
        static std::atomic<bool> logged{false};
        if (!logged.exchange(true)) RUV_LOG(RUVLogLevel::Verbose, "idfa class missing, won't collect idfa");
    }
    return found;
}

RUVTrackerModel::RUVTrackerModel(std::shared_ptr<RUVDataStore> dataStore)
    : parameters_(defaultParameters()), dataStore_(std::move(dataStore)) {
    if (!dataStore_) {
        RUV_LOG(RUVLogLevel::Warning, "nil dataStore, new dataStore instance being created for testing.");
        dataStore_ = RUVDataStore::dataStore();
    }
}

std::optional<RUVHitValue> RUVTrackerModel::objectForKey(const std::string& key) const {
    if (key.empty()) return std::nullopt;
    if (auto it = parameters_.find(key); it != parameters_.end()) return it->second;
    bool known = false;
    auto value = computed(key, &known);
    if (!known || !value) return std::nullopt;
    return RUVHitValue(std::move(value));
}

void RUVTrackerModel::setObject(const RUVHitValue& value, const std::string& key) {
    if (key.empty()) return;
    parameters_[key] = value;
}

std::optional<std::string> RUVTrackerModel::computed(const std::string& key, bool* known) const {
    *known = true;
    if (key == "&ul") return RUVHitUtil::systemLanguage();
    if (key == "&dm") return RUVHitUtil::deviceModelVersion();
    if (key == "&sr") {
        std::string size = RUVHitUtil::systemScreenResolution();
        if (size.empty()) return std::nullopt;
        return size;
    }
    if (key == "&a") return adnetId();
    if (key == "&_crc") return crc();
    if (key == "&cid") return clientId();
    if (key == "&ds") return std::string("app");
    if (key == "&idfa") return idfa();
    if (key == "&ate") return adTargetingEnabled();
    *known = false;
    return std::nullopt;
}

RUVHitRecord RUVTrackerModel::buildDictionary() const {
    RUVHitRecord record;
    for (const std::string& key : requiredParameters()) {
        auto value = objectForKey(key);
        record[key] = value ? *value : RUVHitValue();
    }
    for (const auto& [key, value] : parameters_) record[key] = value;
    for (const auto& [key, value] : forcedParameters()) record[key] = value;
    auto& cid = record["&cid"];
    if (!cid || cid->empty()) cid = dataStore_->clientId();
    record["&z"] = RUVHitUtil::cacheBuster();
    return record;
}

RUVTrackerModel RUVTrackerModel::copyWithOverride(const RUVHitRecord& overrides) const {
    RUVTrackerModel copy = *this;
    for (const auto& [key, value] : overrides) copy.setObject(value, key);
    return copy;
}

void RUVTrackerModel::willSendScreenView() {
    uint32_t current = counter().load();
    uint32_t next;
    do {
        next = current + 1;
        if (static_cast<int32_t>(next) < 0) next = 1;
    } while (!counter().compare_exchange_weak(current, next));
}

uint32_t RUVTrackerModel::screenViewCounter() {
    return counter().load();
}
void RUVTrackerModel::setScreenViewCounter(uint32_t value) {
    counter().store(value);
}

std::optional<std::string> RUVTrackerModel::adnetId() const {
    return RUVStringUtil::uintString(counter().load());
}

std::optional<std::string> RUVTrackerModel::crc() const {
    const auto now = static_cast<int64_t>(plat::Clock::shared().nowSeconds());
    if (now - dataStore_->lastChangeTimeStamp() > 86400) {
        dataStore_->setLastChangeTimeStamp(now);
        dataStore_->setIdfaChangeCount(0);
    }
    return RUVStringUtil::intString(dataStore_->idfaChangeCount());
}

std::optional<std::string> RUVTrackerModel::clientId() const {
    return dataStore_->clientId();
}

std::optional<std::string> RUVTrackerModel::idfa() const {
    if (!allowIDFACollection_) return std::nullopt;
    auto p = provider();
    if (!p) return std::nullopt;
    auto identifier = p->retrieveId();
    if (!identifier) return std::nullopt;
    const std::string hash = RUVHitUtil::hashIdfa(*identifier, dataStore_->clientId().value_or(""));
    auto stored = dataStore_->hashedIdfa();
    if (!stored || *stored != hash) {
        if (stored) {
            // A new advertising identifier starts a new client.
            dataStore_->setIdfaChangeCount(dataStore_->idfaChangeCount() + 1);
            dataStore_->setClientId(RUVHitUtil::generateClientId());
        }
        dataStore_->setHashedIdfa(RUVHitUtil::hashIdfa(*identifier, dataStore_->clientId().value_or("")));
    }
    return identifier;
}

std::optional<std::string> RUVTrackerModel::adTargetingEnabled() const {
    if (!allowIDFACollection_) return std::nullopt;
    auto p = provider();
    if (!p) return std::nullopt;
    return std::string(p->retrieveTrackingFlag() ? "1" : "0");
}
