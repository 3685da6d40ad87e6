#pragma once
// Opening a container within a bounded time. An opener opens through the facade with one of two waiting
// policies as the container callback, starts a time-out timer on the opening thread's run loop, and hands
// the container to its notifier as soon as the policy is satisfied or the time-out passes, whichever
// comes first. Overlapping opens of one id share the first one's open and are notified together, in the
// order they came. The blocking form returns a future whose get() turns the calling thread's run loop
// until the container is handed over.
//
// Locks: the process-wide notifier map (guards the map and the open decision; held while the facade
// opens) and each opener's own (guards haveNotified). Notifiers are called outside both.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/runloop/RunLoop.h"
#include "tagmanager/container/ZAVLoadCallback.h"

class ZAVContainer;
class ZODAruzivu;

class ZAVContainerOpenerNotifier {
  public:
    virtual ~ZAVContainerOpenerNotifier() = default;
    virtual void containerAvailable(const std::shared_ptr<ZAVContainer>& container) = 0;
};

class ZAVContainerFuture {
  public:
    virtual ~ZAVContainerFuture() = default;
    // Waits, turning the calling thread's run loop, until the container is there. That run loop must be
    // the one that delivers the opener's timer and the container's downloads, or this waits for ever.
    virtual std::shared_ptr<ZAVContainer> get() = 0;
    virtual bool isDone() const = 0;
};

class ZAVContainerOpener : public std::enable_shared_from_this<ZAVContainerOpener> {
  private:
    struct Private {
        explicit Private() = default;
    };

  public:
    // Hand over after the first successful saved or network load, or after a failed download.
    static constexpr uint32_t kOpenTypePreferNonDefault = 0;
    // Any other type: hand over only a container refreshed within the last 12 hours, or after any
    // download outcome.
    static constexpr uint32_t kOpenTypePreferFresh = 1;
    static constexpr double kExcessiveTimeout = 100;

    static double defaultTimeout() { return 2.0; }

    // None, with an error line, without an id or a facade.
    static std::shared_ptr<ZAVContainerFuture> openContainerWithId(
        const std::optional<std::string>& containerId, const std::shared_ptr<ZODAruzivu>& zodAruzivu,
        uint32_t openType, std::optional<double> timeout);
    // Nothing is opened, with an error line, without an id, a facade or a notifier.
    static void openContainerWithId(const std::optional<std::string>& containerId,
                                    const std::shared_ptr<ZODAruzivu>& zodAruzivu, uint32_t openType,
                                    std::optional<double> timeout,
                                    std::shared_ptr<ZAVContainerOpenerNotifier> notifier);

    ZAVContainerOpener(Private, std::string containerId, std::shared_ptr<ZODAruzivu> zodAruzivu,
                       std::optional<double> timeout, std::shared_ptr<ZAVContainerOpenerNotifier> notifier);
    // No time-out gives 2.0 seconds; 100 or more is used as given, with a warning (seconds were meant).
    static std::shared_ptr<ZAVContainerOpener> initWithContainerId(
        const std::string& containerId, std::shared_ptr<ZODAruzivu> zodAruzivu, std::optional<double> timeout,
        std::shared_ptr<ZAVContainerOpenerNotifier> notifier);

    void openWithRefreshType(bool preferFresh);
    // Hands over once; later calls do nothing.
    void callNotifiers(const std::shared_ptr<ZAVContainer>& container);
    void handleTimer(const std::shared_ptr<ZAVContainer>& container);

    bool haveNotified() const;
    const std::string& containerId() const { return containerId_; }
    double timeout() const { return timeout_; }
    std::shared_ptr<ZAVContainer> container() const;

    // Tests: forgets every waiting list (the process starts with none).
    static void resetNotifiers();
    // Tests: how many ids have opens still waiting.
    static size_t waitingIdCount();

  private:
    const std::shared_ptr<ZODAruzivu> zodAruzivu_;
    const std::string containerId_;
    const double timeout_;
    mutable std::recursive_mutex lock_;
    bool haveNotified_ = false;
    std::shared_ptr<ZAVContainerOpenerNotifier> notifier_;
    std::shared_ptr<ZAVContainer> container_;
    plat::RunLoop* timerLoop_ = nullptr;
    plat::RunLoop::TimerId timerId_ = 0;
};

// Hands over after the first successful load of any kind, or a failed download.
class ZAVWaitForNonDefaultRefresh : public ZAVContainerCallback {
  public:
    explicit ZAVWaitForNonDefaultRefresh(std::shared_ptr<ZAVContainerOpener> opener)
        : containerOpener_(std::move(opener)) {}
    void containerRefreshBegin(const std::shared_ptr<ZAVContainer>&, uint32_t) override {}
    void containerRefreshSuccess(const std::shared_ptr<ZAVContainer>& container,
                                 uint32_t refreshType) override;
    void containerRefreshFailure(const std::shared_ptr<ZAVContainer>& container, uint32_t failure,
                                 uint32_t refreshType) override;
    std::shared_ptr<ZAVContainerOpener> containerOpener() const { return containerOpener_; }

  private:
    const std::shared_ptr<ZAVContainerOpener> containerOpener_;
};

// Hands over a saved copy only when it is newer than oldestTimeToBeFresh; any download outcome.
class ZAVWaitForFresh : public ZAVContainerCallback {
  public:
    ZAVWaitForFresh(std::shared_ptr<ZAVContainerOpener> opener, double oldestTimeToBeFresh)
        : oldestTimeToBeFresh_(oldestTimeToBeFresh), containerOpener_(std::move(opener)) {}
    void containerRefreshBegin(const std::shared_ptr<ZAVContainer>&, uint32_t) override {}
    void containerRefreshSuccess(const std::shared_ptr<ZAVContainer>& container,
                                 uint32_t refreshType) override;
    void containerRefreshFailure(const std::shared_ptr<ZAVContainer>& container, uint32_t failure,
                                 uint32_t refreshType) override;
    double oldestTimeToBeFresh() const { return oldestTimeToBeFresh_; }
    std::shared_ptr<ZAVContainerOpener> containerOpener() const { return containerOpener_; }

  private:
    const double oldestTimeToBeFresh_;  // milliseconds since 1970
    const std::shared_ptr<ZAVContainerOpener> containerOpener_;
};

class ZAVContainerFutureImpl : public ZAVContainerFuture {
  public:
    std::shared_ptr<ZAVContainer> get() override;
    bool isDone() const override;
    std::shared_ptr<ZAVContainer> container() const;
    void setContainer(std::shared_ptr<ZAVContainer> container);

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<ZAVContainer> container_;
};

class ZAVFutureNotifier : public ZAVContainerOpenerNotifier {
  public:
    explicit ZAVFutureNotifier(std::shared_ptr<ZAVContainerFutureImpl> future) : future_(std::move(future)) {}
    void containerAvailable(const std::shared_ptr<ZAVContainer>& container) override;
    std::shared_ptr<ZAVContainerFutureImpl> future() const { return future_; }

  private:
    const std::shared_ptr<ZAVContainerFutureImpl> future_;
};
