#include "tagmanager/hits/ZAVRateLimiter.h"

#include <algorithm>

#include "platform/base/Clock.h"
#include "tagmanager/hits/ZAVDispatcher.h"

std::shared_ptr<ZAVRateLimiter> ZAVRateLimiter::rateLimiterWithMaxTokens(double maxTokens,
                                                                         double secondsPerToken) {
    return std::shared_ptr<ZAVRateLimiter>(new ZAVRateLimiter(maxTokens, secondsPerToken));
}

bool ZAVRateLimiter::tokenAvailable() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!(secondsPerToken_ > 0)) return false;
        double now = plat::Clock::shared().nowSeconds() - kReferenceDateOffset;
        if (tokens_ < maxTokens_)
            tokens_ = std::min(maxTokens_, tokens_ + (now - lastTrackTime_) / secondsPerToken_);
        lastTrackTime_ = now;
        if (tokens_ >= 1) {
            tokens_ -= 1;
            return true;
        }
    }
    if (auto dispatcher = ZAVDispatcher::existingInstance()) {
        if (auto logger = dispatcher->logger()) logger->warning("Excessive tracking detected and throttled.");
    }
    return false;
}

double ZAVRateLimiter::maxTokens() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxTokens_;
}
double ZAVRateLimiter::secondsPerToken() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return secondsPerToken_;
}
double ZAVRateLimiter::tokens() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tokens_;
}
double ZAVRateLimiter::lastTrackTime() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastTrackTime_;
}
