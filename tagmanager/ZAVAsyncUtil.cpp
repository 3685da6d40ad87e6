#include "tagmanager/ZAVAsyncUtil.h"

#include <exception>
#include <memory>
#include <mutex>

#include "platform/base/Error.h"
#include "platform/runloop/SerialQueue.h"
#include "tagmanager/ZAVLog.h"

namespace {

std::mutex queueMutex;
std::shared_ptr<plat::SerialQueue> backgroundQueue;

std::shared_ptr<plat::SerialQueue> queue(bool create) {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (!backgroundQueue && create) backgroundQueue = std::make_shared<plat::SerialQueue>("ZAVAsync");
    return backgroundQueue;
}

void run(const ZAVAsyncUtil::Work& work, const ZAVAsyncUtil::ResultBlock& resultBlock) {
    ZAVObjectPtr result;
    // Whatever the work throws must not end the process: it is logged and the result dropped.
    try {
        result = work ? work() : nullptr;
    } catch (const plat::Exception& e) {
        ZAVLog::error("Caught exception: " + std::string(e.what()));
        return;
    } catch (const std::exception& e) {
        ZAVLog::error("Caught exception: " + std::string(e.what()));
        return;
    } catch (...) {
        ZAVLog::error("Caught exception: unknown exception");
        return;
    }
    if (resultBlock) plat::mainQueue().async([resultBlock, result] { resultBlock(result); });
}

}  // namespace

void ZAVAsyncUtil::invokeAsync(Work work, ResultBlock resultBlock) {
    queue(true)->async(
        [work = std::move(work), resultBlock = std::move(resultBlock)] { run(work, resultBlock); });
}

void ZAVAsyncUtil::waitUntilIdle() {
    if (auto q = queue(false)) q->sync([] {});
}

void ZAVAsyncUtil::shutdown() {
    std::shared_ptr<plat::SerialQueue> ending;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        ending = std::move(backgroundQueue);
    }
    if (!ending) return;
    ending->sync([] {});
}
