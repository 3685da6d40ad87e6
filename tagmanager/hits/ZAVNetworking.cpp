#include "tagmanager/hits/ZAVNetworking.h"

#include <vector>

#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/hits/ZAVDispatchUtil.h"

std::shared_ptr<ZAVNetworking> ZAVNetworking::create() {
    std::shared_ptr<ZAVNetworking> networking(new ZAVNetworking());
    networking->reachability_ = ZAVNetReachability::initWithHostName(ZAVEndpoints::serverHost());
    std::weak_ptr<ZAVNetworking> weak = networking;
    networking->reachability_->setStatusChange([weak](uint32_t status) {
        if (auto self = weak.lock()) self->setIsReachable(status != ZAVNetReachability::kNotReachable);
    });
    networking->reachability_->start();
    return networking;
}

ZAVNetworking::~ZAVNetworking() {
    reachability_->stop();
}

void ZAVNetworking::setIsReachable(bool reachable) {
    reachable_.store(reachable);
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = reachableChanged_;
    }
    if (hook) hook();
}

void ZAVNetworking::setReachableChangeHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    reachableChanged_ = std::move(hook);
}

plat::URLRequest ZAVNetworking::requestWithURL(const std::string& url) const {
    plat::URLRequest request(url, plat::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData);
    request.setHTTPMethod("GET");
    request.setValue(ZAVDispatchUtil::userAgentString(), "User-Agent");
    if (timeoutInterval() > 0) request.setTimeoutInterval(timeoutInterval());
    return request;
}

std::shared_ptr<ZAVNetOperation> ZAVNetworking::sendURL(const std::string& url,
                                                        ZAVNetOperation::Completion completion) {
    auto operation = ZAVNetOperation::operationWithRequest(requestWithURL(url), std::move(completion));
    std::weak_ptr<ZAVNetworking> weak = weak_from_this();
    operation->setFinishedHook([weak] {
        if (auto self = weak.lock()) self->startNext();
    });
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(operation);
    }
    startNext();
    return operation;
}

void ZAVNetworking::startNext() {
    std::shared_ptr<ZAVNetOperation> next;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_ && !running_->isFinished()) return;
        running_.reset();
        if (queue_.empty()) return;
        next = running_ = queue_.front();
        queue_.pop_front();
    }
    next->start();
}

void ZAVNetworking::cancelAllOperations() {
    std::vector<std::shared_ptr<ZAVNetOperation>> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_) all.push_back(running_);
        all.insert(all.end(), queue_.begin(), queue_.end());
    }
    // Last first: the running one's end starts the next in the queue, which must be marked by then, or
    // its request would go out.
    for (auto it = all.rbegin(); it != all.rend(); ++it) (*it)->cancel();
}
