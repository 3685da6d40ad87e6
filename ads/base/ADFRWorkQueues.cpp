#include "ads/base/ADFRWorkQueues.h"

#include <list>
#include <vector>

#include "platform/base/Log.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/SerialQueue.h"

namespace {

struct Worker {
    std::unique_ptr<plat::SerialQueue> queue;
    bool done = false;
};

std::mutex& mutex() {
    static std::mutex m;
    return m;
}
std::list<std::shared_ptr<Worker>>& scaleoutWorkers() {
    static std::list<std::shared_ptr<Worker>> workers;
    return workers;
}
std::unique_ptr<plat::SerialQueue>& globalWorker() {
    static std::unique_ptr<plat::SerialQueue> worker;
    return worker;
}

// Joins the workers whose work has ended; a worker cannot join itself, so this runs on the main loop.
void reapFinished() {
    std::vector<std::shared_ptr<Worker>> finished;
    {
        std::lock_guard<std::mutex> lock(mutex());
        auto& workers = scaleoutWorkers();
        for (auto it = workers.begin(); it != workers.end();) {
            if ((*it)->done) {
                finished.push_back(std::move(*it));
                it = workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    finished.clear();
}

// The worker thread's own loader holds kept-alive connections; they go with the work.
void runThenTidy(const ADFRWorkQueues::Work& work) {
    if (work) work();
    plat::URLConnection::closeIdleConnections();
}

}  // namespace

void ADFRWorkQueues::scaleout(Work work) {
    auto worker = std::make_shared<Worker>();
    worker->queue = std::make_unique<plat::SerialQueue>(kScaleoutName);
    {
        std::lock_guard<std::mutex> lock(mutex());
        scaleoutWorkers().push_back(worker);
    }
    std::weak_ptr<Worker> weak = worker;
    worker->queue->async([work = std::move(work), weak] {
        runThenTidy(work);
        if (auto w = weak.lock()) {
            std::lock_guard<std::mutex> lock(mutex());
            w->done = true;
        }
        plat::RunLoop::main().post(reapFinished);
    });
}

void ADFRWorkQueues::global(Work work) {
    std::lock_guard<std::mutex> lock(mutex());
    auto& worker = globalWorker();
    if (!worker) worker = std::make_unique<plat::SerialQueue>(kGlobalName);
    worker->async([work = std::move(work)] { runThenTidy(work); });
}

void ADFRWorkQueues::releaseOnMain(std::shared_ptr<void> object) {
    if (object) plat::RunLoop::main().post([object = std::move(object)]() mutable { object.reset(); });
}

void ADFRWorkQueues::shutdown() {
    // Work may hand more work to the global worker, so the scaleout workers end first.
    for (;;) {
        std::shared_ptr<Worker> next;
        {
            std::lock_guard<std::mutex> lock(mutex());
            if (scaleoutWorkers().empty()) break;
            next = scaleoutWorkers().front();
            scaleoutWorkers().pop_front();
        }
        next->queue->sync([] {});
        next->queue.reset();
    }
    std::unique_ptr<plat::SerialQueue> ending;
    {
        std::lock_guard<std::mutex> lock(mutex());
        ending = std::move(globalWorker());
    }
    if (ending) ending->sync([] {});
}

size_t ADFRWorkQueues::liveWorkers() {
    std::lock_guard<std::mutex> lock(mutex());
    return scaleoutWorkers().size() + (globalWorker() ? 1 : 0);
}

std::optional<std::string> ADFRWorkQueues::get(const plat::URLRequest& request) {
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
