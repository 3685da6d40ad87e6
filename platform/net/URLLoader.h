#pragma once
// The machinery under URLConnection: one libcurl multi handle per thread, its sockets watched by the
// thread's run loop and its time-outs on one timer descriptor (real time, so a virtual game clock never
// makes a peer look silent). Delegates are called only after libcurl has returned, never from inside its
// callbacks, so they may start, cancel or drop connections freely.
#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/Error.h"
#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/runloop/RunLoop.h"

namespace plat {

class URLConnection;

// One request's libcurl state, shared by the run-loop path and the blocking path.
struct URLTransfer {
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    std::string url;
    HTTPHeaderFields responseHeaders;  // of the latest response; a new status line starts afresh
    Bytes pending;                     // body bytes not yet handed on
    size_t received = 0;
    size_t maxBodyBytes = 0;
    bool pooled = false;  // the easy handle comes from and goes back to the thread's spare handles
    bool overCap = false;
    bool headersComplete = false;  // the final response's header block has ended
    int lastStatus = 0;
    bool timedOut = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    int64_t idleMicros = 0;
    int64_t lastActivityMicros = 0;
    curl_off_t lastDownloaded = 0;
    curl_off_t lastUploaded = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    URLTransfer() = default;
    ~URLTransfer();
    URLTransfer(const URLTransfer&) = delete;
    URLTransfer& operator=(const URLTransfer&) = delete;

    // Sets up the easy handle for `request`; false (with `error`) when the request cannot be sent.
    bool configure(const URLRequest& request, std::optional<Error>* error);
    void touch();
    bool idleExpired(int64_t now) const { return now - lastActivityMicros >= idleMicros; }
    // The final response as far as it arrived; none before a status line.
    std::optional<URLResponse> response() const;
    // The error for a finished transfer, or none when it succeeded.
    std::optional<Error> error() const;
};

// Real (never virtual) monotonic time in microseconds.
int64_t realMonotonicMicros();

class URLLoader : public std::enable_shared_from_this<URLLoader> {
  public:
    // The calling thread's loader, made on first use for the thread's run loop.
    static std::shared_ptr<URLLoader> forCurrentThread();
    // The calling thread's loader if there is one.
    static std::shared_ptr<URLLoader> existingForCurrentThread();
    // Frees the calling thread's loader when it runs nothing; true when there is none left.
    static bool releaseIdle();
    // Ends the calling thread's loads at once, telling no delegate, and frees its loader: for a run loop
    // that is about to drop every watch and timer, which the loader would need to go on.
    static void discardForCurrentThread();

    explicit URLLoader(RunLoop& loop);
    ~URLLoader();
    URLLoader(const URLLoader&) = delete;
    URLLoader& operator=(const URLLoader&) = delete;

    bool add(const std::shared_ptr<URLConnection>& connection, std::optional<Error>* error);
    // Stops a running connection at once; nothing more is delivered for it.
    void cancel(URLConnection& connection);
    size_t activeCount() const { return active_.size(); }

  private:
    static int onSocket(CURL* easy, curl_socket_t s, int what, void* userp, void* socketp);
    static int onTimer(CURLM* multi, long timeoutMs, void* userp);

    void socketReady(int fd, unsigned events);
    void timerFired();
    // Marks the transfers libcurl reports finished; true when there was one.
    bool collectFinished();
    void afterCurl();
    void deliver(const std::shared_ptr<URLConnection>& connection);
    void detach(URLConnection& connection);
    void armTimer();
    std::shared_ptr<URLConnection> find(CURL* easy) const;

    RunLoop& loop_;
    CURLM* multi_ = nullptr;
    int timerFd_ = -1;
    RunLoop::WatchId timerWatch_ = 0;
    std::optional<int64_t> curlDeadline_;
    std::optional<int64_t> armedAt_;
    bool deliveryPosted_ = false;
    bool adding_ = false;
    std::unordered_map<curl_socket_t, RunLoop::WatchId> watches_;
    std::unordered_map<CURL*, std::shared_ptr<URLConnection>> active_;
};

}  // namespace plat
