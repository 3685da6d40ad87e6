#include "ads/base/ADFRWorkQueues.h"

#include <list>
#include <vector>

#include "ads/base/ADFREndpoints.h"
#include "platform/base/Log.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/SerialQueue.h"

namespace {

// The worker thread's own loader holds kept-alive connections; they go with the work.
void runThenTidy(const ADFRWorkQueues::Work& work) {
    if (work) work();
    plat::URLConnection::closeIdleConnections();
}

}  // namespace

struct ADFRWorkQueues::Pool {
    struct Worker {
        std::unique_ptr<plat::SerialQueue> queue;
        bool done = false;
    };

    std::mutex mutex;
    std::list<std::shared_ptr<Worker>> scaleoutWorkers;
    std::unique_ptr<plat::SerialQueue> global;

    // Joins the scaleout workers whose work has ended; a worker cannot join itself, so this runs on the
    // main loop.
    void reapFinished() {
        std::vector<std::shared_ptr<Worker>> finished;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (auto it = scaleoutWorkers.begin(); it != scaleoutWorkers.end();) {
                if ((*it)->done) {
                    finished.push_back(std::move(*it));
                    it = scaleoutWorkers.erase(it);
                } else {
                    ++it;
                }
            }
        }
        finished.clear();
    }

    void stop() {
        for (;;) {
            std::shared_ptr<Worker> next;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (scaleoutWorkers.empty()) break;
                next = scaleoutWorkers.front();
                scaleoutWorkers.pop_front();
            }
            next->queue->sync([] {});
            next->queue.reset();
        }
        std::unique_ptr<plat::SerialQueue> ending;
        {
            std::lock_guard<std::mutex> lock(mutex);
            ending = std::move(global);
        }
        if (ending) ending->sync([] {});
    }

    size_t workers() {
        std::lock_guard<std::mutex> lock(mutex);
        return scaleoutWorkers.size() + (global ? 1 : 0);
    }

    // The live owners' pools, so a test can end all work at once; the owners alone own them.
    static std::mutex& registryMutex() {
        static std::mutex m;
        return m;
    }
    static std::list<std::weak_ptr<Pool>>& registry() {
        static std::list<std::weak_ptr<Pool>> pools;
        return pools;
    }
    static std::vector<std::shared_ptr<Pool>> live() {
        std::vector<std::shared_ptr<Pool>> pools;
        std::lock_guard<std::mutex> lock(registryMutex());
        for (auto it = registry().begin(); it != registry().end();) {
            if (auto pool = it->lock()) {
                pools.push_back(std::move(pool));
                ++it;
            } else {
                it = registry().erase(it);
            }
        }
        return pools;
    }
};

ADFRWorkQueues::ADFRWorkQueues() : pool_(std::make_shared<Pool>()) {
    std::lock_guard<std::mutex> lock(Pool::registryMutex());
    // Owners come and go with the banner's rotation: the gone ones are dropped here, so the list stays short.
    Pool::registry().remove_if([](const std::weak_ptr<Pool>& pool) { return pool.expired(); });
    Pool::registry().push_back(pool_);
}

ADFRWorkQueues::~ADFRWorkQueues() {
    pool_->stop();
}

void ADFRWorkQueues::scaleout(Work work) {
    auto worker = std::make_shared<Pool::Worker>();
    worker->queue = std::make_unique<plat::SerialQueue>(kScaleoutName);
    {
        std::lock_guard<std::mutex> lock(pool_->mutex);
        pool_->scaleoutWorkers.push_back(worker);
    }
    std::weak_ptr<Pool> pool = pool_;
    std::weak_ptr<Pool::Worker> weak = worker;
    worker->queue->async([work = std::move(work), pool, weak] {
        runThenTidy(work);
        auto p = pool.lock();
        if (!p) return;
        if (auto w = weak.lock()) {
            std::lock_guard<std::mutex> lock(p->mutex);
            w->done = true;
        }
        plat::RunLoop::main().post([pool] {
            if (auto p = pool.lock()) p->reapFinished();
        });
    });
}

void ADFRWorkQueues::global(Work work) {
    std::lock_guard<std::mutex> lock(pool_->mutex);
    if (!pool_->global) pool_->global = std::make_unique<plat::SerialQueue>(kGlobalName);
    pool_->global->async([work = std::move(work)] { runThenTidy(work); });
}

void ADFRWorkQueues::stop() {
    pool_->stop();
}

void ADFRWorkQueues::releaseOnMain(std::shared_ptr<void> object) {
    if (object) plat::RunLoop::main().post([object = std::move(object)]() mutable { object.reset(); });
}

void ADFRWorkQueues::shutdown() {
    for (const auto& pool : Pool::live()) pool->stop();
}

size_t ADFRWorkQueues::liveWorkers() {
    size_t count = 0;
    for (const auto& pool : Pool::live()) count += pool->workers();
    return count;
}

std::optional<std::string> ADFRWorkQueues::get(const plat::URLRequest& request) {
    if (ADFREndpoints::leadsNowhere(request.url())) return std::nullopt;
    std::optional<plat::URLResponse> response;
    std::optional<plat::Error> error;
    auto body = plat::URLConnection::sendSynchronous(request, &response, &error);
    if (!body || error) {
        plat::logInfo("ads: %s failed: %s", request.url().c_str(),
                      error ? error->localizedDescription().c_str() : "no answer");
        return std::nullopt;
    }
    if (!response || response->statusCode() != 200) return std::nullopt;
    return std::string(body->begin(), body->end());
}
