#include "tagmanager/hits/ZAVNetOperation.h"

#include "tagmanager/hits/ZAVDispatchUtil.h"

// Forwards the connection's callbacks; the connection keeps it, and so the operation, alive while it
// runs.
class ZAVNetOperation::Delegate : public plat::URLConnectionDelegate {
  public:
    explicit Delegate(std::shared_ptr<ZAVNetOperation> operation) : operation_(std::move(operation)) {}
    void connectionDidReceiveResponse(plat::URLConnection&, const plat::URLResponse& response) override {
        operation_->response_ = response;
        operation_->data_.clear();
    }
    void connectionDidReceiveData(plat::URLConnection&, const plat::Bytes& data) override {
        operation_->data_.insert(operation_->data_.end(), data.begin(), data.end());
    }
    void connectionDidFinishLoading(plat::URLConnection&) override { operation_->finish(); }
    void connectionDidFailWithError(plat::URLConnection&, const plat::Error& error) override {
        operation_->error_ = error;
        operation_->finish();
    }

  private:
    std::shared_ptr<ZAVNetOperation> operation_;
};

std::shared_ptr<ZAVNetOperation> ZAVNetOperation::operationWithRequest(plat::URLRequest request,
                                                                       Completion completion) {
    return std::shared_ptr<ZAVNetOperation>(new ZAVNetOperation(std::move(request), std::move(completion)));
}

ZAVNetOperation::ZAVNetOperation(plat::URLRequest request, Completion completion)
    : request_(std::move(request)), completion_(std::move(completion)) {}

ZAVNetOperation::~ZAVNetOperation() = default;

void ZAVNetOperation::setFinishedHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    finishedHook_ = std::move(hook);
}

void ZAVNetOperation::start() {
    if (executing_.exchange(true) || finished_.load()) return;
    auto self = shared_from_this();
    ZAVDispatchUtil::background([self] { self->startOnThread(); }, false);
}

void ZAVNetOperation::startOnThread() {
    // Cancelled before its turn: it ends without a request.
    if (cancelled_.load() || finished_.load()) {
        finish();
        return;
    }
    connection_ =
        plat::URLConnection::create(request_, std::make_shared<Delegate>(shared_from_this()), false);
    if (connection_) connection_->start();
}

void ZAVNetOperation::cancel() {
    // Marked at once, so a queued operation that the queue starts before the rest of this has run on
    // ZAVThread still sends nothing.
    cancelled_.store(true);
    auto self = shared_from_this();
    ZAVDispatchUtil::background(
        [self] {
            if (self->connection_) self->connection_->cancel();
            self->data_.clear();
            self->response_.reset();
            self->finish();
        },
        false);
}

void ZAVNetOperation::finish() {
    // A cancelled connection says nothing more, so dropping it here also ends the delegate's hold.
    connection_.reset();
    std::function<void()> hook;
    Completion completion;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (executing_.load() && !finished_.load()) {
            executing_.store(false);
            finished_.store(true);
            hook = std::move(finishedHook_);
            finishedHook_ = nullptr;
        }
        completion = std::move(completion_);
        completion_ = nullptr;
    }
    // The completion before the queue moves on: the next request goes out only after this one's
    // outcome has been handled.
    if (completion) completion(*this);
    if (hook) hook();
}
