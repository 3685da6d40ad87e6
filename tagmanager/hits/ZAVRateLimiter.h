#pragma once
// A token bucket: up to maxTokens requests at once, then one more every secondsPerToken seconds.
#include <memory>
#include <mutex>

class ZAVRateLimiter {
  public:
    // Seconds between 1970 and the reference date (1 January 2001) from which lastTrackTime counts.
    static constexpr double kReferenceDateOffset = 978307200;

    static std::shared_ptr<ZAVRateLimiter> rateLimiterWithMaxTokens(double maxTokens, double secondsPerToken);

    // Takes one token when it can; a refusal logs a warning through the shared dispatcher's logger.
    bool tokenAvailable();

    double maxTokens() const;
    double secondsPerToken() const;
    double tokens() const;
    double lastTrackTime() const;

  private:
    ZAVRateLimiter(double maxTokens, double secondsPerToken)
        : maxTokens_(maxTokens), secondsPerToken_(secondsPerToken) {}

    mutable std::mutex mutex_;
    double maxTokens_;
    double secondsPerToken_;
    // Empty at creation and last used at the reference date, so the first request finds the bucket full.
    double tokens_ = 0;
    double lastTrackTime_ = 0;
};
