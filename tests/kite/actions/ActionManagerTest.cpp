#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kite/actions/KTActionInterval.h"
#include "kite/actions/KTActionManager.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/nodes/KTNode.h"

using namespace kite;

namespace {

std::vector<std::string> g_steps;

// A long-running action that logs its steps and runs a hook from inside its step.
class Probe : public KTActionInterval {
  public:
    static Probe* create(std::string name, bool* destroyed = nullptr) {
        auto* p = new Probe();
        p->initWithDuration(100.0f);
        p->name = std::move(name);
        p->destroyed = destroyed;
        return ktAutorelease(p);
    }
    ~Probe() override {
        if (destroyed) *destroyed = true;
    }
    void step(float dt) override {
        KTActionInterval::step(dt);
        steps++;
        g_steps.push_back(name);
        if (onStep) {
            auto hook = onStep;
            hook();
        }
    }
    void stop() override {
        stops++;
        KTActionInterval::stop();
    }
    std::string name;
    bool* destroyed = nullptr;
    int steps = 0, stops = 0;
    std::function<void()> onStep;
};

class ActionManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_steps.clear();
        KTDirector::sharedDirector();
        manager = new KTActionManager();
    }
    void TearDown() override {
        manager->release();
        for (KTNode* n : nodes) n->release();
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
    }
    KTNode* node() {
        nodes.push_back(new KTNode());
        return nodes.back();
    }

    KTActionManager* manager = nullptr;
    std::vector<KTNode*> nodes;
};

TEST_F(ActionManagerTest, ActionsOfOneTargetStepInOrderAndEntryRetainsTarget) {
    KTNode* n = node();
    manager->addAction(Probe::create("a"), n, false);
    manager->addAction(Probe::create("b"), n, false);
    EXPECT_EQ(n->retainCount(), 2u);
    manager->update(0.1f);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"a", "b"}));
    manager->removeAllActionsFromTarget(n);
    EXPECT_EQ(n->retainCount(), 1u);
}

TEST_F(ActionManagerTest, ActionRemovingItselfSurvivesItsStepAndNextStillRuns) {
    KTNode* n = node();
    bool destroyed = false;
    Probe* a = Probe::create("a", &destroyed);
    Probe* b = Probe::create("b");
    a->onStep = [&] {
        manager->removeAction(a);
        KTAutoreleasePoolStack::sharedPoolStack()->pop();  // drop every other reference now
        EXPECT_FALSE(destroyed);
    };
    manager->addAction(a, n, false);
    manager->addAction(b, n, false);
    manager->update(0.1f);
    EXPECT_TRUE(destroyed);  // released once its step returned
    EXPECT_EQ(g_steps, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(b->stops, 0);
    manager->update(0.1f);
    EXPECT_EQ(g_steps.back(), "b");
    EXPECT_EQ(g_steps.size(), 3u);
}

TEST_F(ActionManagerTest, CallbackRemovingAllActionsOfItsTargetEndsItsFrame) {
    KTNode* n = node();
    KTNode* other = node();
    Probe* a = Probe::create("a");
    Probe* b = Probe::create("b");
    a->onStep = [&] {
        manager->removeAllActionsFromTarget(n);
        EXPECT_EQ(n->retainCount(), 2u);  // the entry is kept until the loop leaves it
    };
    manager->addAction(a, n, false);
    manager->addAction(b, n, false);
    manager->addAction(Probe::create("c"), other, false);
    manager->update(0.1f);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(n->retainCount(), 1u);
    EXPECT_EQ(a->stops + b->stops, 0);  // removed actions are not stopped
}

TEST_F(ActionManagerTest, RemovingAnotherTargetDuringPassSkipsIt) {
    KTNode* n = node();
    KTNode* other = node();
    Probe* a = Probe::create("a");
    a->onStep = [&] {
        manager->removeAllActionsFromTarget(other);
        EXPECT_EQ(other->retainCount(), 1u);  // not the current entry: freed at once
    };
    manager->addAction(a, n, false);
    manager->addAction(Probe::create("c"), other, false);
    manager->update(0.1f);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"a"}));
}

TEST_F(ActionManagerTest, PausedTargetKeepsItsActions) {
    KTNode* n = node();
    Probe* a = Probe::create("a");
    manager->addAction(a, n, true);
    manager->update(0.1f);
    EXPECT_EQ(a->steps, 0);
    manager->resumeTarget(n);
    manager->update(0.1f);
    manager->update(0.25f);
    EXPECT_EQ(a->steps, 2);
    EXPECT_FLOAT_EQ(a->getElapsed(), 0.25f);  // continues from where it was: first step counted as zero
    manager->pauseTarget(n);
    manager->update(0.1f);
    EXPECT_EQ(a->steps, 2);

    // An existing entry keeps its paused state whatever addAction says.
    manager->resumeTarget(n);
    manager->addAction(Probe::create("b"), n, true);
    manager->update(0.1f);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"a", "a", "a", "b"}));
}

TEST_F(ActionManagerTest, ActionsAddedDuringUpdateRunInTheSameFrame) {
    KTNode* n = node();
    KTNode* fresh = node();
    Probe* a = Probe::create("a");
    Probe* b = Probe::create("b");
    a->onStep = [&] {
        a->onStep = nullptr;
        manager->addAction(Probe::create("a2"), n, false);
        manager->addAction(Probe::create("fresh"), fresh, false);
    };
    manager->addAction(a, n, false);
    manager->addAction(b, n, false);
    manager->update(0.1f);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"a", "b", "a2", "fresh"}));
}

TEST_F(ActionManagerTest, FinishedActionIsStoppedAndRemoved) {
    KTNode* n = node();
    KTDelayTime* delay = KTDelayTime::create(0.2f);
    manager->addAction(delay, n, false);
    EXPECT_EQ(delay->getTarget(), n);
    manager->update(0.1f);
    manager->update(0.1f);
    EXPECT_EQ(delay->getTarget(), n);
    manager->update(0.1f);
    EXPECT_EQ(delay->getTarget(), nullptr);  // stopped
    EXPECT_EQ(delay->getOriginalTarget(), n);
    EXPECT_EQ(n->retainCount(), 1u);  // last action gone: entry freed
    manager->removeAction(delay);     // not in any list: nothing
    manager->removeAction(nullptr);
    manager->removeAllActionsFromTarget(nullptr);
}

}  // namespace
