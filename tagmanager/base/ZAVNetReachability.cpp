#include "tagmanager/base/ZAVNetReachability.h"

#include "platform/runloop/RunLoop.h"

std::shared_ptr<ZAVNetReachability> ZAVNetReachability::initWithHostName(const std::string& host) {
    return std::shared_ptr<ZAVNetReachability>(new ZAVNetReachability(host));
}

ZAVNetReachability::~ZAVNetReachability() {
    stop();
}

bool ZAVNetReachability::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reachability_) return false;
    auto reachability = plat::Reachability::createWithName(host_);
    if (!reachability) return false;
    // Not retained: a watcher that went away hears nothing more.
    std::weak_ptr<ZAVNetReachability> weak = weak_from_this();
    reachability->setCallback([weak](plat::Reachability&, plat::Reachability::Flags flags) {
        if (auto self = weak.lock()) self->setReachabilityStatus(statusForFlags(flags));
    });
    if (!reachability->scheduleWithRunLoop(plat::RunLoop::main())) return false;
    reachability_ = std::move(reachability);
    return true;
}

void ZAVNetReachability::stop() {
    std::shared_ptr<plat::Reachability> reachability;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reachability = std::move(reachability_);
    }
    if (!reachability) return;
    reachability->unscheduleFromRunLoop();
}

uint32_t ZAVNetReachability::reachabilityStatus() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

void ZAVNetReachability::setStatusChange(StatusChange change) {
    std::lock_guard<std::mutex> lock(mutex_);
    statusChange_ = std::move(change);
}

void ZAVNetReachability::setReachabilityStatus(uint32_t status) {
    StatusChange change;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (status == status_) return;
        status_ = status;
        change = statusChange_;
    }
    if (change) change(status);
}

uint32_t ZAVNetReachability::statusForFlags(plat::Reachability::Flags flags) {
    using namespace plat::ReachabilityFlag;
    if (!(flags & kReachable)) return kNotReachable;
    uint32_t candidate = (flags & kIsWWAN) ? kReachableViaWWAN : kReachableViaWiFi;
    if (!(flags & kConnectionRequired)) return candidate;
    if (!(flags & (kConnectionOnTraffic | kConnectionOnDemand)) || (flags & kInterventionRequired))
        return kNotReachable;
    return candidate;
}
