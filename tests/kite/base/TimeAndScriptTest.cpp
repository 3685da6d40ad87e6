#include <gtest/gtest.h>

#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTScriptSupport.h"
#include "kite/base/KTTime.h"
#include "tests/support/TestSupport.h"

using namespace kite;

TEST(TimeTest, ReadsTheProcessClock) {
    testsupport::VirtualClockScope scope(1767225600LL * 1000000LL + 250000);
    kt_timeval tv;
    EXPECT_EQ(kt_gettimeofday(&tv), 0);
    EXPECT_EQ(tv.tv_sec, 1767225600LL);
    EXPECT_EQ(tv.tv_usec, 250000);
    scope.clock().advanceMicros(16666);
    kt_gettimeofday(&tv);
    EXPECT_EQ(tv.tv_usec, 250000 + 16666);
    EXPECT_EQ(kt_gettimeofday(nullptr), 0);
}

namespace {

// Records what the engine hands to an installed script engine.
class RecordingEngine : public KTScriptEngine {
  public:
    explicit RecordingEngine(KTScriptType kind, std::vector<int>* removed, int* releasedObjects)
        : kind_(kind), removed_(removed), released_(releasedObjects) {}
    KTScriptType getScriptKind() override { return kind_; }
    void releaseScriptObject(KTObject*) override { ++*released_; }
    void removeScriptHandler(int handler) override { removed_->push_back(handler); }
    int executeScheduledHandler(int, float, KTNode*) override { return 0; }
    int executeNodeEvent(KTNode*, int) override { return 0; }
    int executeCallFuncActionEvent(KTCallFunc*, KTObject*) override { return 0; }
    int reallocateScriptHandler(int handler) override { return handler + 1; }
    int executeLayerTouchEvent(KTLayer*, int, KTTouch*) override { return 0; }
    int executeLayerTouchesEvent(KTLayer*, int, KTSet*) override { return 0; }
    int executeAccelerometerEvent(KTLayer*, KTAcceleration*) override { return 0; }
    int executeLayerKeypadEvent(KTLayer*, int) override { return 0; }

  private:
    KTScriptType kind_;
    std::vector<int>* removed_;
    int* released_;
};

class ScriptTest : public ::testing::Test {
  protected:
    void TearDown() override {
        KTAutoreleasePoolStack::purge();
        KTScriptEngineManager::purgeSharedManager();
    }
};

}  // namespace

TEST_F(ScriptTest, InertWithoutEngine) {
    EXPECT_EQ(KTScriptEngineManager::sharedManager()->getScriptEngine(), nullptr);
    auto* a = KTTouchScriptHandlerEntry::create(5, true, -3, false);
    auto* b = KTTouchScriptHandlerEntry::create(0, false, 0, true);
    EXPECT_EQ(b->getEntryId(), a->getEntryId() + 1);
    EXPECT_TRUE(a->isMultiTouches());
    EXPECT_EQ(a->getPriority(), -3);
    EXPECT_FALSE(a->getSwallowsTouches());
    EXPECT_EQ(a->getHandler(), 5);
    KTAutoreleasePoolStack::sharedPoolStack()->pop();  // destroying entries with no engine calls nothing
}

TEST_F(ScriptTest, EntriesHandTheirHandlersBack) {
    std::vector<int> removed;
    int released = 0;
    KTScriptEngineManager::sharedManager()->setScriptEngine(
        new RecordingEngine(kKTScriptTypeHandlers, &removed, &released));
    KTTouchScriptHandlerEntry::create(9, false, 0, false);
    KTScriptHandlerEntry::create(0);
    auto* plain = new KTObject();
    plain->setScriptRefId(4);
    plain->release();
    (new KTObject())->release();  // no script reference and a handler-only engine: not reported
    KTAutoreleasePoolStack::sharedPoolStack()->pop();
    EXPECT_EQ(removed, std::vector<int>{9});
    EXPECT_EQ(released, 1);
}

TEST_F(ScriptTest, ObjectTrackingEngineHearsOfEveryObject) {
    std::vector<int> removed;
    int released = 0;
    KTScriptEngineManager::sharedManager()->setScriptEngine(
        new RecordingEngine(kKTScriptTypeObjects, &removed, &released));
    (new KTObject())->release();
    (new KTObject())->release();
    EXPECT_EQ(released, 2);
}
