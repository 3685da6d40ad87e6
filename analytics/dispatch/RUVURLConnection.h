#pragma once
// Runs one request on "RUVThread" and hands its outcome, once and always later, to a completion block on
// a queue (the main queue by default). With the class-wide dry run on, nothing is sent: every request
// answers 200 with an empty body.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/base/Error.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/SerialQueue.h"

class RUVURLConnection : public std::enable_shared_from_this<RUVURLConnection> {
  public:
    using CompletionHandler =
        std::function<void(const std::optional<plat::URLResponse>& response,
                           const std::optional<plat::Bytes>& data, const std::optional<plat::Error>& error)>;
    // Queues the start on the worker and returns at once; the block is never called from here.
    static std::shared_ptr<RUVURLConnection> create(const plat::URLRequest& request,
                                                    CompletionHandler handler,
                                                    plat::SerialQueue* completionQueue = nullptr);
    ~RUVURLConnection();
    RUVURLConnection(const RUVURLConnection&) = delete;
    RUVURLConnection& operator=(const RUVURLConnection&) = delete;

    // The block then gets the response so far, no data and no error.
    void cancel();
    const plat::URLRequest& request() const { return request_; }

    static bool dryRun() { return dryRun_.load(); }
    static void setDryRun(bool dryRun) { dryRun_.store(dryRun); }

  private:
    class Delegate;
    RUVURLConnection(const plat::URLRequest& request, CompletionHandler handler, plat::SerialQueue& queue);
    void start();
    void didReceiveResponse(const plat::URLResponse& response);
    void didReceiveData(const plat::Bytes& data);
    void finish(std::optional<plat::Error> error, bool dropData);

    const plat::URLRequest request_;
    plat::SerialQueue& queue_;
    // Guarded: cancel() may come from any thread while the worker delivers.
    std::mutex mutex_;
    CompletionHandler handler_;
    std::shared_ptr<plat::URLConnection> connection_;
    std::optional<plat::URLResponse> response_;
    std::optional<plat::Bytes> data_;
    bool finished_ = false;
    static std::atomic<bool> dryRun_;
};
