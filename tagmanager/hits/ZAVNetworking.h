#pragma once
// Sends hit URLs by GET, one request at a time in the order queued: the next starts only when the one
// before has finished. Whether the tag-manager host is reachable gates dispatching (isReachable).
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/net/URLRequest.h"
#include "tagmanager/base/ZAVNetReachability.h"
#include "tagmanager/hits/ZAVNetOperation.h"

class ZAVNetworking : public std::enable_shared_from_this<ZAVNetworking> {
  public:
    // Watches the tag-manager server's host from the endpoints table.
    static std::shared_ptr<ZAVNetworking> create();
    // Stops the reachability watcher.
    ~ZAVNetworking();
    ZAVNetworking(const ZAVNetworking&) = delete;
    ZAVNetworking& operator=(const ZAVNetworking&) = delete;

    // GET, no cached data used, the library's User-Agent, the platform's idle time-out unless set.
    plat::URLRequest requestWithURL(const std::string& url) const;
    // Queues the request; the completion runs on ZAVThread once it has ended.
    std::shared_ptr<ZAVNetOperation> sendURL(const std::string& url, ZAVNetOperation::Completion completion);
    // Cancels the running operation and every queued one (each still completes once).
    void cancelAllOperations();

    // False only once the watcher has reported the host not reachable.
    bool isReachable() const { return reachable_.load(); }
    void setIsReachable(bool reachable);
    // Called whenever isReachable is set (on the thread that set it).
    void setReachableChangeHook(std::function<void()> hook);
    const std::shared_ptr<ZAVNetReachability>& reachability() const { return reachability_; }

    // Seconds a request may stay silent before it fails; 0 or less is the platform's default.
    double timeoutInterval() const { return timeout_.load(); }
    void setTimeoutInterval(double seconds) { timeout_.store(seconds); }

  private:
    ZAVNetworking() = default;
    void startNext();

    std::shared_ptr<ZAVNetReachability> reachability_;
    std::atomic<bool> reachable_{true};
    std::atomic<double> timeout_{0};
    std::mutex mutex_;
    std::deque<std::shared_ptr<ZAVNetOperation>> queue_;
    std::shared_ptr<ZAVNetOperation> running_;
    std::function<void()> reachableChanged_;
};
