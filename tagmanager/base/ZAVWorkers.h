#pragma once
// The tag manager's worker threads, owned in one place so that they end in order: ZAVThread (hit store,
// dispatch, hit requests), the background queue "ZAVAsync" (saved resources, property lists) and each
// data-layer store's queue. A worker starts its thread on first use, and again after a shutdown.
//
// At process exit (a return from main, or exit()) every worker runs what was handed to it, then its
// at-end work, and ends before the statics its work uses are destroyed; work handed in after that is dropped,
// never half done (every file is written whole or not at all). A thread is only ever joined by another
// thread: one that ends itself (its owner let go on it) is joined later by whoever ends the workers next.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

class ZAVWorker {
  public:
    using Task = plat::RunLoop::Task;

    explicit ZAVWorker(std::string name);
    // Ends the thread after what is queued; from its own thread too (joined later, see above).
    ~ZAVWorker();
    ZAVWorker(const ZAVWorker&) = delete;
    ZAVWorker& operator=(const ZAVWorker&) = delete;

    // Queues the task behind earlier ones; false (the task dropped) once the process is exiting.
    bool post(Task task);
    // Runs the task and waits for it; at once when called on the worker. False when it did not run.
    bool sync(const Task& task);
    bool isCurrent() const;
    // The running thread (started when none runs) and its generation, which tells a timer of an ended
    // thread from one of its successor; null when the process is exiting.
    std::shared_ptr<plat::Thread> thread(uint64_t* generation = nullptr);
    // The running thread, if any; nothing is started.
    std::shared_ptr<plat::Thread> runningThread(uint64_t* generation = nullptr) const;
    // Runs what is queued (then `beforeEnd`, when the thread runs), then ends the thread, again while that
    // work starts it anew (a few rounds); the next use starts a new one.
    void stop(const Task& beforeEnd = nullptr);
    // Adds to the work the thread runs last, after everything else, each time it ends: at exit, at
    // ZAVWorkers::shutdown(), at stop() and as the worker goes, whose going also drops the list.
    void atEnd(Task task);
    const std::string& name() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

class ZAVWorkers {
  public:
    ZAVWorkers() = delete;

    // ZAVThread and the background queue "ZAVAsync", made on first use and kept for the process.
    static ZAVWorker& zavThread();
    static ZAVWorker& async();

    // Every worker runs what was handed to it (also what that work hands on), then ends; threads that
    // ended themselves are joined. Workers start again when used.
    static void shutdown();
    // Joins the threads that ended themselves (none of them is the caller's).
    static void reap();
};
