#include "platform/net/URLLoader.h"

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/base/CryptoLibrary.h"
#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/net/ProxyEnvironment.h"
#include "platform/net/URLConnection.h"

namespace plat {
namespace {

// Read once: loads run on several threads, and the environment is not theirs to read while it may change.
const std::string& noProxyList() {
    static const Lasting<std::string> list(ProxyEnvironment::current().exclusionList());
    return *list;
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        setUpCryptoLibrary();
        curl_global_init(CURL_GLOBAL_DEFAULT);
    });
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<URLTransfer*>(user);
    size_t bytes = size * count;
    t->touch();
    if (bytes > t->maxBodyBytes - std::min(t->received, t->maxBodyBytes)) {
        t->overCap = true;
        return bytes == 0 ? 1 : 0;  // any other count than given aborts the transfer
    }
    t->pending.insert(t->pending.end(), data, data + bytes);
    t->received += bytes;
    return bytes;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<URLTransfer*>(user);
    size_t bytes = size * count;
    t->touch();
    std::string_view line = trim(std::string_view(data, bytes));
    if (line.rfind("HTTP/", 0) == 0) {
        // A new response (after a redirect or an interim 1xx) replaces what came before.
        t->responseHeaders = HTTPHeaderFields();
        t->headersComplete = false;
        size_t sp = line.find(' ');
        t->lastStatus =
            sp == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(sp + 1, 3)).c_str());
    } else if (line.empty()) {
        bool interim = t->lastStatus >= 100 && t->lastStatus < 200;
        bool followed =
            t->lastStatus >= 300 && t->lastStatus < 400 && t->responseHeaders.contains("Location");
        if (!interim && !followed) t->headersComplete = true;
    } else {
        size_t colon = line.find(':');
        if (colon != std::string_view::npos && colon > 0)
            t->responseHeaders.add(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    }
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto* t = static_cast<URLTransfer*>(user);
    if (downloaded != t->lastDownloaded || uploaded != t->lastUploaded) {
        t->lastDownloaded = downloaded;
        t->lastUploaded = uploaded;
        t->touch();
        return 0;
    }
    if (t->idleExpired(realMonotonicMicros())) {
        t->timedOut = true;
        return 1;  // aborts the transfer
    }
    return 0;
}

struct ErrorText {
    int code;
    const char* text;
};

ErrorText classify(const URLTransfer& t) {
    using namespace URLError;
    if (t.timedOut) return {kTimedOut, "The request timed out."};
    if (t.overCap) return {kDataLengthExceedsMaximum, "The resource exceeds the maximum size."};
    switch (t.result) {
        case CURLE_OPERATION_TIMEDOUT:
            return {kTimedOut, "The request timed out."};
        case CURLE_FILESIZE_EXCEEDED:
            return {kDataLengthExceedsMaximum, "The resource exceeds the maximum size."};
        case CURLE_URL_MALFORMAT:
            return {kBadURL, "bad URL"};
        case CURLE_UNSUPPORTED_PROTOCOL: {
            // Only http and https are loaded, so a server that was reached but sent no status line
            // answered with something that is not HTTP.
            char* ip = nullptr;
            if (t.lastStatus == 0 && t.easy &&
                curl_easy_getinfo(t.easy, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip && *ip)
                return {kBadServerResponse, "The server's answer is not HTTP."};
            return {kUnsupportedURL, "unsupported URL"};
        }
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return {kCannotFindHost, "A server with the specified hostname could not be found."};
        case CURLE_COULDNT_CONNECT:
            return {kCannotConnectToHost, "Could not connect to the server."};
        case CURLE_TOO_MANY_REDIRECTS:
            return {kHTTPTooManyRedirects, "too many HTTP redirects"};
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return {kNetworkConnectionLost, "The network connection was lost."};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return {kServerCertificateUntrusted, "The certificate for this server is invalid."};
        case CURLE_SSL_CONNECT_ERROR:
            return {kSecureConnectionFailed,
                    "An SSL error has occurred and a secure connection to the server cannot be made."};
        case CURLE_BAD_CONTENT_ENCODING:
            return {kCannotDecodeContentData, "cannot decode raw data"};
        default:
            return {kUnknown, "unknown error"};
    }
}

}  // namespace

int64_t realMonotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// ---- URLTransfer ----------------------------------------------------------------------------------

namespace {
// Easy handles of finished run-loop loads, reset and kept for the thread's next loads: making one is a
// good share of a short load's cost. (Blocking loads keep connections in their handle, so they are not
// pooled.)
struct SpareHandles {
    std::vector<CURL*> handles;
    ~SpareHandles() { clear(); }
    void clear() {
        for (CURL* e : handles) curl_easy_cleanup(e);
        handles.clear();
    }
};
thread_local SpareHandles tSpare;
}  // namespace

URLTransfer::~URLTransfer() {
    if (easy && pooled && tSpare.handles.size() < 16) {
        curl_easy_reset(easy);
        tSpare.handles.push_back(easy);
    } else if (easy) {
        curl_easy_cleanup(easy);
    }
    if (headerList) curl_slist_free_all(headerList);
}

void URLTransfer::touch() {
    lastActivityMicros = realMonotonicMicros();
}

bool URLTransfer::configure(const URLRequest& request, std::optional<Error>* error) {
    globalInit();
    url = request.url();
    maxBodyBytes = request.maxBodyBytes();
    double timeout =
        request.timeoutInterval() > 0 ? request.timeoutInterval() : URLRequest::kDefaultTimeoutInterval;
    idleMicros = static_cast<int64_t>(std::min(timeout, 1e9) * 1e6);
    touch();
    if (pooled && !tSpare.handles.empty()) {
        easy = tSpare.handles.back();
        tSpare.handles.pop_back();
    } else {
        easy = curl_easy_init();
    }
    if (!easy || url.empty() || url.find_first_of(" \r\n\t") != std::string::npos) {
        result = CURLE_URL_MALFORMAT;
        if (error) *error = this->error();
        return false;
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(URLConnection::kMaxRedirects));
    // Per request: a pooled handle is reset before reuse, so this never carries over to another load.
    if (request.keepsMethodOnRedirect()) curl_easy_setopt(easy, CURLOPT_POSTREDIR, CURL_REDIR_POST_ALL);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxyList().c_str());
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<size_t>(maxBodyBytes, INT64_MAX)));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::min<int64_t>(idleMicros / 1000 + 1, 1L << 30)));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    // Per handle (a pooled one was reset): requests to servers of different authorities may run side by
    // side, and a kept-alive connection is reused only by a request that trusts the same file.
    std::string ca = request.caFile().empty() ? URLConnection::caFile() : request.caFile();
    if (!ca.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, ca.c_str());

    const std::string& method = request.httpMethod();
    const Bytes& body = request.httpBody();
    if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (method == "POST" || !body.empty()) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS,
                         body.empty() ? "" : reinterpret_cast<const char*>(body.data()));
        if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        if (name.empty() || name.find_first_of(":\r\n") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos) {
            logWarning("URLConnection: header field \"%s\" skipped (not a valid field)", name.c_str());
            continue;
        }
        // "Name;" is how an empty value is sent rather than the field being dropped.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        headerList = curl_slist_append(headerList, line.c_str());
    }
    // No "Expect: 100-continue" pause before a body.
    if (!request.allHTTPHeaderFields().contains("Expect"))
        headerList = curl_slist_append(headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    return true;
}

std::optional<URLResponse> URLTransfer::response() const {
    long status = 0;
    if (easy) curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status <= 0) return std::nullopt;
    char* effective = nullptr;
    if (easy) curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    return URLResponse(effective ? effective : url, static_cast<int>(status), responseHeaders);
}

std::optional<Error> URLTransfer::error() const {
    if (!timedOut && !overCap && result == CURLE_OK) return std::nullopt;
    ErrorText e = classify(*this);
    std::string detail = errorBuffer[0] ? errorBuffer : curl_easy_strerror(result);
    auto underlying = std::make_shared<const Error>(Error::withDescription("plat.transport", result, detail));
    Value::Dictionary info;
    info.set(Error::kLocalizedDescriptionKey, std::string(e.text));
    info.set(URLError::kFailingURLStringKey, url);
    return Error(URLError::kDomain, e.code, std::move(info), std::move(underlying));
}

// ---- URLLoader ------------------------------------------------------------------------------------

namespace {
thread_local std::shared_ptr<URLLoader> tLoader;
}

std::shared_ptr<URLLoader> URLLoader::forCurrentThread() {
    if (!tLoader) tLoader = std::make_shared<URLLoader>(RunLoop::current());
    return tLoader;
}

std::shared_ptr<URLLoader> URLLoader::existingForCurrentThread() {
    return tLoader;
}

bool URLLoader::releaseIdle() {
    if (tLoader && tLoader->activeCount() == 0) discardForCurrentThread();
    return !tLoader;
}

void URLLoader::discardForCurrentThread() {
    tLoader.reset();
    tSpare.clear();
}

URLLoader::URLLoader(RunLoop& loop) : loop_(loop) {
    globalInit();
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, onSocket);
    curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, onTimer);
    curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    // Like the phone, a handful of connections per host; further loads wait their turn.
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, 8L);
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ < 0) {
        logError("URLLoader: no timer descriptor: %s", std::strerror(errno));
    } else {
        timerWatch_ = loop_.watchFd(timerFd_, RunLoop::kReadable, [this](int, unsigned) { timerFired(); });
    }
}

URLLoader::~URLLoader() {
    auto active = std::move(active_);
    active_.clear();
    for (auto& [easy, connection] : active) {
        curl_multi_remove_handle(multi_, easy);
        connection->transfer_->pooled = false;  // the thread's spare handles may be gone at thread exit
        connection->transfer_.reset();
        connection->setState(URLConnection::State::Done);
        connection->delegate_.reset();
    }
    curl_multi_cleanup(multi_);
    for (auto& [fd, watch] : watches_) loop_.unwatchFd(watch);
    if (timerWatch_) loop_.unwatchFd(timerWatch_);
    if (timerFd_ >= 0) close(timerFd_);
}

int URLLoader::onSocket(CURL*, curl_socket_t s, int what, void* userp, void*) {
    auto* self = static_cast<URLLoader*>(userp);
    auto it = self->watches_.find(s);
    if (it != self->watches_.end()) {
        self->loop_.unwatchFd(it->second);
        self->watches_.erase(it);
    }
    if (what == CURL_POLL_REMOVE) return 0;
    unsigned events = 0;
    if (what & CURL_POLL_IN) events |= RunLoop::kReadable;
    if (what & CURL_POLL_OUT) events |= RunLoop::kWritable;
    self->watches_[s] =
        self->loop_.watchFd(s, events, [self](int fd, unsigned ev) { self->socketReady(fd, ev); });
    return 0;
}

int URLLoader::onTimer(CURLM*, long timeoutMs, void* userp) {
    auto* self = static_cast<URLLoader*>(userp);
    if (timeoutMs < 0) {
        self->curlDeadline_.reset();
    } else {
        self->curlDeadline_ = realMonotonicMicros() + static_cast<int64_t>(timeoutMs) * 1000;
    }
    if (!self->adding_) self->armTimer();  // add() itself answers the "start now" of a new handle
    return 0;
}

void URLLoader::armTimer() {
    if (timerFd_ < 0) return;
    std::optional<int64_t> due = curlDeadline_;
    for (const auto& [easy, connection] : active_) {
        const URLTransfer& t = *connection->transfer_;
        if (t.done) continue;  // delivered by the pass that marked it (or the timer add() set)
        int64_t idle = t.lastActivityMicros + t.idleMicros;
        if (!due || idle < *due) due = idle;
    }
    // A wake-up earlier than needed (or after the last load ended) only costs a look, and setting the
    // timer is dear: it moves only when something falls due sooner than it is set for.
    if (!due || (armedAt_ && *armedAt_ <= *due)) return;
    int64_t at = std::max<int64_t>(*due, 1);
    itimerspec deadline{};
    deadline.it_value.tv_sec = at / 1000000;
    deadline.it_value.tv_nsec = (at % 1000000) * 1000;
    timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &deadline, nullptr);
    armedAt_ = at;
}

void URLLoader::socketReady(int fd, unsigned events) {
    auto keep = shared_from_this();
    int mask = 0;
    if (events & (RunLoop::kReadable | RunLoop::kHangUp)) mask |= CURL_CSELECT_IN;
    if (events & RunLoop::kWritable) mask |= CURL_CSELECT_OUT;
    if (events & RunLoop::kError) mask |= CURL_CSELECT_ERR;
    int running = 0;
    curl_multi_socket_action(multi_, fd, mask, &running);
    afterCurl();
}

void URLLoader::timerFired() {
    auto keep = shared_from_this();

    uint64_t expirations = 0;
    ssize_t n = read(timerFd_, &expirations, sizeof expirations);
    (void)n;
    armedAt_.reset();
    int64_t now = realMonotonicMicros();
    if (curlDeadline_ && *curlDeadline_ <= now) {
        curlDeadline_.reset();
        int running = 0;
        curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
    }
    now = realMonotonicMicros();
    for (auto& [easy, connection] : active_) {
        URLTransfer& t = *connection->transfer_;
        if (!t.done && t.idleExpired(now)) {
            t.timedOut = true;
            t.done = true;
        }
    }
    afterCurl();
}

std::shared_ptr<URLConnection> URLLoader::find(CURL* easy) const {
    auto it = active_.find(easy);
    return it == active_.end() ? nullptr : it->second;
}

bool URLLoader::collectFinished() {
    bool any = false;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        if (auto connection = find(msg->easy_handle)) {
            connection->transfer_->done = true;
            connection->transfer_->result = msg->data.result;
            any = true;
        }
    }
    return any;
}

void URLLoader::afterCurl() {
    collectFinished();
    std::vector<std::shared_ptr<URLConnection>> batch;
    for (const auto& [easy, connection] : active_) {
        const URLTransfer& t = *connection->transfer_;
        bool responseDue = !connection->responseDelivered_ && t.headersComplete;
        if (t.done || !t.pending.empty() || responseDue) batch.push_back(connection);
    }
    for (const auto& connection : batch) deliver(connection);
    armTimer();
}

void URLLoader::deliver(const std::shared_ptr<URLConnection>& connection) {
    URLConnection& c = *connection;
    if (c.state_ != URLConnection::State::Running || !c.transfer_) return;
    // Held here so a delegate that the connection alone owned survives its own callbacks.
    std::shared_ptr<URLConnectionDelegate> delegate = c.delegate_;
    URLTransfer& t = *c.transfer_;
    // A load that fails before a final header block (too many redirects, a reset) has no response.
    if (!c.responseDelivered_ && (t.headersComplete || !t.pending.empty())) {
        if (auto response = t.response()) {
            c.responseDelivered_ = true;
            if (delegate) delegate->connectionDidReceiveResponse(c, *response);
            if (c.state_ != URLConnection::State::Running) return;
        }
    }
    if (!c.transfer_->pending.empty()) {
        Bytes chunk;
        chunk.swap(c.transfer_->pending);
        if (delegate) delegate->connectionDidReceiveData(c, chunk);
        if (c.state_ != URLConnection::State::Running) return;
    }
    if (!c.transfer_->done) return;
    std::optional<Error> error = c.transfer_->error();
    detach(c);
    if (!delegate) return;
    if (error) {
        delegate->connectionDidFailWithError(c, *error);
    } else {
        delegate->connectionDidFinishLoading(c);
    }
}

bool URLLoader::add(const std::shared_ptr<URLConnection>& connection, std::optional<Error>* error) {
    auto transfer = std::make_unique<URLTransfer>();
    transfer->pooled = true;
    if (!transfer->configure(connection->request_, error)) return false;
    CURL* easy = transfer->easy;
    curl_easy_setopt(easy, CURLOPT_PRIVATE, connection.get());
    connection->transfer_ = std::move(transfer);
    connection->setState(URLConnection::State::Running);
    active_[easy] = connection;
    adding_ = true;
    CURLMcode added = curl_multi_add_handle(multi_, easy);
    adding_ = false;
    if (added != CURLM_OK) {
        active_.erase(easy);
        connection->transfer_->result = CURLE_FAILED_INIT;
        if (error) *error = connection->transfer_->error();
        connection->transfer_.reset();
        return false;
    }
    // A new handle asks for an immediate time-out to get going; giving it here saves a timer round.
    // Whatever it brings is delivered from the loop, never from inside create().
    if (curlDeadline_ && *curlDeadline_ <= realMonotonicMicros()) {
        curlDeadline_.reset();
        int running = 0;
        curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
        if (collectFinished() && !deliveryPosted_) {
            deliveryPosted_ = true;
            // A zero-delay timer of this very loop: due on its next pass, without waking it through a
            // descriptor.
            loop_.addTimer(0, [weak = weak_from_this()] {
                if (auto self = weak.lock()) {
                    self->deliveryPosted_ = false;
                    self->afterCurl();
                }
            });
        }
    }
    armTimer();
    return true;
}

void URLLoader::cancel(URLConnection& connection) {
    if (connection.transfer_ && active_.count(connection.transfer_->easy)) detach(connection);
}

void URLLoader::detach(URLConnection& connection) {
    CURL* easy = connection.transfer_->easy;
    auto keep = find(easy);
    curl_multi_remove_handle(multi_, easy);
    active_.erase(easy);
    connection.transfer_.reset();
    connection.setState(URLConnection::State::Done);
    connection.delegate_.reset();
    armTimer();
}

}  // namespace plat
