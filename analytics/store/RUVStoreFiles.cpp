#include "analytics/store/RUVStoreFiles.h"

#include <condition_variable>
#include <mutex>
#include <set>
#include <utility>

#include "analytics/base/RUVWorker.h"
#include "platform/base/Lasting.h"
#include "platform/storage/SqliteFile.h"

namespace {

void closeFiles();

// The SDK's store files, and those with commits not yet folded into them.
struct Files {
    std::mutex mutex;
    std::set<plat::SqliteFile*> kept;
    std::set<plat::SqliteFile*> committed;
    bool foldQueued = false;
    // The file being folded or closed, which forgetFile waits for.
    plat::SqliteFile* busy = nullptr;
    std::condition_variable idle;
    Files() { RUVWorker::atExit(closeFiles); }
};

Files& files() {
    static plat::Lasting<Files> shared;
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

void RUVStoreFiles::keepFile(plat::SqliteFile& file) {
    auto& f = files();
    std::lock_guard lock(f.mutex);
    f.kept.insert(&file);
    file.setCommitObserver([raw = &file](int) { noteCommit(raw); });
}

void RUVStoreFiles::forgetFile(plat::SqliteFile& file) {
    auto& f = files();
    std::unique_lock lock(f.mutex);
    f.idle.wait(lock, [&] { return f.busy != &file; });
    f.kept.erase(&file);
    f.committed.erase(&file);
}
