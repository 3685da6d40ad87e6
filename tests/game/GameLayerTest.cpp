#include <gtest/gtest.h>

#include <string>

#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "game/SaveDataKeys.h"
#include "kite/base/KTArray.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/labels/KTLabelTTF.h"
#include "kite/nodes/KTProgressTimer.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Log.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "tests/game/GameRun.h"

using namespace gametest;
using kite::KTSprite;
using kite::KTUserDefaultStore;

namespace {

kite::KTTexture2D* picture(const char* name) {
    return kite::KTTextureCache::sharedTextureCache()->addImage(name);
}

KTSprite* characterInSlot(GameLayer& layer, int slot) {
    for (uint32_t j = 0; j < layer.characters->count(); ++j) {
        auto* c = static_cast<KTSprite*>(layer.characters->objectAtIndex(j));
        if (c->getTag() == slot) return c;
    }
    return nullptr;
}

// A field just set up, with `stored` characters restored; later frames are driven by calling update().
class FieldTest : public ::testing::Test {
  protected:
    void setUpField(int stored = 0) {
        if (stored) run.storeInt(SaveDataKeys::kObjectCount, stored);
        ASSERT_TRUE(run.launch());
        run.runUntilSetUp();
        ASSERT_TRUE(run.isSetUp());
        layer = &run.layer();
    }
    GameRun run;
    GameLayer* layer = nullptr;
};

}  // namespace

TEST_F(FieldTest, RestoresStoredProgressAndTheTimeAway) {
    run.storeInt(SaveDataKeys::kMyPoints, 7);
    run.storeInt(SaveDataKeys::kMyObjectLevel, 3);
    run.storeInt(SaveDataKeys::kObjectSpriteAndSound, 3);
    run.storeInt(SaveDataKeys::kSoundId, 3);
    run.storeInt(SaveDataKeys::kBackSpriteId, 3);
    run.storeInt(SaveDataKeys::kBackType, 2);
    run.storeBool(SaveDataKeys::kEndGame, true);
    run.storeFloat(SaveDataKeys::kGageLevel, 50);
    run.storeBool(SaveDataKeys::kFirstGame, false);
    run.storeInt(SaveDataKeys::kSaveTime, 12345);
    run.storeInt(SaveDataKeys::kPassageTime, 100);
    run.storeFloat(SaveDataKeys::kGameTimer, 50);
    for (int i = 0; i < 10; ++i) run.storeFloat(SaveDataKeys::objectCreateTimerKey(i), static_cast<float>(i));
    setUpField(4);

    // The screen view names the player's form, not the level.
    EXPECT_EQ(run.bridge().calls, (std::vector<std::string>{"ZediveAnalytics 3", "LoadAD"}));
    EXPECT_EQ(GameGlobals::level, 3);
    EXPECT_EQ(layer->mypoints, 7);
    EXPECT_EQ(layer->backtype, 2);
    EXPECT_FLOAT_EQ(layer->playerBaseScale, CharaTable::spriteScale(3) * 0.1f * 0.5f);
    // Restored characters stand at their resting places in slots 0..3.
    ASSERT_EQ(layer->objectcount, 4);
    for (int s = 0; s < 10; ++s) EXPECT_EQ(layer->occupied[s], s < 4) << s;
    for (int s = 0; s < 4; ++s) {
        KTSprite* c = characterInSlot(*layer, s);
        ASSERT_NE(c, nullptr) << s;
        EXPECT_GE(c->getPositionX(), -1) << s;
        EXPECT_LT(c->getPositionX(), 301) << s;
        EXPECT_GE(c->getPositionY(), 149) << s;
        EXPECT_LT(c->getPositionY(), 401) << s;
    }
    // Timers: the stored values plus the time away (and at most a frame of play).
    EXPECT_NEAR(GameGlobals::gametimer, 150, 0.05);
    for (int i = 4; i < 10; ++i) EXPECT_NEAR(GameGlobals::objectcreatetimer[i], i + 100, 0.05) << i;
    // The ended game: end picture shown, gauge and remaining points hidden; the gauge keeps its value.
    EXPECT_TRUE(layer->versionupSprite->isVisible());
    EXPECT_FALSE(layer->gauge->isVisible());
    EXPECT_FALSE(layer->remainLabel->isVisible());
    EXPECT_FALSE(layer->pointsLabel->isVisible());
    EXPECT_FLOAT_EQ(layer->gauge->getPercentage(), 50);
    EXPECT_STREQ(layer->remainLabel->getString(), std::to_string(CharaTable::requiredPoints(4) - 7).c_str());
    // A later start leaves the first start's time alone.
    EXPECT_EQ(KTUserDefaultStore::sharedUserDefaultStore()->getIntegerForKey(SaveDataKeys::kSaveTime, 0),
              12345);
}

TEST_F(FieldTest, CorruptStoredValuesAreClampedAndAFullFieldSpawnsNothing) {
    run.storeInt(SaveDataKeys::kMyObjectLevel, 0);
    run.storeInt(SaveDataKeys::kObjectSpriteAndSound, 99);
    run.storeInt(SaveDataKeys::kSoundId, -3);
    run.storeInt(SaveDataKeys::kBackSpriteId, 11);
    plat::LogCapture log;
    setUpField(25);
    EXPECT_EQ(layer->objectcount, 10);
    EXPECT_EQ(layer->characters->count(), 10u);
    for (bool o : layer->occupied) EXPECT_TRUE(o);
    EXPECT_EQ(GameGlobals::level, 1);
    EXPECT_EQ(layer->objectspriteandsound, 10);
    EXPECT_EQ(layer->soundid, 1);
    EXPECT_EQ(layer->backspriteid, 10);
    EXPECT_EQ(run.bridge().calls.front(), "ZediveAnalytics 10");
    EXPECT_TRUE(log.contains("objectcount = 25"));
    EXPECT_TRUE(log.contains("objectspriteandsound = 99"));
    // Valid values pass unchanged: nothing else was reported.
    EXPECT_FALSE(log.contains("mypoints"));

    float before[10];
    for (int i = 0; i < 10; ++i) before[i] = GameGlobals::objectcreatetimer[i];
    for (int i = 0; i < 20; ++i) layer->update(0.5f);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(GameGlobals::objectcreatetimer[i], before[i]) << i;
    EXPECT_EQ(layer->objectcount, 10);
}

TEST(GameLayerTimers, RestoreAddsTheTimeAwayToTheStoredTimers) {
    testsupport::TempHome home;
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    store->setIntegerForKey(SaveDataKeys::kPassageTime, 3600);
    store->setFloatForKey(SaveDataKeys::kGameTimer, 10.5f);
    store->setFloatForKey(SaveDataKeys::objectCreateTimerKey(3), 5.0f);
    GameLayer::restoreTimers();
    EXPECT_FLOAT_EQ(GameGlobals::gametimer, 3610.5f);
    for (int i = 0; i < 10; ++i)
        EXPECT_FLOAT_EQ(GameGlobals::objectcreatetimer[i], i == 3 ? 3605.0f : 3600.0f);
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    GameGlobals::reset();
}

TEST(GameLayerTimers, RestoreCountsANegativeTimeAwayAsNone) {
    testsupport::TempHome home;
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    store->setIntegerForKey(SaveDataKeys::kPassageTime, -2592000);
    store->setFloatForKey(SaveDataKeys::kGameTimer, 100.5f);
    store->setFloatForKey(SaveDataKeys::objectCreateTimerKey(3), 13.0f);
    GameLayer::restoreTimers();
    EXPECT_FLOAT_EQ(GameGlobals::gametimer, 100.5f);
    for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(GameGlobals::objectcreatetimer[i], i == 3 ? 13.0f : 0.0f);
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    GameGlobals::reset();
}

TEST_F(FieldTest, SpawnNeedsTheIntervalStrictlyExceededAndStoresItsTimer) {
    setUpField();
    for (float& t : GameGlobals::objectcreatetimer) t = 0;
    GameGlobals::objectcreatetimer[0] = 29.5f;
    layer->update(0.5f);
    EXPECT_EQ(layer->objectcount, 0) << "a timer equal to its interval does not spawn";
    EXPECT_FLOAT_EQ(GameGlobals::objectcreatetimer[1], 0.5f);
    layer->update(0.25f);
    EXPECT_EQ(layer->objectcount, 1);
    EXPECT_TRUE(layer->occupied[0]);
    EXPECT_EQ(GameGlobals::objectcreatetimer[0], 0.0f);
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    EXPECT_EQ(store->getFloatForKey(SaveDataKeys::objectCreateTimerKey(0), -1), 0.0f);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kObjectCount, -1), 1);
    // An occupied slot's timer stands still; free ones keep counting.
    layer->update(0.25f);
    EXPECT_EQ(GameGlobals::objectcreatetimer[0], 0.0f);
    EXPECT_FLOAT_EQ(GameGlobals::objectcreatetimer[1], 1.0f);
}

TEST_F(FieldTest, AnArrivalReachesTheDiskWithItsCountSoAKillKeepsTheCharacter) {
    setUpField();
    for (float& t : GameGlobals::objectcreatetimer) t = 0;
    GameGlobals::objectcreatetimer[0] = 29.9f;
    layer->update(0.25f);
    ASSERT_EQ(layer->objectcount, 1);
    KTUserDefaultStore::sharedUserDefaultStore()->waitForBackgroundFlush();
    auto saved = plat::PropertyList::readFile(plat::Paths::preferences() / "potemaru.plist");
    ASSERT_TRUE(saved);
    EXPECT_EQ((*saved)[SaveDataKeys::objectCreateTimerKey(0)].toDouble(), 0.0);
    EXPECT_EQ((*saved)[SaveDataKeys::kObjectCount].toInt64(), 1);
}

TEST_F(FieldTest, PlayerPausesWithABubbleInTheSameFrameItsWalkEnds) {
    setUpField();
    const int form = layer->objectspriteandsound;
    layer->walking[GameLayer::kPlayer] = true;
    layer->playerMoveTime = 6;
    layer->playerWaitTime = 3;
    layer->moveTimer[GameLayer::kPlayer] = 5.9f;
    layer->waitTimer[GameLayer::kPlayer] = 0;
    layer->update(0.25f);
    EXPECT_FALSE(layer->walking[GameLayer::kPlayer]);
    EXPECT_FLOAT_EQ(layer->waitTimer[GameLayer::kPlayer], 0.25f);
    EXPECT_EQ(layer->playerSprite->getTexture(), picture("taiki_1.png"));
    ASSERT_TRUE(layer->bubbleSprite->isVisible());
    EXPECT_TRUE(layer->bubbleLabel->isVisible());
    EXPECT_FLOAT_EQ(layer->bubbleSprite->getPositionX(), layer->playerSprite->getPositionX());
    EXPECT_FLOAT_EQ(layer->bubbleSprite->getPositionY(), layer->playerSprite->getPositionY() + 100);
    EXPECT_FLOAT_EQ(layer->bubbleLabel->getPositionY(), layer->bubbleSprite->getPositionY() + 5);
    const std::string line = layer->bubbleLabel->getString();
    EXPECT_TRUE(line == CharaTable::bubbleLine1(form) || line == CharaTable::bubbleLine2(form) ||
                line == CharaTable::bubbleLine3(form))
        << line;
    // The pause holds the player still, then the walk starts again and the bubble goes.
    const float x = layer->playerSprite->getPositionX();
    layer->update(2.5f);
    EXPECT_FALSE(layer->walking[GameLayer::kPlayer]);
    EXPECT_EQ(layer->playerSprite->getPositionX(), x);
    layer->update(0.5f);
    EXPECT_TRUE(layer->walking[GameLayer::kPlayer]);
    EXPECT_EQ(layer->playerSprite->getTexture(), picture("idou_1.png"));
    EXPECT_FALSE(layer->bubbleSprite->isVisible());
    EXPECT_FALSE(layer->bubbleLabel->isVisible());
}

TEST_F(FieldTest, CharactersScaleWithDepthTurnAtTheBoundsAndStunnedOnesLieStill) {
    setUpField(1);
    KTSprite* c = characterInSlot(*layer, 0);
    ASSERT_NE(c, nullptr);
    layer->walking[0] = true;
    layer->moveTime[0] = 19;
    layer->moveTimer[0] = 0;

    c->setPosition(kite::KTPoint(100, 418));
    layer->update(0.01f);
    EXPECT_FLOAT_EQ(c->getScale(), 0.5f);
    EXPECT_EQ(c->getZOrder(), -418);
    c->setPosition(kite::KTPoint(100, 180));
    layer->update(0.01f);
    EXPECT_NEAR(c->getScale(), 0.6666f, 1e-4);

    // Beyond a bound the step turns back inward with a fresh speed, for that axis only.
    c->setPosition(kite::KTPoint(281, 300));
    const float stepY = layer->speedY[0];
    layer->update(0.01f);
    EXPECT_LT(layer->speedX[0], 0);
    EXPECT_GE(-layer->speedX[0], 0.2f - 1e-6);
    EXPECT_LE(-layer->speedX[0], 0.9f + 1e-6);
    EXPECT_FALSE(c->isFlipX());
    EXPECT_EQ(layer->speedY[0], stepY);
    EXPECT_FLOAT_EQ(c->getPositionX(), 281 + layer->speedX[0]);
    c->setPosition(kite::KTPoint(39, 419));
    layer->update(0.01f);
    EXPECT_GT(layer->speedX[0], 0);
    EXPECT_TRUE(c->isFlipX());
    EXPECT_LT(layer->speedY[0], 0);

    // Walk frames alternate every 0.2 s.
    c->setTexture(picture("idou_1_2.png"));
    layer->frameTimer[0] = 0;
    c->setPosition(kite::KTPoint(150, 300));
    layer->update(0.21f);
    EXPECT_EQ(c->getTexture(), picture("idou_1.png"));
    layer->update(0.21f);
    EXPECT_EQ(c->getTexture(), picture("idou_1_2.png"));

    // Knocked down: no wandering or scaling, z-order still from its height, the lying picture after 0.5 s.
    layer->stunned[0] = true;
    layer->stunTimer[0] = 0;
    c->setScale(0.9f);
    c->setPosition(kite::KTPoint(120, 250));
    layer->update(0.3f);
    EXPECT_EQ(c->getTexture(), picture("idou_1_2.png"));
    layer->update(0.3f);
    EXPECT_EQ(c->getTexture(), picture("kizetsu_1.png"));
    EXPECT_EQ(layer->stunTimer[0], 0.0f);
    EXPECT_FLOAT_EQ(c->getScale(), 0.9f);
    EXPECT_FLOAT_EQ(c->getPositionX(), 120);
    EXPECT_EQ(c->getZOrder(), -250);
}

TEST_F(FieldTest, GameTimerWrapsAndCaptionsLeaveAfterThreeQuartersOfASecond) {
    setUpField();
    GameGlobals::gametimer = 899.9f;
    layer->backtype = 4;
    layer->update(0.2f);
    EXPECT_EQ(GameGlobals::gametimer, 0.0f);
    EXPECT_EQ(layer->backtype, 1);

    KTSprite* caption = KTSprite::create("kougeki_1_txt.png");
    ASSERT_NE(caption, nullptr);
    layer->addCaption(layer->attackEffects, caption);
    EXPECT_EQ(caption->getParent(), layer);
    layer->update(0.5f);
    EXPECT_EQ(layer->attackEffects->count(), 1u);
    layer->update(0.3f);
    EXPECT_EQ(layer->attackEffects->count(), 0u);
    EXPECT_EQ(caption->getParent(), nullptr);
}
