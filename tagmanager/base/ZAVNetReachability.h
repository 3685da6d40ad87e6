#pragma once
// Watches whether one host can be reached and reports changes of its status on the main thread.
// Statuses: 0 unknown (until the first change is heard), 1 not reachable, 2 reachable, 3 reachable over
// the cellular network.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/net/Reachability.h"

class ZAVNetReachability : public std::enable_shared_from_this<ZAVNetReachability> {
  public:
    enum Status : uint32_t { kUnknown = 0, kNotReachable = 1, kReachableViaWiFi = 2, kReachableViaWWAN = 3 };
    using StatusChange = std::function<void(uint32_t status)>;

    static std::shared_ptr<ZAVNetReachability> initWithHostName(const std::string& host);
    ~ZAVNetReachability();
    ZAVNetReachability(const ZAVNetReachability&) = delete;
    ZAVNetReachability& operator=(const ZAVNetReachability&) = delete;

    // Starts watching on the main run loop; false when already started or the watch cannot be set up.
    bool start();
    void stop();

    const std::string& host() const { return host_; }
    uint32_t reachabilityStatus() const;
    // Stores a status that differs from the last one and tells statusChange; an equal one does nothing.
    void setReachabilityStatus(uint32_t status);
    void setStatusChange(StatusChange change);

    static uint32_t statusForFlags(plat::Reachability::Flags flags);

  private:
    explicit ZAVNetReachability(std::string host) : host_(std::move(host)) {}

    const std::string host_;
    mutable std::mutex mutex_;
    std::shared_ptr<plat::Reachability> reachability_;
    uint32_t status_ = kUnknown;
    StatusChange statusChange_;
};
