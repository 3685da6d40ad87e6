#include "analytics/store/RUVDataStore.h"

#include <system_error>

#include "analytics/base/RUVHitUtil.h"
#include "analytics/base/RUVUtil.h"
#include "analytics/base/RUVWorker.h"
#include "platform/base/Assert.h"
#include "platform/base/Clock.h"
#include "platform/net/FileURL.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/storage/Paths.h"
#include "platform/ui/Application.h"

namespace {

constexpr const char* kHitEntity = "RUVHit";
constexpr const char* kPropertyEntity = "RUVProperty";
constexpr const char* kClientIdProperty = "ClientId";
constexpr const char* kIdfaProperty = "idfa";
constexpr const char* kNumChangesProperty = "numChanges";
constexpr const char* kChangeTsProperty = "changeTS";

}  // namespace

std::shared_ptr<RUVDataStore> RUVDataStore::dataStore() {
    std::shared_ptr<RUVDataStore> store(new RUVDataStore());
    // Set-up runs first on the worker; everything queued after it runs after it.
    std::weak_ptr<RUVDataStore> weak = store;
    RUVWorker::post([weak] {
        if (auto s = weak.lock()) s->setUpCoreData();
    });
    // The store saves when the app leaves the foreground or ends, after the hits already queued.
    for (const char* name :
         {plat::Application::kWillResignActiveNotification, plat::Application::kWillTerminateNotification}) {
        store->lifeCycleObservers_.push_back(
            plat::NotificationCenter::defaultCenter().addObserver(name, [weak](const plat::Notification&) {
                if (auto s = weak.lock()) s->onExit();
            }));
    }
    return store;
}

RUVDataStore::RUVDataStore() = default;

RUVDataStore::~RUVDataStore() {
    for (auto token : lifeCycleObservers_) plat::NotificationCenter::defaultCenter().removeObserver(token);
    // Connections are closed on the worker, as all store work is, and inside the task: a task is destroyed
    // only after the whole batch it ran in, and whoever waits for the worker after this (a reader of the
    // file) must find the connections closed and the log folded back into the file.
    if (!RUVWorker::thread().isCurrent() && (context_ || oldContext_)) {
        RUVWorker::post(
            [a = std::move(context_), b = std::move(oldContext_), c = std::move(currentContext_)]() mutable {
                c.reset();
                b.reset();
                a.reset();
            });
    }
}

std::optional<std::filesystem::path> RUVDataStore::databaseFullPath(const std::string& name) {
    std::filesystem::path library = plat::Paths::library();
    if (library.empty()) return std::nullopt;
    return library / name;
}

std::string RUVDataStore::databaseFullURL(const std::string& name) {
    auto path = databaseFullPath(name);
    return path ? plat::fileURLFromPath(*path) : std::string();
}

void RUVDataStore::deleteStoreFile(const std::string& name) {
    auto path = databaseFullPath(name);
    if (path) RUVStoreContext::removeWithSideFiles(*path);
}

plat::Value RUVDataStore::runGuarded(const Block& block, std::optional<plat::Error>& error) {
    if (!currentContext_) return plat::Value();
    auto fromException = [&error](const plat::Exception& ex) {
        plat::Value::Dictionary info;
        info.set("exception", plat::Value(*RUVUtil::descriptionFromException(&ex)));
        error = plat::Error(RUVStoreContext::kErrorDomain, -1, std::move(info));
    };
    try {
        return block(error);
    } catch (const plat::Exception& ex) {
        fromException(ex);
    } catch (const std::exception& ex) {
        fromException(plat::Exception("NSGenericException", ex.what()));
    }
    return plat::Value();
}

plat::Value RUVDataStore::performBlockAndWait(const Block& block, std::optional<plat::Error>* errorOut) {
    std::optional<plat::Error> error;
    plat::Value result;
    RUVWorker::sync([&] { result = runGuarded(block, error); });
    if (errorOut) {
        *errorOut = std::move(error);
    } else if (error) {
        RUV_LOG(RUVLogLevel::Error, "Datastore error: %s", RUVUtil::describeError(error).c_str());
    }
    return result;
}

std::shared_ptr<RUVStoreContext> RUVDataStore::contextWithModel(RUVManagedObjectModel model,
                                                                const std::string& fileName) {
    auto path = databaseFullPath(fileName);
    if (!path) return nullptr;
    auto context = std::make_shared<RUVStoreContext>(std::move(model), *path);
    std::optional<plat::Error> error;
    if (context->open(error) != RUVStoreContext::OpenStatus::Open) {
        // A busy, locked or unreadable file is kept as it is; the context tries again at its next use.
        RUV_LOG(RUVLogLevel::Error, "Error creating database with URL file://%s: %s", path->c_str(),
                RUVUtil::describeError(error).c_str());
    }
    return context;
}

bool RUVDataStore::setUpCoreData() {
    PLAT_ASSERT(RUVWorker::thread().isCurrent(), "set-up runs on RUVThread");
    if (setUp_) return true;
    oldContext_ = contextWithModel(RUVCoreDataUtil::oldModel(), kOldStoreFileName);
    context_ = contextWithModel(RUVCoreDataUtil::model(), kStoreFileName);
    currentContext_ = context_;
    if (!context_ || !oldContext_) {
        RUV_LOG(RUVLogLevel::Error, "Can not setup Core Data stack");
        currentContext_.reset();
        return false;
    }
    std::optional<plat::Error> error;
    if (oldContext_->count(kHitEntity, error) > 0) {
        currentContext_ = oldContext_;
        performBlockAndWait(
            [this](std::optional<plat::Error>& e) { return plat::Value(removeStaleHits(e)); });
    }
    auto stored = fetchClientId();
    if (stored) {
        std::lock_guard lock(identityMutex_);
        clientId_ = stored;
    } else {
        setClientId(RUVHitUtil::generateClientId());
    }
    plat::Value idfa = readProperty(kIdfaProperty, "string");
    plat::Value changes = readProperty(kNumChangesProperty, "number");
    plat::Value stamp = readProperty(kChangeTsProperty, "number");
    {
        std::lock_guard lock(identityMutex_);
        if (const std::string* s = idfa.stringIf()) hashedIdfa_ = *s;
        idfaChangeCount_ = changes.toInt64();
        lastChangeTimeStamp_ = stamp.toInt64();
    }
    setUp_ = true;
    return true;
}

void RUVDataStore::addHit(const plat::Value& hit, std::optional<plat::Error>* errorOut) {
    performBlockAndWait(
        [this, &hit](std::optional<plat::Error>& error) {
            const plat::Value::Dictionary none;
            const plat::Value::Dictionary* given = hit.dictionaryIf();
            if (!given) given = &none;
            std::optional<int64_t> id;
            if (given->contains("timestamp")) {
                id = context_->insert(kHitEntity, *given, error);
            } else {
                plat::Value::Dictionary values = *given;
                values.set("timestamp", plat::Value(plat::Value::Date{plat::Clock::shared().nowSeconds()}));
                id = context_->insert(kHitEntity, values, error);
            }
            return id ? plat::Value(*id) : plat::Value();
        },
        errorOut);
}

bool RUVDataStore::save(std::optional<plat::Error>* errorOut) {
    plat::Value ok = performBlockAndWait(
        [this](std::optional<plat::Error>& error) {
            if (!context_->hasChanges() && !oldContext_->hasChanges()) return plat::Value(true);
            bool fine = deleteExcessHits(error);
            fine = context_->save(error) && fine;
            fine = oldContext_->save(error) && fine;
            if (currentContext_ != context_) {
                std::optional<plat::Error> countError;
                if (oldContext_->count(kHitEntity, countError) == 0) currentContext_ = context_;
            }
            return plat::Value(fine && !error);
        },
        errorOut);
    return ok.toBool();
}

bool RUVDataStore::deleteExcessHits(std::optional<plat::Error>& error) {
    uint64_t max = maxHitCount();
    if (max == 0) return true;
    int64_t n = hitCount(&error);
    if (n < 0) return false;
    if (static_cast<uint64_t>(n) <= max) return true;
    RUV_LOG(RUVLogLevel::Verbose, "Deleting excess hits.");
    plat::Value::Array excess = fetchHitsWithLimit(static_cast<uint64_t>(n) - max, &error);
    if (error) return false;
    std::vector<plat::Value> ids;
    for (const auto& hit : excess) ids.push_back(hit[RUVStoreContext::kObjectIdKey]);
    return deleteHitsWithIds(ids, &error);
}

plat::Value::Array RUVDataStore::fetchHitsWithLimit(uint64_t limit, std::optional<plat::Error>* errorOut) {
    plat::Value result = performBlockAndWait(
        [this, limit](std::optional<plat::Error>& error) {
            RUVFetchRequest request;
            request.entityName = kHitEntity;
            request.fetchLimit = limit;
            request.sortBy = "timestamp";
            auto records = currentContext_->fetch(request, error);
            plat::Value::Array hits;
            bool old = currentContext_ != context_;
            for (auto& record : records) {
                hits.push_back(plat::Value(old ? oldHitDescription(record) : std::move(record)));
            }
            return plat::Value(std::move(hits));
        },
        errorOut);
    if (auto* hits = result.arrayIf()) return std::move(*hits);
    return {};
}

plat::Value::Dictionary RUVDataStore::oldHitDescription(const plat::Value::Dictionary& record) {
    plat::Value::Dictionary out;
    const plat::Value* data = record.find("parametersData");
    for (const char* key : {"timestamp", "dispatchUrl"}) {
        if (const plat::Value* v = record.find(key)) out.set(key, *v);
    }
    if (const plat::Value* id = record.find(RUVStoreContext::kObjectIdKey)) {
        out.set(RUVStoreContext::kObjectIdKey, plat::Value(-id->toInt64()));
    }
    if (data) out.set("parametersData", *data);
    plat::Value::Dictionary parameters;
    std::optional<plat::Value> unarchived;
    if (data && data->isData()) unarchived = plat::KeyedArchive::unarchiveValue(*data->dataIf());
    if (unarchived && unarchived->isDictionary()) {
        for (const auto& [key, value] : *unarchived->dictionaryIf()) {
            plat::Value text = value;
            if (value.isNumber()) text = plat::Value(*RUVUtil::valueForNumber(value));
            parameters.set("&" + key, std::move(text));
        }
    } else {
        RUV_LOG(RUVLogLevel::Error, "Unreadable parameters of a stored hit");
    }
    const plat::Value& url = record.find("dispatchUrl") ? *record.find("dispatchUrl") : plat::Value::null();
    if (const std::string* u = url.stringIf(); u && u->starts_with("http:")) {
        parameters.set("useSecure", plat::Value("0"));
    }
    const plat::Value* version = record.find("ruvVersion");
    parameters.set("ruvVersion", version ? *version : plat::Value());
    out.set("parameters", plat::Value(std::move(parameters)));
    return out;
}

bool RUVDataStore::deleteHitsWithIds(const std::vector<plat::Value>& ids,
                                     std::optional<plat::Error>* errorOut) {
    plat::Value ok = performBlockAndWait(
        [this, &ids](std::optional<plat::Error>& error) {
            bool old = currentContext_ != context_;
            for (const auto& idValue : ids) {
                if (!idValue.isInteger()) continue;
                int64_t id = *idValue.integerIf();
                // An id of the other file is stale here.
                if ((id < 0) != old || id == 0) continue;
                currentContext_->deleteObject(kHitEntity, old ? -id : id, error);
                if (error) return plat::Value(false);
            }
            return plat::Value(true);
        },
        errorOut);
    return ok.toBool();
}

bool RUVDataStore::deleteAllHits(std::optional<plat::Error>* errorOut) {
    plat::Value ok = performBlockAndWait(
        [this](std::optional<plat::Error>& error) {
            return plat::Value(oldContext_->deleteAll(kHitEntity, error) &&
                               context_->deleteAll(kHitEntity, error));
        },
        errorOut);
    return ok.toBool();
}

int64_t RUVDataStore::hitCount(std::optional<plat::Error>* errorOut) {
    plat::Value n = performBlockAndWait(
        [this](std::optional<plat::Error>& error) {
            int64_t count = context_->count(kHitEntity, error);
            if (count < 0) return plat::Value(-1);
            if (currentContext_ != context_) {
                int64_t more = currentContext_->count(kHitEntity, error);
                if (more < 0) return plat::Value(-1);
                count += more;
            }
            return plat::Value(count);
        },
        errorOut);
    return n.isInteger() ? *n.integerIf() : -1;
}

bool RUVDataStore::removeStaleHits(std::optional<plat::Error>& error) {
    RUVFetchRequest request;
    request.entityName = kHitEntity;
    request.atOrBefore = {{"timestamp", plat::Clock::shared().nowSeconds() - kStaleHitSeconds}};
    request.includesPropertyValues = false;
    for (const auto& record : currentContext_->fetch(request, error)) {
        currentContext_->deleteObject(kHitEntity, record.find(RUVStoreContext::kObjectIdKey)->toInt64(),
                                      error);
        if (error) return false;
    }
    if (error) return false;
    return save(&error);
}

std::optional<plat::Value::Dictionary> RUVDataStore::propertyRecord(const std::string& name,
                                                                    std::optional<plat::Error>& error) {
    RUVFetchRequest request;
    request.entityName = kPropertyEntity;
    request.fetchLimit = 1;
    request.equals = {{"name", plat::Value(name)}};
    auto records = oldContext_->fetch(request, error);
    if (records.empty()) return std::nullopt;
    return std::move(records.front());
}

bool RUVDataStore::setProperty(const std::string& name, const std::string& attribute,
                               const plat::Value& value, std::optional<plat::Error>& error) {
    auto record = propertyRecord(name, error);
    if (error) return false;
    plat::Value::Dictionary values{{attribute, value}};
    if (!record) {
        values.set("name", plat::Value(name));
        values.set("ruvVersion", plat::Value(RUVWorker::kVersion));
        if (!oldContext_->insert(kPropertyEntity, values, error)) return false;
    } else if (!oldContext_->update(kPropertyEntity, record->find(RUVStoreContext::kObjectIdKey)->toInt64(),
                                    values, error)) {
        return false;
    }
    return oldContext_->save(error);
}

plat::Value RUVDataStore::readProperty(const std::string& name, const char* attribute) {
    return performBlockAndWait([&](std::optional<plat::Error>& error) {
        auto record = propertyRecord(name, error);
        const plat::Value* value = record ? record->find(attribute) : nullptr;
        return value ? *value : plat::Value();
    });
}

std::optional<std::string> RUVDataStore::fetchClientId() {
    plat::Value id = readProperty(kClientIdProperty, "string");
    if (const std::string* s = id.stringIf()) return *s;
    return std::nullopt;
}

std::optional<std::string> RUVDataStore::clientId() {
    {
        std::lock_guard lock(identityMutex_);
        if (clientId_) return clientId_;
    }
    return identity(clientId_);
}

template <typename T>
T RUVDataStore::identity(const T& field) {
    performBlockAndWait([](std::optional<plat::Error>&) { return plat::Value(); });
    std::lock_guard lock(identityMutex_);
    return field;
}

template <typename T>
void RUVDataStore::setIdentity(T& field, const T& value, const char* name, const char* attribute,
                               const plat::Value& stored) {
    {
        std::lock_guard lock(identityMutex_);
        field = value;
    }
    performBlockAndWait([&](std::optional<plat::Error>& error) {
        return plat::Value(setProperty(name, attribute, stored, error));
    });
}

void RUVDataStore::setClientId(const std::optional<std::string>& clientId) {
    setIdentity(clientId_, clientId, kClientIdProperty, "string",
                clientId ? plat::Value(*clientId) : plat::Value());
}

std::optional<std::string> RUVDataStore::hashedIdfa() {
    return identity(hashedIdfa_);
}

void RUVDataStore::setHashedIdfa(const std::optional<std::string>& hashedIdfa) {
    setIdentity(hashedIdfa_, hashedIdfa, kIdfaProperty, "string",
                hashedIdfa ? plat::Value(*hashedIdfa) : plat::Value());
}

int64_t RUVDataStore::idfaChangeCount() {
    return identity(idfaChangeCount_);
}

void RUVDataStore::setIdfaChangeCount(int64_t count) {
    setIdentity(idfaChangeCount_, count, kNumChangesProperty, "number", plat::Value(count));
}

int64_t RUVDataStore::lastChangeTimeStamp() {
    return identity(lastChangeTimeStamp_);
}

void RUVDataStore::setLastChangeTimeStamp(int64_t secondsSince1970) {
    setIdentity(lastChangeTimeStamp_, secondsSince1970, kChangeTsProperty, "number",
                plat::Value(secondsSince1970));
}

bool RUVDataStore::isReadingOldHits() {
    return performBlockAndWait(
               [this](std::optional<plat::Error>&) { return plat::Value(currentContext_ != context_); })
        .toBool();
}

void RUVDataStore::onExit() {
    save();
}
