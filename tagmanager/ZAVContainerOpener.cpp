#include "tagmanager/ZAVContainerOpener.h"

#include <map>
#include <vector>

#include "platform/base/Clock.h"
#include "tagmanager/ZODAruzivu.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVContainer.h"

namespace {

using NotifierList = std::vector<std::shared_ptr<ZAVContainerOpenerNotifier>>;

// The notifiers still waiting for each id's open, and the lock of every opener's open decision. Recursive:
// an open holds it while the facade starts the load, whose callbacks may hand over on this same thread.
struct WaitingNotifiers {
    std::recursive_mutex lock;
    std::map<std::string, NotifierList> byId;
};

WaitingNotifiers& waiting() {
    static WaitingNotifiers instance;
    return instance;
}

// A time-out that is not a number or already past fires at once; one beyond a year is held at a year, so
// the run loop's microsecond arithmetic stays in range.
double timerDelay(double seconds) {
    constexpr double kYear = 365.0 * 24 * 3600;
    if (!(seconds > 0)) return 0;
    return seconds < kYear ? seconds : kYear;
}

}  // namespace

// ---- opening

std::shared_ptr<ZAVContainerFuture> ZAVContainerOpener::openContainerWithId(
    const std::optional<std::string>& containerId, const std::shared_ptr<ZODAruzivu>& zodAruzivu,
    uint32_t openType, std::optional<double> timeout) {
    if (!containerId) {
        ZAVLog::error("containerId must be non-nil");
        return nullptr;
    }
    if (!zodAruzivu) {
        ZAVLog::error("zodAruzivu must be non-nil");
        return nullptr;
    }
    auto future = std::make_shared<ZAVContainerFutureImpl>();
    openContainerWithId(containerId, zodAruzivu, openType, timeout,
                        std::make_shared<ZAVFutureNotifier>(future));
    return future;
}

void ZAVContainerOpener::openContainerWithId(const std::optional<std::string>& containerId,
                                             const std::shared_ptr<ZODAruzivu>& zodAruzivu, uint32_t openType,
                                             std::optional<double> timeout,
                                             std::shared_ptr<ZAVContainerOpenerNotifier> notifier) {
    if (!containerId) {
        ZAVLog::error("containerId must be non-nil");
        return;
    }
    if (!zodAruzivu) {
        ZAVLog::error("zodAruzivu must be non-nil");
        return;
    }
    if (!notifier) {
        ZAVLog::error("notifier must be non-nil");
        return;
    }
    initWithContainerId(*containerId, zodAruzivu, timeout, std::move(notifier))
        ->openWithRefreshType(openType != kOpenTypePreferNonDefault);
}

ZAVContainerOpener::ZAVContainerOpener(Private, std::string containerId,
                                       std::shared_ptr<ZODAruzivu> zodAruzivu, std::optional<double> timeout,
                                       std::shared_ptr<ZAVContainerOpenerNotifier> notifier)
    : zodAruzivu_(std::move(zodAruzivu)),
      containerId_(std::move(containerId)),
      timeout_(timeout ? *timeout : defaultTimeout()),
      notifier_(std::move(notifier)) {}

std::shared_ptr<ZAVContainerOpener> ZAVContainerOpener::initWithContainerId(
    const std::string& containerId, std::shared_ptr<ZODAruzivu> zodAruzivu, std::optional<double> timeout,
    std::shared_ptr<ZAVContainerOpenerNotifier> notifier) {
    if (timeout && *timeout >= kExcessiveTimeout)
        ZAVLog::warning(
            zavFormat("Excessive timeout detected (%f). Timeout should be in seconds.", *timeout));
    return std::make_shared<ZAVContainerOpener>(Private(), containerId, std::move(zodAruzivu), timeout,
                                                std::move(notifier));
}

void ZAVContainerOpener::openWithRefreshType(bool preferFresh) {
    const double start = plat::Clock::shared().nowSeconds();
    std::shared_ptr<ZAVContainerOpenerNotifier> handOverNow;
    std::shared_ptr<ZAVContainer> container;
    bool opened = false;
    {
        auto& shared = waiting();
        std::lock_guard<std::recursive_mutex> mapLock(shared.lock);
        container = zodAruzivu_->getContainerById(containerId_);
        if (container) {
            std::lock_guard<std::recursive_mutex> lock(lock_);
            container_ = container;
            auto list = shared.byId.find(containerId_);
            if (list != shared.byId.end()) {
                // Another open of this id is still waiting: this one is notified with it.
                list->second.push_back(std::move(notifier_));
                notifier_ = nullptr;
                return;
            }
            handOverNow = std::move(notifier_);
            notifier_ = nullptr;
        } else {
            {
                std::lock_guard<std::recursive_mutex> lock(lock_);
                shared.byId[containerId_] = NotifierList{std::move(notifier_)};
                notifier_ = nullptr;
            }
            std::shared_ptr<ZAVContainerCallback> policy;
            if (preferFresh) {
                policy = std::make_shared<ZAVWaitForFresh>(
                    shared_from_this(),
                    ZAVContainer::currentTimeInMilliseconds() - ZAVContainer::refreshPeriodOnSuccess());
            } else {
                policy = std::make_shared<ZAVWaitForNonDefaultRefresh>(shared_from_this());
            }
            container = zodAruzivu_->openContainerById(containerId_, policy);
            // Opened directly through the facade meanwhile: the time-out hands that one over.
            if (!container) container = zodAruzivu_->getContainerById(containerId_);
            std::lock_guard<std::recursive_mutex> lock(lock_);
            container_ = container;
            opened = true;
        }
    }
    if (handOverNow) {
        handOverNow->containerAvailable(container);
        return;
    }
    if (!opened) return;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    // Handed over already (a load that reported at once): no time-out is needed.
    if (haveNotified_) return;
    const double elapsed = plat::Clock::shared().nowSeconds() - start;
    timerLoop_ = &plat::RunLoop::current();
    timerId_ = timerLoop_->addTimer(timerDelay(timeout_ - elapsed),
                                    [self = shared_from_this(), container] { self->handleTimer(container); });
}

// ---- handing over

void ZAVContainerOpener::callNotifiers(const std::shared_ptr<ZAVContainer>& container) {
    {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (haveNotified_) return;
        haveNotified_ = true;
        // The time-out has nothing left to do; dropping it also lets go of this opener and the container.
        if (timerLoop_) timerLoop_->cancelTimer(timerId_);
        timerLoop_ = nullptr;
    }
    // Not nested in the opener's lock: an open holds the map's lock while it takes an opener's.
    NotifierList notifiers;
    {
        auto& shared = waiting();
        std::lock_guard<std::recursive_mutex> mapLock(shared.lock);
        auto list = shared.byId.find(containerId_);
        if (list != shared.byId.end()) {
            notifiers = std::move(list->second);
            shared.byId.erase(list);
        }
    }
    for (const auto& notifier : notifiers)
        if (notifier) notifier->containerAvailable(container);
}

void ZAVContainerOpener::handleTimer(const std::shared_ptr<ZAVContainer>& container) {
    callNotifiers(container);
}

bool ZAVContainerOpener::haveNotified() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return haveNotified_;
}

std::shared_ptr<ZAVContainer> ZAVContainerOpener::container() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return container_;
}

void ZAVContainerOpener::resetNotifiers() {
    auto& shared = waiting();
    std::lock_guard<std::recursive_mutex> lock(shared.lock);
    shared.byId.clear();
}

size_t ZAVContainerOpener::waitingIdCount() {
    auto& shared = waiting();
    std::lock_guard<std::recursive_mutex> lock(shared.lock);
    return shared.byId.size();
}

// ---- policies

void ZAVWaitForNonDefaultRefresh::containerRefreshSuccess(const std::shared_ptr<ZAVContainer>& container,
                                                          uint32_t) {
    containerOpener_->callNotifiers(container);
}

void ZAVWaitForNonDefaultRefresh::containerRefreshFailure(const std::shared_ptr<ZAVContainer>& container,
                                                          uint32_t, uint32_t refreshType) {
    if (refreshType == ZAVRefreshTypeNetwork) containerOpener_->callNotifiers(container);
}

void ZAVWaitForFresh::containerRefreshSuccess(const std::shared_ptr<ZAVContainer>& container,
                                              uint32_t refreshType) {
    if (refreshType == ZAVRefreshTypeSaved && !(oldestTimeToBeFresh_ < container->lastRefreshTime())) return;
    containerOpener_->callNotifiers(container);
}

void ZAVWaitForFresh::containerRefreshFailure(const std::shared_ptr<ZAVContainer>& container, uint32_t,
                                              uint32_t refreshType) {
    if (refreshType == ZAVRefreshTypeNetwork) containerOpener_->callNotifiers(container);
}

// ---- the future

std::shared_ptr<ZAVContainer> ZAVContainerFutureImpl::get() {
    for (;;) {
        if (auto found = container()) return found;
        plat::RunLoop::current().runOnce(0.1);
    }
}

bool ZAVContainerFutureImpl::isDone() const {
    return container() != nullptr;
}

std::shared_ptr<ZAVContainer> ZAVContainerFutureImpl::container() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return container_;
}

void ZAVContainerFutureImpl::setContainer(std::shared_ptr<ZAVContainer> container) {
    std::lock_guard<std::mutex> lock(mutex_);
    container_ = std::move(container);
}

void ZAVFutureNotifier::containerAvailable(const std::shared_ptr<ZAVContainer>& container) {
    future_->setContainer(container);
}
