#include "tagmanager/base/ZAVWorkers.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <vector>

#include "platform/base/Clock.h"
#include "platform/base/Lasting.h"
#include "platform/base/Value.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/storage/OutputStream.h"
#include "platform/storage/Paths.h"
#include "platform/ui/Device.h"
#include "tagmanager/base/ZAVLog.h"
#include "wire/schema/ZAVPResourcewithmetadata.h"
#include "wire/schema/ZAVPServing.h"
#include "wire/schema/ZAVPTypeSystem.h"

struct ZAVWorker::State {
    explicit State(std::string n) : name(std::move(n)) {}
    const std::string name;
    mutable std::mutex mutex;
    std::shared_ptr<plat::Thread> thread;
    uint64_t generation = 0;
    std::atomic<uint64_t> posted{0};
    std::vector<ZAVWorker::Task> atEnd;
};

namespace {

// A thread asked to end after its queued work; `ended` is ready once its loop has stopped.
struct Ending {
    std::shared_ptr<plat::Thread> thread;
    std::shared_future<void> ended;
};

// Workers and the exit hook use it until the very end.
struct Registry {
    std::mutex mutex;
    std::vector<std::weak_ptr<ZAVWorker::State>> workers;
    std::vector<Ending> ending;
    std::atomic<bool> exiting{false};
    std::atomic<uint64_t> generations{0};
};

Registry& registry() {
    static plat::Lasting<Registry> shared;
    return *shared;
}

thread_local const ZAVWorker::State* tCurrent = nullptr;

// Every message type a field of `descriptor` can hold, and theirs, so their descriptors exist.
void makeDescriptors(const ZAVWireDescriptor* descriptor, std::set<const ZAVWireDescriptor*>& seen) {
    if (!descriptor || !seen.insert(descriptor).second) return;
    for (const ZAVWireFieldDescriptor* field : descriptor->fieldList()) {
        field->enumDescriptor();
        const ZAVWireClass* type = field->msgClass();
        if (type && type->descriptor) makeDescriptors(type->descriptor(), seen);
    }
}

// The statics that worker tasks use are made before the exit hook is registered, so that they are
// destroyed after it runs (exit runs hooks and static destructors in the reverse order of their making).
// What the rooms above this one keep for the workers is never destroyed instead.
void makeWhatWorkersUse() {
    plat::Paths::home();
    plat::Clock::shared();
    plat::mainQueue();
    plat::NotificationCenter::defaultCenter();
    plat::Value::null();
    plat::Device::current();
    ZAVLog::logger();
    std::set<const ZAVWireDescriptor*> seen;
    for (const ZAVWireDescriptor* root :
         {ZAVPResourceWithMetadata::descriptor(), ZAVPServingValue::descriptor(), ZAVPValue::descriptor()})
        makeDescriptors(root, seen);
    ZAVPServingValue::ext();
    // A saved resource written and read back: the message classes, the extension registry and the
    // streams a save and a load go through.
    auto saved = ZAVPResourceWithMetadata::message();
    auto supplemented = ZAVPSupplementedResource::message();
    supplemented->setResource(ZAVPResource::message());
    saved->setSupplementedResource(supplemented);
    saved->setResource(ZAVPResource::message());
    auto out = plat::OutputStream::toMemory();
    out->open();
    saved->writeToOutputStream(out);
    out->close();
    ZAVPResourceWithMetadata::parseFromData(saved->data(), ZAVPServingRoot::extensionRegistry());
}

void onExit();

// Once, as the first worker starts: a hook registered again at every start would pile up entries in the
// exit list for as long as workers keep stopping and starting.
void registerExitHook() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        makeWhatWorkersUse();
        std::atexit(onExit);
    });
}

std::vector<std::shared_ptr<ZAVWorker::State>> liveWorkers() {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::vector<std::shared_ptr<ZAVWorker::State>> live;
    std::erase_if(r.workers, [&](const std::weak_ptr<ZAVWorker::State>& weak) {
        auto state = weak.lock();
        if (!state) return true;
        live.push_back(std::move(state));
        return false;
    });
    return live;
}

// Queues the end of the thread behind its work.
Ending queueEnd(const std::shared_ptr<plat::Thread>& thread) {
    auto stopped = std::make_shared<std::promise<void>>();
    thread->post([raw = thread.get(), stopped] {
        raw->runLoop().stop();
        stopped->set_value();
    });
    return Ending{thread, stopped->get_future().share()};
}

void drain(const std::vector<std::shared_ptr<ZAVWorker::State>>& workers);
void stopState(ZAVWorker::State& state);
bool isRunning(ZAVWorker::State& state);

// Drains every worker until a whole pass hands none of them new work (work may hand work on, to its own
// worker or another); bounded, as work could keep handing on for ever.
void settle() {
    for (int pass = 0; pass < 10; ++pass) {
        auto workers = liveWorkers();
        uint64_t before = 0, after = 0;
        for (const auto& state : workers) before += state->posted.load();
        drain(workers);
        for (const auto& state : workers) after += state->posted.load();
        if (after == before) return;
    }
}

bool isRunning(ZAVWorker::State& state) {
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.thread != nullptr;
}

// Whether one of the workers' threads runs, or one that ended itself waits to be joined.
bool anyRunning(const std::vector<std::shared_ptr<ZAVWorker::State>>& workers) {
    for (const auto& state : workers)
        if (isRunning(*state)) return true;
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return !r.ending.empty();
}

void onExit() {
    auto& r = registry();
    if (r.exiting.load()) return;
    settle();
    r.exiting.store(true);
    for (const auto& state : liveWorkers()) stopState(*state);
    ZAVWorkers::reap();
}

std::shared_ptr<plat::Thread> startedThread(ZAVWorker::State& state, uint64_t* generation) {
    // With the worker's lock held.
    if (!state.thread) {
        if (registry().exiting.load()) return nullptr;
        registerExitHook();
        auto thread = std::make_shared<plat::Thread>(state.name);
        thread->start();
        thread->post([raw = &state] { tCurrent = raw; });
        state.thread = std::move(thread);
        state.generation = ++registry().generations;
    }
    if (generation) *generation = state.generation;
    return state.thread;
}

bool postTo(ZAVWorker::State& state, ZAVWorker::Task task) {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (registry().exiting.load()) return false;
    auto thread = startedThread(state, nullptr);
    if (!thread) return false;
    thread->post(std::move(task));
    ++state.posted;
    return true;
}

// Runs the task on the worker and waits for it; at once on the worker itself. An idle worker is started
// only when `start` says so. The task is posted under the worker's lock, so that it lands ahead of an end
// queued by another thread (a queue's plain sync could post it behind the end, and wait for ever).
bool postAndWait(ZAVWorker::State& state, const ZAVWorker::Task& task, bool start) {
    if (tCurrent == &state) {
        if (task) task();
        return true;
    }
    // Shared with the task: the waiter may be gone before set_value has returned.
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (registry().exiting.load() && start) return false;
        auto thread = start ? startedThread(state, nullptr) : state.thread;
        if (!thread) return false;
        thread->post([&task, done] {
            if (task) task();
            done->set_value();
        });
        if (start) ++state.posted;
    }
    finished.wait();
    return true;
}

// Waits for what a running worker has queued; starts nothing.
void drain(const std::vector<std::shared_ptr<ZAVWorker::State>>& workers) {
    for (const auto& state : workers) postAndWait(*state, nullptr, false);
}

// Ends the worker's thread after its queued work: joined here, or, when the caller is that thread, listed
// for the next reap before the worker lets go of it, so that no reap can miss it.
void stopState(ZAVWorker::State& state) {
    Ending ending;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.thread) return;
        if (!state.atEnd.empty())
            state.thread->post([atEnd = state.atEnd] {
                for (const auto& task : atEnd) task();
            });
        ending = queueEnd(state.thread);
        state.thread.reset();
        if (ending.thread->isCurrent()) {
            auto& r = registry();
            std::lock_guard<std::mutex> listed(r.mutex);
            r.ending.push_back(std::move(ending));
            return;
        }
    }
    ending.ended.wait();
    ending.thread->stop();
}

// Ends the threads of the workers `which` gives, each after its queued work (and `beforeEnd`, handed to
// each running one first); `all` settles every worker's work first and also joins the threads that ended
// themselves. A task running while its worker ends may still hand work in, which starts the worker again:
// so a few rounds, until none runs.
void stopWorkers(const std::function<std::vector<std::shared_ptr<ZAVWorker::State>>()>& which,
                 const ZAVWorker::Task& beforeEnd, bool all) {
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        auto workers = which();
        if (all ? !anyRunning(workers) : std::none_of(workers.begin(), workers.end(), [](const auto& state) {
                return isRunning(*state);
            }))
            break;
        if (all) settle();
        for (const auto& state : workers) {
            if (beforeEnd && isRunning(*state)) postTo(*state, beforeEnd);
            stopState(*state);
        }
        // A worker's own thread is joined by whoever ends the workers next.
        const bool onStopped = std::any_of(workers.begin(), workers.end(),
                                           [](const auto& state) { return state.get() == tCurrent; });
        if (all || !onStopped) ZAVWorkers::reap();
    }
}

}  // namespace

ZAVWorker::ZAVWorker(std::string name) : state_(std::make_shared<State>(std::move(name))) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.workers.push_back(state_);
}

ZAVWorker::~ZAVWorker() {
    stopState(*state_);
    // The state may outlive the worker for a moment, in the hands of a shutdown on another thread.
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->atEnd.clear();
}

bool ZAVWorker::post(Task task) {
    return postTo(*state_, std::move(task));
}

bool ZAVWorker::sync(const Task& task) {
    return postAndWait(*state_, task, true);
}

bool ZAVWorker::isCurrent() const {
    return tCurrent == state_.get();
}

std::shared_ptr<plat::Thread> ZAVWorker::thread(uint64_t* generation) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return startedThread(*state_, generation);
}

std::shared_ptr<plat::Thread> ZAVWorker::runningThread(uint64_t* generation) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (generation) *generation = state_->thread ? state_->generation : 0;
    return state_->thread;
}

void ZAVWorker::stop(const Task& beforeEnd) {
    auto state = state_;
    stopWorkers([&state] { return std::vector<std::shared_ptr<State>>{state}; }, beforeEnd, false);
    // What ended itself earlier is joined even when this thread was not running.
    if (!isCurrent()) ZAVWorkers::reap();
}

void ZAVWorker::atEnd(Task task) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->atEnd.push_back(std::move(task));
}

const std::string& ZAVWorker::name() const {
    return state_->name;
}

ZAVWorker& ZAVWorkers::zavThread() {
    static plat::Lasting<ZAVWorker> worker("ZAVThread");
    return *worker;
}

ZAVWorker& ZAVWorkers::async() {
    static plat::Lasting<ZAVWorker> worker("ZAVAsync");
    return *worker;
}

void ZAVWorkers::shutdown() {
    stopWorkers(liveWorkers, nullptr, true);
    reap();
}

void ZAVWorkers::reap() {
    auto& r = registry();
    std::vector<Ending> joinable;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        std::erase_if(r.ending, [&](Ending& ending) {
            if (ending.thread->isCurrent()) return false;
            joinable.push_back(std::move(ending));
            return true;
        });
    }
    for (auto& ending : joinable) {
        ending.ended.wait();
        ending.thread->stop();
    }
}
