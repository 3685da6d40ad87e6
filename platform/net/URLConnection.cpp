#include "platform/net/URLConnection.h"

#include <mutex>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/net/InFlight.h"
#include "platform/net/URLLoader.h"
#include "platform/runloop/RunLoop.h"

namespace plat {
namespace {

std::mutex gCAMutex;

std::string& caFileSlot() {
    static Lasting<std::string> path;
    return *path;
}

// Gathers a load for a completion callback.
class CompletionDelegate final : public URLConnectionDelegate {
  public:
    explicit CompletionDelegate(URLConnection::Completion completion) : completion_(std::move(completion)) {}

    void connectionDidReceiveResponse(URLConnection&, const URLResponse& response) override {
        response_ = response;
        data_.clear();
    }
    void connectionDidReceiveData(URLConnection&, const Bytes& data) override {
        data_.insert(data_.end(), data.begin(), data.end());
    }
    void connectionDidFinishLoading(URLConnection&) override {
        if (completion_) completion_(response_, data_, std::nullopt);
    }
    void connectionDidFailWithError(URLConnection&, const Error& error) override {
        if (completion_) completion_(response_, data_, error);
    }

  private:
    URLConnection::Completion completion_;
    std::optional<URLResponse> response_;
    Bytes data_;
};

}  // namespace

URLConnection::URLConnection(const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate)
    : request_(request), delegate_(std::move(delegate)), loop_(&RunLoop::current()) {}

URLConnection::~URLConnection() {
    if (state_ == State::Running) InFlight::end(InFlightKind::URLRequest);
}

void URLConnection::setState(State state) {
    if (state == state_) return;
    if (state == State::Running) InFlight::begin(InFlightKind::URLRequest);
    if (state_ == State::Running) InFlight::end(InFlightKind::URLRequest);
    state_ = state;
}

std::shared_ptr<URLConnection> URLConnection::create(const URLRequest& request,
                                                     std::shared_ptr<URLConnectionDelegate> delegate,
                                                     bool startImmediately) {
    std::shared_ptr<URLConnection> connection(new URLConnection(request, std::move(delegate)));
    if (startImmediately) connection->start();
    return connection;
}

void URLConnection::start() {
    if (state_ != State::Created) return;
    if (!loop_->isCurrent()) {
        loop_->post([self = shared_from_this()] { self->startOnLoop(); });
        return;
    }
    startOnLoop();
}

void URLConnection::startOnLoop() {
    if (state_ != State::Created) return;
    auto loader = URLLoader::forCurrentThread();
    loader_ = loader;
    std::optional<Error> error;
    if (loader->add(shared_from_this(), &error)) return;
    // A request that cannot even be sent fails like any other load: later, on the loop.
    setState(State::Running);
    loop_->post([self = shared_from_this(), error = *error] {
        if (self->state_ != State::Running) return;
        self->setState(State::Done);
        auto delegate = std::move(self->delegate_);
        if (delegate) delegate->connectionDidFailWithError(*self, error);
    });
}

void URLConnection::cancel() {
    if (!loop_->isCurrent()) {
        loop_->post([self = shared_from_this()] { self->cancel(); });
        return;
    }
    if (state_ == State::Done) return;
    if (state_ == State::Running && transfer_) {
        if (auto loader = loader_.lock()) {
            loader->cancel(*this);
            return;
        }
    }
    setState(State::Done);
    transfer_.reset();
    delegate_.reset();
}

std::shared_ptr<URLConnection> URLConnection::sendAsynchronous(const URLRequest& request,
                                                               Completion completion) {
    return create(request, std::make_shared<CompletionDelegate>(std::move(completion)));
}

void URLConnection::sendAndForget(const URLRequest& request) {
    std::string url = request.url();
    sendAsynchronous(request, [url](const std::optional<URLResponse>&, const Bytes&,
                                    const std::optional<Error>& error) {
        if (error)
            logWarning("URLConnection: %s failed: %s", url.c_str(), error->localizedDescription().c_str());
    });
}

std::optional<Bytes> URLConnection::sendSynchronous(const URLRequest& request,
                                                    std::optional<URLResponse>* response,
                                                    std::optional<Error>* error) {
    if (response) response->reset();
    if (error) error->reset();
    if (RunLoop::main().isCurrent()) {
        logError("URLConnection: a synchronous load of %s on the main thread is refused",
                 request.url().c_str());
        if (error) {
            Value::Dictionary info;
            info.set(Error::kLocalizedDescriptionKey,
                     std::string("A synchronous load is not allowed on the main thread."));
            info.set(URLError::kFailingURLStringKey, request.url());
            *error = Error(URLError::kDomain, URLError::kSynchronousOnMainThread, std::move(info));
        }
        return std::nullopt;
    }
    URLTransfer transfer;
    if (!transfer.configure(request, error)) return std::nullopt;
    transfer.result = curl_easy_perform(transfer.easy);
    transfer.done = true;
    if (response) *response = transfer.response();
    if (auto e = transfer.error()) {
        if (error) *error = std::move(e);
        return std::nullopt;
    }
    return std::move(transfer.pending);
}

void URLConnection::setCAFile(std::string path) {
    std::lock_guard<std::mutex> lock(gCAMutex);
    caFileSlot() = std::move(path);
}

std::string URLConnection::caFile() {
    std::lock_guard<std::mutex> lock(gCAMutex);
    return caFileSlot();
}

bool URLConnection::closeIdleConnections() {
    return URLLoader::releaseIdle();
}

size_t URLConnection::activeCount() {
    auto loader = URLLoader::existingForCurrentThread();
    return loader ? loader->activeCount() : 0;
}

}  // namespace plat
