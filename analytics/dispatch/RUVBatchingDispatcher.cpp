#include "analytics/dispatch/RUVBatchingDispatcher.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "analytics/base/RUVEndpoints.h"
#include "analytics/base/RUVHitUtil.h"
#include "analytics/base/RUVUtil.h"
#include "analytics/base/RUVWorker.h"
#include "analytics/dispatch/RUVAdClient.h"
#include "analytics/hits/RUVTrackerModel.h"
#include "analytics/store/RUVAnalyticsPropertiesStore.h"
#include "analytics/store/RUVDataStore.h"
#include "platform/base/ClassRegistry.h"
#include "platform/base/Clock.h"
#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/storage/UserDefaults.h"

namespace {

// The line that tells of a run without a collection server, said once per process.
std::atomic<bool> gOfflineSaid{false};

double now() {
    return plat::Clock::shared().nowSeconds();
}

const std::string* textOf(const plat::Value& record, std::string_view key) {
    return record["parameters"][key].stringIf();
}

bool isPlain(const plat::Value& record) {
    const std::string* s = textOf(record, "useSecure");
    return s && *s == "0";
}

// A short, stable text of a stored record for log lines.
std::string describe(const plat::Value& record) {
    std::string out = "{timestamp = ";
    const plat::Value::Date* d = record["timestamp"].dateIf();
    out += d ? ruvFormat("%.3f", d->secondsSince1970) : std::string("(null)");
    out += "; parameters = {";
    if (const auto* p = record["parameters"].dictionaryIf()) {
        for (const auto& [key, value] : *p)
            out += key + " = " + (value.isNull() ? "(null)" : value.toString()) + "; ";
    }
    return out + "}}";
}

constexpr auto errorText = &RUVUtil::describeError;

const std::string* nonEmptyText(const plat::Value::Dictionary& hit, const char* key) {
    const plat::Value* v = hit.find(key);
    const std::string* s = v ? v->stringIf() : nullptr;
    return s && !s->empty() ? s : nullptr;
}

// The sampling rule: "&sf" that scans whole as a number r keeps the clients whose hash remainder is
// below r × 100.
bool sampledOut(const plat::Value::Dictionary& hit) {
    const std::string* text = nonEmptyText(hit, "&sf");
    if (!text) return false;
    char* end = nullptr;
    const float r = std::strtof(text->c_str(), &end);
    if (end == text->c_str() || *end != '\0') return false;
    const std::string* client = nonEmptyText(hit, "&cid");
    const uint32_t h = RUVHitUtil::ruvHash(client ? *client : std::string());
    return static_cast<float>(h % 10000) >= r * 100;
}

std::mutex& makerMutex() {
    static std::mutex m;
    return m;
}
RUVBatchingDispatcher::Maker& maker() {
    static plat::Lasting<RUVBatchingDispatcher::Maker> m;
    return *m;
}
}  // namespace

void RUVBatchingDispatcher::setMaker(Maker m) {
    std::lock_guard lock(makerMutex());
    maker() = std::move(m);
}

std::shared_ptr<RUVBatchingDispatcher> RUVBatchingDispatcher::dispatcher(bool optOut) {
    Maker m;
    {
        std::lock_guard lock(makerMutex());
        m = maker();
    }
    if (m) return m(optOut);
    auto store = RUVDataStore::dataStore();
    if (!store) return nullptr;
    return create(std::move(store), &RUVAnalyticsPropertiesStore::sharedInstance(), optOut);
}

std::shared_ptr<RUVBatchingDispatcher> RUVBatchingDispatcher::create(
    std::shared_ptr<RUVDataStore> dataStore, RUVAnalyticsPropertiesStore* propertiesStore, bool optOut) {
    if (!dataStore || !propertiesStore) return nullptr;
    std::shared_ptr<RUVBatchingDispatcher> d(
        new RUVBatchingDispatcher(std::move(dataStore), propertiesStore, optOut));
    d->setUp();
    return d;
}

RUVBatchingDispatcher::RUVBatchingDispatcher(std::shared_ptr<RUVDataStore> dataStore,
                                             RUVAnalyticsPropertiesStore* properties, bool optOut)
    : dataStore_(std::move(dataStore)),
      propertiesStore_(properties),
      httpURL_(RUVEndpoints::httpURL()),
      httpsURL_(RUVEndpoints::httpsURL()),
      httpBatchURL_(RUVEndpoints::httpBatchURL()),
      httpsBatchURL_(RUVEndpoints::httpsBatchURL()),
      configured_(RUVEndpoints::isConfigured()),
      // Starting from the facade's flag: an opted-out user's hits must not go out after a reset.
      optOut_(optOut),
      connectionFactory_([](const plat::URLRequest& request, RUVURLConnection::CompletionHandler handler) {
          return RUVURLConnection::create(request, std::move(handler), &RUVWorker::queue());
      }) {}

void RUVBatchingDispatcher::setUp() {
    std::weak_ptr<RUVBatchingDispatcher> weak = weak_from_this();
    reachability_ = RUVReachabilityChecker::create(weak, RUVEndpoints::hostOf(httpsURL_));
    if (reachability_) {
        // The checker lives on the main run loop.
        if (plat::RunLoop::main().isCurrent()) {
            reachability_->start();
        } else {
            plat::RunLoop::main().post([checker = reachability_] { checker->start(); });
        }
    }
    if (configured_) {
        initialDispatch();
    } else if (!gOfflineSaid.exchange(true)) {
        plat::logInfo(
            "analytics: no collection server is configured (no \"analytics\" endpoints); hits are "
            "kept on the device, unsent, for a run that has one");
    }
    defaultCompletionHandler_ = [weak](RUVDispatchOutcome outcome) {
        if (outcome != RUVDispatchOutcomeSent) return;
        if (auto self = weak.lock()) self->dispatch();
    };
}

RUVBatchingDispatcher::~RUVBatchingDispatcher() {
    cancelDispatch();
    if (connection_) connection_->cancel();
    if (reachability_ && !plat::RunLoop::main().isCurrent()) {
        // Stopped and released where it runs.
        plat::RunLoop::main().post([checker = std::move(reachability_)] { checker->stop(); });
    }
}

bool RUVBatchingDispatcher::rescheduleIfNeeded(std::function<void(RUVBatchingDispatcher&)> work) {
    if (RUVWorker::thread().isCurrent()) return false;
    RUVWorker::post([self = shared_from_this(), work = std::move(work)] { work(*self); });
    return true;
}

// ---- intake ----------------------------------------------------------------------------------------

void RUVBatchingDispatcher::queueModel(const RUVTrackerModel& model) {
    if (optOut()) return;
    RUVWorker::post([self = shared_from_this(), model] {
        plat::Value::Dictionary hit;
        for (const auto& [key, value] : model.buildDictionary()) {
            if (key == kHitTimeKey && value) {
                char* end = nullptr;
                const double seconds = std::strtod(value->c_str(), &end);
                if (end != value->c_str() && *end == '\0') {
                    hit.set(key, plat::Value(plat::Value::Date{seconds}));
                    continue;
                }
            }
            hit.set(key, value ? plat::Value(*value) : plat::Value());
        }
        self->intake(std::move(hit));
    });
}

void RUVBatchingDispatcher::queueDispatch(const plat::Value::Dictionary& hit) {
    if (optOut()) return;
    // Numbering and storing touch stores that only the worker may use: go there first, without waiting.
    if (rescheduleIfNeeded([hit](RUVBatchingDispatcher& d) { d.intake(hit); })) return;
    intake(hit);
}

void RUVBatchingDispatcher::intake(plat::Value::Dictionary hit) {
    if (hit.empty() || optOut()) return;
    if (sampledOut(hit)) return;
    if (const std::string* tidText = nonEmptyText(hit, "&tid")) {
        const std::string* cidText = nonEmptyText(hit, "&cid");
        auto number = propertiesStore_->nextHitNumberForTrackingId(*tidText, cidText ? *cidText : "");
        if (number && !number->empty()) hit.set("&_s", *number);
    }
    // determineHitTime: a "timestamp" entry is the hit's time and leaves the parameters.
    double time = now();
    if (const plat::Value* stamp = hit.find("timestamp")) {
        if (const plat::Value::Date* d = stamp->dateIf()) time = d->secondsSince1970;
        hit.remove("timestamp");
    }
    // Its time is then known to be a virtual clock's, which a real-clock launch must not age it by.
    if (plat::Clock::shared().isVirtual())
        hit.set(RUVHitUtil::kStampClockKey, plat::Value(RUVHitUtil::kVirtualClock));
    plat::Value::Dictionary record;
    record.set("timestamp", plat::Value(plat::Value::Date{time}));
    record.set("parameters", plat::Value(hit));
    persist(plat::Value(std::move(record)));
    checkIAdCampaignAttributionWithHitParameters(hit);
}

void RUVBatchingDispatcher::persist(plat::Value record) {
    if (rescheduleIfNeeded([record](RUVBatchingDispatcher& d) { d.persist(record); })) return;
    std::optional<plat::Error> error;
    // A hit the store refused (locked, read-only) is not reported saved by the save that follows.
    dataStore_->addHit(record, &error);
    if (!error && dataStore_->save(&error)) {
        RUV_LOG(RUVLogLevel::Verbose, "Saved hit: %s", describe(record).c_str());
    } else {
        RUV_LOG(RUVLogLevel::Error, "Failed to save hit: %s", errorText(error).c_str());
    }
    setHasHits(true);
}

// ---- state -----------------------------------------------------------------------------------------

bool RUVBatchingDispatcher::optOut() const {
    std::lock_guard lock(mutex_);
    return optOut_;
}

void RUVBatchingDispatcher::optOutChanged(bool optOut) {
    bool was;
    {
        std::lock_guard lock(mutex_);
        was = optOut_;
        optOut_ = optOut;
    }
    if (!was && optOut) deleteAllHits();
}

bool RUVBatchingDispatcher::hasHits() const {
    std::lock_guard lock(mutex_);
    return hasHits_;
}

void RUVBatchingDispatcher::setHasHits(bool hasHits) {
    {
        std::lock_guard lock(mutex_);
        if (hasHits_ == hasHits) return;
        hasHits_ = hasHits;
    }
    rescheduleDispatch();
}

bool RUVBatchingDispatcher::hostReachable() const {
    std::lock_guard lock(mutex_);
    return hostReachable_;
}

void RUVBatchingDispatcher::setHostReachable(bool reachable) {
    {
        std::lock_guard lock(mutex_);
        if (hostReachable_ == reachable) return;
        hostReachable_ = reachable;
    }
    rescheduleDispatch();
}

bool RUVBatchingDispatcher::serverBatchingDisabled() const {
    std::lock_guard lock(mutex_);
    return serverBatchingDisabled_;
}

void RUVBatchingDispatcher::setServerBatchingDisabled(bool disabled) {
    std::lock_guard lock(mutex_);
    serverBatchingDisabled_ = disabled;
}

bool RUVBatchingDispatcher::hasConnection() const {
    std::lock_guard lock(mutex_);
    return connection_ != nullptr;
}

void RUVBatchingDispatcher::reachabilityStatusChanged(RUVReachabilityChecker&, int32_t status) {
    setHostReachable(status != RUVReachabilityNotReachable);
}

std::optional<std::string> RUVBatchingDispatcher::clientId() const {
    return dataStore_->clientId();
}

void RUVBatchingDispatcher::setUrlConnectionClass(ConnectionFactory factory) {
    std::lock_guard lock(mutex_);
    connectionFactory_ = std::move(factory);
}

void RUVBatchingDispatcher::setFacade(RUVDispatcherFacade facade) {
    std::lock_guard lock(mutex_);
    facade_ = std::move(facade);
}

RUVDispatcherFacade RUVBatchingDispatcher::facade() const {
    std::lock_guard lock(mutex_);
    return facade_;
}

// ---- schedule --------------------------------------------------------------------------------------

bool RUVBatchingDispatcher::canDispatch() const {
    std::lock_guard lock(mutex_);
    return configured_ && hostReachable_ && hasHits_;
}

bool RUVBatchingDispatcher::canScheduleDispatch() const {
    std::lock_guard lock(mutex_);
    return configured_ && dispatchInterval_ > 0.0 && hostReachable_ && hasHits_;
}

bool RUVBatchingDispatcher::hasTimer() const {
    std::lock_guard lock(mutex_);
    return timer_ != 0;
}

double RUVBatchingDispatcher::dispatchInterval() const {
    std::lock_guard lock(mutex_);
    return dispatchInterval_;
}

void RUVBatchingDispatcher::setDispatchInterval(double seconds) {
    {
        std::lock_guard lock(mutex_);
        if (dispatchInterval_ == seconds) return;
        dispatchInterval_ = seconds;
    }
    rescheduleDispatch();
}

void RUVBatchingDispatcher::rescheduleDispatch() {
    if (rescheduleIfNeeded([](RUVBatchingDispatcher& d) { d.rescheduleDispatch(); })) return;
    cancelDispatch();
    if (!canScheduleDispatch()) return;
    const double interval = dispatchInterval();
    std::weak_ptr<RUVBatchingDispatcher> weak = weak_from_this();
    auto id = RUVWorker::thread().runLoop().addTimer(
        interval,
        [weak] {
            if (auto self = weak.lock()) self->timerFired();
        },
        interval);
    std::lock_guard lock(mutex_);
    timer_ = id;
}

// The loop's timer calls are thread-safe, so this needs no hop.
void RUVBatchingDispatcher::cancelDispatch() {
    plat::RunLoop::TimerId timer, delayed;
    {
        std::lock_guard lock(mutex_);
        timer = std::exchange(timer_, 0);
        delayed = std::exchange(delayedTimerFired_, 0);
    }
    if (timer) RUVWorker::thread().runLoop().cancelTimer(timer);
    if (delayed) RUVWorker::thread().runLoop().cancelTimer(delayed);
}

void RUVBatchingDispatcher::initialDispatch() {
    std::weak_ptr<RUVBatchingDispatcher> weak = weak_from_this();
    auto id = RUVWorker::thread().runLoop().addTimer(1.0, [weak] {
        if (auto self = weak.lock()) {
            {
                std::lock_guard lock(self->mutex_);
                self->delayedTimerFired_ = 0;
            }
            self->timerFired();
        }
    });
    std::lock_guard lock(mutex_);
    delayedTimerFired_ = id;
}

void RUVBatchingDispatcher::timerFired() {
    if (canScheduleDispatch()) dispatch();
}

void RUVBatchingDispatcher::dispatch() {
    dispatchWithCompletionHandler(nullptr);
}

void RUVBatchingDispatcher::dispatchWithCompletionHandler(CompletionHandler handler) {
    if (handler) {
        setDispatchInterval(-1.0);
        std::lock_guard lock(mutex_);
        currentCompletionHandler_ = std::move(handler);
    } else {
        std::lock_guard lock(mutex_);
        currentCompletionHandler_ = defaultCompletionHandler_;
    }
    if (rescheduleIfNeeded([](RUVBatchingDispatcher& d) { d.dispatchOnWorker(); })) return;
    dispatchOnWorker();
}

void RUVBatchingDispatcher::finishDispatch(RUVDispatchOutcome outcome) {
    CompletionHandler handler;
    {
        std::lock_guard lock(mutex_);
        handler = currentCompletionHandler_;
    }
    if (handler) handler(outcome);
    if (outcome == RUVDispatchOutcomeFailed) {
        // Hits stay stored after a failure; without a running timer nothing would try again until the
        // next launch.
        if (rescheduleIfNeeded([](RUVBatchingDispatcher& d) {
                if (d.canScheduleDispatch() && !d.hasTimer()) d.rescheduleDispatch();
            }))
            return;
        if (canScheduleDispatch() && !hasTimer()) rescheduleDispatch();
    }
}

// ---- one dispatch ----------------------------------------------------------------------------------

void RUVBatchingDispatcher::dispatchOnWorker() {
    if (!canDispatch()) {
        finishDispatch(RUVDispatchOutcomeNothingSent);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (serverBatchingDisabled_ && now() - batchFailedTime_ > batchRetryInterval_)
            serverBatchingDisabled_ = false;
    }
    std::vector<PendingHit> hits = hitsForDispatch();
    if (hits.empty()) {
        if (fetchFailed_ || !undeleted_.empty()) {
            // Hits are stored but could not be read, or delivered ones still wait for their deletion:
            // the timer stays, and tries again.
            finishDispatch(RUVDispatchOutcomeFailed);
            return;
        }
        setHasHits(false);
        finishDispatch(RUVDispatchOutcomeNothingSent);
        return;
    }
    if (hasConnection()) {
        finishDispatch(RUVDispatchOutcomeNothingSent);
        return;
    }
    plat::NotificationCenter::defaultCenter().post(kWillDispatchNotification, this);

    const bool secure = !isPlain(hits.front().record);
    const bool single = hits.size() == 1;
    const std::string& url =
        secure ? (single ? httpsURL_ : httpsBatchURL_) : (single ? httpURL_ : httpBatchURL_);
    const std::string payload = buildPayload(hits);
    const uint64_t maxBody = maxBodySize_;
    std::optional<plat::URLRequest> request;
    if (maxBody == 0 || payload.size() <= maxBody) {
        if (single && payload.size() < 2000) {
            request = requestBuilder_.requestGetUrl(url, payload);
        } else {
            request = requestBuilder_.requestPostUrl(
                url, payload, single ? RUVCompressionNone : compressionStrategy_.load());
        }
        if (request && maxBody != 0 && request->httpBody().size() > maxBody) request.reset();
    }
    std::vector<plat::Value> records;
    records.reserve(hits.size());
    for (auto& h : hits) records.push_back(std::move(h.record));
    if (!request) {
        RUV_LOG(RUVLogLevel::Error, "Failed to generate request for hit(s).");
        // They can never be sent. Those the store keeps are skipped until their deletion goes through:
        // going on at once would only meet them again.
        if (!deleteHits(records)) {
            rememberUndeleted(records);
            finishDispatch(RUVDispatchOutcomeFailed);
            return;
        }
        finishDispatch(RUVDispatchOutcomeSent);
        return;
    }
    RUV_LOG(RUVLogLevel::Verbose, "Sending hit(s) %s: %s", request->httpMethod().c_str(),
            request->url().c_str());
    std::weak_ptr<RUVBatchingDispatcher> weak = weak_from_this();
    ConnectionFactory factory;
    {
        std::lock_guard lock(mutex_);
        factory = connectionFactory_;
    }
    if (!factory) {
        finishDispatch(RUVDispatchOutcomeNothingSent);
        return;
    }
    // Set under the lock before the answer can arrive on the main queue and clear it.
    std::lock_guard lock(mutex_);
    connection_ = factory(*request, [weak, records](const std::optional<plat::URLResponse>& response,
                                                    const std::optional<plat::Bytes>&,
                                                    const std::optional<plat::Error>& error) {
        if (auto self = weak.lock()) self->didSendHitsResponse(records, response, error);
    });
}

std::vector<plat::Value> RUVBatchingDispatcher::nextPendingHits() {
    fetchFailed_ = false;
    retryUndeleted();
    const double cutoff = now() - maxHitAge_;
    int64_t lastCount = -1;
    for (;;) {
        const uint64_t limit = maxHitsPerDispatch_;
        std::optional<plat::Error> error;
        // Room for the delivered ones that are skipped below.
        plat::Value::Array fetched = dataStore_->fetchHitsWithLimit(limit + undeleted_.size(), &error);
        if (error) {
            // The hits stay pending; a store that stays unreadable is reported once, not at every try.
            fetchFailed_ = true;
            if (!std::exchange(fetchFailureLogged_, true))
                RUV_LOG(RUVLogLevel::Error, "Failed to load pending hits: %s", errorText(error).c_str());
            return {};
        }
        fetchFailureLogged_ = false;
        std::vector<plat::Value> pending;
        for (auto& record : fetched) {
            if (pending.size() == limit) break;
            if (!isUndeletedDelivery(record)) pending.push_back(std::move(record));
        }
        if (pending.empty()) return {};
        std::vector<plat::Value> expired;
        for (const auto& record : pending) {
            const plat::Value::Date* d = record["timestamp"].dateIf();
            if (d && d->secondsSince1970 <= cutoff && RUVHitUtil::hasKnownAge(record))
                expired.push_back(record);
        }
        if (expired.empty()) return pending;
        const int64_t before = dataStore_->hitCount();
        if (lastCount >= 0 && before == lastCount) {
            // The last pass deleted nothing: fetching again would find the same hits for ever.
            RUV_LOG(RUVLogLevel::Error, "Failed to delete expired hits; giving up until the next dispatch.");
            return {};
        }
        lastCount = before;
        deleteHits(expired);
    }
}

std::vector<RUVBatchingDispatcher::PendingHit> RUVBatchingDispatcher::hitsForDispatch() {
    std::vector<plat::Value> pending = nextPendingHits();
    if (pending.empty()) {
        if (!fetchFailed_) RUV_LOG(RUVLogLevel::Info, "No pending hits.");
        return {};
    }
    auto payloadOf = [this](const plat::Value& record) { return requestBuilder_.parametersForHit(record); };
    const uint64_t strategy = batchingStrategy_;
    if (strategy == RUVBatchingStrategySingle || serverBatchingDisabled())
        return {PendingHit{pending.front(), payloadOf(pending.front())}};

    // One request never mixes plain and secure hits.
    const bool plain = isPlain(pending.front());
    std::vector<PendingHit> hits;
    for (auto& record : pending)
        if (isPlain(record) == plain) hits.push_back(PendingHit{record, payloadOf(record)});

    // Running totals count the line feed before every payload but the first: a batch chosen to fit
    // must still fit once joined.
    const uint64_t maxBody = maxBodySize_;
    std::vector<uint64_t> running;
    uint64_t total = 0;
    size_t n = 0;
    for (size_t i = 0; i < hits.size(); ++i) {
        total += hits[i].payload.size() + (i > 0 ? 1 : 0);
        running.push_back(total);
        if (total <= maxBody) n = i + 1;
    }
    size_t count;
    if (total <= maxBody) {
        count = std::min<size_t>(hits.size(), 20);
    } else {
        switch (strategy) {
            case RUVBatchingStrategyFitBody:
                count = n;
                break;
            case RUVBatchingStrategyTimeGap:
                count = batchByTimeGap(hits, n);
                break;
            case RUVBatchingStrategyHalveBySize:
                count = n;
                if (total < 2 * maxBody) {
                    count = 0;
                    for (size_t i = hits.size() - 1; i >= 1; --i) {
                        if (running[i] <= total / 2) {
                            count = i;
                            break;
                        }
                    }
                }
                break;
            case RUVBatchingStrategyHalveByCount:
                count = std::min(hits.size() / 2, n);
                break;
            case RUVBatchingStrategySessionSplit:
                count = batchBySessionSplit(hits, n);
                break;
            default:
                RUV_LOG(RUVLogLevel::Error, "unexpected batch strategy: %lu",
                        static_cast<unsigned long>(strategy));
                count = 1;
                break;
        }
    }
    count = std::max<size_t>(count, 1);
    if (hits.size() > count) hits.resize(count);
    return hits;
}

size_t RUVBatchingDispatcher::batchByTimeGap(const std::vector<PendingHit>& hits, size_t maxHits) {
    const size_t m = std::min(maxHits, hits.size());
    if (m <= 1) return m;
    size_t result = m;
    uint64_t best = 0;
    for (size_t i = 1; i < m; ++i) {
        const plat::Value::Date* a = hits[i - 1].record["timestamp"].dateIf();
        const plat::Value::Date* b = hits[i].record["timestamp"].dateIf();
        if (!a || !b || b->secondsSince1970 < a->secondsSince1970) continue;
        const auto gap = static_cast<uint64_t>((b->secondsSince1970 - a->secondsSince1970) * 1000);
        // Ties go to the later gap.
        if (gap >= best) {
            result = i;
            best = gap;
        }
    }
    return result;
}

size_t RUVBatchingDispatcher::batchBySessionSplit(const std::vector<PendingHit>& hits, size_t maxHits) {
    const size_t m = std::min(maxHits, hits.size());
    for (size_t i = m; i-- > 1;) {
        const std::string* sc = textOf(hits[i].record, "&sc");
        if (!sc) continue;
        if (*sc == "start") return i;
        if (*sc == "end") return i + 1;
    }
    return maxHits;
}

std::string RUVBatchingDispatcher::buildPayload(const std::vector<PendingHit>& hits) const {
    const uint64_t maxHit = maxHitSize_;
    std::string out;
    bool first = true;
    for (const auto& h : hits) {
        if (h.payload.empty() || (maxHit != 0 && h.payload.size() > maxHit)) continue;
        if (!first) out += '\n';
        out += h.payload;
        first = false;
    }
    return out;
}

// ---- answers and deletion --------------------------------------------------------------------------

void RUVBatchingDispatcher::didSendHitsResponse(const std::vector<plat::Value>& records,
                                                const std::optional<plat::URLResponse>& response,
                                                const std::optional<plat::Error>& error) {
    // The standard connection answers on the worker already; a connection of another kind may not.
    if (rescheduleIfNeeded([records, response, error](RUVBatchingDispatcher& d) {
            d.didSendHitsResponse(records, response, error);
        }))
        return;
    enum class Answer { Refused, ServerError, Delivered, Undeleted, NoResponse };
    Answer answer = Answer::NoResponse;
    const long status = response ? static_cast<long>(response->statusCode()) : -1;
    if (response) {
        {
            std::lock_guard lock(mutex_);
            if (records.size() > 1 && !serverBatchingDisabled_ &&
                (status == 302 || status == 404 || status == 502)) {
                serverBatchingDisabled_ = true;
                batchFailedTime_ = now();
                answer = Answer::Refused;
            }
        }
        if (answer != Answer::Refused && status >= 500 && status <= 599) {
            keepAfterServerError(records);
            answer = Answer::ServerError;
        } else if (answer != Answer::Refused) {
            answer = didSendHits(records) ? Answer::Delivered : Answer::Undeleted;
        }
    }
    // The deletion is done; the log line and the handler follow on the main queue, queued before the
    // connection is let go, so whoever sees the dispatcher idle finds them ahead of anything it queues.
    std::weak_ptr<RUVBatchingDispatcher> weak = weak_from_this();
    plat::mainQueue().async([weak, answer, status, error] {
        auto self = weak.lock();
        if (!self) return;
        switch (answer) {
            case Answer::Refused:
                RUV_LOG(RUVLogLevel::Info,
                        "Hit(s) not dispatched, falling back to non-batching mode: HTTP status %ld", status);
                self->finishDispatch(RUVDispatchOutcomeFailed);
                return;
            case Answer::ServerError:
                RUV_LOG(RUVLogLevel::Info, "Hit(s) not taken, kept for a later dispatch: HTTP status %ld",
                        status);
                self->finishDispatch(RUVDispatchOutcomeFailed);
                return;
            default:
                break;
        }
        if (error) {
            RUV_LOG(RUVLogLevel::Info, "Dispatch error: %s", errorText(error).c_str());
        } else {
            RUV_LOG(RUVLogLevel::Info, "Hit(s) dispatched: HTTP status %ld", status);
        }
        // Hits whose deletion failed wait for the timer: going on at once would meet them again.
        self->finishDispatch(error || answer == Answer::Undeleted ? RUVDispatchOutcomeFailed
                                                                  : RUVDispatchOutcomeSent);
    });
    std::lock_guard lock(mutex_);
    connection_.reset();
}

bool RUVBatchingDispatcher::didSendHits(const std::vector<plat::Value>& records) {
    const bool deleted = deleteHits(records);
    if (!deleted) rememberUndeleted(records);
    for (const auto& r : records) serverErrorTries_.erase(r["objectID"].toInt64());
    RUV_LOG(RUVLogLevel::Info, "%lu hit(s) sent", static_cast<unsigned long>(records.size()));
    return deleted;
}

void RUVBatchingDispatcher::keepAfterServerError(const std::vector<plat::Value>& records) {
    std::vector<plat::Value> exhausted;
    for (const auto& r : records) {
        const int64_t id = r["objectID"].toInt64();
        if (++serverErrorTries_[id] < kMaxServerErrorTries) continue;
        serverErrorTries_.erase(id);
        exhausted.push_back(r);
    }
    if (exhausted.empty()) return;
    RUV_LOG(RUVLogLevel::Warning, "Dropping %lu hit(s) after %d answers with a server error",
            static_cast<unsigned long>(exhausted.size()), kMaxServerErrorTries);
    if (!deleteHits(exhausted)) rememberUndeleted(exhausted);
}

void RUVBatchingDispatcher::rememberUndeleted(const std::vector<plat::Value>& records) {
    for (const auto& r : records) {
        const plat::Value::Date* d = r["timestamp"].dateIf();
        undeleted_[r["objectID"].toInt64()] = d ? d->secondsSince1970 : 0;
    }
    undeletedFailureLogged_ = true;  // deleteHits has said why
}

bool RUVBatchingDispatcher::retryUndeleted() {
    if (undeleted_.empty()) return true;
    std::vector<plat::Value> records;
    for (const auto& [id, time] : undeleted_)
        records.push_back(plat::Value(plat::Value::Dictionary{{"objectID", plat::Value(id)}}));
    if (!deleteHits(records, undeletedFailureLogged_)) {
        undeletedFailureLogged_ = true;
        return false;
    }
    undeleted_.clear();
    undeletedFailureLogged_ = false;
    return true;
}

bool RUVBatchingDispatcher::isUndeletedDelivery(const plat::Value& record) {
    auto it = undeleted_.find(record["objectID"].toInt64());
    if (it == undeleted_.end()) return false;
    const plat::Value::Date* d = record["timestamp"].dateIf();
    if (d && d->secondsSince1970 == it->second) return true;
    // Another hit under that id: the one delivered is gone.
    undeleted_.erase(it);
    return false;
}

bool RUVBatchingDispatcher::deleteHits(const std::vector<plat::Value>& records, bool quiet) {
    std::vector<plat::Value> ids;
    ids.reserve(records.size());
    for (const auto& r : records) ids.push_back(r["objectID"]);
    std::optional<plat::Error> error;
    const bool deleted = dataStore_->deleteHitsWithIds(ids, &error);
    if (deleted) {
        RUV_LOG(RUVLogLevel::Info, "hit(s) Successfully deleted");
    } else if (!quiet) {
        RUV_LOG(RUVLogLevel::Error, "Unable to delete hit(s): %s", errorText(error).c_str());
    }
    error.reset();
    const bool saved = dataStore_->save(&error);
    if (!saved && error && !quiet)
        RUV_LOG(RUVLogLevel::Error, "Unable to save after deleting hit(s): %s", errorText(error).c_str());
    // A count that cannot be read (-1) keeps the dispatcher trying.
    setHasHits(dataStore_->hitCount() != 0);
    return deleted && saved;
}

void RUVBatchingDispatcher::deleteAllHits() {
    if (rescheduleIfNeeded([](RUVBatchingDispatcher& d) { d.deleteAllHits(); })) return;
    std::optional<plat::Error> error;
    if (!dataStore_->deleteAllHits(&error))
        RUV_LOG(RUVLogLevel::Error, "Failed to delete all hits for opt-out: %s", errorText(error).c_str());
    error.reset();
    if (!dataStore_->save(&error) && error)
        RUV_LOG(RUVLogLevel::Error, "Failed to save after updating opt-out property %s: %s",
                "and deleting pending hits", errorText(error).c_str());
    setHasHits(false);
}

// ---- campaign attribution --------------------------------------------------------------------------

namespace {

std::atomic<bool>& notLinkedLogged() {
    static std::atomic<bool> logged{false};
    return logged;
}

std::atomic<bool>& pastWindowLogged() {
    static std::atomic<bool> logged{false};
    return logged;
}

}  // namespace

void RUVBatchingDispatcher::forgetCampaignLogLines() {
    notLinkedLogged() = false;
    pastWindowLogged() = false;
}

std::shared_ptr<RUVAdClient> RUVBatchingDispatcher::adClientInstance() const {
    return plat::ClassRegistry::shared().provider<RUVAdClient>(RUVAdClient::kClassName);
}

bool RUVBatchingDispatcher::checkIAdCampaignAttributionWithHitParameters(
    const plat::Value::Dictionary& parameters) {
    // The campaign hit itself coming through.
    if (const std::string* source = nonEmptyText(parameters, "&cs"); source && *source == "iAd") return false;
    std::shared_ptr<RUVAdClient> client = adClientInstance();
    if (!client) {
        if (!notLinkedLogged().exchange(true))
            RUV_LOG(RUVLogLevel::Verbose,
                    "iAd campaign tracking disabled because the iAd framework is not linked. Link it and "
                    "register its client to have installs from campaigns attributed.");
        return false;
    }
    auto defaults = plat::UserDefaults::standard();
    const std::string firstInitKey = facade().firstInitTimeStampKey;
    const std::optional<plat::Value> firstInit =
        firstInitKey.empty() ? std::nullopt : defaults->objectForKey(firstInitKey);
    const plat::Value::Date* firstInitDate = firstInit ? firstInit->dateIf() : nullptr;
    if (!firstInitDate) {
        RUV_LOG(RUVLogLevel::Error,
                "iAd campaign tracking disabled because the RUV init time was not found.");
        return false;
    }
    if (std::abs(now() - firstInitDate->secondsSince1970) > kCampaignWindowSeconds) {
        if (!pastWindowLogged().exchange(true))
            RUV_LOG(RUVLogLevel::Verbose,
                    "iAd campaign tracking disabled because the current date is past the campaign window.");
        return false;
    }
    std::optional<plat::Value::Dictionary> campaignHit = buildIAdCampaignHitWithHitParameters(parameters);
    if (!campaignHit) return false;
    insertHitTime(*firstInitDate, &*campaignHit);
    if (defaults->objectForKey(kCampaignInfoKey)) {
        if (defaults->boolForKey(kCampaignInfoKey)) sendIAdCampaignHit(*campaignHit);
        return false;
    }
    std::weak_ptr<RUVBatchingDispatcher> weak = weak_from_this();
    if (client->respondsToLookupAdConversionDetails()) {
        client->lookupAdConversionDetails(
            [weak, hit = *campaignHit](std::optional<plat::Value::Date>,
                                       std::optional<plat::Value::Date> impression) {
                if (auto self = weak.lock()) self->handleCampaignResult(impression.has_value(), hit);
            });
        return true;
    }
    if (client->respondsToDetermineAppInstallationAttribution()) {
        client->determineAppInstallationAttributionWithCompletionHandler(
            [weak, hit = *campaignHit](bool attributed) {
                if (auto self = weak.lock()) self->handleCampaignResult(attributed, hit);
            });
        return true;
    }
    return false;
}

std::optional<plat::Value::Dictionary> RUVBatchingDispatcher::buildIAdCampaignHitWithHitParameters(
    const plat::Value::Dictionary& parameters) {
    const std::string* cid = nonEmptyText(parameters, "&cid");
    const std::string* tid = nonEmptyText(parameters, "&tid");
    if (!cid || !tid) return std::nullopt;
    plat::Value::Dictionary hit;
    hit.set("&cid", plat::Value(*cid));
    hit.set("&tid", plat::Value(*tid));
    for (const char* key : {"&ate", "&aid", "&aiid", "&an", "&av", "&idfa", "&uid"}) {
        const plat::Value* v = parameters.find(key);
        if (v && v->stringIf()) hit.set(key, *v);
    }
    hit.set("&t", plat::Value("data"));
    hit.set("&cs", plat::Value("iAd"));
    hit.set("&ni", plat::Value("1"));
    return hit;
}

void RUVBatchingDispatcher::insertHitTime(const plat::Value::Date& date, plat::Value::Dictionary* hit) {
    hit->set(kHitTimeKey, plat::Value(date));
}

void RUVBatchingDispatcher::handleCampaignResult(bool attributed,
                                                 const plat::Value::Dictionary& campaignHit) {
    auto defaults = plat::UserDefaults::standard();
    if (!defaults->objectForKey(kCampaignInfoKey)) {
        defaults->setBool(attributed, kCampaignInfoKey);
        defaults->synchronize();
    }
    if (attributed) sendIAdCampaignHit(campaignHit);
}

void RUVBatchingDispatcher::sendIAdCampaignHit(const plat::Value::Dictionary& campaignHit) {
    if (rescheduleIfNeeded([campaignHit](RUVBatchingDispatcher& d) { d.sendIAdCampaignHit(campaignHit); }))
        return;
    const std::string* tid = nonEmptyText(campaignHit, "&tid");
    if (!tid || !iAdCampaignTrackerIdCache_.insert(*tid).second) return;
    if (!propertiesStore_->setCheckedIAdCampaignForTrackingId(*tid)) return;
    RUV_LOG(RUVLogLevel::Verbose, "Sending iAd campaign attribution.");
    // The tracker lays its own fields under the hit; the hit's time travels as text.
    RUVHitRecord parameters;
    for (const auto& [key, value] : campaignHit) {
        if (const plat::Value::Date* date = value.dateIf()) {
            parameters[key] = ruvFormat("%.6f", date->secondsSince1970);
        } else if (const std::string* text = value.stringIf()) {
            parameters[key] = *text;
        } else {
            parameters[key] = std::nullopt;
        }
    }
    if (auto send = facade().sendWithTrackingId) send(*tid, parameters);
}
