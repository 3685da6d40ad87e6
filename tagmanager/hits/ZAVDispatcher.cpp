#include "tagmanager/hits/ZAVDispatcher.h"

#include "platform/base/Clock.h"
#include "platform/base/Lasting.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"

namespace {

std::mutex gInstanceMutex;
// At exit the dispatcher would otherwise end after ZAVThread and the statics its work uses.
plat::Lasting<std::shared_ptr<ZAVDispatcher>> gInstance;

}  // namespace

std::shared_ptr<ZAVDispatcher> ZAVDispatcher::instance() {
    std::lock_guard<std::mutex> lock(gInstanceMutex);
    if (!*gInstance) *gInstance = create();
    return *gInstance;
}

std::shared_ptr<ZAVDispatcher> ZAVDispatcher::existingInstance() {
    std::lock_guard<std::mutex> lock(gInstanceMutex);
    return *gInstance;
}

void ZAVDispatcher::resetInstance() {
    std::shared_ptr<ZAVDispatcher> ending;
    {
        std::lock_guard<std::mutex> lock(gInstanceMutex);
        ending = std::move(*gInstance);
    }
    if (ending) ending->network_->cancelAllOperations();
    // The cancels and the store's queued work run before the thread ends; the dispatcher goes with the
    // last of them.
    ending.reset();
    ZAVDispatchUtil::shutdown();
}

ZAVDispatcher::ZAVDispatcher()
    : store_(ZAVDataProvider::create()),
      network_(ZAVNetworking::create()),
      rateLimiter_(ZAVRateLimiter::rateLimiterWithMaxTokens(60, 2)) {}

std::shared_ptr<ZAVDispatcher> ZAVDispatcher::create() {
    std::shared_ptr<ZAVDispatcher> dispatcher(new ZAVDispatcher());
    dispatcher->observe();
    dispatcher->initialDispatch();
    return dispatcher;
}

ZAVDispatcher::~ZAVDispatcher() {
    store_->setHasHitsChangeHook(nullptr);
    network_->setReachableChangeHook(nullptr);
    ZAVDispatchUtil::cancelTimer(delayedTimerFired_);
    ZAVDispatchUtil::cancelTimer(timer_);
}

void ZAVDispatcher::observe() {
    std::weak_ptr<ZAVDispatcher> weak = weak_from_this();
    auto changed = [weak] {
        if (auto self = weak.lock()) self->scheduleInputsChanged();
    };
    store_->setHasHitsChangeHook(changed);
    network_->setReachableChangeHook(changed);
}

void ZAVDispatcher::scheduleInputsChanged() {
    std::weak_ptr<ZAVDispatcher> weak = weak_from_this();
    ZAVDispatchUtil::background(
        [weak] {
            if (auto self = weak.lock()) self->canScheduleDispatchChanged();
        },
        false);
}

void ZAVDispatcher::canScheduleDispatchChanged() {
    // Compared with what the timer does now rather than with the previous value: changes made on three
    // threads arrive here one by one, and the timer must end up matching the last of them.
    bool can = canScheduleDispatch();
    bool running = timerInterval_.has_value();
    if (can != running || (can && *timerInterval_ != dispatchInterval())) rescheduleDispatch();
}

void ZAVDispatcher::initialDispatch() {
    std::weak_ptr<ZAVDispatcher> weak = weak_from_this();
    ZAVDispatchUtil::background(
        [weak] {
            auto self = weak.lock();
            if (!self) return;
            // The store may have reported its opening before the dispatcher was listening.
            self->canScheduleDispatchChanged();
            if (!ZAVEndpoints::isConfigured()) return;
            self->delayedTimerFired_ = ZAVDispatchUtil::addTimer(kInitialDispatchDelay, [weak] {
                if (auto me = weak.lock()) {
                    me->delayedTimerFired_ = {};
                    me->timerFired();
                }
            });
        },
        false);
}

void ZAVDispatcher::rescheduleDispatch() {
    ZAVDispatchUtil::cancelTimer(delayedTimerFired_);
    cancelTimer();
    if (canScheduleDispatch()) startTimer();
}

void ZAVDispatcher::startTimer() {
    double interval = dispatchInterval();
    std::weak_ptr<ZAVDispatcher> weak = weak_from_this();
    timer_ = ZAVDispatchUtil::addTimer(
        interval,
        [weak] {
            if (auto self = weak.lock()) self->timerFired();
        },
        interval);
    timerInterval_ = interval;
}

void ZAVDispatcher::cancelTimer() {
    ZAVDispatchUtil::cancelTimer(timer_);
    timerInterval_.reset();
}

void ZAVDispatcher::timerFired() {
    if (canScheduleDispatch()) dispatch();
}

bool ZAVDispatcher::sendHitToUrl(const std::string& url) {
    if (!rateLimiter_->tokenAvailable()) return false;
    std::string stored = url;
    auto wrapper = wrapperUrl();
    auto parameter = wrapperQueryParameter();
    if (wrapper && parameter) stored = *wrapper + "?" + *parameter + "=" + ZAVValueEscapeUtil::urlEncode(url);
    ZAVLog::verbose("Dispatch url: " + stored);
    store_->addHitWithURLString(stored);
    return true;
}

void ZAVDispatcher::dispatchWithCallback(Callback callback) {
    std::weak_ptr<ZAVDispatcher> weak = weak_from_this();
    ZAVDispatchUtil::background(
        [weak, callback] {
            auto self = weak.lock();
            if (!self) return;
            if (!self->operations_.empty() || !self->canDispatch()) {
                if (callback) callback(kNoData);
                return;
            }
            self->retryUndeleted();
            uint64_t limit = callback ? 1 : self->maxRequestsPerDispatch();
            // Asked for as many more as are delivered but still stored, which are then left out.
            uint64_t asked = limit + self->undeleted_.size();
            self->store_->fetchNotRecentlyAttemptedHitsWithLimit(asked, [weak, callback,
                                                                         limit](std::vector<ZAVHit> hits) {
                auto me = weak.lock();
                if (!me) {
                    if (callback) callback(kNoData);
                    return;
                }
                std::erase_if(hits, [&](const ZAVHit& hit) { return me->undeleted_.count(hit.objectId); });
                if (hits.size() > limit) hits.resize(limit);
                me->sendHits(std::move(hits), callback);
            });
        },
        false);
}

void ZAVDispatcher::sendHits(std::vector<ZAVHit> hits, const Callback& callback) {
    // Every stored hit failed a moment ago: nothing goes out, and the caller still hears so once.
    if (hits.empty()) {
        if (callback) callback(kNoData);
        return;
    }
    std::weak_ptr<ZAVDispatcher> weak = weak_from_this();
    for (const ZAVHit& hit : hits) {
        auto operation =
            network_->sendURL(hit.dispatchURL.value_or(""), [weak, hit, callback](ZAVNetOperation& finished) {
                if (auto self = weak.lock()) {
                    self->hitCompleted(hit, finished, callback);
                } else if (callback) {
                    callback(kNoData);
                }
            });
        // A request that ended at once has already been accounted for.
        if (!operation->isFinished()) operations_.insert(operation.get());
    }
}

void ZAVDispatcher::hitCompleted(const ZAVHit& hit, ZAVNetOperation& operation, const Callback& callback) {
    int status = operation.response() ? operation.response()->statusCode() : 0;
    double now = plat::Clock::shared().nowSeconds();
    bool givenUp = hit.dispatchTime && now - *hit.dispatchTime > kGiveUpAfterSeconds;
    if ((status >= 200 && status < 300) || givenUp) {
        if (hit.dispatchURL) ZAVLog::verbose("Successfully sent hit: " + *hit.dispatchURL);
        std::weak_ptr<ZAVDispatcher> weak = weak_from_this();
        store_->deleteHits({hit}, [weak, hit, callback](bool deleted) {
            if (!deleted) {
                if (auto self = weak.lock()) self->deliveredHitNotDeleted(hit);
            }
            if (callback) callback(deleted ? kGood : kError);
        });
    } else if (operation.isCancelled() || !network_->isReachable()) {
        if (callback) callback(kNoData);
    } else {
        ZAVLog::verbose("Failed to send hit: " + hit.dispatchURL.value_or("(missing URL)"));
        store_->updateFailedHits({hit});
        if (callback) callback(kError);
    }
    operations_.erase(&operation);
}

void ZAVDispatcher::deliveredHitNotDeleted(const ZAVHit& hit) {
    // Sending it again would deliver it twice; the rest of this dispatch waits for the timer, as after a
    // failure, rather than meet the same store.
    ZAVLog::error("A delivered hit could not be deleted from the store; it is not sent again: " +
                  hit.dispatchURL.value_or("(missing URL)"));
    undeleted_.emplace(hit.objectId, hit);
    network_->cancelAllOperations();
}

void ZAVDispatcher::retryUndeleted() {
    if (undeleted_.empty()) return;
    std::vector<ZAVHit> hits;
    for (const auto& [id, hit] : undeleted_) hits.push_back(hit);
    std::weak_ptr<ZAVDispatcher> weak = weak_from_this();
    store_->deleteHits(std::move(hits), [weak](bool deleted) {
        auto self = weak.lock();
        if (deleted && self) self->undeleted_.clear();
    });
}

double ZAVDispatcher::dispatchInterval() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dispatchInterval_;
}

void ZAVDispatcher::setDispatchInterval(double seconds) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dispatchInterval_ = seconds;
    }
    scheduleInputsChanged();
}

std::optional<std::string> ZAVDispatcher::wrapperUrl() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wrapperUrl_;
}
void ZAVDispatcher::setWrapperUrl(std::optional<std::string> url) {
    std::lock_guard<std::mutex> lock(mutex_);
    wrapperUrl_ = std::move(url);
}
std::optional<std::string> ZAVDispatcher::wrapperQueryParameter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wrapperQueryParameter_;
}
void ZAVDispatcher::setWrapperQueryParameter(std::optional<std::string> parameter) {
    std::lock_guard<std::mutex> lock(mutex_);
    wrapperQueryParameter_ = std::move(parameter);
}
std::shared_ptr<ZAVLogger> ZAVDispatcher::logger() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return logger_.lock();
}
void ZAVDispatcher::setLogger(std::weak_ptr<ZAVLogger> logger) {
    std::lock_guard<std::mutex> lock(mutex_);
    logger_ = std::move(logger);
}
