#pragma once
// Holds a container's one pending download on a one-shot timer of the scheduling thread's run loop; a new
// request replaces the pending one. When the timer fires, a fresh ZAVResourceLoader downloads with the
// server address, path and previous version held here.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/runloop/RunLoop.h"
#include "tagmanager/container/ZAVLoadCallback.h"

class ZAVResourceLoader;

class ZAVResourceLoaderScheduler : public std::enable_shared_from_this<ZAVResourceLoaderScheduler> {
  public:
    static constexpr const char* kIllegalStateException = "IllegalStateException";
    static constexpr double kMaxDelayMillis = 365.0 * 24 * 3600 * 1000;

    static std::shared_ptr<ZAVResourceLoaderScheduler> initWithContainerId(const std::string& containerId);
    ~ZAVResourceLoaderScheduler();
    ZAVResourceLoaderScheduler(const ZAVResourceLoaderScheduler&) = delete;
    ZAVResourceLoaderScheduler& operator=(const ZAVResourceLoaderScheduler&) = delete;

    const std::string& containerId() const { return containerId_; }
    std::shared_ptr<ZAVLoadCallback> loadCallback() const;
    void setLoadCallback(std::shared_ptr<ZAVLoadCallback> callback);
    std::optional<std::string> ctfeServerAddress() const;
    void setCtfeServerAddress(std::optional<std::string> address);
    std::optional<std::string> ctfeUrlPathAndQuery() const;
    void setCtfeUrlPathAndQuery(std::optional<std::string> pathAndQuery);
    std::optional<std::string> previousVersion() const;
    // Whether a download is waiting on the timer.
    bool hasPendingTimer() const;

    // Replaces any pending download by one `delayMillis` from now on the calling thread's run loop.
    void loadAfterDelay(double delayMillis, std::optional<std::string> previousVersion);
    void close();
    // What the timer runs: raises "IllegalStateException" when no load callback was set. The timer itself
    // logs that instead, so a mis-set container cannot end the process.
    void requestResource();

  private:
    explicit ZAVResourceLoaderScheduler(const std::string& containerId);
    // Both under mutex_.
    void scheduleTimerWithDelay(double delayMillis);
    void cancelTimer();
    void timerFired(plat::RunLoop::TimerId id);

    mutable std::mutex mutex_;
    const std::string containerId_;
    std::shared_ptr<ZAVLoadCallback> loadCallback_;
    std::optional<std::string> ctfeServerAddress_;
    std::optional<std::string> ctfeUrlPathAndQuery_;
    std::optional<std::string> previousVersion_;
    std::optional<plat::RunLoop::TimerId> timer_;
    plat::RunLoop* timerLoop_ = nullptr;
};
