#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "game/SaveDataKeys.h"
#include "kite/base/KTArray.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/nodes/KTProgressTimer.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/storage/Paths.h"
#include "tests/game/GameRun.h"
#include "tests/game/TouchScript.h"

using namespace gametest;
using kite::KTPoint;
using kite::KTSprite;
using kite::KTUserDefaultStore;

namespace {

kite::KTTexture2D* picture(const char* name) {
    return kite::KTTextureCache::sharedTextureCache()->addImage(name);
}

KTPoint centreOf(kite::KTNode* node) {
    const kite::KTSize size = node->getContentSize();
    const KTPoint anchor = node->getAnchorPoint();
    return KTPoint(node->getPositionX() + size.width * (0.5f - anchor.x),
                   node->getPositionY() + size.height * (0.5f - anchor.y));
}

KTSprite* characterInSlot(GameLayer& layer, int slot) {
    for (uint32_t j = 0; j < layer.characters->count(); ++j) {
        auto* c = static_cast<KTSprite*>(layer.characters->objectAtIndex(j));
        if (c->getTag() == slot) return c;
    }
    return nullptr;
}

// A field set up with `stored` characters at rest and no spawn due for 30 s; taps go through the
// headless driver's script.
class PlayTest : public ::testing::Test {
  protected:
    void setUpField(int stored) {
        run.storeInt(SaveDataKeys::kObjectCount, stored);
        for (int i = 0; i < GameGlobals::kSlotCount; ++i)
            run.storeFloat(SaveDataKeys::objectCreateTimerKey(i), 0.0f);
        ASSERT_TRUE(run.launch());
        run.runUntilSetUp();
        ASSERT_TRUE(run.isSetUp());
        layer = &run.layer();
    }
    void tapSlot(int slot) {
        KTSprite* c = characterInSlot(*layer, slot);
        ASSERT_NE(c, nullptr) << slot;
        touches.tap(c->getPosition());
    }
    std::string remain() { return static_cast<kite::KTLabelAtlas*>(layer->remainLabel)->getString(); }

    // Declared first, so it goes last: the sound device is closed after the run, before the process ends.
    AudioShutdown audio;
    GameRun run{7};
    TouchScript touches{run.driver()};
    GameLayer* layer = nullptr;
};

}  // namespace

TEST_F(PlayTest, AttackThenAbsorbForFivePointsTheGaugeAndTheStore) {
    setUpField(2);
    const int need = CharaTable::requiredPoints(2);
    ASSERT_GT(need, 5);
    KTSprite* c = characterInSlot(*layer, 0);

    tapSlot(0);
    EXPECT_TRUE(layer->playerChasing);
    EXPECT_TRUE(layer->attackTarget[0]);
    tapSlot(1);
    EXPECT_FALSE(layer->attackTarget[1]) << "a tap while chasing chooses nothing";
    EXPECT_FALSE(layer->bubbleSprite->isVisible());

    run.runFrames(30);
    ASSERT_TRUE(layer->stunned[0]) << "contact within the half-second walk";
    EXPECT_FALSE(layer->attackTarget[0]);
    EXPECT_EQ(layer->attackEffects->count(), 1u);
    EXPECT_TRUE(layer->playerChasing) << "until the idle picture 0.75 s after the attack";
    EXPECT_EQ(layer->playerSprite->getTexture(), picture("kougeki_1.png"));
    run.runFrames(46);
    EXPECT_FALSE(layer->playerChasing);
    EXPECT_NE(layer->playerSprite->getTexture(), picture("kougeki_1.png"));
    EXPECT_EQ(c->getTexture(), picture("kizetsu_1.png"));

    tapSlot(0);
    EXPECT_TRUE(layer->absorbTarget[0]);
    run.runFrames(30);
    EXPECT_EQ(characterInSlot(*layer, 0), nullptr);
    EXPECT_FALSE(layer->occupied[0]);
    EXPECT_EQ(layer->objectcount, 1);
    EXPECT_EQ(layer->mypoints, 5);
    EXPECT_NEAR(layer->gauge->getPercentage(), 100.0f / need * 5, 1e-3);
    EXPECT_EQ(remain(), std::to_string(need - 5));
    EXPECT_EQ(layer->absorbEffects->count(), 1u);
    EXPECT_EQ(layer->attackEffects->count(), 0u) << "the attack caption makes way";

    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kMyPoints, 0), 5);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kObjectCount, -1), 1);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kMyObjectLevel, 0), 1);
    EXPECT_NEAR(store->getFloatForKey(SaveDataKeys::kGageLevel, 0), 100.0f / need * 5, 1e-3);
    for (const std::string& call : run.bridge().calls) EXPECT_NE(call, "InterAD") << "others are left";
}

TEST_F(PlayTest, AChaseWhoseCharacterWalkedAwayEndsOnArrival) {
    setUpField(1);
    KTSprite* c = characterInSlot(*layer, 0);
    ASSERT_NE(c, nullptr);
    const KTPoint place = c->getPosition();
    tapSlot(0);
    ASSERT_TRUE(layer->playerChasing);
    // The character is somewhere else by the time the player arrives.
    c->setPosition(KTPoint(place.x < 160 ? place.x + 150 : place.x - 150, place.y));
    run.runFrames(32);
    EXPECT_FALSE(layer->stunned[0]);
    EXPECT_FALSE(layer->playerChasing) << "the chase ended without contact";
    EXPECT_FALSE(layer->attackTarget[0]);

    // And the character can be chosen again.
    tapSlot(0);
    EXPECT_TRUE(layer->playerChasing);
    EXPECT_TRUE(layer->attackTarget[0]);
    run.runFrames(30);
    EXPECT_TRUE(layer->stunned[0]);
}

TEST_F(PlayTest, AbsorbingTheLastCharacterAsksForThePopupOnce) {
    setUpField(1);
    tapSlot(0);
    run.runFrames(76);
    ASSERT_TRUE(layer->stunned[0]);
    tapSlot(0);
    run.runFrames(30);
    ASSERT_EQ(layer->objectcount, 0);
    int popups = 0;
    for (const std::string& call : run.bridge().calls) popups += call == "InterAD";
    EXPECT_EQ(popups, 1);
}

TEST_F(PlayTest, LevelTenAbsorbsWithoutANextLevel) {
    // The ended state: the table has no level 11, so the points needed are 0.
    run.storeInt(SaveDataKeys::kMyObjectLevel, 10);
    run.storeInt(SaveDataKeys::kObjectSpriteAndSound, 10);
    run.storeBool(SaveDataKeys::kEndGame, true);
    setUpField(1);
    ASSERT_EQ(CharaTable::requiredPoints(11), 0);
    layer->gauge->setPercentage(40);
    layer->absorb(characterInSlot(*layer, 0), 0);
    EXPECT_EQ(layer->gauge->getPercentage(), 100) << "no division by zero: the step fills the gauge";
    EXPECT_EQ(remain(), "0");
    EXPECT_EQ(GameGlobals::level, 10);
    EXPECT_FALSE(layer->levelUpPending);
    EXPECT_FALSE(layer->gauge->isVisible());
    EXPECT_EQ(layer->mypoints, 5);
}

TEST_F(PlayTest, LevelUpAdvancesTheCountersAndTheEvolutionBlinksOldAndNew) {
    run.storeInt(SaveDataKeys::kMyPoints, CharaTable::requiredPoints(2) - 5);
    setUpField(1);
    const float gaugeBefore = layer->gauge->getPercentage();
    layer->absorb(characterInSlot(*layer, 0), 0);

    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    EXPECT_EQ(GameGlobals::level, 2);
    EXPECT_EQ(layer->mypoints, 0);
    EXPECT_EQ(remain(), std::to_string(CharaTable::requiredPoints(3)));
    EXPECT_TRUE(layer->levelUpPending);
    EXPECT_TRUE(layer->evolutionLayer->isVisible());
    EXPECT_EQ(layer->objectspriteandsound, 2);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kLockCount, 0), 3);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kComplete, 0), 2);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kSoundId, 0), 2);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kBackSpriteId, 0), 2);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kMyObjectLevel, 0), 2);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kMyPoints, -1), 0);
    // Stored as the new level starts: empty, though the screen keeps it full through the evolution.
    EXPECT_EQ(store->getFloatForKey(SaveDataKeys::kGageLevel, -1), 0.0f);
    EXPECT_FALSE(store->getBoolForKey(SaveDataKeys::kEndGame, false));
    const float filled = layer->gauge->getPercentage();
    EXPECT_GT(filled, gaugeBefore);

    // The walk to the centre and the half-second wait: taps do nothing, no timer runs.
    const float spawnTimer = GameGlobals::objectcreatetimer[3];
    run.runFrames(2);
    touches.tap(layer->tweetButton->getPosition() + KTPoint(10, 10));
    for (const std::string& call : run.bridge().calls)
        EXPECT_EQ(call.rfind("ShowTweet", 0), std::string::npos) << "buttons are ignored too";
    run.runFrames(62);
    EXPECT_TRUE(layer->evolving);
    EXPECT_NEAR(layer->playerSprite->getPositionX(), 160, 0.01);
    EXPECT_NEAR(layer->playerSprite->getPositionY(), 284, 0.01);
    EXPECT_EQ(layer->playerSprite->getZOrder(), 5);
    EXPECT_EQ(GameGlobals::objectcreatetimer[3], spawnTimer);

    // Blinks: old, new, old, new per stage, faster each stage; record the pictures as they change.
    kite::KTTexture2D* oldForm = picture("taiki_1.png");
    kite::KTTexture2D* newForm = picture("taiki_2.png");
    std::string blinks;
    kite::KTTexture2D* last = layer->playerSprite->getTexture();
    int frames = 0;
    while (layer->evolving && frames < 600) {
        run.runFrames(1);
        ++frames;
        kite::KTTexture2D* now = layer->playerSprite->getTexture();
        if (now != last) blinks += now == oldForm ? 'o' : now == newForm ? 'n' : '?';
        last = now;
        if (layer->evolving) {
            ASSERT_EQ(layer->gauge->getPercentage(), filled) << "full until the end";
        }
    }
    EXPECT_FALSE(layer->evolving);
    EXPECT_EQ(blinks, "onononononononononon");
    EXPECT_NEAR(frames, 6 * 60 + 20, 25) << "about six seconds";
    EXPECT_FALSE(layer->levelUpPending);
    EXPECT_FALSE(layer->evolutionLayer->isVisible());
    EXPECT_EQ(layer->gauge->getPercentage(), 0);
    EXPECT_EQ(layer->backgroundSprite->getTexture(), picture("bg2.png"));
    EXPECT_FLOAT_EQ(layer->playerBaseScale, CharaTable::spriteScale(2) * 0.05f);
}

TEST_F(PlayTest, AScreenshotThatCannotBeWrittenIsNotShared) {
    setUpField(0);
    // A plain file where the writable folder should be: the picture cannot be saved.
    const std::filesystem::path documents = plat::Paths::documents();
    std::filesystem::remove_all(documents);
    testsupport::writeFile(documents, "not a folder");

    touches.tap(centreOf(layer->tweetButton));
    for (const std::string& call : run.bridge().calls)
        EXPECT_EQ(call.rfind("ShowTweet", 0), std::string::npos);
    EXPECT_TRUE(layer->tweetButton->isVisible()) << "the hidden nodes come back all the same";
    EXPECT_TRUE(layer->gauge->isVisible());

    std::filesystem::remove(documents);
    std::filesystem::create_directories(documents);
    touches.tap(centreOf(layer->tweetButton));
    ASSERT_FALSE(run.bridge().calls.empty());
    EXPECT_EQ(run.bridge().calls.back(), "ShowTweet " + (documents / "screenshot1.jpg").string());
    EXPECT_TRUE(std::filesystem::exists(documents / "screenshot1.jpg"));
}
