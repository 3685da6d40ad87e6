// Stored counters and table values at the ends of the int range: clamped as they are read, and no
// sum, difference or product of them overflows (the sanitizer build stops on any that does).
#include <gtest/gtest.h>

#include <climits>

#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "game/GameLayer.h"
#include "game/SaveDataKeys.h"
#include "kite/base/KTArray.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/sprites/KTSprite.h"
#include "tests/game/GameRun.h"
#include "tests/game/TouchScript.h"

using namespace gametest;

TEST(StoredExtremes, PointsStillNeededNeverGoesBelowZeroOrWraps) {
    EXPECT_EQ(GameLayer::pointsStillNeeded(20, 5), 15);
    EXPECT_EQ(GameLayer::pointsStillNeeded(20, 25), 0);
    EXPECT_EQ(GameLayer::pointsStillNeeded(INT_MIN, 5), 0);
    EXPECT_EQ(GameLayer::pointsStillNeeded(INT_MAX, -5), INT_MAX);
    EXPECT_EQ(GameLayer::pointsStillNeeded(INT_MAX, 0), INT_MAX);
}

TEST(StoredExtremes, CountersAtIntMaxAreClampedAndALevelUpStoresSaneValues) {
    AudioShutdown audio;
    GameRun run{3};
    run.storeInt(SaveDataKeys::kMyPoints, INT_MAX);
    run.storeInt(SaveDataKeys::kLockCount, INT_MAX);
    run.storeInt(SaveDataKeys::kComplete, INT_MAX);
    run.storeInt(SaveDataKeys::kBackType, INT_MIN);
    run.storeInt(SaveDataKeys::kObjectCount, 1);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        run.storeFloat(SaveDataKeys::objectCreateTimerKey(i), 0);
    ASSERT_TRUE(run.launch());
    run.runUntilSetUp();
    ASSERT_TRUE(run.isSetUp());
    GameLayer& layer = run.layer();
    EXPECT_EQ(layer.mypoints, SaveDataKeys::kMaxPoints);
    EXPECT_EQ(layer.backtype, 1);
    ASSERT_EQ(layer.characters->count(), 1u);

    layer.absorb(static_cast<kite::KTSprite*>(layer.characters->objectAtIndex(0)), 0);
    kite::KTUserDefaultStore* store = kite::KTUserDefaultStore::sharedUserDefaultStore();
    EXPECT_EQ(GameGlobals::level, 2);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kMyPoints, -1), 0);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kLockCount, 0), SaveDataKeys::kMaxLockCount);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kComplete, 0), SaveDataKeys::kMaxComplete);
}

TEST(StoredExtremes, TheEndedGameKeepsCountingPointsWithoutOverflow) {
    AudioShutdown audio;
    GameRun run{3};
    run.storeInt(SaveDataKeys::kMyObjectLevel, 10);
    run.storeInt(SaveDataKeys::kObjectSpriteAndSound, 10);
    run.storeBool(SaveDataKeys::kEndGame, true);
    run.storeInt(SaveDataKeys::kMyPoints, SaveDataKeys::kMaxPoints - 2);
    run.storeInt(SaveDataKeys::kObjectCount, 2);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        run.storeFloat(SaveDataKeys::objectCreateTimerKey(i), 0);
    ASSERT_TRUE(run.launch());
    run.runUntilSetUp();
    GameLayer& layer = run.layer();
    for (int i = 0; i < 2; ++i) {
        auto* c = static_cast<kite::KTSprite*>(layer.characters->objectAtIndex(0));
        layer.absorb(c, c->getTag());
        EXPECT_EQ(layer.mypoints, SaveDataKeys::kMaxPoints);
    }
    EXPECT_EQ(GameGlobals::level, 10);
}
