#include "analytics/base/RUVWorker.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <set>

#include "platform/net/URLLoader.h"
#include "platform/storage/SqliteFile.h"

namespace {

// How long the exit waits for the work queued before it and for the files to close.
constexpr auto kExitWait = std::chrono::seconds(3);

// The SDK's store files, and those with commits not yet folded into them. Never destroyed.
struct Files {
    std::mutex mutex;
    std::set<plat::SqliteFile*> kept;
    std::set<plat::SqliteFile*> committed;
    bool foldQueued = false;
    // The file being folded or closed, which forgetFile waits for.
    plat::SqliteFile* busy = nullptr;
    std::condition_variable idle;
};

Files& files() {
    static auto* shared = new Files();
    return *shared;
}

// Runs `action` on each file of `which` still kept, without the lock: a commit calls noteCommit with
// SQLite's own lock held, so SQLite is never called with this one held.
void forEachKept(const std::set<plat::SqliteFile*>& which, void (*action)(plat::SqliteFile&)) {
    auto& f = files();
    std::unique_lock lock(f.mutex);
    for (plat::SqliteFile* file : which) {
        if (!f.kept.count(file)) continue;
        f.busy = file;
        lock.unlock();
        action(*file);
        lock.lock();
        f.busy = nullptr;
        f.idle.notify_all();
    }
}

void fold() {
    std::set<plat::SqliteFile*> committed;
    {
        auto& f = files();
        std::lock_guard lock(f.mutex);
        f.foldQueued = false;
        committed.swap(f.committed);
    }
    // One that cannot fold now (another connection reads) is folded after its next commit or at exit.
    forEachKept(committed, [](plat::SqliteFile& file) { file.checkpoint(); });
}

void noteCommit(plat::SqliteFile* file) {
    auto& f = files();
    std::lock_guard lock(f.mutex);
    if (!f.kept.count(file)) return;
    f.committed.insert(file);
    if (!std::exchange(f.foldQueued, true)) RUVWorker::post(fold);
}

void closeFiles() {
    std::set<plat::SqliteFile*> kept;
    {
        auto& f = files();
        std::lock_guard lock(f.mutex);
        kept = f.kept;
        f.committed.clear();
    }
    // The last connection to a file folds its log in as it closes.
    forEachKept(kept, [](plat::SqliteFile& file) { file.close(); });
}

}  // namespace

struct RUVWorker::State {
    plat::Thread thread{"RUVThread"};
    // Over the thread's run loop; goes first.
    plat::SerialQueue queue{thread.runLoop()};
    // A child forked from this process has no worker.
    const pid_t pid = getpid();
    // Set at exit, after which sync() hands nothing more to the worker.
    std::mutex gate;
    bool stopped = false;
    State() {
        // Exit hooks run in the reverse order of their registration: this one before the TLS library's.
        plat::URLLoader::setUpLibrary();
        thread.start();
        std::atexit(RUVWorker::onExit);
    }
};

// Never destroyed: work may be posted to the worker until the process ends.
RUVWorker::State& RUVWorker::state() {
    static auto* s = new State();
    return *s;
}

plat::Thread& RUVWorker::thread() {
    return state().thread;
}

plat::SerialQueue& RUVWorker::queue() {
    return state().queue;
}

void RUVWorker::sync(const plat::RunLoop::Task& task) {
    if (!task) return;
    State& s = state();
    if (s.thread.isCurrent()) {
        task();
        return;
    }
    // Shared with the task: the waiter may be gone before set_value has returned.
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    {
        std::lock_guard lock(s.gate);
        if (s.stopped) return;
        s.thread.post([&task, done] {
            task();
            done->set_value();
        });
    }
    finished.wait();
}

void RUVWorker::keepFile(plat::SqliteFile& file) {
    auto& f = files();
    std::lock_guard lock(f.mutex);
    f.kept.insert(&file);
    file.setCommitObserver([raw = &file](int) { noteCommit(raw); });
}

void RUVWorker::forgetFile(plat::SqliteFile& file) {
    auto& f = files();
    std::unique_lock lock(f.mutex);
    f.idle.wait(lock, [&] { return f.busy != &file; });
    f.kept.erase(&file);
    f.committed.erase(&file);
}

void RUVWorker::onExit() {
    State& s = state();
    if (getpid() != s.pid) return;
    {
        std::lock_guard lock(s.gate);
        if (std::exchange(s.stopped, true)) return;
    }
    if (s.thread.isCurrent()) {
        closeFiles();
        return;
    }
    // Behind the work queued so far, which still runs.
    auto closed = std::make_shared<std::promise<void>>();
    auto finished = closed->get_future();
    s.thread.post([closed] {
        closeFiles();
        closed->set_value();
        // Stopped for good: from here on the worker touches nothing that the exit handlers run down.
        for (;;) pause();
    });
    finished.wait_for(kExitWait);
}

void ruvLogLine(RUVLogLevel level, const char* function, const char* file, int line, const char* format,
                ...) {
    if (level == RUVLogLevel::None) return;
    const char* base = file ? std::strrchr(file, '/') : nullptr;
    base = base ? base + 1 : (file ? file : "");
    std::string text = ruvFormat("%s %s %s (%s:%d): ", "ZediveAnalytics", RUVWorker::kVersion,
                                 function ? function : "", base, line);
    va_list args;
    va_start(args, format);
    text += ruvVFormat(format, args);
    va_end(args);
    auto logger = RUVWorker::sharedLogger();
    switch (level) {
        case RUVLogLevel::Error:
            logger->error(text);
            break;
        case RUVLogLevel::Warning:
            logger->warning(text);
            break;
        case RUVLogLevel::Info:
            logger->info(text);
            break;
        case RUVLogLevel::Verbose:
            logger->verbose(text);
            break;
        case RUVLogLevel::None:
            break;
    }
}
