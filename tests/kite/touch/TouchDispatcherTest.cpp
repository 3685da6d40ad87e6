#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTSet.h"
#include "kite/touch/KTTouch.h"
#include "kite/touch/KTTouchDispatcher.h"
#include "kite/touch/KTTouchHandler.h"

using namespace kite;

namespace {
std::pair<float, float> xy(const KTPoint& p) {
    return {p.x, p.y};
}
}  // namespace

namespace {

using Log = std::vector<std::string>;

// Records every callback as "<name>.<callback>:<touch ids>" and can run an action inside one.
class Recorder : public KTObject, public KTTouchDelegate {
  public:
    Recorder(Log* log, std::string name, bool claims = true)
        : log_(log), name_(std::move(name)), claims_(claims) {}

    bool touchBegan(KTTouch* touch, KTEvent*) override {
        record("began", touch->getID());
        return claims_ && (onlyId < 0 || touch->getID() == onlyId);
    }
    void touchMoved(KTTouch* touch, KTEvent*) override { record("moved", touch->getID()); }
    void touchEnded(KTTouch* touch, KTEvent*) override { record("ended", touch->getID()); }
    void touchCancelled(KTTouch* touch, KTEvent*) override { record("cancelled", touch->getID()); }
    void touchesBegan(KTSet* touches, KTEvent*) override { recordSet("touchesBegan", touches); }
    void touchesMoved(KTSet* touches, KTEvent*) override { recordSet("touchesMoved", touches); }
    void touchesEnded(KTSet* touches, KTEvent*) override { recordSet("touchesEnded", touches); }
    void touchesCancelled(KTSet*, KTEvent*) override {}

    std::function<void()> onCallback;
    // Claims only this touch id when not negative.
    int onlyId = -1;

  private:
    void record(const char* what, int id) {
        log_->push_back(name_ + "." + what + ":" + std::to_string(id));
        run();
    }
    void recordSet(const char* what, KTSet* touches) {
        std::string ids;
        for (KTObject* obj : *touches) ids += std::to_string(static_cast<KTTouch*>(obj)->getID());
        log_->push_back(name_ + "." + what + ":" + ids);
        run();
    }
    void run() {
        if (onCallback) {
            auto action = std::move(onCallback);
            action();
        }
    }
    Log* log_;
    std::string name_;
    bool claims_;
};

class TouchDispatcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        KTAutoreleasePoolStack::sharedPoolStack()->push();
        dispatcher = new KTTouchDispatcher();
        dispatcher->init();
        touches[0] = new KTTouch();
        touches[1] = new KTTouch();
        // Sets yield their members by address: touch 0 is the lower one so multi-touch logs are stable.
        if (touches[1] < touches[0]) std::swap(touches[0], touches[1]);
        for (int i = 0; i < 2; ++i) touches[i]->setTouchInfo(i, 10.0f * i, 20);
    }
    void TearDown() override {
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        dispatcher->release();
        for (KTTouch* touch : touches) touch->release();
        for (Recorder* r : recorders) r->release();
    }
    Recorder* recorder(const std::string& name, bool claims = true) {
        recorders.push_back(new Recorder(&log, name, claims));
        return recorders.back();
    }
    // Dispatches a set of the given touches in one phase.
    void send(unsigned phase, std::initializer_list<int> ids) {
        KTSet* set = new KTSet();
        for (int id : ids) set->addObject(touches[id]);
        dispatcher->touches(set, nullptr, phase);
        set->release();
    }

    KTTouchDispatcher* dispatcher = nullptr;
    KTTouch* touches[2] = {};
    std::vector<Recorder*> recorders;
    Log log;
};

}  // namespace

TEST(KTTouch, FirstInfoSetsStartAndLaterOnesShiftThePreviousPoint) {
    KTTouch* touch = new KTTouch();
    touch->setTouchInfo(3, 5, 6);
    EXPECT_EQ(touch->getID(), 3);
    EXPECT_EQ(xy(touch->getStartLocationInView()), xy(KTPoint(5, 6)));
    EXPECT_EQ(xy(touch->getPreviousLocationInView()), xy(KTPoint(0, 0)));
    touch->setTouchInfo(3, 7, 8);
    EXPECT_EQ(xy(touch->getPreviousLocationInView()), xy(KTPoint(5, 6)));
    EXPECT_EQ(xy(touch->getLocationInView()), xy(KTPoint(7, 8)));
    EXPECT_EQ(xy(touch->getStartLocationInView()), xy(KTPoint(5, 6)));
    touch->release();
}

TEST_F(TouchDispatcherTest, StandardHandlersRunByPriorityNewestFirstAmongEquals) {
    dispatcher->addStandardDelegate(recorder("L1"), 0);
    dispatcher->addStandardDelegate(recorder("L2"), 0);
    dispatcher->addStandardDelegate(recorder("L3"), -1);
    // Registering again changes nothing, removing an unknown delegate neither.
    dispatcher->addStandardDelegate(recorders[0], -5);
    dispatcher->removeDelegate(recorder("stranger"));
    dispatcher->removeDelegate(nullptr);
    send(KTTOUCHBEGAN, {0});
    EXPECT_EQ(log, (Log{"L3.touchesBegan:0", "L2.touchesBegan:0", "L1.touchesBegan:0"}));
    EXPECT_EQ(dispatcher->getStandardHandlers()->count(), 3u);
}

TEST_F(TouchDispatcherTest, ClaimingAndSwallowingDecideWhatStandardHandlersGet) {
    Recorder* keeper = recorder("keeper");
    dispatcher->addTargetedDelegate(recorder("watcher"), -2, false);
    dispatcher->addTargetedDelegate(keeper, 0, true);
    dispatcher->addTargetedDelegate(recorder("late", true), 1, true);
    dispatcher->addStandardDelegate(recorder("all"), 0);

    // The watcher claims without swallowing; keeper swallows, so neither "late" nor the standard handler
    // sees the touch.
    send(KTTOUCHBEGAN, {0});
    EXPECT_EQ(log, (Log{"watcher.began:0", "keeper.began:0"}));
    log.clear();

    send(KTTOUCHMOVED, {0});
    send(KTTOUCHENDED, {0});
    EXPECT_EQ(log, (Log{"watcher.moved:0", "keeper.moved:0", "watcher.ended:0", "keeper.ended:0"}));
    auto* keeperHandler = static_cast<KTTargetedTouchHandler*>(dispatcher->findHandler(keeper));
    EXPECT_EQ(keeperHandler->getClaimedTouches()->count(), 0u);
}

TEST_F(TouchDispatcherTest, SwallowedTouchLeavesTheSetAndUnclaimedTouchesGetNoMoves) {
    Recorder* picky = recorder("picky");
    picky->onlyId = 0;
    dispatcher->addTargetedDelegate(picky, 0, true);
    dispatcher->addStandardDelegate(recorder("all"), 0);
    send(KTTOUCHBEGAN, {0, 1});
    EXPECT_EQ(log, (Log{"picky.began:0", "picky.began:1", "all.touchesBegan:1"}));
    log.clear();
    send(KTTOUCHMOVED, {0, 1});
    send(KTTOUCHCANCELLED, {1});
    EXPECT_EQ(log, (Log{"picky.moved:0", "all.touchesMoved:1"}));
}

TEST_F(TouchDispatcherTest, SwallowingTheOnlyTouchSkipsStandardHandlers) {
    dispatcher->addTargetedDelegate(recorder("swallower"), 0, true);
    dispatcher->addStandardDelegate(recorder("all"), 0);
    send(KTTOUCHBEGAN, {0, 1});
    EXPECT_EQ(log, (Log{"swallower.began:0", "swallower.began:1"}));
    log.clear();
    dispatcher->removeAllDelegates();
    dispatcher->addTargetedDelegate(recorder("shared"), 0, false);
    dispatcher->addStandardDelegate(recorder("all2"), 0);
    send(KTTOUCHBEGAN, {1});
    EXPECT_EQ(log, (Log{"shared.began:1", "all2.touchesBegan:1"}));
}

TEST_F(TouchDispatcherTest, ChangesInsideADispatchWaitForItsEnd) {
    Recorder* self = recorder("self");
    Recorder* newcomer = recorder("newcomer");
    Recorder* other = recorder("other");
    dispatcher->addStandardDelegate(self, 0);
    dispatcher->addStandardDelegate(other, 5);
    self->onCallback = [&] {
        EXPECT_TRUE(dispatcher->isDispatching());
        dispatcher->removeDelegate(self);
        dispatcher->addStandardDelegate(newcomer, -1);
        dispatcher->removeDelegate(other);
        dispatcher->addStandardDelegate(other, -9);
    };
    send(KTTOUCHBEGAN, {0});
    // Self stayed for this dispatch; the newcomer did not get the touch being dispatched; other kept its
    // old handler and priority.
    EXPECT_EQ(log, (Log{"self.touchesBegan:0", "other.touchesBegan:0"}));
    log.clear();
    send(KTTOUCHMOVED, {0});
    EXPECT_EQ(log, (Log{"newcomer.touchesMoved:0", "other.touchesMoved:0"}));
    EXPECT_EQ(dispatcher->findHandler(other)->getPriority(), 5);
    EXPECT_EQ(dispatcher->findHandler(self), nullptr);

    // Added and removed within one dispatch: never registered. Clearing waits for the end as well.
    log.clear();
    Recorder* fleeting = recorder("fleeting");
    newcomer->onCallback = [&] {
        dispatcher->addTargetedDelegate(fleeting, 0, true);
        dispatcher->removeDelegate(fleeting);
        dispatcher->removeAllDelegates();
        EXPECT_EQ(dispatcher->getStandardHandlers()->count(), 2u);
    };
    send(KTTOUCHENDED, {0});
    EXPECT_EQ(log, (Log{"newcomer.touchesEnded:0", "other.touchesEnded:0"}));
    EXPECT_EQ(dispatcher->getStandardHandlers()->count(), 0u);
    EXPECT_EQ(dispatcher->getTargetedHandlers()->count(), 0u);
}

TEST_F(TouchDispatcherTest, DispatchEventsOffReachesNoHandlerAndHandlersKeepTheirDelegates) {
    Recorder* r = recorder("r");
    dispatcher->addStandardDelegate(r, 0);
    EXPECT_EQ(r->retainCount(), 2u);
    dispatcher->setDispatchEvents(false);
    KTSet* set = new KTSet();
    set->addObject(touches[0]);
    dispatcher->touchesBegan(set, nullptr);
    EXPECT_TRUE(log.empty());
    dispatcher->setDispatchEvents(true);
    dispatcher->touchesBegan(set, nullptr);
    EXPECT_EQ(log.size(), 1u);
    set->release();
    dispatcher->removeDelegate(r);
    KTAutoreleasePoolStack::sharedPoolStack()->getCurrentPool()->clear();
    EXPECT_EQ(r->retainCount(), 1u);
}
