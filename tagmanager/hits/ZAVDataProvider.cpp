#include "tagmanager/hits/ZAVDataProvider.h"

#include "platform/base/Clock.h"
#include "platform/ui/Application.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/hits/ZAVDispatchUtil.h"

namespace {

double now() {
    return plat::Clock::shared().nowSeconds();
}

// Runs one statement with its bound values; false on error.
bool run(plat::SqliteFile& db, const char* sql,
         const std::function<void(plat::SqliteFile::Statement&)>& bind) {
    auto s = db.prepare(sql);
    if (!s.ok()) return false;
    bind(s);
    return s.step() == plat::SqliteFile::kDone;
}

}  // namespace

std::shared_ptr<ZAVDataProvider> ZAVDataProvider::create() {
    std::shared_ptr<ZAVDataProvider> provider(new ZAVDataProvider());
    std::weak_ptr<ZAVDataProvider> weak = provider;
    auto& center = plat::NotificationCenter::defaultCenter();
    for (const char* name :
         {plat::Application::kWillResignActiveNotification, plat::Application::kWillTerminateNotification}) {
        provider->observers_.push_back(center.addObserver(name, [weak](const plat::Notification&) {
            if (auto self = weak.lock()) self->onExit();
        }));
    }
    ZAVDispatchUtil::background([provider] { provider->open(); }, false);
    return provider;
}

ZAVDataProvider::~ZAVDataProvider() {
    for (auto token : observers_) plat::NotificationCenter::defaultCenter().removeObserver(token);
}

void ZAVDataProvider::open() {
    if (auto path = ZAVDispatchUtil::databaseFullPath(kDatabaseName)) {
        context_ = ZAVModel::contextWithPath(*path);
    } else {
        ZAVLog::error("No Library folder for the hit store");
    }
    // So that the first dispatch looks at the store.
    setHasHits(true);
}

void ZAVDataProvider::setHasHitsChangeHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(hookMutex_);
    hasHitsChanged_ = std::move(hook);
}

void ZAVDataProvider::setHasHits(bool hasHits) {
    hasHits_.store(hasHits);
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex_);
        hook = hasHitsChanged_;
    }
    if (hook) hook();
}

void ZAVDataProvider::recount() {
    setHasHits(ZAVModel::hitCount(context_.get()) > 0);
}

void ZAVDataProvider::addHitWithURLString(const std::string& url) {
    auto self = shared_from_this();
    ZAVDispatchUtil::background(
        [self, url] {
            self->change([&] {
                return run(*self->context_, "INSERT INTO ZAVHit (dispatchURL, timestamp) VALUES (?1, ?2)",
                           [&](plat::SqliteFile::Statement& s) {
                               s.bindText(1, url);
                               s.bindDouble(2, now());
                           });
            });
        },
        false);
}

void ZAVDataProvider::fetchHitsWithLimit(uint64_t limit, Completion completion) {
    auto self = shared_from_this();
    ZAVDispatchUtil::background([self, limit, completion] { self->fetch(limit, std::nullopt, completion); },
                                false);
}

void ZAVDataProvider::fetchNotRecentlyAttemptedHitsWithLimit(uint64_t limit, Completion completion) {
    auto self = shared_from_this();
    ZAVDispatchUtil::background(
        [self, limit, completion] { self->fetch(limit, now() - kRetryDelaySeconds, completion); }, false);
}

void ZAVDataProvider::fetch(uint64_t limit, std::optional<double> before, const Completion& completion) {
    bool ok = false;
    std::vector<ZAVHit> hits = ZAVModel::requestHits(context_.get(), limit, before, &ok);
    // From the store's count, not from this result: hits that all failed a moment ago still wait to be
    // sent, and the dispatch timer must keep running for them.
    if (ok) {
        recount();
    } else {
        setHasHits(false);
    }
    if (completion) completion(std::move(hits));
}

void ZAVDataProvider::deleteHits(std::vector<ZAVHit> hits, std::function<void(bool)> done) {
    auto self = shared_from_this();
    ZAVDispatchUtil::background(
        [self, hits = std::move(hits), done = std::move(done)] {
            bool deleted = hits.empty() || self->change([&] {
                for (const ZAVHit& hit : hits) {
                    if (!run(*self->context_, "DELETE FROM ZAVHit WHERE id = ?1",
                             [&](plat::SqliteFile::Statement& s) { s.bindInt64(1, hit.objectId); }))
                        return false;
                }
                return true;
            });
            if (done) done(deleted);
        },
        false);
}

void ZAVDataProvider::updateFailedHits(std::vector<ZAVHit> hits) {
    auto self = shared_from_this();
    ZAVDispatchUtil::background(
        [self, hits = std::move(hits)] {
            if (hits.empty()) return;
            double when = now();
            self->change([&] {
                for (const ZAVHit& hit : hits) {
                    if (!run(*self->context_,
                             "UPDATE ZAVHit SET dispatchTime = coalesce(dispatchTime, ?1), "
                             "lastDispatchTime = ?1 WHERE id = ?2",
                             [&](plat::SqliteFile::Statement& s) {
                                 s.bindDouble(1, when);
                                 s.bindInt64(2, hit.objectId);
                             }))
                        return false;
                }
                return true;
            });
        },
        false);
}

void ZAVDataProvider::onExit() {
    // Every change is committed as it is made: waiting for the queue is waiting for the save.
    ZAVDispatchUtil::background([] {}, true);
}

bool ZAVDataProvider::change(const std::function<bool()>& step) {
    if (!context_) return false;
    {
        plat::SqliteFile::Transaction transaction(*context_);
        if (!transaction.begun()) {
            ZAVLog::error("Hit store busy: " + context_->errorMessage());
            return false;
        }
        if (!step() || !deleteExcessHits() || !transaction.commit()) {
            ZAVLog::error("Hit store save failed: " + context_->errorMessage());
            return false;
        }
    }
    recount();
    return true;
}

bool ZAVDataProvider::deleteExcessHits() {
    double age = maxHitAge();
    if (age != 0 && !run(*context_, "DELETE FROM ZAVHit WHERE timestamp <= ?1",
                         [&](plat::SqliteFile::Statement& s) { s.bindDouble(1, now() - age); }))
        return false;
    uint64_t limit = maxHitCount();
    if (limit == 0) return true;
    int64_t count = ZAVModel::hitCount(context_.get());
    if (count < 0) return false;
    if (static_cast<uint64_t>(count) <= limit) return true;
    int64_t excess = count - static_cast<int64_t>(limit);
    return run(*context_,
               "DELETE FROM ZAVHit WHERE id IN (SELECT id FROM ZAVHit ORDER BY timestamp, id LIMIT ?1)",
               [&](plat::SqliteFile::Statement& s) { s.bindInt64(1, excess); });
}
