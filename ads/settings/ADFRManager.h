#pragma once
// Fetches the ad settings of one placement from the ad server (the CDN mirror first, then the primary
// server, with retries), keeps them fresh for 15 minutes, falls back to the settings cache, chooses the
// next ad network by weight, and tells its placement by the notifications "%d" and "Failed%d" (the
// view's identity). Also the SDK-wide advertising id, locale and country code. Main run loop only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ads/settings/ADFRData.h"
#include "platform/base/Error.h"
#include "platform/runloop/RunLoop.h"

namespace plat {
class SerialQueue;
class URLConnection;
class URLResponse;
}  // namespace plat

class ZividedirBaseView;

template <typename>
class ADFRConnectionForwarder;
class ADFRManager : public std::enable_shared_from_this<ADFRManager> {
  public:
    static constexpr const char* kSdkVersion = "2.7.0";
    static constexpr double kFreshSeconds = 900;
    static constexpr double kHttpRetrySeconds = 10.0;
    static constexpr int kMaxHttpRetries = 24;
    static constexpr double kNetworkRetrySeconds = 0.25;
    static constexpr int kMaxNetworkRetries = 64;
    static constexpr const char* kNextUpdateDateKey = "ZividedirSDK_Next_Update_Date";
    static constexpr const char* kCacheFileName = "cache.dat";
    static constexpr const char* kGetinfoPath = "/zividedir/api/getinfo/app_id/";
    // Settings answers are small; anything past this is not a settings answer.
    static constexpr size_t kMaxAnswerBytes = 4u << 20;

    enum StatusBit : int32_t {
        kStarted = 1,
        kResponseComplete = 2,
        kSettingsAvailable = 4,
        kFailureFlagged = 8
    };

    static std::shared_ptr<ADFRManager> create();
    // A manager for the placement `view` that tells it, while it lives, of fetched and failed settings
    // (its adFetchedNotification and adFetchedFailedNotification).
    template <typename Placement>
    static std::shared_ptr<ADFRManager> createFor(const std::shared_ptr<Placement>& view) {
        auto manager = create();
        manager->setView(view);
        std::weak_ptr<Placement> weak = view;
        manager->registerFetchNotification(view.get(), [weak] {
            if (auto v = weak.lock()) v->adFetchedNotification();
        });
        manager->registerFetchFailedNotification(view.get(), [weak] {
            if (auto v = weak.lock()) v->adFetchedFailedNotification();
        });
        return manager;
    }
    ~ADFRManager();
    ADFRManager(const ADFRManager&) = delete;
    ADFRManager& operator=(const ADFRManager&) = delete;

    // Not retained: the view owns its manager.
    void setView(const std::shared_ptr<ZividedirBaseView>& view);
    std::shared_ptr<ZividedirBaseView> view() const { return view_.lock(); }
    void setGetinfoTimeOut(int32_t seconds) { getinfoTimeOut_ = seconds; }
    int32_t getinfoTimeOut() const { return getinfoTimeOut_; }

    // The observer is called for this manager's view's names; unregistering removes every registration
    // of that observer made through any manager.
    void registerFetchNotification(const void* observer, std::function<void()> selector);
    void registerFetchFailedNotification(const void* observer, std::function<void()> selector);
    static void unregisterFetchNotification(const void* observer);
    static void unregisterFetchFailedNotification(const void* observer);
    std::string fetchNotificationName() const;
    std::string fetchFailedNotificationName() const;

    void updateAd();
    bool isAdFetched() const;
    std::shared_ptr<ADFRJSAdEntity> nextAdEntity(int32_t* index);
    int32_t nextAdIndex() const;
    void loadFromCache();
    void cancelRequest();
    void cancelgetInfoRequest();
    void cancelGetInfoRequest();
    void didFailNotificationWithError(const plat::Error&) { status_ |= kFailureFlagged; }
    bool isNetworkAvailable() const;

    // URL building; each replaces urlString.
    void updateUrlString();
    void validateUrl() { updateUrlString(); }
    void updateUrlStringCroudFront();
    std::string updateUrlStringByAppId(const std::string& appId);
    void updateLocale();

    static std::string stringCurrentLocaleIdentifier();
    // The identifier with its first "@..." part removed.
    static std::string localeIdentifierWithoutModifiers(const std::string& identifier);
    static std::string stringCurrentContryCode();
    static std::string stringContryCodeFromLocaleType(int32_t type);
    static std::optional<std::string> stringAdvertisingId();

    // <home>/Library/Zividedir/cache.dat_<app id>; empty when the app id cannot name a file.
    std::filesystem::path cacheFilePath() const;
    std::string nextUpdateDateKey() const;
    // Settings that arrive are written to the cache by a low-priority writer, not in the frame that
    // receives them; this waits until what was handed to it is on disk (a manager that goes waits too).
    void waitForCacheWrite();

    const std::shared_ptr<ADFRData>& adData() const { return adData_; }
    const std::optional<double>& nextUpdateDate() const { return nextUpdateDate_; }
    int32_t adLocale() const { return adLocale_; }
    const std::string& urlString() const { return urlString_; }
    const std::optional<std::string>& deviceId() const { return deviceId_; }
    int32_t status() const { return status_; }
    // A settings request is under way (it ends by its own time-out at the latest).
    bool isRequestUnderWay() const { return getAdConnection_ && (status_ & 3) == kStarted; }
    bool hasRetryTimer() const { return retryTimer_ != 0; }
    int32_t networkRetryCount() const { return networkRetryCount_; }
    int32_t httpRetryCount() const { return httpRetryCount_; }
    // A placement that must not wait long sets it to kMaxHttpRetries: the next failure falls back to the
    // cache at once.
    void setHttpRetryCount(int32_t count) { httpRetryCount_ = count; }
    bool firstUrl() const { return firstUrl_; }

  private:
    // A request under way never keeps a placement's manager alive.
    template <typename>
    friend class ADFRConnectionForwarder;
    ADFRManager();

    std::string appId() const;
    void appendUrlParts();
    void connectionDidReceiveResponse(plat::URLConnection& connection, const plat::URLResponse& response);
    void connectionDidReceiveData(plat::URLConnection& connection, const plat::Bytes& data);
    void connectionDidFinishLoading(plat::URLConnection& connection);
    void connectionDidFailWithError(plat::URLConnection& connection, const plat::Error& error);
    void didFinishNotification();
    void writeCache(std::filesystem::path path, plat::Bytes bytes);
    // One log line with the reason and the retry count, then the retry timer or the cache.
    void prepareHttpRetryTimer(const std::string& reason);
    void prepareNetworkRetryTimer();
    void replaceRetryTimer(double seconds);
    void settingsReady(std::shared_ptr<ADFRData> data);
    void post(const std::string& name) const;

    std::shared_ptr<ADFRData> adData_;
    std::optional<double> nextUpdateDate_;
    int32_t adLocale_ = 1;
    std::string urlString_;
    std::optional<std::string> deviceId_;
    std::shared_ptr<plat::URLConnection> getAdConnection_;
    plat::Bytes getAdReceivedData_;
    int32_t status_ = 0;
    plat::RunLoop::TimerId retryTimer_ = 0;
    std::shared_ptr<plat::SerialQueue> cacheWriter_;
    int32_t networkRetryCount_ = 0;
    int32_t httpRetryCount_ = 0;
    bool firstUrl_ = true;
    bool receivedThisAttempt_ = false;
    std::weak_ptr<ZividedirBaseView> view_;
    // The view's identity and app id, kept so that the names stay the same when the view goes first.
    int32_t viewIdentity_ = 0;
    std::string viewAppId_;
    int32_t getinfoTimeOut_ = 10;
};
