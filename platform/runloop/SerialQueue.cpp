#include "platform/runloop/SerialQueue.h"

#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "platform/base/Lasting.h"

namespace plat {

SerialQueue::SerialQueue(std::string name) : thread_(std::make_unique<Thread>(std::move(name))) {
    loop_ = &thread_->runLoop();
    thread_->start();
}

SerialQueue::SerialQueue(RunLoop& loop) : loop_(&loop) {}

SerialQueue::~SerialQueue() = default;

std::shared_ptr<SerialQueue> SerialQueue::lowPriority(std::string name) {
    auto queue = std::make_shared<SerialQueue>(std::move(name));
    // On Linux a thread id names the thread.
    queue->async([] { setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19); });
    return queue;
}

void SerialQueue::async(RunLoop::Task task) {
    loop_->post(std::move(task));
}

void SerialQueue::sync(const RunLoop::Task& task) {
    if (!task) return;
    if (loop_->isCurrent()) {
        task();
        return;
    }
    std::mutex m;
    std::condition_variable done;
    bool finished = false;
    loop_->post([&] {
        task();
        std::lock_guard<std::mutex> lock(m);
        finished = true;
        done.notify_one();
    });
    std::unique_lock<std::mutex> lock(m);
    done.wait(lock, [&] { return finished; });
}

SerialQueue& mainQueue() {
    static Lasting<SerialQueue> queue(RunLoop::main());
    return *queue;
}

}  // namespace plat
