#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/base/KTArray.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTObject.h"

using namespace kite;

namespace {

// Records its destruction so tests can check when and in which order objects go away.
class Tracked : public KTObject {
  public:
    Tracked(std::vector<int>* log, int tag) : log_(log), tag_(tag) {}
    ~Tracked() override {
        if (log_) log_->push_back(tag_);
    }
    KTObject* copyWithZone(KTZone*) override { return new Tracked(nullptr, tag_); }
    int tag() const { return tag_; }

  private:
    std::vector<int>* log_;
    int tag_;
};

// Every test starts with a fresh pool stack and leaves none behind.
class PoolTest : public ::testing::Test {
  protected:
    void SetUp() override { KTAutoreleasePoolStack::purge(); }
    void TearDown() override { KTAutoreleasePoolStack::purge(); }
    KTAutoreleasePoolStack* stack() { return KTAutoreleasePoolStack::sharedPoolStack(); }
};

}  // namespace

TEST(ObjectTest, IdentityCountsAndCopy) {
    auto* a = new KTObject();
    auto* b = new KTObject();
    EXPECT_EQ(b->objectId(), a->objectId() + 1);
    EXPECT_EQ(a->retainCount(), 1u);
    EXPECT_EQ(a->autoreleaseCount(), 0u);
    EXPECT_TRUE(a->isEqual(a));
    EXPECT_FALSE(a->isEqual(b));
    EXPECT_EQ(a->copy(), nullptr);
    a->retain();
    EXPECT_EQ(a->retainCount(), 2u);
    a->release();
    a->release();
    b->release();
}

TEST_F(PoolTest, AutoreleasedTwiceIsReleasedTwice) {
    std::vector<int> log;
    stack()->push();
    auto* t = new Tracked(&log, 1);
    t->autorelease();
    t->retain();
    t->autorelease();
    EXPECT_EQ(t->retainCount(), 2u);
    EXPECT_EQ(t->autoreleaseCount(), 2u);
    stack()->pop();
    EXPECT_EQ(log, std::vector<int>{1});

    auto* s = new Tracked(&log, 2);
    s->autorelease();
    s->retain();
    s->autorelease();
    s->retain();
    stack()->pop();
    EXPECT_EQ(log, std::vector<int>{1});
    EXPECT_EQ(s->retainCount(), 1u);
    EXPECT_EQ(s->autoreleaseCount(), 0u);
    s->release();
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
}

TEST_F(PoolTest, DrainReleasesLastAutoreleasedFirst) {
    std::vector<int> log;
    for (int i = 0; i < 4; ++i) (new Tracked(&log, i))->autorelease();
    stack()->pop();
    EXPECT_EQ(log, (std::vector<int>{3, 2, 1, 0}));
}

TEST_F(PoolTest, AutoreleaseBeforeAnyPoolPushesOne) {
    std::vector<int> log;
    EXPECT_EQ(stack()->poolCount(), 0u);
    (new Tracked(&log, 1))->autorelease();
    EXPECT_EQ(stack()->poolCount(), 1u);
    KTAutoreleasePool* early = stack()->getCurrentPool();

    // The director's own pool goes on top; the first pop drops it and the early pool takes over.
    stack()->push();
    (new Tracked(&log, 2))->autorelease();
    stack()->pop();
    EXPECT_EQ(log, std::vector<int>{2});
    EXPECT_EQ(stack()->getCurrentPool(), early);
    EXPECT_EQ(stack()->poolCount(), 1u);
    stack()->pop();
    EXPECT_EQ(log, (std::vector<int>{2, 1}));
    EXPECT_EQ(stack()->poolCount(), 1u);
    EXPECT_EQ(stack()->getCurrentPool(), early);
    EXPECT_EQ(early->count(), 0u);
}

TEST_F(PoolTest, PopWithoutPoolsDoesNothing) {
    stack()->pop();
    EXPECT_EQ(stack()->poolCount(), 0u);
    EXPECT_EQ(stack()->getCurrentPool(), nullptr);
}

TEST_F(PoolTest, DestroyedWhilePooledLeavesEveryPool) {
    std::vector<int> log;
    stack()->push();
    auto* t = new Tracked(&log, 7);
    t->retain();
    t->autorelease();  // entry in the bottom pool
    stack()->push();
    t->retain();
    t->autorelease();  // entry in the top pool
    EXPECT_EQ(t->autoreleaseCount(), 2u);
    // The owner over-releases: the object dies with entries in both pools.
    t->release();
    t->release();
    t->release();
    EXPECT_EQ(log, std::vector<int>{7});
    EXPECT_EQ(stack()->getCurrentPool()->count(), 0u);
    stack()->pop();
    EXPECT_EQ(stack()->getCurrentPool()->count(), 0u);
    stack()->pop();
}

TEST_F(PoolTest, PurgeReleasesWhatIsLeft) {
    std::vector<int> log;
    (new Tracked(&log, 1))->autorelease();
    stack()->push();
    (new Tracked(&log, 2))->autorelease();
    KTAutoreleasePoolStack::purge();
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
}

TEST_F(PoolTest, ArrayGrowthAndRemoval) {
    std::vector<int> log;
    auto* arr = KTArray::createWithCapacity(0);
    arr->retain();
    EXPECT_EQ(arr->capacity(), 1u);
    auto* a = new Tracked(&log, 1);
    auto* b = new Tracked(&log, 2);
    arr->addObject(a);
    EXPECT_EQ(arr->capacity(), 1u);
    arr->addObject(b);
    EXPECT_EQ(arr->capacity(), 2u);
    arr->addObject(a);
    EXPECT_EQ(arr->capacity(), 4u);
    arr->insertObject(b, 0);
    EXPECT_EQ(arr->indexOfObject(a), 1u);
    KTObject stranger;
    EXPECT_EQ(arr->indexOfObject(&stranger), KT_INVALID_INDEX);
    EXPECT_EQ(a->retainCount(), 3u);

    arr->removeObject(a);  // first occurrence only
    EXPECT_EQ(arr->count(), 3u);
    EXPECT_EQ(arr->objectAtIndex(1), b);
    EXPECT_EQ(a->retainCount(), 2u);

    a->release();
    b->release();
    arr->removeAllObjects();
    EXPECT_EQ(log, (std::vector<int>{1, 2}));  // a was last, so it goes first
    arr->release();
}

TEST_F(PoolTest, ArrayCopyHoldsOnlyReferencesToNewItems) {
    std::vector<int> log;
    auto* arr = new KTArray();
    for (int i = 0; i < 3; ++i) {
        auto* t = new Tracked(&log, i);
        arr->addObject(t);
        t->release();
    }
    auto* copy = static_cast<KTArray*>(arr->copy());
    ASSERT_EQ(copy->count(), 3u);
    EXPECT_EQ(copy->retainCount(), 1u);
    EXPECT_EQ(copy->autoreleaseCount(), 0u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_NE(copy->objectAtIndex(i), arr->objectAtIndex(i));
        EXPECT_EQ(copy->objectAtIndex(i)->retainCount(), 1u);
        EXPECT_EQ(static_cast<Tracked*>(copy->objectAtIndex(i))->tag(), static_cast<int>(i));
    }
    copy->release();
    arr->release();
    EXPECT_EQ(log, (std::vector<int>{2, 1, 0}));
}
