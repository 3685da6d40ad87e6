#include "tagmanager/values/ZAVAsyncUtil.h"

#include <exception>

#include "platform/base/Error.h"
#include "platform/runloop/SerialQueue.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/base/ZAVWorkers.h"

namespace {

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
    // Dropped at exit: the queue has ended, and a half-begun write is never left behind.
    ZAVWorkers::async().post(
        [work = std::move(work), resultBlock = std::move(resultBlock)] { run(work, resultBlock); });
}

void ZAVAsyncUtil::waitUntilIdle() {
    if (ZAVWorkers::async().runningThread()) ZAVWorkers::async().sync(nullptr);
}

void ZAVAsyncUtil::shutdown() {
    ZAVWorkers::async().stop();
}
