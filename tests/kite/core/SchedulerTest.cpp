#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kite/core/KTScheduler.h"

using namespace kite;

namespace {

std::vector<std::string> g_log;

// A target whose per-frame update and timer callbacks record themselves and may run a hook.
class Probe : public KTObject {
  public:
    explicit Probe(std::string name, bool* destroyed = nullptr)
        : name(std::move(name)), destroyed(destroyed) {}
    ~Probe() override {
        if (destroyed) *destroyed = true;
    }

    void update(float dt) override {
        updates++;
        lastDt = dt;
        g_log.push_back(name);
        if (onUpdate) onUpdate();
    }
    void tick(float elapsed) {
        ticks++;
        elapsedAtTick.push_back(elapsed);
        g_log.push_back(name + ".tick");
        if (onTick) onTick();
    }
    void tock(float) {
        tocks++;
        g_log.push_back(name + ".tock");
        if (onTock) onTock();
    }

    std::string name;
    bool* destroyed;
    int updates = 0, ticks = 0, tocks = 0;
    float lastDt = 0;
    std::vector<float> elapsedAtTick;
    std::function<void()> onUpdate, onTick, onTock;
};

class SchedulerTest : public ::testing::Test {
  protected:
    void SetUp() override { g_log.clear(); }
    void TearDown() override {
        sched->release();
        for (Probe* p : probes) p->release();
    }
    Probe* probe(const std::string& name) {
        probes.push_back(new Probe(name));
        return probes.back();
    }
    void frames(int n, float dt) {
        for (int i = 0; i < n; ++i) sched->update(dt);
    }

    KTScheduler* sched = new KTScheduler();
    std::vector<Probe*> probes;
};

TEST_F(SchedulerTest, UpdatesRunInPriorityOrderThenArrival) {
    Probe* a = probe("a");
    Probe* b = probe("b");
    Probe* neg = probe("neg");
    Probe* pos = probe("pos");
    Probe* sys = probe("sys");
    Probe* pos2 = probe("pos2");
    sched->scheduleUpdateForTarget(a, 0, false);
    sched->scheduleUpdateForTarget(pos, 1, false);
    sched->scheduleUpdateForTarget(b, 0, false);
    sched->scheduleUpdateForTarget(pos2, 1, false);
    sched->scheduleUpdateForTarget(neg, -1, false);
    sched->scheduleUpdateForTarget(sys, kKTPrioritySystem, false);
    sched->update(0.1f);
    EXPECT_EQ(g_log, (std::vector<std::string>{"sys", "neg", "a", "b", "pos", "pos2"}));
    EXPECT_FLOAT_EQ(a->lastDt, 0.1f);
}

TEST_F(SchedulerTest, SecondRegistrationKeepsFirstPriorityAndPausedFlag) {
    Probe* a = probe("a");
    Probe* b = probe("b");
    sched->scheduleUpdateForTarget(a, 0, false);
    sched->scheduleUpdateForTarget(b, 3, false);
    sched->scheduleUpdateForTarget(a, 5, true);
    sched->update(0.1f);
    EXPECT_EQ(g_log, (std::vector<std::string>{"a", "b"}));
}

TEST_F(SchedulerTest, SchedulerRetainsTargetsWhileRegistered) {
    bool destroyed = false;
    auto* p = new Probe("p", &destroyed);
    sched->scheduleUpdateForTarget(p, 0, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 1.0f, false);
    EXPECT_EQ(p->retainCount(), 3u);
    p->release();
    sched->unscheduleUpdateForTarget(p);
    EXPECT_FALSE(destroyed);
    sched->unscheduleAllForTarget(p);
    EXPECT_TRUE(destroyed);
}

TEST_F(SchedulerTest, UnscheduleOwnUpdateDuringPassIsDeferredAndCanBeUndone) {
    Probe* a = probe("a");
    Probe* b = probe("b");
    a->onUpdate = [&] { sched->unscheduleUpdateForTarget(b); };
    sched->scheduleUpdateForTarget(a, 0, false);
    sched->scheduleUpdateForTarget(b, 0, false);
    sched->update(0.1f);
    EXPECT_EQ(b->updates, 0);  // marked: skipped in the same pass
    EXPECT_FALSE(sched->hasUpdateForTarget(b));

    // Removing itself and re-registering within one pass only clears the mark.
    a->onUpdate = [&] {
        sched->unscheduleUpdateForTarget(a);
        sched->scheduleUpdateForTarget(a, 7, false);
    };
    sched->update(0.1f);
    a->onUpdate = nullptr;
    sched->update(0.1f);
    EXPECT_EQ(a->updates, 3);
    EXPECT_TRUE(sched->hasUpdateForTarget(a));
}

TEST_F(SchedulerTest, TimerStartsCountingOnTheFrameAfterScheduling) {
    Probe* p = probe("p");
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 2.0f, false);
    sched->update(5.0f);  // only starts the clock
    EXPECT_EQ(p->ticks, 0);
    frames(3, 0.5f);
    EXPECT_EQ(p->ticks, 0);
    sched->update(0.5f);
    ASSERT_EQ(p->ticks, 1);
    EXPECT_FLOAT_EQ(p->elapsedAtTick[0], 2.0f);  // the accumulated time, not dt
    frames(4, 0.5f);
    EXPECT_EQ(p->ticks, 2);
}

TEST_F(SchedulerTest, RepeatAndDelayFiringCounts) {
    Probe* limited = probe("limited");
    Probe* delayed = probe("delayed");
    Probe* once = probe("once");
    Probe* everyFrame = probe("every");
    sched->scheduleSelector(schedule_selector(Probe::tick), limited, 0.1f, 2, 0.0f, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), delayed, 0.5f, 1, 1.0f, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), once, 0.0f, 0, 0.3f, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), everyFrame, 0.0f, false);
    frames(100, 0.1f);
    EXPECT_EQ(limited->ticks, 3);  // repeat r gives r + 1 firings
    EXPECT_EQ(delayed->ticks, 2);  // once after the delay, then r more
    EXPECT_EQ(once->ticks, 1);
    EXPECT_EQ(everyFrame->ticks, 99);
    EXPECT_FALSE(sched->isScheduled(schedule_selector(Probe::tick), limited));
    EXPECT_FALSE(sched->isScheduled(schedule_selector(Probe::tick), once));
    EXPECT_TRUE(sched->isScheduled(schedule_selector(Probe::tick), everyFrame));
    // A finished target is no longer retained by the scheduler.
    EXPECT_EQ(once->retainCount(), 1u);
}

TEST_F(SchedulerTest, RescheduleChangesOnlyTheInterval) {
    Probe* p = probe("p");
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 1.0f, 0, 0.0f, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 0.25f, 5, 3.0f, false);
    frames(40, 0.25f);
    // Repeat stayed 0 and no delay was added: exactly one firing, at 0.25 s.
    EXPECT_EQ(p->ticks, 1);
    EXPECT_FLOAT_EQ(p->elapsedAtTick[0], 0.25f);
}

TEST_F(SchedulerTest, PauseAndResumeStopTheClock) {
    Probe* p = probe("p");
    sched->scheduleUpdateForTarget(p, 0, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 1.0f, false);
    sched->update(0.5f);
    frames(2, 0.5f);
    EXPECT_EQ(p->ticks, 1);
    sched->pauseTarget(p);
    EXPECT_TRUE(sched->isTargetPaused(p));
    frames(10, 0.5f);
    EXPECT_EQ(p->ticks, 1);
    EXPECT_EQ(p->updates, 3);
    sched->resumeTarget(p);
    sched->update(0.5f);
    EXPECT_EQ(p->ticks, 1);  // elapsed did not advance while paused
    sched->update(0.5f);
    EXPECT_EQ(p->ticks, 2);
    EXPECT_EQ(p->updates, 5);
}

TEST_F(SchedulerTest, PausedFlagOfExistingTimerEntryIsKept) {
    Probe* p = probe("p");
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 0.0f, true);
    sched->scheduleSelector(schedule_selector(Probe::tock), p, 0.0f, false);
    frames(5, 0.1f);
    EXPECT_EQ(p->ticks + p->tocks, 0);
}

TEST_F(SchedulerTest, TimeScaleMultipliesDeltaTime) {
    Probe* p = probe("p");
    sched->setTimeScale(2.0f);
    sched->scheduleUpdateForTarget(p, 0, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 1.0f, false);
    frames(3, 0.25f);
    EXPECT_FLOAT_EQ(p->lastDt, 0.5f);
    EXPECT_EQ(p->ticks, 1);
}

TEST_F(SchedulerTest, TimersAddedOrRemovedDuringPass) {
    Probe* p = probe("p");
    Probe* q = probe("q");
    // tick adds tock on the same target: it runs in the same pass (and only starts its clock).
    p->onTick = [&] { sched->scheduleSelector(schedule_selector(Probe::tock), p, 0.0f, false); };
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 0.0f, 0, 0.0f, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), q, 0.0f, false);
    frames(2, 0.1f);
    EXPECT_EQ(p->ticks, 1);
    sched->update(0.1f);
    EXPECT_EQ(p->tocks, 1);

    // A timer that removes itself while firing: the timer that slides into its slot still runs.
    g_log.clear();
    q->onTick = [&] { sched->unscheduleSelector(schedule_selector(Probe::tick), q); };
    sched->scheduleSelector(schedule_selector(Probe::tock), q, 0.0f, false);
    sched->update(0.1f);  // starts tock's clock, tick removes itself
    EXPECT_FALSE(sched->isScheduled(schedule_selector(Probe::tick), q));
    sched->update(0.1f);
    EXPECT_EQ(q->tocks, 1);
}

TEST_F(SchedulerTest, UnscheduleAllOfOwnTargetWhileFiring) {
    bool destroyed = false;
    auto* p = new Probe("p", &destroyed);
    Probe* other = probe("other");
    p->onTick = [&] { sched->unscheduleAllForTarget(p); };
    sched->scheduleSelector(schedule_selector(Probe::tick), p, 0.0f, false);
    sched->scheduleSelector(schedule_selector(Probe::tock), p, 0.0f, false);
    sched->scheduleSelector(schedule_selector(Probe::tick), other, 0.0f, false);
    p->release();  // only the scheduler holds it now
    frames(2, 0.1f);
    EXPECT_TRUE(destroyed);  // freed after the pass over its entry
    EXPECT_EQ(other->ticks, 1);
    sched->update(0.1f);
    EXPECT_EQ(other->ticks, 2);

    // When the callback schedules new timers for the target, the entry survives.
    Probe* r = probe("r");
    r->onTick = [&] {
        sched->unscheduleAllForTarget(r);
        sched->scheduleSelector(schedule_selector(Probe::tock), r, 0.0f, false);
    };
    sched->scheduleSelector(schedule_selector(Probe::tick), r, 0.0f, false);
    frames(4, 0.1f);  // start, tick (adds tock), tock starts, tock fires
    EXPECT_EQ(r->ticks, 1);
    EXPECT_EQ(r->tocks, 1);
    EXPECT_TRUE(sched->isScheduled(schedule_selector(Probe::tock), r));
}

TEST_F(SchedulerTest, UnscheduleAllWithMinPriorityKeepsLowerPriorities) {
    Probe* sys = probe("sys");
    Probe* zero = probe("zero");
    Probe* pos = probe("pos");
    sched->scheduleUpdateForTarget(sys, kKTPrioritySystem, false);
    sched->scheduleUpdateForTarget(zero, 0, false);
    sched->scheduleUpdateForTarget(pos, 4, false);
    Probe* timed = probe("timed");
    sched->scheduleSelector(schedule_selector(Probe::tick), timed, 0.0f, false);
    sched->unscheduleAllWithMinPriority(1);
    EXPECT_TRUE(sched->hasUpdateForTarget(sys));
    EXPECT_TRUE(sched->hasUpdateForTarget(zero));
    EXPECT_FALSE(sched->hasUpdateForTarget(pos));
    EXPECT_FALSE(sched->isScheduled(schedule_selector(Probe::tick), timed));  // timers always go
    sched->unscheduleAll();
    EXPECT_FALSE(sched->hasUpdateForTarget(sys));
    EXPECT_EQ(zero->retainCount(), 1u);
}

TEST_F(SchedulerTest, NullArgumentsAreIgnored) {
    sched->unscheduleSelector(nullptr, nullptr);
    sched->unscheduleUpdateForTarget(nullptr);
    sched->unscheduleAllForTarget(nullptr);
    sched->pauseTarget(nullptr);
    sched->resumeTarget(nullptr);
    sched->update(0.1f);
    SUCCEED();
}

}  // namespace
