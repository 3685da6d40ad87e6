#include "analytics/dispatch/RUVURLConnection.h"

#include "analytics/base/RUVEndpoints.h"
#include "analytics/base/RUVWorker.h"

std::atomic<bool> RUVURLConnection::dryRun_{false};

class RUVURLConnection::Delegate : public plat::URLConnectionDelegate {
  public:
    explicit Delegate(std::weak_ptr<RUVURLConnection> owner) : owner_(std::move(owner)) {}
    void connectionDidReceiveResponse(plat::URLConnection&, const plat::URLResponse& response) override {
        if (auto o = owner_.lock()) o->didReceiveResponse(response);
    }
    void connectionDidReceiveData(plat::URLConnection&, const plat::Bytes& data) override {
        if (auto o = owner_.lock()) o->didReceiveData(data);
    }
    void connectionDidFinishLoading(plat::URLConnection&) override {
        if (auto o = owner_.lock()) o->finish(std::nullopt, false);
    }
    void connectionDidFailWithError(plat::URLConnection&, const plat::Error& error) override {
        if (auto o = owner_.lock()) o->finish(error, false);
    }

  private:
    std::weak_ptr<RUVURLConnection> owner_;
};

RUVURLConnection::RUVURLConnection(const plat::URLRequest& request, CompletionHandler handler,
                                   plat::SerialQueue& queue)
    : request_(request), queue_(queue), handler_(std::move(handler)) {}

std::shared_ptr<RUVURLConnection> RUVURLConnection::create(const plat::URLRequest& request,
                                                           CompletionHandler handler,
                                                           plat::SerialQueue* completionQueue) {
    std::shared_ptr<RUVURLConnection> c(new RUVURLConnection(
        request, std::move(handler), completionQueue ? *completionQueue : plat::mainQueue()));
    // The worker holds the connection until it has started: a request whose owner let go still goes out.
    RUVWorker::post([c] { c->start(); });
    return c;
}

RUVURLConnection::~RUVURLConnection() {
    std::shared_ptr<plat::URLConnection> connection;
    {
        std::lock_guard lock(mutex_);
        connection.swap(connection_);
    }
    if (connection) connection->cancel();
}

void RUVURLConnection::start() {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;  // cancelled before the worker got to it
        if (dryRun()) {
            response_ = plat::URLResponse("", 200, {});
            data_ = plat::Bytes{};
        }
    }
    if (dryRun()) {
        finish(std::nullopt, false);
        return;
    }
    if (RUVEndpoints::isInvalidHost(request_.url())) {
        // A name that resolves nowhere by definition: fail now rather than ask a resolver.
        finish(plat::Error::withDescription(plat::URLError::kDomain, plat::URLError::kCannotFindHost,
                                            "A server with the specified hostname could not be found."),
               false);
        return;
    }
    plat::URLRequest request = request_;
    // The collection section's authority, when it names one, for this request alone.
    if (const std::string ca = RUVEndpoints::caFileFor(request_.url()); !ca.empty()) request.setCAFile(ca);
    // A batch POST turned into an empty GET would get an answer that deletes hits never delivered.
    request.setKeepsMethodOnRedirect(true);
    if (RUVEndpoints::timeoutInterval() > 0) request.setTimeoutInterval(RUVEndpoints::timeoutInterval());
    auto connection =
        plat::URLConnection::create(request, std::make_shared<Delegate>(weak_from_this()), false);
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        connection_ = connection;
    }
    if (connection) connection->start();
}

void RUVURLConnection::didReceiveResponse(const plat::URLResponse& response) {
    std::lock_guard lock(mutex_);
    response_ = response;
    data_.reset();
}

void RUVURLConnection::didReceiveData(const plat::Bytes& data) {
    std::lock_guard lock(mutex_);
    if (!data_) data_ = plat::Bytes{};
    data_->insert(data_->end(), data.begin(), data.end());
}

void RUVURLConnection::cancel() {
    std::shared_ptr<plat::URLConnection> connection;
    {
        std::lock_guard lock(mutex_);
        connection = connection_;
    }
    if (connection) connection->cancel();
    finish(std::nullopt, true);
}

void RUVURLConnection::finish(std::optional<plat::Error> error, bool dropData) {
    CompletionHandler handler;
    std::optional<plat::URLResponse> response;
    std::optional<plat::Bytes> data;
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;  // one outcome only
        finished_ = true;
        connection_.reset();
        if (dropData) data_.reset();
        handler.swap(handler_);
        response = response_;
        data = data_;
    }
    if (!handler) return;
    queue_.async([handler = std::move(handler), response = std::move(response), data = std::move(data),
                  error = std::move(error)] { handler(response, data, error); });
}
