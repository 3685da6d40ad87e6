// Headless runs of the whole play loop through scripted touches: attack, absorb, level-up with the
// evolution, the catalogue, the sound button and sharing a screenshot; and the last level-up into the
// ended state from a store one absorb short of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "chime/CHAudioManager.h"
#include "chime/CHLongAudioSource.h"
#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "game/SaveDataKeys.h"
#include "game/ZukanLayer.h"
#include "kite/base/KTArray.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/layers/KTScrollLayer.h"
#include "kite/nodes/KTProgressTimer.h"
#include "kite/nodes/KTScene.h"
#include "kite/sprites/KTSprite.h"
#include "platform/media/ImageCodec.h"
#include "platform/storage/Paths.h"
#include "tests/game/GameRun.h"
#include "tests/game/TouchScript.h"

using namespace gametest;
using kite::KTPoint;
using kite::KTSprite;

namespace {

KTPoint centreOf(kite::KTNode* node) {
    const kite::KTSize size = node->getContentSize();
    const KTPoint anchor = node->getAnchorPoint();
    return KTPoint(node->getPositionX() + size.width * (0.5f - anchor.x),
                   node->getPositionY() + size.height * (0.5f - anchor.y));
}

int brightness(Rgb c) {
    return c.r + c.g + c.b;
}

std::string musicPlaying() {
    auto manager = CHAudioManager::sharedManager();
    if (!manager || !manager->isBackgroundMusicPlaying() || !manager->backgroundMusic()) return "";
    return std::filesystem::path(manager->backgroundMusic()->audioSourceFilePath()).filename().string();
}

class PlayLoop : public ::testing::Test {
  protected:
    // `stored` characters at rest, no arrivals for 30 s.
    void start(int stored) {
        run.storeInt(SaveDataKeys::kObjectCount, stored);
        for (int i = 0; i < GameGlobals::kSlotCount; ++i)
            run.storeFloat(SaveDataKeys::objectCreateTimerKey(i), 0.0f);
        ASSERT_TRUE(run.launch());
        run.runUntilSetUp();
        ASSERT_TRUE(run.isSetUp());
        layer = &run.layer();
        field = kite::KTDirector::sharedDirector()->getRunningScene();
    }

    // A character on the field that is not knocked down, or null.
    KTSprite* standingCharacter() {
        for (kite::KTObject* obj : *layer->characters) {
            auto* c = static_cast<KTSprite*>(obj);
            const KTPoint p = c->getPosition();
            if (!layer->stunned[c->getTag()] && p.x > 10 && p.x < 310) return c;
        }
        return nullptr;
    }

    // Runs frames until `done` holds, at most `limit`; true when it held.
    template <typename F>
    bool runUntil(F done, int limit) {
        for (int i = 0; i < limit && !done(); ++i) run.runFrames(1);
        return done();
    }

    // Attack and absorb one standing character; false when either did not happen.
    bool takeOne(bool captureSteps) {
        // The player takes no new target until the last absorb's picture is over.
        runUntil([&] { return !layer->playerChasing; }, 60);
        KTSprite* c = standingCharacter();
        if (!c) return false;
        c->retain();
        const int slot = c->getTag();
        const int points = layer->mypoints;
        touches.tap(c->getPosition());
        const bool attacked = runUntil([&] { return layer->stunned[slot]; }, 40);
        if (captureSteps) run.capture("attack.png");
        runUntil([&] { return !layer->playerChasing; }, 60);
        touches.tap(c->getPosition());
        const bool absorbed = runUntil([&] { return !layer->occupied[slot]; }, 40);
        if (captureSteps) run.capture("absorb.png");
        c->release();
        if (!attacked || !absorbed) return false;
        EXPECT_EQ(layer->levelUpPending ? 0 : points + 5, layer->mypoints);
        return true;
    }

    kite::KTUserDefaultStore* store() { return kite::KTUserDefaultStore::sharedUserDefaultStore(); }

    // Declared first, so it goes last: the sound device is closed after the run, before the process ends.
    AudioShutdown audio;
    GameRun run{20260607};
    TouchScript touches{run.driver()};
    GameLayer* layer = nullptr;
    kite::KTScene* field = nullptr;
};

}  // namespace

TEST_F(PlayLoop, TapsAbsorbLevelUpCatalogueSoundAndShare) {
    start(3);
    const auto bg1 = asset("bg1.png"), bg2 = asset("bg2.png");
    // A spot of the background that no picture of the field covers.
    const KTPoint spot(3, 560);
    ASSERT_FALSE(near(pixelAtPoint(bg1, spot.x, spot.y), pixelAtPoint(bg2, spot.x, spot.y), 20));
    auto shot = run.capture("field.png");
    EXPECT_TRUE(near(pixelAtPoint(shot, spot.x, spot.y), pixelAtPoint(bg1, spot.x, spot.y), 12));
    EXPECT_EQ(musicPlaying(), "bgm1.mp3");

    // Attack and absorb until the level rises (15 points at level 1: three characters).
    const int need = CharaTable::requiredPoints(2);
    int taken = 0;
    while (!layer->levelUpPending && taken < 6) {
        ASSERT_TRUE(takeOne(taken == 0)) << "round " << taken;
        ++taken;
        if (layer->levelUpPending) break;
        EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kMyPoints, -1), 5 * taken);
        EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kObjectCount, -1), 3 - taken);
        EXPECT_NEAR(layer->gauge->getPercentage(), 100.0f / need * 5 * taken, 1e-3);
        EXPECT_NEAR(store()->getFloatForKey(SaveDataKeys::kGageLevel, -1), layer->gauge->getPercentage(),
                    1e-3);
    }
    ASSERT_TRUE(layer->levelUpPending);
    EXPECT_EQ(taken * 5, need);
    EXPECT_EQ(GameGlobals::level, 2);
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kMyObjectLevel, 0), 2);
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kObjectSpriteAndSound, 0), 2);
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kLockCount, 0), 3);
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kComplete, 0), 2);
    EXPECT_EQ(run.bridge().calls.back(), "InterAD") << "the field is empty";

    // The screen darkens while the player walks to the centre and blinks.
    run.runFrames(90);
    EXPECT_TRUE(layer->evolving);
    EXPECT_NEAR(layer->playerSprite->getPositionX(), 160, 0.01) << "evolves at the centre";
    EXPECT_NEAR(layer->playerSprite->getPositionY(), 284, 0.01);
    shot = run.capture("evolution.png");
    EXPECT_LT(brightness(pixelAtPoint(shot, spot.x, spot.y)),
              brightness(pixelAtPoint(bg1, spot.x, spot.y)) / 3);
    ASSERT_TRUE(runUntil([&] { return !layer->evolving; }, 600));
    run.runFrames(2);
    shot = run.capture("evolved.png");
    EXPECT_EQ(layer->objectspriteandsound, 2);
    EXPECT_TRUE(near(pixelAtPoint(shot, spot.x, spot.y), pixelAtPoint(bg2, spot.x, spot.y), 12));
    EXPECT_EQ(musicPlaying(), "bgm2.mp3");
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kBackSpriteId, 0), 2);
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kSoundId, 0), 2);
    EXPECT_EQ(layer->gauge->getPercentage(), 0);

    // The catalogue: two pages now; page right, then close.
    touches.tap(centreOf(layer->zukanButton));
    run.runFrames(2);
    kite::KTScene* catalogueScene = kite::KTDirector::sharedDirector()->getRunningScene();
    ASSERT_NE(catalogueScene, field);
    EXPECT_TRUE(GameGlobals::soundOn);
    auto* catalogue = static_cast<ZukanLayer*>(catalogueScene->getChildren()->objectAtIndex(0));
    ASSERT_EQ(catalogue->getScrollLayer()->pageCount(), 2);
    const auto page1 = run.capture("catalogue.png");
    touches.tap(centreOf(static_cast<kite::KTNode*>(catalogue->getArrowButtons()->objectAtIndex(1))));
    run.runFrames(25);
    EXPECT_EQ(catalogue->getScrollLayer()->getCurrentScreen(), 1);
    const auto page2 = run.capture("catalogue-page2.png");
    // The character picture of each page stands at (100, 334).
    EXPECT_FALSE(near(pixelAtPoint(page1, 100, 334), pixelAtPoint(page2, 100, 334), 10));
    touches.tap(centreOf(catalogue->getCloseButton()));
    run.runFrames(2);
    EXPECT_EQ(kite::KTDirector::sharedDirector()->getRunningScene(), field);
    EXPECT_EQ(run.bridge().calls.back(), "InterAD");

    // Sound off, then on again: the music of the current level restarts. Look where the two button
    // pictures differ most.
    const auto on = asset("btn_sound_on.png"), off = asset("btn_sound_off.png");
    ASSERT_EQ(on.width, off.width);
    int best = -1;
    KTPoint soundSpot = centreOf(layer->soundButton);
    for (int y = 2; y + 2 < static_cast<int>(on.height); y += 2)
        for (int x = 2; x + 2 < static_cast<int>(on.width); x += 2) {
            const Rgb a = pixel(on, x, y), b = pixel(off, x, y);
            const int d = std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
            if (d <= best) continue;
            best = d;
            soundSpot =
                KTPoint(layer->soundButton->getPositionX() + x / 2.0f,
                        layer->soundButton->getPositionY() + (static_cast<float>(on.height) - y) / 2.0f);
        }
    ASSERT_GT(best, 60);
    const Rgb soundOnPixel = pixelAtPoint(run.capture("sound-on.png"), soundSpot.x, soundSpot.y);
    touches.tap(soundSpot);
    EXPECT_FALSE(layer->isSoundOn());
    EXPECT_EQ(musicPlaying(), "");
    shot = run.capture("sound-off.png");
    EXPECT_FALSE(near(pixelAtPoint(shot, soundSpot.x, soundSpot.y), soundOnPixel, 10));
    touches.tap(soundSpot);
    EXPECT_TRUE(layer->isSoundOn());
    EXPECT_EQ(musicPlaying(), "bgm2.mp3");

    // Share: a full-size JPEG in Documents without the buttons, the gauge and its labels.
    const auto live = run.capture("before-share.png");
    touches.tap(centreOf(layer->tweetButton));
    const auto file = plat::Paths::documents() / "screenshot0.jpg";
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(run.bridge().calls.back(), "ShowTweet " + file.string());
    EXPECT_EQ(GameGlobals::screenshotCount, 1);
    EXPECT_TRUE(layer->tweetButton->isVisible());
    EXPECT_TRUE(layer->gauge->isVisible());
    const std::string bytes = testsupport::readFile(file);
    auto jpeg = plat::ImageCodec::decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(jpeg);
    ASSERT_EQ(jpeg->width, 640u);
    ASSERT_EQ(jpeg->height, 1136u);
    for (kite::KTNode* hidden :
         {static_cast<kite::KTNode*>(layer->tweetButton), static_cast<kite::KTNode*>(layer->soundButton),
          static_cast<kite::KTNode*>(layer->zukanButton)}) {
        const KTPoint p = centreOf(hidden);
        EXPECT_FALSE(near(pixelAtPoint(live, p.x, p.y), pixelAtPoint(bg2, p.x, p.y), 30)) << "shown live";
        EXPECT_TRUE(near(pixelAtPoint(*jpeg, p.x, p.y), pixelAtPoint(bg2, p.x, p.y), 30))
            << "hidden in the picture";
    }
    const KTPoint other = centreOf(layer->tobikumaButton);
    EXPECT_TRUE(near(pixelAtPoint(*jpeg, other.x, other.y), pixelAtPoint(live, other.x, other.y), 30))
        << "the other app's button stays in the picture";
}

TEST_F(PlayLoop, TheLastAbsorbReachesTheEndState) {
    run.storeInt(SaveDataKeys::kMyObjectLevel, 9);
    run.storeInt(SaveDataKeys::kObjectSpriteAndSound, 9);
    run.storeInt(SaveDataKeys::kSoundId, 9);
    run.storeInt(SaveDataKeys::kBackSpriteId, 9);
    run.storeInt(SaveDataKeys::kLockCount, 10);
    run.storeInt(SaveDataKeys::kComplete, 9);
    run.storeInt(SaveDataKeys::kMyPoints, CharaTable::requiredPoints(10) - 5);
    run.storeFloat(SaveDataKeys::kGageLevel, 90);
    start(2);
    EXPECT_FALSE(layer->versionupSprite->isVisible());

    ASSERT_TRUE(takeOne(false));
    ASSERT_TRUE(layer->levelUpPending);
    EXPECT_EQ(GameGlobals::level, 10);
    EXPECT_TRUE(store()->getBoolForKey(SaveDataKeys::kEndGame, false));
    EXPECT_TRUE(layer->versionupSprite->isVisible()) << "before the evolution starts";
    EXPECT_FALSE(layer->gauge->isVisible());
    EXPECT_FALSE(layer->remainLabel->isVisible());
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kLockCount, 0), 11);
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kComplete, 0), 10);

    ASSERT_TRUE(runUntil([&] { return !layer->evolving && !layer->levelUpPending; }, 900));
    run.runFrames(2);
    EXPECT_EQ(layer->objectspriteandsound, 10);
    EXPECT_EQ(musicPlaying(), "bgm10.mp3");
    const auto shot = run.capture("end.png");
    const auto bg10 = asset("bg10.png");
    const KTPoint caption = centreOf(layer->versionupSprite);
    int differing = 0;
    for (float x = caption.x - 100; x <= caption.x + 100; x += 1)
        differing += !near(pixelAtPoint(shot, x, caption.y), pixelAtPoint(bg10, x, caption.y), 40);
    EXPECT_GT(differing, 40) << "the end picture is drawn over the background";
    EXPECT_TRUE(near(pixelAtPoint(shot, 3, 560), pixelAtPoint(bg10, 3, 560), 12));

    // No further level: the last character still goes, for points that lead nowhere.
    ASSERT_TRUE(takeOne(false));
    EXPECT_EQ(GameGlobals::level, 10);
    EXPECT_FALSE(layer->levelUpPending);
    EXPECT_EQ(store()->getIntegerForKey(SaveDataKeys::kMyObjectLevel, 0), 10);

    // The catalogue holds all ten levels.
    touches.tap(centreOf(layer->zukanButton));
    run.runFrames(2);
    auto* catalogue = static_cast<ZukanLayer*>(
        kite::KTDirector::sharedDirector()->getRunningScene()->getChildren()->objectAtIndex(0));
    EXPECT_EQ(catalogue->getScrollLayer()->pageCount(), 10);
    touches.tap(centreOf(catalogue->getCloseButton()));
    run.runFrames(2);
    EXPECT_EQ(kite::KTDirector::sharedDirector()->getRunningScene(), field);
}
