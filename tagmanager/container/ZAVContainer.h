#pragma once
// One rule set of the tag manager, known by its container id. It holds the rule runtime built from its
// current resource, answers the app's typed queries (each key names a macro), keeps the app's own tag
// and macro handlers, and keeps itself current: the default from the application bundle at
// construction, then the saved copy and downloads once loading starts (ZAVDiskLoadCallback,
// ZAVNetworkLoadCallback), and downloads on demand through a token bucket.
//
// The container's recursive lock guards its state; the queries and evaluateTags take only a copy of the
// runtime pointer, so a query keeps the runtime it reads alive while a load or close replaces it.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tagmanager/container/ZAVContainerOwner.h"
#include "tagmanager/container/ZAVFunctionCallHandlerAdapter.h"
#include "tagmanager/container/ZAVLoadCallback.h"
#include "wire/schema/ZAVPServing.h"

class ZAVDiskLoadCallback;
class ZAVExpandedResource;
class ZAVNetworkLoadCallback;
class ZAVResourceLoaderScheduler;
class ZAVResourceStorage;
class ZAVRuntime;

class ZAVContainer : public std::enable_shared_from_this<ZAVContainer> {
  private:
    // Adapters and load callbacks need the container shared, so it is only made by initWithId.
    struct Private {
        explicit Private() = default;
    };

  public:
    static constexpr double kRefreshPeriodOnSuccess = 43200000;  // 12 hours
    static constexpr double kRefreshPeriodOnFailure = 3600000;   // 1 hour
    // One token is earned per whole period since the last accepted refresh.
    static constexpr double kMinimumRefreshPeriod = 900000;
    // A refresh sooner than this after the last accepted one is refused.
    static constexpr double kMinimumRefreshPeriodInBurstMode = 5000;
    static constexpr uint64_t kMaximumTokenCount = 30;

    static double refreshPeriodOnSuccess() { return kRefreshPeriodOnSuccess; }
    static double refreshPeriodOnFailure() { return kRefreshPeriodOnFailure; }
    static double minimumRefreshPeriod() { return kMinimumRefreshPeriod; }
    static double minimumRefreshPeriodInBurstMode() { return kMinimumRefreshPeriodInBurstMode; }
    static uint64_t maximumTokenCount() { return kMaximumTokenCount; }

    ZAVContainer(Private, std::string containerId, std::shared_ptr<ZAVContainerOwner> zodAruzivu,
                 std::shared_ptr<ZAVResourceStorage> resourceStorage);
    // Usable at once: the runtime holds the bundle's default, or an empty rule set.
    static std::shared_ptr<ZAVContainer> initWithId(const std::string& containerId,
                                                    std::shared_ptr<ZAVContainerOwner> zodAruzivu,
                                                    std::shared_ptr<ZAVResourceStorage> resourceStorage);
    // With the real storage of this id.
    static std::shared_ptr<ZAVContainer> initWithId(const std::string& containerId,
                                                    std::shared_ptr<ZAVContainerOwner> zodAruzivu);
    ~ZAVContainer();
    ZAVContainer(const ZAVContainer&) = delete;
    ZAVContainer& operator=(const ZAVContainer&) = delete;

    // ---- the app's queries; never throw, take no lock of the container
    bool booleanForKey(const std::string& key);
    double doubleForKey(const std::string& key);
    int64_t int64ForKey(const std::string& key);
    std::string stringForKey(const std::string& key);

    // ---- the app's handlers: one per name, a later registration replaces the earlier one
    void registerFunctionCallTagHandler(std::shared_ptr<ZAVFunctionCallTagHandler> handler,
                                        const std::string& tagName);
    void registerFunctionCallMacroHandler(std::shared_ptr<ZAVFunctionCallMacroHandler> handler,
                                          const std::string& macroName);
    std::shared_ptr<ZAVFunctionCallTagHandler> functionCallTagHandlerForTag(const std::string& tagName);
    std::shared_ptr<ZAVFunctionCallMacroHandler> functionCallMacroHandlerForMacro(
        const std::string& macroName);

    // ---- other operations of the app and the facade
    void evaluateTags(const std::string& eventName);
    // An on-demand download, subject to the token bucket; refusals are logged at verbose level.
    void refresh();
    void close();
    bool isClosed() const { return !runtime(); }
    // True while no saved or downloaded resource has been adopted.
    bool isDefault() const;
    bool isDefaultContainerRefreshMode() const;

    // ---- loading (the facade calls loadWithCallback once, right after making the container)
    void loadWithCallback(std::shared_ptr<ZAVContainerCallback> callback);
    // Raises "ContainerAlreadyLoadedException" when loading has started before.
    void loadWithCallback(std::shared_ptr<ZAVContainerCallback> callback,
                          std::shared_ptr<ZAVResourceLoaderScheduler> scheduler);
    // A download after the delay (milliseconds), replacing any pending one; nothing in default-container
    // mode or before loading started.
    void loadAfterDelay(double delayMillis);
    void saveResourceToDisk(const std::shared_ptr<const ZAVPSupplementedResource>& resource);

    // ---- evaluator set-up
    // False, with an error line and the current runtime kept, when the expansion rejects the resource as
    // invalid; any other exception passes to the caller.
    bool setupEvaluatorsWithResource(const ZAVPResource& resource);
    void setupEvaluatorsWithExpandedResource(std::shared_ptr<const ZAVExpandedResource> resource);
    void setSupplementals(const ZAVWireArray* supplementals);
    // Takes a token when one is due; see refresh.
    bool useAvailableTokenWithCurrentTime(double nowMillis);
    static double currentTimeInMilliseconds();

    // ---- state
    const std::string& containerId() const { return containerId_; }
    double lastRefreshTime() const { return lastRefreshTime_.load(); }
    void setLastRefreshTime(double millis) { lastRefreshTime_.store(millis); }
    std::shared_ptr<ZAVResourceStorage> resourceStorage() const;
    const std::shared_ptr<ZAVContainerOwner>& zodAruzivu() const { return zodAruzivu_; }
    std::optional<std::string> ctfeServerAddress() const;
    void setCtfeServerAddress(std::optional<std::string> address);
    std::optional<std::string> ctfeUrlPathAndQuery() const;
    void setCtfeUrlPathAndQuery(std::optional<std::string> pathAndQuery);
    uint64_t numTokens() const;
    double lastRefreshMethodCalledTime() const;
    // Replaced whole, never changed in place, so a copy handed out (or being saved) stays as it was.
    std::shared_ptr<const ZAVPSupplementedResource> lastLoadedSupplementedResource() const;
    void setLastLoadedSupplementedResource(std::shared_ptr<const ZAVPSupplementedResource> resource);
    std::shared_ptr<ZAVNetworkLoadCallback> networkLoadCallback() const;
    std::shared_ptr<ZAVDiskLoadCallback> diskLoadCallback() const;
    std::shared_ptr<ZAVResourceLoaderScheduler> networkLoadScheduler() const;
    // None once closed.
    std::shared_ptr<ZAVRuntime> runtime() const;
    std::string resourceVersion() const;

    // The container's lock, which the load callbacks take for their work.
    std::recursive_mutex& monitor() const { return lock_; }

  private:
    void createInitialContainer();
    void setRuntime(std::shared_ptr<ZAVRuntime> runtime);
    template <typename Result, typename Convert, typename Extract>
    Result query(const char* operation, const std::string& key, Convert convert, const ZAVObjectPtr& fallback,
                 Extract extract);

    const std::string containerId_;
    const std::shared_ptr<ZAVContainerOwner> zodAruzivu_;
    mutable std::recursive_mutex lock_;
    std::atomic<double> lastRefreshTime_{0};

    // Under lock_.
    std::shared_ptr<ZAVResourceStorage> resourceStorage_;
    std::optional<std::string> ctfeServerAddress_;
    std::optional<std::string> ctfeUrlPathAndQuery_;
    uint64_t numTokens_ = kMaximumTokenCount;
    std::shared_ptr<const ZAVPSupplementedResource> lastLoadedSupplementedResource_;
    std::shared_ptr<ZAVNetworkLoadCallback> networkLoadCallback_;
    std::shared_ptr<ZAVDiskLoadCallback> diskLoadCallback_;
    std::shared_ptr<ZAVResourceLoaderScheduler> networkLoadScheduler_;
    std::string resourceVersion_;
    double lastRefreshMethodCalledTime_ = 0;

    // The handler maps have their own lock: the adapters read them during tag evaluation, which runs
    // under the data layer's push lock, while a load holding the container's lock may push.
    mutable std::mutex handlersMutex_;
    std::map<std::string, std::shared_ptr<ZAVFunctionCallTagHandler>> functionCallTagHandlers_;
    std::map<std::string, std::shared_ptr<ZAVFunctionCallMacroHandler>> functionCallMacroHandlers_;

    // Only the pointer swap is guarded, so queries never wait for a load or close.
    mutable std::mutex runtimeMutex_;
    std::shared_ptr<ZAVRuntime> runtime_;
};
