#include <gtest/gtest.h>

#include <vector>

#include "kite/actions/KTActionInstant.h"
#include "kite/actions/KTActionInterval.h"
#include "kite/actions/KTActionManager.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/nodes/KTNode.h"

using namespace kite;

namespace {

// Records the call-backs it receives and where its node was at the time.
class Listener : public KTObject {
  public:
    explicit Listener(KTNode* node = nullptr) : node(node) {}
    void called() {
        calls++;
        if (node) positions.push_back(node->getPosition());
    }
    KTNode* node;
    int calls = 0;
    std::vector<KTPoint> positions;
};

// An interval action that records every update it gets.
class Recorder : public KTActionInterval {
  public:
    static Recorder* create(float duration) {
        auto* r = new Recorder();
        r->initWithDuration(duration);
        return ktAutorelease(r);
    }
    void update(float t) override { ts.push_back(t); }
    void startWithTarget(KTNode* target) override {
        KTActionInterval::startWithTarget(target);
        starts++;
    }
    void stop() override {
        KTActionInterval::stop();
        stops++;
    }
    std::vector<float> ts;
    int starts = 0, stops = 0;
};

class ActionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        director = KTDirector::sharedDirector();
        node = new KTNode();
        node->enter();  // running: actions are not paused
    }
    void TearDown() override {
        node->cleanup();
        node->release();
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
    }
    // One frame of the action manager.
    void frame(float dt) { director->getActionManager()->update(dt); }

    KTDirector* director = nullptr;
    KTNode* node = nullptr;
};

TEST_F(ActionTest, DelayTimeStartsAtZeroAndEndsWhenStepsReachDuration) {
    KTDelayTime* delay = KTDelayTime::create(0.5f);
    delay->startWithTarget(node);
    delay->step(10.0f);  // the first step does not count its dt
    EXPECT_FALSE(delay->isDone());
    for (int i = 0; i < 3; ++i) delay->step(0.125f);
    EXPECT_FALSE(delay->isDone());
    delay->step(0.125f);
    EXPECT_TRUE(delay->isDone());
}

TEST_F(ActionTest, IntervalUpdateIsClampedAndZeroDurationCompletesOnSecondStep) {
    Recorder* r = Recorder::create(1.0f);
    r->startWithTarget(node);
    r->step(0.0f);
    r->step(0.25f);
    r->step(5.0f);
    EXPECT_EQ(r->ts, (std::vector<float>{0.0f, 0.25f, 1.0f}));

    Recorder* zero = Recorder::create(0.0f);
    EXPECT_FLOAT_EQ(zero->getDuration(), FLT_EPSILON);
    zero->startWithTarget(node);
    zero->step(1.0f / 60);
    EXPECT_FALSE(zero->isDone());
    zero->step(1.0f / 60);
    EXPECT_TRUE(zero->isDone());
    EXPECT_EQ(zero->ts.back(), 1.0f);
}

TEST_F(ActionTest, MoveToThenCallbackFiresInTheFrameTheMoveEnds) {
    Listener* listener = new Listener(node);
    node->setPosition(KTPoint(10, 10));
    node->runAction(KTSequence::create(KTMoveTo::create(0.5f, KTPoint(110, 60)),
                                       KTCallFunc::create(listener, callfunc_selector(Listener::called)),
                                       nullptr));
    frame(0.125f);  // start
    EXPECT_TRUE(node->getPosition().equals(KTPoint(10, 10)));
    for (int i = 0; i < 3; ++i) frame(0.125f);
    EXPECT_EQ(listener->calls, 0);
    EXPECT_TRUE(node->getPosition().equals(KTPoint(85, 47.5f)));
    frame(0.125f);
    ASSERT_EQ(listener->calls, 1);
    EXPECT_TRUE(listener->positions[0].equals(KTPoint(110, 60)));
    for (int i = 0; i < 4; ++i) frame(0.125f);
    EXPECT_EQ(listener->calls, 1);  // the sequence was removed
    listener->release();
}

TEST_F(ActionTest, CallFuncRetainsItsTargetAndCopiesShareIt) {
    Listener* listener = new Listener();
    KTCallFunc* call = KTCallFunc::create(listener, callfunc_selector(Listener::called));
    EXPECT_EQ(listener->retainCount(), 2u);
    auto* copy = static_cast<KTCallFunc*>(call->copy());
    EXPECT_EQ(listener->retainCount(), 3u);
    copy->startWithTarget(node);
    copy->step(0.1f);
    EXPECT_TRUE(copy->isDone());
    EXPECT_EQ(listener->calls, 1);
    copy->release();
    EXPECT_EQ(listener->retainCount(), 2u);
    listener->release();
}

TEST_F(ActionTest, SequenceOfOneActionRunsItThenTheNoOp) {
    Recorder* r = Recorder::create(0.5f);
    KTSequence* seq = KTSequence::create(r, nullptr);
    ASSERT_NE(seq, nullptr);
    EXPECT_FLOAT_EQ(seq->getDuration(), 0.5f);
    node->runAction(seq);
    for (int i = 0; i < 5; ++i) frame(0.125f);
    EXPECT_EQ(r->ts.back(), 1.0f);
    EXPECT_EQ(r->stops, 1);
    EXPECT_EQ(KTSequence::create(nullptr), nullptr);
}

TEST_F(ActionTest, ZeroDurationFirstActionRunsCompletelyOnFirstUpdate) {
    Listener* listener = new Listener(node);
    Recorder* second = Recorder::create(0.5f);
    KTSequence* seq = KTSequence::createWithTwoActions(
        KTCallFunc::create(listener, callfunc_selector(Listener::called)), second);
    seq->startWithTarget(node);
    seq->step(0.125f);
    EXPECT_EQ(listener->calls, 1);
    EXPECT_EQ(second->starts, 1);
    EXPECT_EQ(second->ts, (std::vector<float>{0.0f}));
    seq->step(0.25f);
    EXPECT_EQ(listener->calls, 1);
    EXPECT_FLOAT_EQ(second->ts.back(), 0.5f);
    listener->release();
}

TEST_F(ActionTest, LongSequenceNestsAndRunsEachActionInTurn) {
    Recorder* a = Recorder::create(0.25f);
    Recorder* b = Recorder::create(0.25f);
    Recorder* c = Recorder::create(0.5f);
    KTSequence* seq = KTSequence::create(a, b, c, nullptr);
    EXPECT_FLOAT_EQ(seq->getDuration(), 1.0f);
    node->runAction(seq);
    frame(0.125f);
    for (int i = 0; i < 8; ++i) frame(0.125f);
    for (Recorder* r : {a, b, c}) {
        EXPECT_EQ(r->starts, 1);
        EXPECT_EQ(r->stops, 1);
        EXPECT_EQ(r->ts.back(), 1.0f);
    }
    EXPECT_EQ(a->ts.front(), 0.0f);
}

TEST_F(ActionTest, TwoMovesOnOneNodeAddUp) {
    node->setPosition(KTPoint(5, 5));
    node->runAction(KTMoveBy::create(1.0f, KTPoint(10, 0)));
    node->runAction(KTMoveBy::create(1.0f, KTPoint(0, 10)));
    for (int i = 0; i < 6; ++i) frame(0.25f);
    EXPECT_TRUE(node->getPosition().equals(KTPoint(15, 15)));
}

TEST_F(ActionTest, Reverses) {
    KTSequence* seq =
        KTSequence::create(KTMoveBy::create(0.5f, KTPoint(3, 4)), KTDelayTime::create(0.25f), nullptr);
    auto* reversed = static_cast<KTSequence*>(seq->reverse());
    ASSERT_NE(reversed, nullptr);
    EXPECT_FLOAT_EQ(reversed->getDuration(), 0.75f);
    node->setPosition(KTPoint(0, 0));
    node->runAction(reversed);
    for (int i = 0; i < 8; ++i) frame(0.125f);
    EXPECT_TRUE(node->getPosition().equals(KTPoint(-3, -4)));

    // A base interval action has no reverse; a sequence holding one has none either.
    auto* plain = new KTActionInterval();
    plain->initWithDuration(1.0f);
    EXPECT_EQ(plain->reverse(), nullptr);
    EXPECT_EQ(KTSequence::createWithTwoActions(plain, KTDelayTime::create(1.0f))->reverse(), nullptr);
    plain->release();

    // MoveTo reverses the delta of its last start.
    KTMoveTo* to = KTMoveTo::create(1.0f, KTPoint(10, 0));
    auto* before = static_cast<KTMoveBy*>(to->reverse());
    node->setPosition(KTPoint(4, 0));
    before->startWithTarget(node);
    before->step(0);
    before->step(1.0f);
    EXPECT_TRUE(node->getPosition().equals(KTPoint(4, 0)));  // (0, 0) before any start
    to->startWithTarget(node);
    auto* back = static_cast<KTMoveBy*>(to->reverse());
    back->startWithTarget(node);
    back->step(0);
    back->step(1.0f);
    EXPECT_TRUE(node->getPosition().equals(KTPoint(-2, 0)));
}

TEST_F(ActionTest, CopiesAreIndependentAndKeepTag) {
    KTMoveBy* move = KTMoveBy::create(0.5f, KTPoint(2, 0));
    KTSequence* seq = KTSequence::createWithTwoActions(move, KTDelayTime::create(0.5f));
    seq->setTag(7);
    auto* copy = static_cast<KTSequence*>(seq->copy());
    EXPECT_EQ(copy->getTag(), 7);
    EXPECT_FLOAT_EQ(copy->getDuration(), 1.0f);
    node->setPosition(KTPoint(0, 0));
    node->runAction(copy);
    node->runAction(seq);
    for (int i = 0; i < 10; ++i) frame(0.125f);
    EXPECT_TRUE(node->getPosition().equals(KTPoint(4, 0)));
    EXPECT_EQ(copy->retainCount(), 1u);
    copy->release();
}

}  // namespace
