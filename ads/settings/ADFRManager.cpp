#include "ads/settings/ADFRManager.h"

#include <map>
#include <mutex>
#include <system_error>
#include <vector>

#include "ads/base/ADFRAdvertisingIdentifier.h"
#include "ads/base/ADFRConnectionForwarder.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRRandom.h"
#include "ads/base/ADFRReachability.h"
#include "ads/base/ADFRTextUtil.h"
#include "ads/base/ZividedirBaseView.h"
#include "platform/base/ClassRegistry.h"
#include "platform/base/Clock.h"
#include "platform/base/Lasting.h"
#include "platform/base/Locale.h"
#include "platform/base/Log.h"
#include "platform/base/Regex.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "platform/storage/UserDefaults.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kZeroAdvertisingId = "00000000-0000-0000-0000-000000000000";

// Every registration made through a manager, by observer, so that unregistering finds them all.
struct Registrations {
    std::mutex mutex;
    std::multimap<const void*, plat::NotificationCenter::Token> fetch;
    std::multimap<const void*, plat::NotificationCenter::Token> failed;
};

Registrations& registrations() {
    static plat::Lasting<Registrations> r;
    return *r;
}

void addRegistration(std::multimap<const void*, plat::NotificationCenter::Token>& map, const void* observer,
                     const std::string& name, std::function<void()> selector) {
    if (!selector) return;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        name, [selector = std::move(selector)](const plat::Notification&) { selector(); });
    std::lock_guard<std::mutex> lock(registrations().mutex);
    map.emplace(observer, token);
}

void removeRegistrations(std::multimap<const void*, plat::NotificationCenter::Token>& map,
                         const void* observer) {
    std::vector<plat::NotificationCenter::Token> tokens;
    {
        std::lock_guard<std::mutex> lock(registrations().mutex);
        auto [first, last] = map.equal_range(observer);
        for (auto it = first; it != last; ++it) tokens.push_back(it->second);
        map.erase(first, last);
    }
    for (auto token : tokens) plat::NotificationCenter::defaultCenter().removeObserver(token);
}

// A name that stays inside the cache folder.
bool usableInFileName(const std::string& appId) {
    return !appId.empty() && appId != "." && appId != ".." && appId.find('/') == std::string::npos &&
           appId.find('\0') == std::string::npos;
}

// One writer for the cache files of all the managers alive; it goes with the last of them.
std::shared_ptr<plat::SerialQueue> sharedCacheWriter() {
    static std::mutex mutex;
    static std::weak_ptr<plat::SerialQueue> shared;
    std::lock_guard<std::mutex> lock(mutex);
    auto queue = shared.lock();
    if (!queue) {
        queue = plat::SerialQueue::lowPriority("AdSettingsWriter");
        shared = queue;
    }
    return queue;
}

// Something other than a folder where the cache folder belongs.
bool isNoFolder(const fs::path& dir) {
    std::error_code ec;
    return fs::exists(dir, ec) && !fs::is_directory(dir, ec);
}

// Kept, not deleted, and never over an earlier one: the file may still tell someone what went wrong.
void setAside(const fs::path& path, const std::string& what) {
    std::error_code ec;
    fs::path aside = plat::FileManager::moveAside(path, ".unreadable", ec);
    if (aside.empty()) {
        plat::logWarning("ads: %s; it cannot be set aside (%s)", what.c_str(), ec.message().c_str());
    } else {
        plat::logWarning("ads: %s; kept as %s", what.c_str(), aside.c_str());
    }
}

}  // namespace

std::shared_ptr<ADFRManager> ADFRManager::create() {
    return std::shared_ptr<ADFRManager>(new ADFRManager());
}

ADFRManager::ADFRManager() {
    deviceId_ = plat::UserDefaults::standard()->stringForKey(ADFRData::kDeviceIdKey);
}

ADFRManager::~ADFRManager() {
    if (getAdConnection_) getAdConnection_->cancel();
    if (retryTimer_) plat::RunLoop::main().cancelTimer(retryTimer_);
    waitForCacheWrite();
}

void ADFRManager::setView(const std::shared_ptr<ZividedirBaseView>& view) {
    view_ = view;
    viewIdentity_ = view ? view->viewIdentity() : 0;
    viewAppId_ = view ? view->getAppId() : std::string();
}

std::string ADFRManager::appId() const {
    if (auto view = view_.lock()) return view->getAppId();
    return viewAppId_;
}

// ---- notifications ----

std::string ADFRManager::fetchNotificationName() const {
    return std::to_string(viewIdentity_);
}

std::string ADFRManager::fetchFailedNotificationName() const {
    return "Failed" + std::to_string(viewIdentity_);
}

void ADFRManager::registerFetchNotification(const void* observer, std::function<void()> selector) {
    addRegistration(registrations().fetch, observer, fetchNotificationName(), std::move(selector));
}

void ADFRManager::registerFetchFailedNotification(const void* observer, std::function<void()> selector) {
    addRegistration(registrations().failed, observer, fetchFailedNotificationName(), std::move(selector));
}

void ADFRManager::unregisterFetchNotification(const void* observer) {
    removeRegistrations(registrations().fetch, observer);
    removeRegistrations(registrations().failed, observer);
}

void ADFRManager::unregisterFetchFailedNotification(const void* observer) {
    unregisterFetchNotification(observer);
}

void ADFRManager::post(const std::string& name) const {
    plat::NotificationCenter::defaultCenter().post(name);
}

// ---- requests ----

void ADFRManager::updateAd() {
    cancelRequest();
    updateLocale();
    // With no ad server configured there is nothing to ask and nothing to wait for: the placement hears
    // on the next turn of the run loop, as it would of a failed request, and no retry is armed.
    if (ADFREndpoints::adServerUnconfigured()) {
        std::weak_ptr<ADFRManager> weak = weak_from_this();
        plat::RunLoop::main().post([weak] {
            if (auto self = weak.lock()) self->post(self->fetchFailedNotificationName());
        });
        return;
    }
    // A settings server that is not configured is passed over as if it had failed without an answer.
    if (firstUrl_ && !ADFREndpoints::isConfigured(ADFREndpoints::Kind::SettingsMirror)) {
        firstUrl_ = false;
    } else if (!firstUrl_ && !ADFREndpoints::isConfigured(ADFREndpoints::Kind::Settings)) {
        firstUrl_ = true;
        prepareHttpRetryTimer("no primary settings server is configured");
        return;
    }
    if (firstUrl_) {
        updateUrlStringCroudFront();
    } else {
        updateUrlString();
    }
    if (!isNetworkAvailable()) {
        int32_t old = networkRetryCount_++;
        if (old < kMaxNetworkRetries && httpRetryCount_ < 1) {
            prepareNetworkRetryTimer();
        } else {
            loadFromCache();
        }
        return;
    }
    networkRetryCount_ = 0;
    plat::URLRequest request(urlString_, plat::URLRequestCachePolicy::UseProtocolCachePolicy,
                             getinfoTimeOut_);
    ADFREndpoints::trustCertificateAuthorityOf(
        firstUrl_ ? ADFREndpoints::Kind::SettingsMirror : ADFREndpoints::Kind::Settings, request);
    request.setMaxBodyBytes(kMaxAnswerBytes);
    status_ = kStarted;
    receivedThisAttempt_ = false;
    getAdConnection_ = ADFRConnectionForwarder<ADFRManager>::connect(request, weak_from_this());
}

bool ADFRManager::isAdFetched() const {
    return nextUpdateDate_ && plat::Clock::shared().nowSeconds() < *nextUpdateDate_;
}

std::shared_ptr<ADFRJSAdEntity> ADFRManager::nextAdEntity(int32_t* index) {
    if (!adData_) loadFromCache();
    if (!adData_ || adData_->adList().empty()) return nullptr;
    int32_t next = nextAdIndex();
    if (next < 0) return nullptr;
    if (index) *index = next;
    return adData_->adList()[static_cast<size_t>(next)];
}

int32_t ADFRManager::nextAdIndex() const {
    if (!adData_) return -1;
    const auto& list = adData_->adList();
    if (list.empty()) return -1;
    // Summed in 64 bits, negative weights counting 0: a large or negative weight must not wrap the total.
    std::vector<int64_t> weights;
    weights.reserve(list.size());
    int64_t total = 0;
    for (const auto& entity : list) {
        const plat::Value* w = entity->weightForLang(adLocale_);
        int64_t weight = w ? std::max<int64_t>(0, w->toInt64()) : 0;
        weight = std::min<int64_t>(weight, INT64_MAX / static_cast<int64_t>(list.size()));
        weights.push_back(weight);
        total += weight;
    }
    if (total == 0) return -1;
    int64_t r = static_cast<int64_t>(ADFRRandom::arc4random() % static_cast<uint64_t>(total));
    int64_t running = 0;
    for (size_t i = 0; i < weights.size(); ++i) {
        running += weights[i];
        if (running > r) return static_cast<int32_t>(i);
    }
    return static_cast<int32_t>(list.size() - 1);
}

fs::path ADFRManager::cacheFilePath() const {
    std::string id = appId();
    if (!usableInFileName(id)) return {};
    return plat::Paths::library() / "Zividedir" / (std::string(kCacheFileName) + "_" + id);
}

std::string ADFRManager::nextUpdateDateKey() const {
    return std::string(kNextUpdateDateKey) + "_" + appId();
}

void ADFRManager::waitForCacheWrite() {
    if (cacheWriter_) cacheWriter_->sync([] {});
}

void ADFRManager::writeCache(fs::path path, plat::Bytes bytes) {
    if (!cacheWriter_) cacheWriter_ = sharedCacheWriter();
    cacheWriter_->async([path = std::move(path), bytes = std::move(bytes)] {
        std::error_code ec;
        fs::path dir = path.parent_path();
        if (isNoFolder(dir)) setAside(dir, "the settings cache folder " + dir.string() + " is not a folder");
        fs::create_directories(dir, ec);
        if (!plat::writeFileAtomically(path, bytes))
            plat::logError("ads: the settings cache %s cannot be written", path.c_str());
    });
}

void ADFRManager::loadFromCache() {
    // Cached settings name ad pages and reports of a server that this run is not given.
    if (ADFREndpoints::adServerUnconfigured()) {
        post(fetchFailedNotificationName());
        return;
    }
    // What was handed to the writer is what the cache holds.
    waitForCacheWrite();
    fs::path path = cacheFilePath();
    auto read = path.empty() ? plat::FileManager::ReadResult{}
                             : plat::FileManager::readFile(path, plat::PropertyList::kMaxInputSize);
    std::shared_ptr<ADFRData> data;
    switch (read.status) {
        case plat::FileManager::ReadResult::Status::Missing:
            // Set aside at the next write.
            if (!path.empty() && isNoFolder(path.parent_path()))
                plat::logWarning("ads: the settings cache folder %s is not a folder; no cached settings",
                                 path.parent_path().c_str());
            break;
        case plat::FileManager::ReadResult::Status::Unreadable:
        case plat::FileManager::ReadResult::Status::TooLarge:
            // Not read whole (no descriptor free, an I/O error, too large): it stays for the next load.
            plat::logWarning("ads: the settings cache %s cannot be read (%s); no cached settings this time",
                             path.c_str(), read.error ? read.error.message().c_str() : "too large");
            break;
        case plat::FileManager::ReadResult::Status::Read:
            ADFRData::registerCodingClasses();
            data = plat::KeyedArchive::unarchiveObject<ADFRData>(read.bytes);
            if (!data) setAside(path, "the settings cache " + path.string() + " holds no settings");
            break;
    }
    if (!data) {
        post(fetchFailedNotificationName());
        return;
    }
    settingsReady(std::move(data));
}

void ADFRManager::settingsReady(std::shared_ptr<ADFRData> data) {
    adData_ = std::move(data);
    deviceId_ = adData_->deviceID();
    httpRetryCount_ = 0;
    status_ |= kSettingsAvailable;
    nextUpdateDate_ = plat::Clock::shared().nowSeconds() + kFreshSeconds;
    auto defaults = plat::UserDefaults::standard();
    defaults->setObject(plat::Value(plat::Value::Date{*nextUpdateDate_}), nextUpdateDateKey());
    defaults->synchronizeInBackground();
    post(fetchNotificationName());
}

void ADFRManager::cancelRequest() {
    cancelgetInfoRequest();
    if (retryTimer_) plat::RunLoop::main().cancelTimer(retryTimer_);
    retryTimer_ = 0;
}

void ADFRManager::cancelgetInfoRequest() {
    if ((status_ & 3) == kStarted && getAdConnection_) getAdConnection_->cancel();
    getAdConnection_.reset();
    status_ = 0;
    getAdReceivedData_.clear();
}

void ADFRManager::cancelGetInfoRequest() {
    post(fetchFailedNotificationName());
    cancelgetInfoRequest();
}

bool ADFRManager::isNetworkAvailable() const {
    // A local ad server needs no way out of the machine; forced flags (tests) still decide.
    if (!plat::Reachability::forcedFlags() && ADFREndpoints::settingsHostsOnLoopback()) return true;
    auto reachability = ADFRReachability::reachabilityForInternetConnection();
    return reachability && reachability->currentReachabilityStatus() != ADFRReachability::kNotReachable;
}

void ADFRManager::prepareHttpRetryTimer(const std::string& reason) {
    int32_t old = httpRetryCount_++;
    if (old >= kMaxHttpRetries) {
        plat::logWarning(
            "ads: the settings of %s could not be fetched (%s) after %d retries; the cache is used",
            appId().c_str(), reason.c_str(), kMaxHttpRetries);
        loadFromCache();
        return;
    }
    plat::logWarning("ads: the settings of %s could not be fetched (%s); retry %d of %d in %.0f s",
                     appId().c_str(), reason.c_str(), old + 1, kMaxHttpRetries, kHttpRetrySeconds);
    replaceRetryTimer(kHttpRetrySeconds);
}

void ADFRManager::prepareNetworkRetryTimer() {
    replaceRetryTimer(kNetworkRetrySeconds);
}

void ADFRManager::replaceRetryTimer(double seconds) {
    auto& loop = plat::RunLoop::main();
    if (retryTimer_) loop.cancelTimer(retryTimer_);
    std::weak_ptr<ADFRManager> weak = weak_from_this();
    retryTimer_ = loop.addTimer(seconds, [weak] {
        if (auto self = weak.lock()) {
            self->retryTimer_ = 0;
            self->updateAd();
        }
    });
}

// ---- answers ----

void ADFRManager::connectionDidReceiveResponse(plat::URLConnection& connection,
                                               const plat::URLResponse& response) {
    if (&connection != getAdConnection_.get()) return;
    if (response.statusCode() == 200) return;
    if (firstUrl_) {
        firstUrl_ = false;
        updateAd();
    } else {
        firstUrl_ = true;
        plat::logWarning("ads: the settings of %s could not be fetched (status %d)", appId().c_str(),
                         response.statusCode());
        cancelGetInfoRequest();
    }
}

void ADFRManager::connectionDidReceiveData(plat::URLConnection& connection, const plat::Bytes& data) {
    if (&connection != getAdConnection_.get()) return;
    getAdReceivedData_.insert(getAdReceivedData_.end(), data.begin(), data.end());
    receivedThisAttempt_ = true;
    firstUrl_ = true;
}

void ADFRManager::connectionDidFinishLoading(plat::URLConnection& connection) {
    if (&connection != getAdConnection_.get()) return;
    status_ |= kResponseComplete;
    didFinishNotification();
}

void ADFRManager::connectionDidFailWithError(plat::URLConnection& connection, const plat::Error& error) {
    if (&connection != getAdConnection_.get()) return;
    // A server that answered part of the settings was reached: its failure is this attempt's, and it
    // waits for the retry like any other. Only an attempt that got nothing moves on to the primary
    // server at once, so each round asks each server at most once without waiting.
    if (firstUrl_ && !receivedThisAttempt_) {
        firstUrl_ = false;
        updateAd();
    } else {
        firstUrl_ = true;
        prepareHttpRetryTimer(error.localizedDescription());
    }
}

void ADFRManager::didFinishNotification() {
    auto data = std::make_shared<ADFRData>();
    if (!data->parseJsonData(getAdReceivedData_)) {
        prepareHttpRetryTimer("the answer is no settings");
        return;
    }
    fs::path path = cacheFilePath();
    if (!path.empty()) {
        if (auto bytes = plat::KeyedArchive::archive(std::shared_ptr<const plat::Coding>(data)))
            writeCache(std::move(path), std::move(*bytes));
    }
    settingsReady(std::move(data));
}

// ---- URLs ----

void ADFRManager::appendUrlParts() {
    urlString_ += "/locale/" + stringCurrentLocaleIdentifier();
    urlString_ += "/ver/" + std::string(kSdkVersion);
    const plat::Value& version =
        plat::Bundle::main().objectForInfoDictionaryKey(plat::Bundle::kShortVersionKey);
    if (const auto* text = version.stringIf(); text && !text->empty()) urlString_ += "/appver/" + *text;
}

void ADFRManager::updateUrlString() {
    urlString_ = ADFREndpoints::settingsURL(ADFREndpoints::Kind::Settings, kGetinfoPath + appId());
    appendUrlParts();
}

void ADFRManager::updateUrlStringCroudFront() {
    urlString_ = ADFREndpoints::settingsURL(ADFREndpoints::Kind::SettingsMirror, kGetinfoPath + appId());
    appendUrlParts();
}

std::string ADFRManager::updateUrlStringByAppId(const std::string& appId) {
    urlString_ = ADFREndpoints::settingsURL(ADFREndpoints::Kind::SettingsMirror, kGetinfoPath + appId);
    appendUrlParts();
    return urlString_;
}

void ADFRManager::updateLocale() {
    auto languages = plat::Locale::preferredLanguages();
    adLocale_ = !languages.empty() && languages.front() == "ja" ? 2 : 1;
}

// ---- class functions ----

std::string ADFRManager::localeIdentifierWithoutModifiers(const std::string& identifier) {
    auto regex = plat::Regex::cached("@.+");
    return regex ? regex->replaceFirst(identifier, "") : identifier;
}

std::string ADFRManager::stringCurrentLocaleIdentifier() {
    return localeIdentifierWithoutModifiers(plat::Locale::current().identifier());
}

std::string ADFRManager::stringCurrentContryCode() {
    return stringCurrentLocaleIdentifier().find("ja") != std::string::npos ? "ja" : "en";
}

std::string ADFRManager::stringContryCodeFromLocaleType(int32_t type) {
    return type == 2 ? "ja" : "en";
}

std::optional<std::string> ADFRManager::stringAdvertisingId() {
    auto provider = plat::ClassRegistry::shared().provider<ADFRAdvertisingIdentifierProvider>(
        ADFRAdvertisingIdentifierProvider::kClassName);
    if (!provider || !provider->isAdvertisingTrackingEnabled()) return std::nullopt;
    std::string id = provider->advertisingIdentifier().string();
    if (id == kZeroAdvertisingId) return std::nullopt;
    return ADFRTextUtil::escapeReservedAndNonAscii(id);
}
