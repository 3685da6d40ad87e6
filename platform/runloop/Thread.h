#pragma once
// A named worker thread that runs its own run loop until stopped. Work reaches it through post() or
// through timers and fd watches on runLoop().
#include <memory>
#include <string>
#include <thread>

#include "platform/runloop/RunLoop.h"

namespace plat {

class Thread {
  public:
    explicit Thread(std::string name);
    // Stops the loop and joins the thread; tasks still queued are dropped.
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread (once); false when it was already started.
    bool start();
    // Stops the loop and waits for the thread to end. Calling it on the thread itself only stops the loop.
    void stop();
    bool isStarted() const { return worker_.joinable(); }

    void post(RunLoop::Task task) { loop_->post(std::move(task)); }
    RunLoop& runLoop() { return *loop_; }
    const std::string& name() const { return name_; }
    bool isCurrent() const { return worker_.get_id() == std::this_thread::get_id(); }

    // The name given to the calling thread by a Thread, "main" on the main thread, else empty.
    static std::string currentName();

    // Holds the quits (QuitSignals::set) back on the calling thread and every thread it starts from then on.
    // Called first in a program's main, before any library starts a thread, it leaves quits pending on the
    // process for the one thread that takes them (sigwait, a signalfd: QuitSignals): a thread that took
    // one could be ended by an exec before passing it on, and the quit would be lost with it; a pending
    // one survives the exec. Every worker thread calls it too, for a program that did not hold them back
    // first.
    static void holdQuitsBack();

  private:
    std::string name_;
    std::unique_ptr<RunLoop> loop_;
    std::thread worker_;
};

}  // namespace plat
