#pragma once
// Work off the main thread: each piece of work runs on one background queue ("ZAVAsync"), in the order
// it was handed in, and its result goes to the main queue.
#include <functional>

#include "tagmanager/values/ZAVObject.h"

class ZAVAsyncUtil {
  public:
    using Work = std::function<ZAVObjectPtr()>;
    using ResultBlock = std::function<void(ZAVObjectPtr)>;
    ZAVAsyncUtil() = delete;
    // Returns at once. Work that throws is logged at error level ("Caught exception: ...") and its result
    // block is not called; the result block, when given, runs on the main queue with the work's result.
    static void invokeAsync(Work work, ResultBlock resultBlock = nullptr);
    // Waits until every piece of work handed in so far has run (their result blocks are posted, not run).
    static void waitUntilIdle();
    // Runs what is queued, then ends the background thread; the next invokeAsync starts a new one.
    static void shutdown();
};
