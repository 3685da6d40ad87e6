#pragma once
// Loads one URL request on the run loop of the thread that starts it.
//
// Each thread has one loader (a libcurl multi handle) driven by its run loop's fd watches and one timer
// descriptor: no thread of its own and no polling. Redirects are followed (at most kMaxRedirects); the
// delegate then hears, on the loop's thread: the final response once, the body in chunks, and last
// either connectionDidFinishLoading or connectionDidFailWithError (never both, never twice). cancel()
// may be called anywhere, also inside a callback; nothing is heard after it.
//
// A running connection is kept alive by its loader, and keeps its delegate alive until it ends, so a
// request whose sender went away still completes. The time-out is idle time: the load fails once
// nothing was sent or received for that long. An answer body larger than the request's maxBodyBytes
// fails the load. Proxies from the environment apply, except to loopback addresses.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

namespace plat {

class RunLoop;
class URLConnection;
class URLLoader;
struct URLTransfer;

// Errors of URL loading: domain "NSURLErrorDomain" and these codes. The user info holds the localized
// description and "NSErrorFailingURLStringKey"; the transport's own report hangs below as the
// underlying error (domain "plat.transport").
namespace URLError {
inline constexpr const char* kDomain = "NSURLErrorDomain";
inline constexpr const char* kFailingURLStringKey = "NSErrorFailingURLStringKey";
enum Code : int {
    kUnknown = -1,
    kCancelled = -999,
    kBadURL = -1000,
    kTimedOut = -1001,
    kUnsupportedURL = -1002,
    kCannotFindHost = -1003,
    kCannotConnectToHost = -1004,
    kNetworkConnectionLost = -1005,
    kHTTPTooManyRedirects = -1007,
    kBadServerResponse = -1011,
    kCannotDecodeContentData = -1016,
    kDataLengthExceedsMaximum = -1103,
    kSecureConnectionFailed = -1200,
    kServerCertificateUntrusted = -1202,
    kSynchronousOnMainThread = -2001,
};
}  // namespace URLError

class URLConnectionDelegate {
  public:
    virtual ~URLConnectionDelegate() = default;
    virtual void connectionDidReceiveResponse(URLConnection&, const URLResponse&) {}
    virtual void connectionDidReceiveData(URLConnection&, const Bytes&) {}
    virtual void connectionDidFinishLoading(URLConnection&) {}
    virtual void connectionDidFailWithError(URLConnection&, const Error&) {}
};

class URLConnection : public std::enable_shared_from_this<URLConnection> {
  public:
    static constexpr int kMaxRedirects = 10;
    // The response (absent when none arrived), the whole body, and the error (absent on success).
    using Completion =
        std::function<void(const std::optional<URLResponse>&, const Bytes&, const std::optional<Error>&)>;

    // A connection for the calling thread's run loop; starts at once unless `startImmediately` is false.
    static std::shared_ptr<URLConnection> create(const URLRequest& request,
                                                 std::shared_ptr<URLConnectionDelegate> delegate,
                                                 bool startImmediately = true);
    ~URLConnection();
    URLConnection(const URLConnection&) = delete;
    URLConnection& operator=(const URLConnection&) = delete;

    // Starts once; later calls do nothing. From another thread it is handed to the connection's loop.
    void start();
    void cancel();
    const URLRequest& originalRequest() const { return request_; }
    bool isRunning() const { return state_ == State::Running; }

    // Loads on the calling thread's run loop and calls `completion` there once, unless cancelled.
    static std::shared_ptr<URLConnection> sendAsynchronous(const URLRequest& request, Completion completion);
    // Loads on the calling thread's run loop with nobody waiting for the outcome (a failure is logged).
    static void sendAndForget(const URLRequest& request);
    // Blocks until the load ends. Worker threads only: on the main thread it is refused with
    // URLError::kSynchronousOnMainThread. Returns the body, or nothing on failure.
    static std::optional<Bytes> sendSynchronous(const URLRequest& request,
                                                std::optional<URLResponse>* response,
                                                std::optional<Error>* error);

    // A PEM file of certificate authorities to trust, instead of the system's, for requests that name no
    // file of their own (URLRequest::caFile); empty restores the system's. For an app whose every server
    // answers to one authority: a sender with servers of its own names their authority per request.
    // Applies to connections started afterwards, on every thread.
    static void setCAFile(std::string path);
    static std::string caFile();

    // Closes the calling thread's idle kept-alive connections and frees its loader when no load is running
    // (the next load makes a new one). True when nothing was left open.
    static bool closeIdleConnections();
    // Loads running on the calling thread's loader.
    static size_t activeCount();

  private:
    enum class State { Created, Running, Done };
    URLConnection(const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate);
    void startOnLoop();
    // Every change of state goes here: a running connection counts as in-flight work.
    void setState(State state);

    friend class URLLoader;
    URLRequest request_;
    std::shared_ptr<URLConnectionDelegate> delegate_;
    RunLoop* loop_ = nullptr;  // the loop of the thread that made it, where it runs
    std::weak_ptr<URLLoader> loader_;
    std::unique_ptr<URLTransfer> transfer_;
    State state_ = State::Created;
    bool responseDelivered_ = false;
    bool queued_ = false;  // waiting in the loader's delivery list
};

}  // namespace plat
