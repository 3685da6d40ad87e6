#include "tagmanager/container/ZAVResourceLoaderScheduler.h"

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVResourceLoader.h"

ZAVResourceLoaderScheduler::ZAVResourceLoaderScheduler(const std::string& containerId)
    : containerId_(containerId) {}

std::shared_ptr<ZAVResourceLoaderScheduler> ZAVResourceLoaderScheduler::initWithContainerId(
    const std::string& containerId) {
    return std::shared_ptr<ZAVResourceLoaderScheduler>(new ZAVResourceLoaderScheduler(containerId));
}

ZAVResourceLoaderScheduler::~ZAVResourceLoaderScheduler() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelTimer();
}

std::shared_ptr<ZAVLoadCallback> ZAVResourceLoaderScheduler::loadCallback() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loadCallback_;
}

void ZAVResourceLoaderScheduler::setLoadCallback(std::shared_ptr<ZAVLoadCallback> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    loadCallback_ = std::move(callback);
}

std::optional<std::string> ZAVResourceLoaderScheduler::ctfeServerAddress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ctfeServerAddress_;
}

void ZAVResourceLoaderScheduler::setCtfeServerAddress(std::optional<std::string> address) {
    std::lock_guard<std::mutex> lock(mutex_);
    ctfeServerAddress_ = std::move(address);
}

std::optional<std::string> ZAVResourceLoaderScheduler::ctfeUrlPathAndQuery() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ctfeUrlPathAndQuery_;
}

void ZAVResourceLoaderScheduler::setCtfeUrlPathAndQuery(std::optional<std::string> pathAndQuery) {
    std::lock_guard<std::mutex> lock(mutex_);
    ctfeUrlPathAndQuery_ = std::move(pathAndQuery);
}

std::optional<std::string> ZAVResourceLoaderScheduler::previousVersion() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return previousVersion_;
}

bool ZAVResourceLoaderScheduler::hasPendingTimer() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timer_.has_value();
}

void ZAVResourceLoaderScheduler::loadAfterDelay(double delayMillis,
                                                std::optional<std::string> previousVersion) {
    std::lock_guard<std::mutex> lock(mutex_);
    ZAVLog::verbose(zavFormat("scheduleTask: containerId=%s delay=%f", containerId_.c_str(), delayMillis));
    cancelTimer();
    previousVersion_ = std::move(previousVersion);
    scheduleTimerWithDelay(delayMillis);
}

void ZAVResourceLoaderScheduler::scheduleTimerWithDelay(double delayMillis) {
    // A delay that is negative or not a number is due now; one past a year is held at a year, which the
    // timer's microsecond arithmetic can carry.
    if (!(delayMillis > 0)) delayMillis = 0;
    if (delayMillis > kMaxDelayMillis) delayMillis = kMaxDelayMillis;
    plat::RunLoop& loop = plat::RunLoop::current();
    // The timer holds the scheduler until it fires or is cancelled, as a timer holds its target.
    auto self = shared_from_this();
    auto id = std::make_shared<plat::RunLoop::TimerId>(0);
    *id = loop.addTimer(delayMillis / 1000.0, [self, id] { self->timerFired(*id); });
    timer_ = *id;
    timerLoop_ = &loop;
}

void ZAVResourceLoaderScheduler::cancelTimer() {
    if (timer_ && timerLoop_) timerLoop_->cancelTimer(*timer_);
    timer_.reset();
    timerLoop_ = nullptr;
}

void ZAVResourceLoaderScheduler::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelTimer();
}

void ZAVResourceLoaderScheduler::timerFired(plat::RunLoop::TimerId id) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A request made while this one was firing has its own timer: leave that one pending.
        if (timer_ == id) {
            timer_.reset();
            timerLoop_ = nullptr;
        }
    }
    try {
        requestResource();
    } catch (const plat::Exception& e) {
        // Raised on the run loop nobody could catch it; the container stays without downloads.
        ZAVLog::error(zavFormat("Download of container %s not started: %s: %s", containerId_.c_str(),
                                e.name().c_str(), e.reason().c_str()));
    }
}

void ZAVResourceLoaderScheduler::requestResource() {
    std::shared_ptr<ZAVLoadCallback> callback;
    std::optional<std::string> address, pathAndQuery, previousVersion;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        callback = loadCallback_;
        address = ctfeServerAddress_;
        pathAndQuery = ctfeUrlPathAndQuery_;
        previousVersion = previousVersion_;
    }
    if (!callback)
        throw plat::Exception(kIllegalStateException,
                              "Callback must be set before scheduleTaskWithDelay is called.");
    // Outside the lock: the loader's first report goes to the container, which may schedule again.
    auto loader = ZAVResourceLoader::initWithContainerId(containerId_);
    loader->setCallback(callback);
    if (address) {
        ZAVLog::debug("Setting CTFE server address to " + *address);
        loader->setCtfeServerAddress(*address);
    }
    if (pathAndQuery) ZAVLog::debug("Setting CTFE url path to " + *pathAndQuery);
    loader->setCtfeUrlPathAndQuery(pathAndQuery);
    loader->setPreviousVersion(previousVersion);
    loader->loadResourceAsync();
}
