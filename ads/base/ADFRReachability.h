#pragma once
// Network reachability for the ad SDK over plat::Reachability: a status of 0 (not reachable) or 1
// (reachable) by the SDK's own rules, and a change notification on the main run loop.
#include <sys/socket.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/net/Reachability.h"

class ADFRReachability : public std::enable_shared_from_this<ADFRReachability> {
  public:
    static constexpr const char* kChangedNotification = "kNetworkReachabilityChangedNotification";
    enum NetworkStatus : int { kNotReachable = 0, kReachable = 1 };

    // Null when the platform refuses the reference.
    static std::shared_ptr<ADFRReachability> reachabilityWithHostName(const std::string& hostName);
    static std::shared_ptr<ADFRReachability> reachabilityWithAddress(const sockaddr* address);
    static std::shared_ptr<ADFRReachability> reachabilityForInternetConnection();
    static std::shared_ptr<ADFRReachability> reachabilityForLocalWiFi();
    ~ADFRReachability();

    // Posts kChangedNotification, with this object as sender, on each change.
    bool startNotifier();
    void stopNotifier();

    NetworkStatus currentReachabilityStatus() const;
    bool connectionRequired() const;
    static NetworkStatus localWiFiStatusForFlags(uint32_t flags);
    static NetworkStatus networkStatusForFlags(uint32_t flags);

    bool localWiFiRef() const { return localWiFiRef_; }

  private:
    explicit ADFRReachability(std::shared_ptr<plat::Reachability> ref, bool localWiFi)
        : ref_(std::move(ref)), localWiFiRef_(localWiFi) {}
    static std::shared_ptr<ADFRReachability> wrap(std::shared_ptr<plat::Reachability> ref, bool localWiFi);

    std::shared_ptr<plat::Reachability> ref_;
    bool localWiFiRef_ = false;
};
