// Taps, attack and absorb, level-up and evolution, buttons and the screenshot.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "chime/Chime.h"
#include "game/Bridge.h"
#include "game/CharaTable.h"
#include "game/GameLayer.h"
#include "game/SaveDataKeys.h"
#include "game/ZukanLayer.h"
#include "kite/actions/KTActionInstant.h"
#include "kite/actions/KTActionInterval.h"
#include "kite/base/KTArray.h"
#include "kite/base/KTSet.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/labels/KTLabelTTF.h"
#include "kite/nodes/KTProgressTimer.h"
#include "kite/nodes/KTScene.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTRenderTexture.h"
#include "kite/textures/KTTextureCache.h"
#include "kite/touch/KTTouch.h"
#include "platform/base/Log.h"

using namespace kite;
using namespace GameGlobals;

namespace {

constexpr float kChaseTime = 0.5f;
constexpr float kIdleDelay = 0.75f;
constexpr int kAbsorbPoints = 5;
constexpr int kLastLevel = 10;

// Looked up on events only (taps, contacts, blink toggles), never every frame.
KTTexture2D* textureNamed(const char* name) {
    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addImage(name);
    if (!texture) plat::logError("play field: picture %s is missing", name);
    return texture;
}

void setPicture(KTSprite* sprite, const char* format, int number) {
    char name[48];
    std::snprintf(name, sizeof name, format, number);
    if (KTTexture2D* texture = textureNamed(name)) sprite->setTexture(texture);
}

// The points needed for `level` + 1; 0 beyond the last level (the table has no row 11).
int pointsNeeded() {
    return CharaTable::requiredPoints(level + 1);
}

void playEffect(const char* name) {
    Chime::AudioEngine::sharedEngine()->playEffect(name);
}

void playMusicOfRow(int row) {
    char name[32];
    std::snprintf(name, sizeof name, "bgm%d.mp3", CharaTable::bgmNumber(row));
    Chime::AudioEngine::sharedEngine()->playBackgroundMusic(name, true);
}

// Evolution blink intervals, stage 0..4.
constexpr float kBlinkIntervals[] = {0.5f, 0.4f, 0.3f, 0.2f, 0.1f};
constexpr int kBlinkStages = 5;

}  // namespace

// ---- taps ----

void GameLayer::touchesBegan(KTSet* touches, KTEvent*) {
    if (evolving || levelUpPending) return;
    for (KTObject* obj : *touches) {
        const KTPoint p = convertToWorldSpace(convertTouchToNodeSpace(static_cast<KTTouch*>(obj)));

        if (soundButton && touchRectOf(soundButton).containsPoint(p)) toggleSound();

        for (uint32_t j = 0; j < characters->count(); ++j) {
            auto* c = static_cast<KTSprite*>(characters->objectAtIndex(j));
            const int s = c->getTag();
            if (s < 0 || s >= kSlotCount) continue;
            KTRect r = touchRectOf(c);
            r = KTRect(r.origin.x + r.size.width / 4, r.origin.y + r.size.height / 4, r.size.width / 2,
                       r.size.height / 2);
            if (!r.containsPoint(p)) continue;
            if (!playerChasing && !attackTarget[s] && !stunned[s]) {
                attackTarget[s] = true;
                chase(c);
                break;
            }
            if (stunned[s] && !playerChasing) {
                absorbTarget[s] = true;
                chase(c);
                break;
            }
        }

        if (zukanButton && touchRectOf(zukanButton).containsPoint(p)) openCatalogue();
        if (tweetButton && touchRectOf(tweetButton).containsPoint(p)) share();
        if (youtubeButton && touchRectOf(youtubeButton).containsPoint(p)) showYoutubeBridge();
        if (tobikumaButton && touchRectOf(tobikumaButton).containsPoint(p)) showTobikumaBridge();
    }
}

void GameLayer::touchesMoved(KTSet* touches, KTEvent*) {
    for (KTObject* obj : *touches)
        (void)convertToWorldSpace(convertTouchToNodeSpace(static_cast<KTTouch*>(obj)));
}

void GameLayer::touchesEnded(KTSet* touches, KTEvent*) {
    for (KTObject* obj : *touches)
        (void)convertToWorldSpace(convertTouchToNodeSpace(static_cast<KTTouch*>(obj)));
}

KTRect GameLayer::touchRectOf(KTSprite* sprite) {
    const KTSize size = sprite->getContentSize();
    const KTPoint anchor = sprite->getAnchorPoint();
    return KTRect(sprite->getPositionX() - size.width * anchor.x,
                  sprite->getPositionY() - size.height * anchor.y, size.width, size.height);
}

void GameLayer::chase(KTSprite* character) {
    playerChasing = true;
    chaseResolved = false;
    const KTPoint target = character->getPosition();
    playerSprite->runAction(KTSequence::createWithTwoActions(
        KTMoveTo::create(kChaseTime, target),
        KTCallFunc::create(this, callfunc_selector(GameLayer::onChaseArrived))));
    playerSprite->setFlipX(target.x > playerSprite->getPositionX());
    bubbleSprite->setVisible(false);
    if (bubbleLabel) bubbleLabel->setVisible(false);
}

void GameLayer::onChaseArrived() {
    // An attack or an absorb on the way ends the chase through showIdleTexture.
    if (!playerChasing || chaseResolved) return;
    if (contactStep()) return;
    // The character walked off the destination: without this the chase (and every tap) would wait
    // for good. Its target flag goes too, or it could never be tapped again.
    playerChasing = false;
    for (int s = 0; s < kSlotCount; ++s) attackTarget[s] = absorbTarget[s] = false;
    if (KTTexture2D* rest = texture(kPlayerRest)) playerSprite->setTexture(rest);
}

void GameLayer::showIdleTexture(float) {
    playerChasing = false;
    if (KTTexture2D* rest = texture(kPlayerRest)) playerSprite->setTexture(rest);
}

bool GameLayer::contactStep() {
    const KTPoint p = playerSprite->getPosition();
    for (uint32_t j = 0; j < characters->count(); ++j) {
        auto* c = static_cast<KTSprite*>(characters->objectAtIndex(j));
        const int s = c->getTag();
        if (s < 0 || s >= kSlotCount) continue;
        KTRect r = touchRectOf(c);
        r = KTRect(r.origin.x + r.size.width / 4, r.origin.y + r.size.height / 4, r.size.width / 2,
                   r.size.height / 2);
        if (attackTarget[s] && r.containsPoint(p)) {
            attack(c, s);
            return true;
        }
        if (absorbTarget[s] && r.containsPoint(p)) {
            absorb(c, s);
            return true;
        }
    }
    return false;
}

void GameLayer::attack(KTSprite* c, int s) {
    chaseResolved = true;
    stunned[s] = true;
    attackTarget[s] = false;
    removeAllCaptions();

    if (KTTexture2D* knocked = textureNamed("futtobi_1.png")) c->setTexture(knocked);
    setPicture(playerSprite, "kougeki_%d.png", objectspriteandsound);
    scheduleOnce(schedule_selector(GameLayer::showIdleTexture), kIdleDelay);
    if (isSoundOn()) playEffect("kougeki.mp3");

    char name[48];
    std::snprintf(name, sizeof name, "kougeki_%d_txt.png", objectspriteandsound);
    if (KTSprite* caption = KTSprite::create(name)) {
        caption->setPosition(playerSprite->getPosition());
        addCaption(attackEffects, caption);
    } else {
        plat::logError("play field: picture %s is missing", name);
    }

    const float x = c->getPositionX();
    KTPoint knockBack;
    if (x < 70)
        knockBack = KTPoint(30, 0);
    else if (x > 250)
        knockBack = KTPoint(-30, 0);
    else
        knockBack = playerSprite->getPositionX() > x ? KTPoint(-50, 50) : KTPoint(50, 50);
    c->runAction(KTMoveBy::create(0.25f, knockBack));
}

void GameLayer::absorb(KTSprite* c, int s) {
    chaseResolved = true;
    stunned[s] = false;
    absorbTarget[s] = false;
    removeAllCaptions();

    setPicture(playerSprite, "kyusyu_%d.png", objectspriteandsound);
    scheduleOnce(schedule_selector(GameLayer::showIdleTexture), kIdleDelay);
    occupied[s] = false;
    --objectcount;
    if (isSoundOn()) playEffect("kyusyu.mp3");

    char text[32];
    // Capped (the stored value is clamped when read), so the sum cannot overflow in the ended game either.
    mypoints = std::min(mypoints, SaveDataKeys::kMaxPoints - kAbsorbPoints) + kAbsorbPoints;
    const int need = pointsNeeded();
    std::snprintf(text, sizeof text, "%d/%d", mypoints, need);
    if (pointsLabel) pointsLabel->setString(text);

    // A table row asking for 0 points would divide by zero: such a level counts as filled at once.
    if (gauge) {
        const float step = need > 0 ? 100.0f / static_cast<float>(need) * kAbsorbPoints : 100.0f;
        gauge->setPercentage(gauge->getPercentage() + step);
    }

    std::snprintf(text, sizeof text, "kyusyu_%d_txt.png", objectspriteandsound);
    if (KTSprite* caption = KTSprite::create(text)) {
        caption->setPosition(playerSprite->getPosition());
        addCaption(absorbEffects, caption);
    } else {
        plat::logError("play field: picture %s is missing", text);
    }

    const int threshold = isDebugMode ? kAbsorbPoints : need;
    if (std::none_of(std::begin(occupied), std::end(occupied), [](bool o) { return o; })) interAdBridge();

    std::snprintf(text, sizeof text, "%d", pointsStillNeeded(need, mypoints));
    if (remainLabel) remainLabel->setString(text);

    const bool levelledUp = mypoints >= threshold && level < kLastLevel;
    if (levelledUp) levelUp();

    // After a level-up the gauge stays full on screen until the evolution ends, but the new level starts
    // empty: a relaunch in between must not show it full.
    userDefault->setIntegerForKey(SaveDataKeys::kMyPoints, mypoints);
    userDefault->setFloatForKey(SaveDataKeys::kGageLevel,
                                gauge && !levelledUp ? gauge->getPercentage() : 0.0f);
    userDefault->setIntegerForKey(SaveDataKeys::kObjectCount, objectcount);
    userDefault->setIntegerForKey(SaveDataKeys::kMyObjectLevel, level);
    userDefault->setIntegerForKey(SaveDataKeys::kObjectSpriteAndSound, objectspriteandsound);
    userDefault->flushInBackground();

    c->retain();
    c->removeFromParentWithCleanup(true);
    characters->removeObject(c);
    c->release();
}

// ---- level-up and evolution ----

void GameLayer::levelUp() {
    mypoints = 0;
    ++level;
    char text[16];
    std::snprintf(text, sizeof text, "%d", pointsStillNeeded(pointsNeeded(), 0));
    if (remainLabel) remainLabel->setString(text);

    using SaveDataKeys::readClamped;
    userDefault->setIntegerForKey(
        SaveDataKeys::kLockCount,
        readClamped(userDefault, SaveDataKeys::kLockCount, SaveDataKeys::kMinLockCount,
                    SaveDataKeys::kMinLockCount, SaveDataKeys::kMaxLockCount - 1) +
            1);
    userDefault->setIntegerForKey(
        SaveDataKeys::kComplete, readClamped(userDefault, SaveDataKeys::kComplete, SaveDataKeys::kMinComplete,
                                             SaveDataKeys::kMinComplete, SaveDataKeys::kMaxComplete - 1) +
                                     1);
    // Rows past the table's last would name pictures and music that do not exist.
    soundid = std::min(soundid + 1, CharaTable::kRowCount);
    backspriteid = std::min(backspriteid + 1, CharaTable::kRowCount);
    userDefault->setIntegerForKey(SaveDataKeys::kSoundId, soundid);
    userDefault->setIntegerForKey(SaveDataKeys::kBackSpriteId, backspriteid);

    levelUpPending = true;
    objectspriteandsound = std::min(objectspriteandsound + 1, CharaTable::kRowCount);
    loadPlayerTextures();
    if (evolutionLayer) evolutionLayer->setVisible(true);

    if (level == kLastLevel) {
        userDefault->setBoolForKey(SaveDataKeys::kEndGame, true);
        if (remainLabel) remainLabel->setVisible(false);
        if (gauge) gauge->setVisible(false);
        if (pointsLabel) pointsLabel->setVisible(false);
        versionupSprite->setVisible(true);
    }
}

void GameLayer::startLevelUpMove() {
    // The chase that ended in this absorb may still be walking; moves add up, so it would carry the
    // player past the centre.
    playerSprite->stopAllActions();
    playerSprite->runAction(KTSequence::create(
        KTMoveTo::create(0.5f, KTPoint(winSize.width / 2, winSize.height / 2)), KTDelayTime::create(0.5f),
        KTCallFunc::create(this, callfunc_selector(GameLayer::onEvolutionMoveDone)), nullptr));
    levelUpMoveStarted = true;
}

void GameLayer::onEvolutionMoveDone() {
    removeAllCaptions();
    if (isSoundOn()) {
        Chime::AudioEngine::sharedEngine()->stopAllEffects();
        Chime::AudioEngine::sharedEngine()->stopBackgroundMusic();
    }
    evolving = true;
}

void GameLayer::evolutionStep(float dt) {
    if (!evolutionZSet) {
        for (KTObject* obj : *characters) reorderChild(static_cast<KTNode*>(obj), 1);
        reorderChild(playerSprite, 5);
        evolutionZSet = true;
    }
    for (KTArray* effects : {attackEffects, absorbEffects})
        for (KTObject* obj : *effects) reorderChild(static_cast<KTNode*>(obj), 2);

    blinkTimer += dt;
    if (blinkStage >= kBlinkStages) {
        blinkPhase = false;
        blinkStage = 0;
        blinkCount = 0;
        blinkTimer = 0;
        levelUpPending = evolving = false;
        if (evolutionLayer) evolutionLayer->setVisible(false);
        evolutionZSet = levelUpMoveStarted = false;

        playerBaseScale = static_cast<float>(CharaTable::spriteScale(objectspriteandsound)) * 0.1f * 0.5f;
        if (KTTexture2D* rest = texture(kPlayerRest)) playerSprite->setTexture(rest);
        char text[32];
        std::snprintf(text, sizeof text, "%d/%d", mypoints, pointsNeeded());
        if (pointsLabel) pointsLabel->setString(text);
        if (gauge) gauge->setPercentage(0);

        Chime::AudioEngine::sharedEngine()->stopBackgroundMusic();
        if (isSoundOn()) playMusicOfRow(soundid);
        std::snprintf(text, sizeof text, "bg%d.png", CharaTable::backgroundNumber(backspriteid));
        if (KTTexture2D* background = textureNamed(text)) {
            backgroundSprite->setTexture(background);
            const KTSize size = background->getContentSize();
            backgroundSprite->setTextureRect(KTRect(0, 0, size.width, size.height));
        }
        userDefault->setIntegerForKey(SaveDataKeys::kBackType, backtype);
    }
    blinkInterval = kBlinkIntervals[std::clamp(blinkStage, 0, kBlinkStages - 1)];

    if (!(blinkTimer > blinkInterval)) return;
    blinkTimer = 0;
    if (!blinkPhase) {
        setPicture(playerSprite, "taiki_%d.png", objectspriteandsound - 1);
        blinkPhase = true;
        ++blinkCount;
        return;
    }
    setPicture(playerSprite, "taiki_%d.png", objectspriteandsound);
    blinkPhase = false;
    if (blinkCount + 1 < 4) {
        ++blinkCount;
    } else {
        ++blinkStage;
        blinkCount = 0;
    }
}

// ---- buttons ----

bool GameLayer::isSoundOn() {
    return soundButton && soundButton->getTexture() &&
           soundButton->getTexture() == KTTextureCache::sharedTextureCache()->addImage("btn_sound_on.png");
}

void GameLayer::toggleSound() {
    Chime::AudioEngine* audio = Chime::AudioEngine::sharedEngine();
    if (isSoundOn()) {
        if (KTTexture2D* off = textureNamed("btn_sound_off.png")) soundButton->setTexture(off);
        audio->stopAllEffects();
        audio->stopBackgroundMusic();
    } else {
        if (KTTexture2D* on = textureNamed("btn_sound_on.png")) soundButton->setTexture(on);
        playMusicOfRow(soundid);
    }
}

void GameLayer::openCatalogue() {
    soundOn = isSoundOn();
    if (soundOn) playEffect("btn_touch.mp3");
    if (KTScene* catalogue = ZukanLayer::scene()) KTDirector::sharedDirector()->pushScene(catalogue);
}

void GameLayer::share() {
    KTNode* hidden[] = {tweetButton, youtubeButton, soundButton, remainLabel, zukanButton, nextSprite, gauge};
    bool wasVisible[std::size(hidden)] = {};
    for (size_t i = 0; i < std::size(hidden); ++i) {
        if (!hidden[i]) continue;
        wasVisible[i] = hidden[i]->isVisible();
        hidden[i]->setVisible(false);
    }

    const bool saved = saveScreenshot(false, screenshotCount);
    char name[32];
    std::snprintf(name, sizeof name, "screenshot%d.jpg", screenshotCount);
    const std::string path = KTFileUtils::sharedFileUtils()->getWritablePath() + name;
    // A picture that was not written must not reach the share sheet.
    if (saved)
        showTweetBridge(path.c_str());
    else
        plat::logError("play field: screenshot %s was not saved; nothing is shared", path.c_str());
    ++screenshotCount;

    for (size_t i = 0; i < std::size(hidden); ++i)
        if (hidden[i]) hidden[i]->setVisible(wasVisible[i]);
}

bool GameLayer::saveScreenshot(bool skip, int number) {
    if (skip) return false;
    KTScene* scene = KTDirector::sharedDirector()->getRunningScene();
    KTRenderTexture* target =
        KTRenderTexture::create(static_cast<int>(winSize.width), static_cast<int>(winSize.height));
    if (!scene || !target) {
        plat::logError("play field: no screenshot (%s)", scene ? "render texture failed" : "no scene");
        return false;
    }
    target->begin();
    scene->visit();
    target->end();
    char name[32];
    std::snprintf(name, sizeof name, "screenshot%d.jpg", number);
    return target->saveToFile(name, kKTImageFormat_JPG);
}
