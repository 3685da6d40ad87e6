#pragma once
// Tasks that run one at a time in the order they were added: either on a worker thread of the queue's
// own, or on an existing run loop (mainQueue() is the main run loop).
#include <memory>
#include <string>

#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

namespace plat {

class SerialQueue {
  public:
    // A queue with its own worker thread of that name, at the priority of the thread that makes it.
    explicit SerialQueue(std::string name);
    // A queue that runs its tasks on `loop` (which must outlive the queue).
    explicit SerialQueue(RunLoop& loop);
    // A queue of its own thread at the lowest priority, for work that must not take a core from the
    // frame (writing files): sharing a core, it runs while the main thread waits.
    static std::shared_ptr<SerialQueue> lowPriority(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(RunLoop::Task task);
    // Runs `task` and waits for it. On the queue's own thread it runs at once; from elsewhere the
    // queue's loop must be running, or this waits forever.
    void sync(const RunLoop::Task& task);
    bool isCurrent() const { return loop_->isCurrent(); }
    RunLoop& runLoop() { return *loop_; }

  private:
    std::unique_ptr<Thread> thread_;
    RunLoop* loop_;
};

// The queue of the main run loop.
SerialQueue& mainQueue();

}  // namespace plat
