#include "analytics/dispatch/RUVReachabilityChecker.h"

#include "analytics/base/RUVWorker.h"

namespace {
namespace F = plat::ReachabilityFlag;
const RUVReachabilityApi kDefaultApi{
    [](const std::string& host) { return plat::Reachability::createWithName(host); },
    [](const RUVReachabilityApi::Handle& r, plat::Reachability::Callback callback) {
        r->setCallback(std::move(callback));
        return true;
    },
    [](const RUVReachabilityApi::Handle& r, plat::RunLoop& loop) { return r->scheduleWithRunLoop(loop); },
    [](const RUVReachabilityApi::Handle& r, plat::RunLoop&) { r->unscheduleFromRunLoop(); },
    [](RUVReachabilityApi::Handle& r) { r.reset(); },
};
}  // namespace

const RUVReachabilityApi* RUVReachabilityApi::defaultApi() {
    return &kDefaultApi;
}

std::shared_ptr<RUVReachabilityChecker> RUVReachabilityChecker::create(
    std::weak_ptr<RUVReachabilityDelegate> delegate, const std::string& host) {
    if (host.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Invalid host specified.");
        return nullptr;
    }
    std::shared_ptr<RUVReachabilityChecker> checker(new RUVReachabilityChecker());
    checker->api_ = RUVReachabilityApi::defaultApi();
    checker->host_ = host;
    checker->setDelegate(std::move(delegate));
    return checker;
}

RUVReachabilityChecker::~RUVReachabilityChecker() {
    stop();
}

void RUVReachabilityChecker::setReachabilityApi(const RUVReachabilityApi* api) {
    if (isActive()) {
        RUV_LOG(RUVLogLevel::Error,
                "Cannot change reachability API while reachability running; call stop first.");
        return;
    }
    if (api) api_ = api;
}

int32_t RUVReachabilityChecker::statusForFlags(uint32_t flags) {
    if (!(flags & F::kReachable)) return RUVReachabilityNotReachable;
    const int32_t reachable =
        (flags & F::kIsWWAN) ? RUVReachabilityReachableViaWWAN : RUVReachabilityReachable;
    if (!(flags & F::kConnectionRequired)) return reachable;
    if ((flags & (F::kConnectionOnTraffic | F::kConnectionOnDemand)) && !(flags & F::kInterventionRequired))
        return reachable;
    return RUVReachabilityNotReachable;
}

bool RUVReachabilityChecker::start() {
    if (isActive()) return true;
    RUVReachabilityApi::Handle r = api_->createWithName(host_);
    if (!r) return false;
    // The callback holds the checker weakly: a checker that went away hears nothing.
    std::weak_ptr<RUVReachabilityChecker> weak = weak_from_this();
    auto callback = [weak](plat::Reachability&, plat::Reachability::Flags flags) {
        if (auto self = weak.lock()) self->reachabilityFlagsChanged(flags);
    };
    if (!api_->setCallback(r, callback) || !api_->scheduleWithRunLoop(r, plat::RunLoop::main())) {
        api_->release(r);
        return false;
    }
    reachability_ = std::move(r);
    return true;
}

void RUVReachabilityChecker::stop() {
    if (!isActive()) return;
    status_ = RUVReachabilityUnknown;
    api_->unscheduleFromRunLoop(reachability_, plat::RunLoop::main());
    api_->release(reachability_);
    reachability_.reset();
}

void RUVReachabilityChecker::reachabilityFlagsChanged(uint32_t flags) {
    RUV_LOG(RUVLogLevel::Info, "Reachability flags update: %#08X", flags);
    const int32_t status = statusForFlags(flags);
    if (status == status_) return;
    status_ = status;
    if (auto delegate = delegate_.lock()) delegate->reachabilityStatusChanged(*this, status);
}
