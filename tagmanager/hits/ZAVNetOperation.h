#pragma once
// One hit request: a URL connection created, run and heard on ZAVThread. It ends when the load
// finishes, fails or is cancelled, and then calls its completion exactly once (also when a cancel races
// the end of the load). HTTP error statuses are not failures here: judging the status is the caller's.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

class ZAVNetOperation : public std::enable_shared_from_this<ZAVNetOperation> {
  public:
    using Completion = std::function<void(ZAVNetOperation&)>;

    static std::shared_ptr<ZAVNetOperation> operationWithRequest(plat::URLRequest request,
                                                                 Completion completion);
    ~ZAVNetOperation();
    ZAVNetOperation(const ZAVNetOperation&) = delete;
    ZAVNetOperation& operator=(const ZAVNetOperation&) = delete;

    // Marks the operation executing and hands the connection's creation to ZAVThread.
    void start();
    // On ZAVThread: stops the connection, clears data and response, marks it cancelled, then finishes.
    void cancel();

    const plat::URLRequest& request() const { return request_; }
    // Read these on ZAVThread (the completion runs there).
    const std::optional<plat::URLResponse>& response() const { return response_; }
    const plat::Bytes& data() const { return data_; }
    const std::optional<plat::Error>& error() const { return error_; }
    bool isCancelled() const { return cancelled_.load(); }
    bool isExecuting() const { return executing_.load(); }
    bool isFinished() const { return finished_.load(); }

    // The queue's hook: told once when the operation stops executing and counts as finished.
    void setFinishedHook(std::function<void()> hook);

  private:
    class Delegate;
    ZAVNetOperation(plat::URLRequest request, Completion completion);
    void startOnThread();
    void finish();

    plat::URLRequest request_;
    std::optional<plat::URLResponse> response_;
    plat::Bytes data_;
    std::optional<plat::Error> error_;
    std::shared_ptr<plat::URLConnection> connection_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;  // completion and hook: cancel may come from any thread
    Completion completion_;
    std::function<void()> finishedHook_;
};
