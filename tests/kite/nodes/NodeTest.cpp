#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "kite/actions/KTActionInterval.h"
#include "kite/actions/KTActionManager.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/core/KTScheduler.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/nodes/KTComponent.h"
#include "kite/nodes/KTNodeRGBA.h"
#include "kite/nodes/KTScene.h"

using namespace kite;

namespace {

std::vector<std::string> g_draws;

// Logs its draws and exposes the cache flag.
class Drawn : public KTNode {
  public:
    explicit Drawn(std::string name) : name(std::move(name)) {}
    void draw() override { g_draws.push_back(name); }
    void tick(float) { ticks++; }
    bool transformDirty() const { return m_bTransformDirty; }
    std::string name;
    int ticks = 0;
};

bool near(const KTPoint& a, const KTPoint& b) {
    return std::fabs(a.x - b.x) < 1e-3f && std::fabs(a.y - b.y) < 1e-3f;
}

class NodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_draws.clear();
        director = KTDirector::sharedDirector();
    }
    void TearDown() override {
        for (KTNode* n : owned) {
            n->cleanup();
            n->release();
        }
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
    }
    template <typename T>
    T* own(T* n) {
        owned.push_back(n);
        return n;
    }
    void frame(float dt) { director->getScheduler()->update(dt); }

    KTDirector* director = nullptr;
    std::vector<KTNode*> owned;
};

TEST_F(NodeTest, RotationTurnsAboutTheAnchorAndIgnoreAnchorShiftsPosition) {
    KTNode* n = own(new KTNode());
    n->setContentSize(KTSize(100, 100));
    n->setAnchorPoint(KTPoint(0.5f, 0.5f));
    n->setPosition(KTPoint(200, 300));
    n->setRotation(90);
    KTAffineTransform t = n->nodeToParentTransform();
    // The centre lands at the position; clockwise turn takes the lower-left corner to the upper left.
    EXPECT_TRUE(near(KTPointApplyAffineTransform(KTPoint(50, 50), t), KTPoint(200, 300)));
    EXPECT_TRUE(near(KTPointApplyAffineTransform(KTPoint(0, 0), t), KTPoint(150, 350)));

    n->setIgnoreAnchorPointForPosition(true);
    t = n->nodeToParentTransform();
    EXPECT_TRUE(near(KTPointApplyAffineTransform(KTPoint(50, 50), t), KTPoint(250, 350)));
    n->setRotation(0);
    EXPECT_TRUE(
        near(KTPointApplyAffineTransform(KTPoint(0, 0), n->nodeToParentTransform()), KTPoint(200, 300)));

    KTPoint back = KTPointApplyAffineTransform(KTPoint(230, 310), n->parentToNodeTransform());
    EXPECT_TRUE(near(back, KTPoint(30, 10)));
}

TEST_F(NodeTest, SkewScaleAndWorldTransforms) {
    KTNode* n = own(new KTNode());
    n->setSkewX(45);
    KTAffineTransform t = n->nodeToParentTransform();
    EXPECT_NEAR(t.c, 1.0f, 1e-5f);
    EXPECT_NEAR(t.a, 1.0f, 1e-6f);

    // Skew with an anchor: the anchor still lands at the position.
    n->setContentSize(KTSize(10, 20));
    n->setAnchorPoint(KTPoint(0.5f, 0.5f));
    n->setPosition(KTPoint(7, 9));
    EXPECT_TRUE(near(KTPointApplyAffineTransform(KTPoint(5, 10), n->nodeToParentTransform()), KTPoint(7, 9)));

    KTNode* parent = own(new KTNode());
    KTNode* child = own(new KTNode());
    parent->setPosition(KTPoint(100, 0));
    parent->setScale(2);
    child->setPosition(KTPoint(10, 5));
    parent->addChild(child);
    EXPECT_TRUE(near(child->convertToWorldSpace(KTPoint(1, 1)), KTPoint(122, 12)));
    EXPECT_TRUE(near(child->convertToNodeSpace(KTPoint(122, 12)), KTPoint(1, 1)));
    parent->removeChild(child);
}

// Reads the model-view matrix at draw time.
class MatrixProbe : public KTNode {
  public:
    void draw() override { mxGLGetMatrix(MX_GL_MODELVIEW, &seen); }
    mxMat4 seen{};
};

TEST_F(NodeTest, VisitMultipliesTransformsOntoTheModelView) {
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLPushMatrix();
    mxGLLoadIdentity();
    KTNode* parent = own(new KTNode());
    auto* child = new MatrixProbe();
    parent->setPosition(KTPoint(10, 20));
    parent->setScale(2);
    child->setPosition(KTPoint(5, 1));
    child->setVertexZ(3);
    child->getCamera();  // an untouched camera adds an identity view
    parent->addChild(child);
    child->release();
    parent->visit();
    EXPECT_FLOAT_EQ(child->seen.mat[0], 2);
    EXPECT_FLOAT_EQ(child->seen.mat[12], 20);
    EXPECT_FLOAT_EQ(child->seen.mat[13], 22);
    EXPECT_FLOAT_EQ(child->seen.mat[14], 3);  // the vertex Z; 2D scales leave z alone
    mxMat4 after;
    mxGLGetMatrix(MX_GL_MODELVIEW, &after);
    EXPECT_FLOAT_EQ(after.mat[12], 0);  // visit pops what it pushed
    mxGLPopMatrix();
}

TEST_F(NodeTest, TransformCacheFollowsDirtyFlags) {
    Drawn* n = own(new Drawn("n"));
    n->setContentSize(KTSize(10, 10));
    n->setAnchorPoint(KTPoint(0.5f, 0.5f));
    n->nodeToParentTransform();
    EXPECT_FALSE(n->transformDirty());
    n->setAnchorPoint(KTPoint(0.5f, 0.5f));
    n->setContentSize(KTSize(10, 10));
    n->setVertexZ(3);
    n->setVisible(false);
    EXPECT_FALSE(n->transformDirty());
    n->setPositionX(1);
    EXPECT_TRUE(n->transformDirty());
    EXPECT_TRUE(n->getAnchorPointInPoints().equals(KTPoint(5, 5)));
}

TEST_F(NodeTest, AdditionalTransformJoinsTheNextRebuildOnlyOfAMovedNode) {
    KTNode* n = own(new KTNode());
    n->setPosition(KTPoint(10, 20));
    n->nodeToParentTransform();
    n->setAdditionalTransform(KTAffineTransformMake(2, 0, 0, 3, 1, 1));
    KTAffineTransform t = n->nodeToParentTransform();
    EXPECT_FLOAT_EQ(t.a, 2);
    EXPECT_FLOAT_EQ(t.d, 3);
    EXPECT_FLOAT_EQ(t.tx, 21);
    EXPECT_FLOAT_EQ(t.ty, 61);
    n->setPosition(KTPoint(4, 5));  // the next rebuild is the node's own transform alone
    t = n->nodeToParentTransform();
    EXPECT_FLOAT_EQ(t.a, 1);
    EXPECT_FLOAT_EQ(t.tx, 4);
    EXPECT_FLOAT_EQ(t.ty, 5);
}

TEST_F(NodeTest, ChildrenDrawByZOrderThenArrival) {
    Drawn* root = own(new Drawn("root"));
    auto* a = new Drawn("a");
    auto* b = new Drawn("b");
    auto* c = new Drawn("c");
    auto* neg = new Drawn("neg");
    root->addChild(a, 1);
    root->addChild(b, 1);
    root->addChild(c, 0);
    root->addChild(neg, -1);
    for (Drawn* d : {a, b, c, neg}) d->release();
    root->visit();
    EXPECT_EQ(g_draws, (std::vector<std::string>{"neg", "root", "c", "a", "b"}));

    // Reordering to the same z moves the child after its equals.
    g_draws.clear();
    a->setZOrder(1);
    root->visit();
    EXPECT_EQ(g_draws, (std::vector<std::string>{"neg", "root", "c", "b", "a"}));

    // An invisible node draws nothing, children included.
    g_draws.clear();
    c->setVisible(false);
    auto* grandChild = new Drawn("grandchild");
    c->addChild(grandChild);
    grandChild->release();
    root->visit();
    EXPECT_EQ(g_draws, (std::vector<std::string>{"neg", "root", "b", "a"}));

    EXPECT_EQ(root->getChildByTag(42), nullptr);
    b->setTag(42);
    EXPECT_EQ(root->getChildByTag(42), b);
    root->removeChildByTag(42);
    root->removeChildByTag(42);  // no such child any more: nothing
    EXPECT_EQ(root->getChildrenCount(), 3u);
    root->removeAllChildren();
    EXPECT_EQ(root->getChildrenCount(), 0u);
}

TEST_F(NodeTest, EnterAndExitPauseActionsAndTimers) {
    Drawn* parent = own(new Drawn("parent"));
    auto* child = new Drawn("child");
    parent->addChild(child);
    child->release();
    child->setPosition(KTPoint(0, 0));
    child->runAction(KTMoveBy::create(1.0f, KTPoint(10, 0)));
    child->schedule(schedule_selector(Drawn::tick), 0.0f);
    frame(0.25f);
    frame(0.25f);
    // Not running yet: nothing moved, no firing.
    EXPECT_FALSE(child->isRunning());
    EXPECT_TRUE(child->getPosition().equals(KTPoint(0, 0)));
    EXPECT_EQ(child->ticks, 0);

    parent->enter();
    parent->enterTransitionFinished();
    EXPECT_TRUE(child->isRunning());
    frame(0.25f);
    frame(0.25f);
    EXPECT_TRUE(child->getPosition().equals(KTPoint(2.5f, 0)));
    EXPECT_EQ(child->ticks, 1);

    parent->exitTransitionStarted();
    parent->exit();
    frame(0.25f);
    EXPECT_TRUE(child->getPosition().equals(KTPoint(2.5f, 0)));
    EXPECT_EQ(child->ticks, 1);

    // A child added to a running parent enters at once.
    parent->enter();
    auto* late = new Drawn("late");
    parent->addChild(late);
    late->release();
    EXPECT_TRUE(late->isRunning());
    parent->exit();
}

TEST_F(NodeTest, RemovingWithAndWithoutCleanup) {
    Drawn* parent = own(new Drawn("parent"));
    parent->enter();
    auto* child = new Drawn("child");  // kept by the test across the removals
    parent->addChild(child);
    child->runAction(KTMoveBy::create(1.0f, KTPoint(8, 0)));
    child->schedule(schedule_selector(Drawn::tick), 0.0f);
    frame(0.25f);
    frame(0.25f);
    EXPECT_EQ(child->ticks, 1);

    // Without cleanup: paused, and resumed when added to a running parent again.
    parent->removeChildWithCleanup(child, false);
    EXPECT_EQ(child->getParent(), nullptr);
    EXPECT_FALSE(child->isRunning());
    frame(0.25f);
    EXPECT_EQ(child->ticks, 1);
    parent->addChild(child);
    frame(0.25f);
    EXPECT_EQ(child->ticks, 2);
    EXPECT_TRUE(child->getPosition().equals(KTPoint(4, 0)));

    // With cleanup: actions and timers are gone for good.
    child->removeFromParent();
    parent->addChild(child);
    frame(0.25f);
    frame(0.25f);
    EXPECT_EQ(child->ticks, 2);
    EXPECT_TRUE(child->getPosition().equals(KTPoint(4, 0)));
    EXPECT_EQ(child->retainCount(), 2u);  // the test and the parent; nothing else holds it
    parent->removeChild(child);
    child->release();
    parent->exit();
}

TEST_F(NodeTest, ScheduleOnceAndUpdateFollowRunningState) {
    struct Counter : KTNode {
        void update(float dt) override {
            KTNode::update(dt);
            updates++;
        }
        void once(float) { onces++; }
        int updates = 0, onces = 0;
    };
    auto* n = own(new Counter());
    n->scheduleUpdate();
    n->scheduleOnce(schedule_selector(Counter::once), 0.5f);
    frame(1.0f);
    EXPECT_EQ(n->updates, 0);
    n->enter();
    for (int i = 0; i < 5; ++i) frame(0.25f);
    EXPECT_EQ(n->updates, 5);
    EXPECT_EQ(n->onces, 1);
    n->unscheduleUpdate();
    frame(0.25f);
    EXPECT_EQ(n->updates, 5);
    n->exit();
}

TEST_F(NodeTest, OpacityAndColourCascade) {
    KTNodeRGBA* parent = own(new KTNodeRGBA());
    parent->init();
    auto* child = new KTNodeRGBA();
    child->init();
    auto* grandChild = new KTNodeRGBA();
    grandChild->init();
    parent->addChild(child);
    child->addChild(grandChild);
    child->release();
    grandChild->release();

    parent->setCascadeOpacityEnabled(true);
    parent->setOpacity(128);
    EXPECT_EQ(child->getDisplayedOpacity(), 128);
    EXPECT_EQ(child->getOpacity(), 255);
    EXPECT_EQ(grandChild->getDisplayedOpacity(), 255);  // the child does not cascade further
    child->setOpacity(100);
    EXPECT_EQ(child->getDisplayedOpacity(), 100);  // own cascade off: the parent is not consulted
    child->setCascadeOpacityEnabled(true);
    child->setOpacity(100);
    EXPECT_EQ(child->getDisplayedOpacity(), 50);
    EXPECT_EQ(grandChild->getDisplayedOpacity(), 50);

    parent->setCascadeColorEnabled(true);
    parent->setColor(ktc3(255, 128, 0));
    EXPECT_EQ(child->getDisplayedColor().g, 128);
    EXPECT_EQ(child->getDisplayedColor().b, 0);
    EXPECT_EQ(child->getColor().b, 255);

    // Through the interface the same implementations answer.
    KTRGBAProtocol* rgba = child;
    rgba->setColor(ktc3(10, 20, 30));
    EXPECT_EQ(child->getColor().g, 20);
    EXPECT_FALSE(rgba->isOpacityModifyRGB());
}

class Behaviour : public KTComponent {
  public:
    void onEnter() override { entered++; }
    void onExit() override { exited++; }
    void update(float) override { updates++; }
    int entered = 0, exited = 0, updates = 0;
};

TEST_F(NodeTest, ComponentsGetTheOwnersUpdate) {
    KTNode* n = own(new KTNode());
    n->enter();
    EXPECT_EQ(n->getComponent("move"), nullptr);
    auto* c = new Behaviour();
    c->init("move");
    auto* dup = new Behaviour();
    dup->init("move");
    EXPECT_TRUE(n->addComponent(c));
    EXPECT_FALSE(n->addComponent(dup));
    EXPECT_EQ(dup->getOwner(), nullptr);
    EXPECT_EQ(c->getOwner(), n);
    EXPECT_EQ(n->getComponent("move"), c);
    frame(0.1f);
    EXPECT_EQ(c->updates, 1);

    n->removeAllComponents();
    EXPECT_EQ(c->exited, 1);
    EXPECT_EQ(c->getOwner(), nullptr);
    EXPECT_FALSE(director->getScheduler()->hasUpdateForTarget(n));
    frame(0.1f);
    EXPECT_EQ(c->updates, 1);

    // A component added after removeAll is updated again.
    EXPECT_TRUE(n->addComponent(dup));
    frame(0.1f);
    EXPECT_EQ(dup->updates, 1);
    EXPECT_TRUE(n->removeComponent("move"));
    EXPECT_FALSE(n->removeComponent("move"));
    EXPECT_EQ(dup->exited, 1);
    c->release();
    dup->release();
    n->exit();
}

TEST_F(NodeTest, SceneTakesTheWindowSize) {
    KTScene* scene = KTScene::create();
    ASSERT_NE(scene, nullptr);
    EXPECT_TRUE(scene->getContentSize().equals(director->getWinSize()));
    EXPECT_TRUE(scene->getAnchorPoint().equals(KTPoint(0.5f, 0.5f)));
    EXPECT_TRUE(scene->isIgnoreAnchorPointForPosition());
    scene->setContentSize(KTSize(320, 568));
    EXPECT_TRUE(
        near(KTPointApplyAffineTransform(KTPoint(0, 0), scene->nodeToParentTransform()), KTPoint(0, 0)));
}

// A size no other node class has, so the slots are this test's alone.
struct Padded : KTNode {
    char pad[600] = {};
};

TEST(NodeAllocatorTest, NodesMadeInTurnLieOneSlotApartAndEmptySlabsGoBack) {
    if (!ktNodesFromSlabs()) GTEST_SKIP() << "this build takes nodes from the heap";
    const KTNodeAllocatorStats before = ktNodeAllocatorStats();
    std::vector<Padded*> nodes;
    for (int i = 0; i < 300; ++i) nodes.push_back(new Padded);
    const auto slot = static_cast<std::uintptr_t>((sizeof(Padded) + 63) / 64 * 64);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const auto at = reinterpret_cast<std::uintptr_t>(nodes[i]);
        EXPECT_EQ(at % 64, 0u);
        const auto previous = i ? reinterpret_cast<std::uintptr_t>(nodes[i - 1]) : 0;
        if (i && at >> 16 == previous >> 16) {
            EXPECT_EQ(at - previous, slot);
        }
    }
    EXPECT_GT(ktNodeAllocatorStats().slabs, before.slabs);
    for (Padded* n : nodes) n->release();
    EXPECT_EQ(ktNodeAllocatorStats().slabs, before.slabs);
    EXPECT_EQ(ktNodeAllocatorStats().slotsInUse, before.slotsInUse);
}

}  // namespace
