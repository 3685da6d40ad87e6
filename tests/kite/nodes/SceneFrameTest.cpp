#include <gtest/gtest.h>

#include <vector>

#include "kite/actions/KTActionInstant.h"
#include "kite/actions/KTActionInterval.h"
#include "kite/core/KTDirector.h"
#include "kite/nodes/KTScene.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kite;

namespace {

int g_frame = 0;  // the director frame being run, from 1

// A node that counts its per-frame updates and notes the frame in which its call-back came.
class Player : public KTNode {
  public:
    static Player* create() { return ktAutorelease(new Player()); }
    void update(float dt) override {
        KTNode::update(dt);
        frames++;
    }
    void arrived() {
        arrivedAtFrame = g_frame;
        arrivedAt = getPosition();
    }
    int frames = 0;
    int arrivedAtFrame = -1;
    KTPoint arrivedAt;
};

class SceneFrameTest : public testsupport::GLTest {};

// Whole frames through the director on the virtual clock: the scene enters at the switch of the first
// frame, actions and updates start in the second, and the call-back after a 0.5 s move comes in the
// frame in which the move ends.
TEST_F(SceneFrameTest, MoveThenCallbackAcrossDirectorFrames) {
    testsupport::VirtualClockScope clock;
    KTDirector* director = KTDirector::sharedDirector();
    KTScene* scene = KTScene::create();
    Player* player = Player::create();
    scene->addChild(player);
    player->scheduleUpdate();
    player->runAction(KTSequence::create(KTMoveTo::create(0.5f, KTPoint(100, 40)),
                                         KTCallFunc::create(player, callfunc_selector(Player::arrived)),
                                         nullptr));
    director->runWithScene(scene);

    std::vector<float> xs;
    for (int i = 0; i < 8; ++i) {
        clock.clock().advance(0.125);
        g_frame = i + 1;
        director->mainLoop();
        xs.push_back(player->getPosition().x);
    }
    EXPECT_EQ(director->getRunningScene(), scene);
    EXPECT_TRUE(player->isRunning());
    EXPECT_EQ(xs, (std::vector<float>{0, 0, 25, 50, 75, 100, 100, 100}));
    EXPECT_EQ(player->frames, 7);
    EXPECT_EQ(player->arrivedAtFrame, 6);  // the frame whose step brought x to 100
    EXPECT_TRUE(player->arrivedAt.equals(KTPoint(100, 40)));

    director->end();
    director->mainLoop();
}

}  // namespace
