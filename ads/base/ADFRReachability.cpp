#include "ads/base/ADFRReachability.h"

#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"

namespace F = plat::ReachabilityFlag;

std::shared_ptr<ADFRReachability> ADFRReachability::wrap(std::shared_ptr<plat::Reachability> ref,
                                                         bool localWiFi) {
    if (!ref) return nullptr;
    return std::shared_ptr<ADFRReachability>(new ADFRReachability(std::move(ref), localWiFi));
}

std::shared_ptr<ADFRReachability> ADFRReachability::reachabilityWithHostName(const std::string& hostName) {
    return wrap(plat::Reachability::createWithName(hostName), false);
}

std::shared_ptr<ADFRReachability> ADFRReachability::reachabilityWithAddress(const sockaddr* address) {
    if (!address) return nullptr;
    return wrap(plat::Reachability::createWithAddress(address), false);
}

std::shared_ptr<ADFRReachability> ADFRReachability::reachabilityForInternetConnection() {
    return wrap(plat::Reachability::createForInternet(), false);
}

std::shared_ptr<ADFRReachability> ADFRReachability::reachabilityForLocalWiFi() {
    return wrap(plat::Reachability::createForLinkLocal(), true);
}

ADFRReachability::~ADFRReachability() {
    stopNotifier();
}

bool ADFRReachability::startNotifier() {
    std::weak_ptr<ADFRReachability> weak = weak_from_this();
    const void* sender = this;
    ref_->setCallback([weak, sender](plat::Reachability&, plat::Reachability::Flags) {
        if (weak.lock()) plat::NotificationCenter::defaultCenter().post(kChangedNotification, sender);
    });
    return ref_->scheduleWithRunLoop(plat::RunLoop::main());
}

void ADFRReachability::stopNotifier() {
    if (ref_->isScheduled()) ref_->unscheduleFromRunLoop();
}

ADFRReachability::NetworkStatus ADFRReachability::currentReachabilityStatus() const {
    auto flags = ref_->flags();
    if (!flags) return kNotReachable;
    return localWiFiRef_ ? localWiFiStatusForFlags(*flags) : networkStatusForFlags(*flags);
}

bool ADFRReachability::connectionRequired() const {
    auto flags = ref_->flags();
    return flags && (*flags & F::kConnectionRequired);
}

ADFRReachability::NetworkStatus ADFRReachability::localWiFiStatusForFlags(uint32_t flags) {
    return (flags & F::kReachable) && (flags & F::kIsDirect) ? kReachable : kNotReachable;
}

ADFRReachability::NetworkStatus ADFRReachability::networkStatusForFlags(uint32_t flags) {
    if (!(flags & F::kReachable)) return kNotReachable;
    bool reachable = !(flags & F::kConnectionRequired);
    if (flags & (F::kConnectionOnDemand | F::kConnectionOnTraffic))
        reachable = !(flags & F::kInterventionRequired) || !(flags & F::kConnectionRequired);
    if (flags & F::kIsWWAN) reachable = true;
    return reachable ? kReachable : kNotReachable;
}
