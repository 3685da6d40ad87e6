#include "platform/runloop/SerialQueue.h"

#include <condition_variable>
#include <mutex>

namespace plat {

SerialQueue::SerialQueue(std::string name) : thread_(std::make_unique<Thread>(std::move(name))) {
    loop_ = &thread_->runLoop();
    thread_->start();
}

SerialQueue::SerialQueue(RunLoop& loop) : loop_(&loop) {}

SerialQueue::~SerialQueue() = default;

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
    static SerialQueue* queue = new SerialQueue(RunLoop::main());
    return *queue;
}

}  // namespace plat
