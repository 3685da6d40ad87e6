#pragma once
// Watches whether a host can be reached and tells its delegate when the status changes, on the main
// run loop.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/net/Reachability.h"

enum RUVReachabilityStatus : int32_t {
    RUVReachabilityUnknown = 0,
    RUVReachabilityNotReachable = 1,
    RUVReachabilityReachable = 2,
    RUVReachabilityReachableViaWWAN = 3,
};

class RUVReachabilityChecker;

class RUVReachabilityDelegate {
  public:
    virtual ~RUVReachabilityDelegate() = default;
    virtual void reachabilityStatusChanged(RUVReachabilityChecker& checker, int32_t status) = 0;
};

// The platform functions the checker uses; another table can stand in for them.
struct RUVReachabilityApi {
    using Handle = std::shared_ptr<plat::Reachability>;
    Handle (*createWithName)(const std::string& host);
    bool (*setCallback)(const Handle& reachability, plat::Reachability::Callback callback);
    bool (*scheduleWithRunLoop)(const Handle& reachability, plat::RunLoop& loop);
    void (*unscheduleFromRunLoop)(const Handle& reachability, plat::RunLoop& loop);
    void (*release)(Handle& reachability);
    static const RUVReachabilityApi* defaultApi();
};

class RUVReachabilityChecker : public std::enable_shared_from_this<RUVReachabilityChecker> {
  public:
    // Null, with an error line, for an empty host.
    static std::shared_ptr<RUVReachabilityChecker> create(std::weak_ptr<RUVReachabilityDelegate> delegate,
                                                          const std::string& host);
    ~RUVReachabilityChecker();
    RUVReachabilityChecker(const RUVReachabilityChecker&) = delete;
    RUVReachabilityChecker& operator=(const RUVReachabilityChecker&) = delete;

    // Main thread. True when running (already, or now).
    bool start();
    void stop();
    static int32_t statusForFlags(uint32_t flags);
    void reachabilityFlagsChanged(uint32_t flags);

    int32_t reachabilityStatus() const { return status_; }
    const RUVReachabilityApi* reachabilityApi() const { return api_; }
    // Refused, with an error line, while running.
    void setReachabilityApi(const RUVReachabilityApi* api);
    const std::string& host() const { return host_; }
    bool isActive() const { return reachability_ != nullptr; }
    void setDelegate(std::weak_ptr<RUVReachabilityDelegate> delegate) { delegate_ = std::move(delegate); }

  private:
    RUVReachabilityChecker() = default;
    const RUVReachabilityApi* api_ = nullptr;
    RUVReachabilityApi::Handle reachability_;
    std::string host_;
    std::weak_ptr<RUVReachabilityDelegate> delegate_;
    int32_t status_ = RUVReachabilityUnknown;
};
