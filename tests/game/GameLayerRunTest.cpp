#include <gtest/gtest.h>

#include "game/GameGlobals.h"
#include "game/SaveDataKeys.h"
#include "kite/base/KTArray.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Clock.h"
#include "tests/game/GameRun.h"

using namespace gametest;
using kite::KTUserDefaultStore;

namespace {

int occupiedSlots(const GameLayer& layer) {
    int n = 0;
    for (bool o : layer.occupied) n += o;
    return n;
}

kite::KTSprite* characterInSlot(GameLayer& layer, int slot) {
    for (uint32_t j = 0; j < layer.characters->count(); ++j) {
        auto* c = static_cast<kite::KTSprite*>(layer.characters->objectAtIndex(j));
        if (c->getTag() == slot) return c;
    }
    return nullptr;
}

}  // namespace

TEST(GameLayerRun, SplashesThenFieldThenCharactersOnTheirTimers) {
    GameRun run(20260101);
    const int64_t realAtLaunch = plat::RealClock().nowMicros() / 1000000;
    ASSERT_TRUE(run.launch());

    // Splash 1 for the first second, splash 2 for the next, both covering the screen.
    run.runFrames(30);
    EXPECT_FALSE(run.isSetUp());
    const auto splash1 = asset("Default-568h@2x.png");
    auto shot = run.capture("splash1.png");
    ASSERT_EQ(shot.width, 640u);
    for (auto [x, y] : {std::pair{320, 568}, std::pair{100, 200}, std::pair{500, 1000}})
        EXPECT_TRUE(near(pixel(shot, x, y), pixel(splash1, x, y), 10)) << x << "," << y;
    kite::KTTextureCache* cache = kite::KTTextureCache::sharedTextureCache();
    EXPECT_NE(cache->textureForKey(GameLayer::kSplash1Picture), nullptr);
    run.runFrames(60);
    EXPECT_FALSE(run.isSetUp());
    const auto splash2 = asset("splash2_1136.png");
    shot = run.capture("splash2.png");
    for (auto [x, y] : {std::pair{320, 568}, std::pair{100, 200}, std::pair{500, 1000}})
        EXPECT_TRUE(near(pixel(shot, x, y), pixel(splash2, x, y), 10)) << x << "," << y;
    // Each splash picture leaves the texture cache (and GL) once it is off the screen.
    EXPECT_EQ(cache->textureForKey(GameLayer::kSplash1Picture), nullptr);
    EXPECT_NE(cache->textureForKey(GameLayer::kSplash2Picture), nullptr);

    run.runUntilSetUp();
    ASSERT_TRUE(run.isSetUp());
    EXPECT_EQ(cache->textureForKey(GameLayer::kSplash2Picture), nullptr);
    EXPECT_EQ(cache->textureForKey(GameLayer::kSplash1Picture), nullptr);
    GameLayer& layer = run.layer();
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    EXPECT_EQ(run.bridge().calls, (std::vector<std::string>{"ZediveAnalytics 1", "LoadAD"}));
    EXPECT_EQ(GameGlobals::level, 1);
    EXPECT_EQ(layer.objectcount, 0);
    EXPECT_EQ(layer.mypoints, 0);
    EXPECT_EQ(layer.objectspriteandsound, 1);
    for (float timer : GameGlobals::objectcreatetimer) EXPECT_FLOAT_EQ(timer, 27.0f);
    EXPECT_FALSE(store->getBoolForKey(SaveDataKeys::kFirstGame, true));
    EXPECT_GE(store->getInteger64ForKey(SaveDataKeys::kSaveTime, 0),
              realAtLaunch);  // on the virtual clock too

    // Frame by frame: the stored count follows the occupied slots, and a spawning slot stores a timer of 0.
    int spawnFrame[GameGlobals::kSlotCount] = {};
    for (int frame = 1; frame <= 60 * 14; ++frame) {
        const int before = layer.objectcount;
        run.runFrames(1);
        ASSERT_EQ(layer.objectcount, occupiedSlots(layer)) << frame;
        ASSERT_EQ(layer.characters->count(), static_cast<uint32_t>(layer.objectcount));
        if (layer.objectcount == before) continue;
        ASSERT_EQ(store->getIntegerForKey(SaveDataKeys::kObjectCount, -1), layer.objectcount);
        for (int s = 0; s < GameGlobals::kSlotCount; ++s) {
            if (!layer.occupied[s] || spawnFrame[s]) continue;
            spawnFrame[s] = frame;
            EXPECT_EQ(store->getFloatForKey(SaveDataKeys::objectCreateTimerKey(s), -1.0f), 0.0f);
            kite::KTSprite* c = characterInSlot(layer, s);
            ASSERT_NE(c, nullptr);
            // New characters walk in from beside the screen, at the back half of the field.
            EXPECT_TRUE(c->getPositionX() <= -99 || c->getPositionX() >= 419) << c->getPositionX();
            EXPECT_GE(c->getPositionY(), 149);
            EXPECT_LT(c->getPositionY(), 401);
        }
    }
    // Slots 0 and 1 (30 s) come about 3 s after set-up, 2 and 3 (40 s) 10 s later.
    EXPECT_EQ(spawnFrame[0], spawnFrame[1]);
    EXPECT_NEAR(spawnFrame[0], 180, 3);
    EXPECT_EQ(spawnFrame[2], spawnFrame[3]);
    EXPECT_NEAR(spawnFrame[2], 13 * 60, 3);
    EXPECT_EQ(spawnFrame[4], 0);
    EXPECT_EQ(layer.objectcount, 4);

    // The characters that walked in are drawn where the field says they are.
    shot = run.capture("field.png");
    const auto background = asset("bg1.png");
    int seen = 0;
    for (int s = 0; s < 4; ++s) {
        kite::KTSprite* c = characterInSlot(layer, s);
        const float x = c->getPositionX(), y = c->getPositionY();
        if (x < 20 || x > 300) continue;
        const Rgb centre = pixelAtPoint(shot, x, y);
        // The body's peach colour, clearly not the background behind it.
        EXPECT_GT(centre.r, 200) << s;
        EXPECT_FALSE(
            near(centre, pixel(background, static_cast<int>(x * 2), static_cast<int>((568 - y) * 2)), 12))
            << s;
        ++seen;
    }
    EXPECT_GE(seen, 2);
}
