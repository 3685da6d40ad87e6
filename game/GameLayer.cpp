#include "game/GameLayer.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "chime/Chime.h"
#include "game/Bridge.h"
#include "game/CharaTable.h"
#include "game/SaveDataKeys.h"
#include "kite/base/KTArray.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/labels/KTLabelTTF.h"
#include "kite/nodes/KTProgressTimer.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/base/Random.h"

using namespace kite;
using namespace GameGlobals;

namespace {

constexpr float kDefaultSpawnTimer = 27.0f;
constexpr float kCaptionTime = 0.75f;

// Wandering bounds of the design space.
constexpr float kMinX = 40, kMaxX = 280;
constexpr float kMinY = 180, kMaxY = 418;

// A step size of 0.2..0.9 points per frame.
float drawSpeed() {
    int r;
    do {
        r = plat::Random::rand() % 10;
    } while (r < 2);
    return static_cast<float>(r) / 10.0f;
}

// rand() % modulo, drawn again while below `minimum`.
int drawAtLeast(int modulo, int minimum) {
    int r;
    do {
        r = plat::Random::rand() % modulo;
    } while (r < minimum);
    return r;
}

bool drawBit() {
    return plat::Random::rand() % 2 == 1;
}

// Lower on the screen is nearer: 0 at y >= 418, growing by 0.001 per point below it.
float depthOf(float y) {
    const float d = kMaxY - y;
    return d > 0 ? d / 1000.0f : 0.0f;
}

// A picture that cannot be loaded becomes an empty sprite, so the field still builds and runs.
KTSprite* makeSprite(const char* name) {
    if (KTSprite* sprite = KTSprite::create(name)) return sprite;
    plat::logError("play field: picture %s is missing", name);
    auto* empty = new KTSprite();
    empty->init();
    return ktAutorelease(empty);
}

KTTexture2D* loadTexture(const char* name) {
    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addImage(name);
    if (!texture) plat::logError("play field: picture %s is missing", name);
    return texture;
}

// Game timer and spawn timers from the store plus the time spent away.
void restoreTimersWithDefault(float spawnDefault) {
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    const float passagetime = static_cast<float>(store->getIntegerForKey(SaveDataKeys::kPassageTime, 0));
    gametimer = store->getFloatForKey(SaveDataKeys::kGameTimer, 0.0f) + passagetime;
    for (int i = 0; i < kSlotCount; ++i)
        objectcreatetimer[i] =
            store->getFloatForKey(SaveDataKeys::objectCreateTimerKey(i), spawnDefault) + passagetime;
}

}  // namespace

GameLayer::GameLayer() = default;

GameLayer::~GameLayer() {
    KT_SAFE_RELEASE(characters);
    KT_SAFE_RELEASE(attackEffects);
    KT_SAFE_RELEASE(absorbEffects);
    for (auto*& texture : textures_) KT_SAFE_RELEASE_NULL(texture);
}

GameLayer* GameLayer::create() {
    auto* layer = new GameLayer();
    if (layer->init()) return ktAutorelease(layer);
    delete layer;
    return nullptr;
}

KTScene* GameLayer::scene() {
    KTScene* scene = KTScene::create();
    if (!scene) return nullptr;
    if (GameLayer* layer = GameLayer::create()) scene->addChild(layer);
    return scene;
}

int GameLayer::pointsStillNeeded(int need, int points) {
    const int64_t remaining = static_cast<int64_t>(need) - points;
    return static_cast<int>(std::clamp<int64_t>(remaining, 0, INT_MAX));
}

void GameLayer::restoreTimers() {
    restoreTimersWithDefault(0.0f);
}

bool GameLayer::init() {
    if (!KTLayer::init()) return false;
    splash1 = makeSprite("Default-568h@2x.png");
    splash1->setAnchorPoint(KTPoint(0, 0));
    splash1->setPosition(KTPoint(0, 0));
    addChild(splash1, 10);
    scheduleOnce(schedule_selector(GameLayer::showSecondSplash), 1.0f);
    return true;
}

void GameLayer::showSecondSplash(float) {
    if (splash1) splash1->removeFromParentWithCleanup(true);
    splash1 = nullptr;
    splash2 = makeSprite("splash2_1136.png");
    splash2->setAnchorPoint(KTPoint(0, 0));
    splash2->setPosition(KTPoint(0, 0));
    addChild(splash2, 10);
    scheduleOnce(schedule_selector(GameLayer::startGame), 1.0f);
}

void GameLayer::startGame(float) {
    if (splash2) splash2->removeFromParentWithCleanup(true);
    splash2 = nullptr;
    setupGame();
}

void GameLayer::readStoredProgress() {
    using SaveDataKeys::readClamped;
    const int rows = CharaTable::kRowCount;
    mypoints = readClamped(userDefault, SaveDataKeys::kMyPoints, 0, 0, SaveDataKeys::kMaxPoints);
    objectcount = readClamped(userDefault, SaveDataKeys::kObjectCount, objectcount, 0, kSlotCount);
    level = readClamped(userDefault, SaveDataKeys::kMyObjectLevel, 1, 1, rows);
    objectspriteandsound = readClamped(userDefault, SaveDataKeys::kObjectSpriteAndSound, 1, 1, rows);
    backspriteid = readClamped(userDefault, SaveDataKeys::kBackSpriteId, 1, 1, rows);
    soundid = readClamped(userDefault, SaveDataKeys::kSoundId, 1, 1, rows);
    backtype = readClamped(userDefault, SaveDataKeys::kBackType, 1, SaveDataKeys::kMinBackType,
                           SaveDataKeys::kMaxBackType);
}

void GameLayer::setupGame() {
    char name[64];

    // 1-4: the store, the screen, a fresh start for every slot and for the player.
    userDefault = KTUserDefaultStore::sharedUserDefaultStore();
    winSize = KTDirector::sharedDirector()->getOpenGLView()->getDesignResolutionSize();
    plat::Random::seedFromTime(plat::Clock::shared().timeOfDay().seconds);
    setTouchEnabled(true);

    gametimer = 0;
    backtype = 1;
    objectcount = 0;
    level = 1;
    mypoints = 0;
    for (int i = 0; i < kSlotCount; ++i) {
        occupied[i] = stunned[i] = attackTarget[i] = absorbTarget[i] = false;
        walking[i] = true;
        frameTimer[i] = waitTimer[i] = moveTimer[i] = stunTimer[i] = 0;
        objectcreatetimer[i] =
            userDefault->getFloatForKey(SaveDataKeys::objectCreateTimerKey(i), kDefaultSpawnTimer);
        if (isDebugMode) spawnInterval[i] = 1.0f;
    }
    frameTimer[kPlayer] = waitTimer[kPlayer] = moveTimer[kPlayer] = 0;
    walking[kPlayer] = true;
    playerChasing = evolving = levelUpPending = false;

    // 5-7: stored progress and the screen view named after the player's form.
    readStoredProgress();
    sendLevelScreenBridge(objectspriteandsound);

    // 8
    for (KTArray** array : {&characters, &attackEffects, &absorbEffects}) {
        KT_SAFE_RELEASE(*array);
        *array = new KTArray();
        (*array)->initWithCapacity(kSlotCount);
    }
    for (float& time : attackEffectTime_) time = 0;
    for (float& time : absorbEffectTime_) time = 0;

    textures_[kWalk1] = loadTexture("idou_1.png");
    textures_[kWalk2] = loadTexture("idou_1_2.png");
    textures_[kRest] = loadTexture("taiki_1.png");
    textures_[kKnockedOut] = loadTexture("kizetsu_1.png");
    for (Picture p : {kWalk1, kWalk2, kRest, kKnockedOut}) KT_SAFE_RETAIN(textures_[p]);
    loadPlayerTextures();

    // 9: background, banner backing, catalogue button, evolution shade, player.
    const float W = winSize.width, H = winSize.height;
    std::snprintf(name, sizeof name, "bg%d.png", CharaTable::backgroundNumber(backspriteid));
    backgroundSprite = makeSprite(name);
    backgroundSprite->setAnchorPoint(KTPoint(0, 0));
    backgroundSprite->setPosition(KTPoint(0, 0));
    addChild(backgroundSprite, -1000);

    if (KTLayerColor* banner = KTLayerColor::create(ktc4(0, 0, 0, 255), 320, 50)) {
        banner->setAnchorPoint(KTPoint(0, 0));
        banner->setPosition(KTPoint(0, 0));
        addChild(banner, 1);
    }

    zukanButton = makeSprite("btn_zukan.png");
    zukanButton->setAnchorPoint(KTPoint(0, 0));
    zukanButton->setPosition(KTPoint(W - zukanButton->getContentSize().width - 5, 55));
    addChild(zukanButton, 2);

    evolutionLayer = KTLayerColor::create(ktc4(0, 0, 0, 200));
    if (evolutionLayer) {
        evolutionLayer->setVisible(false);
        addChild(evolutionLayer, 3);
    }

    playerBaseScale = static_cast<float>(CharaTable::spriteScale(objectspriteandsound)) * 0.1f * 0.5f;
    playerSprite = makeSprite("idou_1_2.png");
    playerSprite->setScale(playerBaseScale);
    playerSprite->setPosition(KTPoint(W / 2, H / 2));
    addChild(playerSprite, 4);

    // 10: the player's first motion.
    const bool up = drawBit();
    speed[kPlayer] = drawSpeed();
    speedY[kPlayer] = up ? speed[kPlayer] : -speed[kPlayer];
    const bool right = drawBit();
    speedX[kPlayer] = right ? speed[kPlayer] : -speed[kPlayer];
    playerSprite->setFlipX(right);
    playerMoveTime = drawAtLeast(20, 6);
    playerWaitTime = drawAtLeast(10, 3);

    // 11: points label (hidden) and the gauge.
    std::snprintf(name, sizeof name, "%d/%d", mypoints, CharaTable::requiredPoints(level + 1));
    pointsLabel = KTLabelTTF::create(name, "", 20);
    if (pointsLabel) {
        pointsLabel->setPosition(KTPoint(W / 2, H - pointsLabel->getContentSize().height));
        pointsLabel->setVisible(false);
        addChild(pointsLabel, 2);
    }

    KTSprite* bar = makeSprite("nextbar.png");
    const KTSize barSize = bar->getContentSize();
    gauge = KTProgressTimer::create(bar);
    if (gauge) {
        gauge->setType(kKTProgressTimerTypeBar);
        gauge->setMidpoint(KTPoint(0, 0));
        gauge->setBarChangeRate(KTPoint(1, 0));
        gauge->setPosition(KTPoint(barSize.width / 2 + 20, H - barSize.height - 20));
        addChild(gauge, 2);
        gauge->setPercentage(0);
        gauge->setPercentage(userDefault->getFloatForKey(SaveDataKeys::kGageLevel, 0.0f));
    }

    // 12: the music of this level.
    std::snprintf(name, sizeof name, "bgm%d.mp3", CharaTable::bgmNumber(soundid));
    Chime::AudioEngine::sharedEngine()->playBackgroundMusic(name, true);

    // 13: caption, remaining points, end picture, buttons, speech bubble.
    nextSprite = makeSprite("next.png");
    nextSprite->setPosition(KTPoint(barSize.width / 2 + 20, H - barSize.height - 15));
    addChild(nextSprite, 2);

    std::snprintf(name, sizeof name, "%d",
                  pointsStillNeeded(CharaTable::requiredPoints(level + 1), mypoints));
    remainLabel = KTLabelAtlas::create(name, "number.png", 12, 15, '0');
    if (remainLabel) {
        remainLabel->setAnchorPoint(KTPoint(1, 0.5f));
        remainLabel->setPosition(KTPoint(132, H - 18));
        addChild(remainLabel, 2);
    } else {
        plat::logError("play field: picture number.png is missing");
    }

    versionupSprite = makeSprite("txt_versionup.png");
    versionupSprite->setAnchorPoint(KTPoint(0, 0));
    versionupSprite->setPosition(KTPoint(10, H - 38));
    versionupSprite->setVisible(false);
    addChild(versionupSprite, 2);

    soundButton = makeSprite("btn_sound_on.png");
    soundButton->setAnchorPoint(KTPoint(0, 0));
    soundButton->setPosition(
        KTPoint(W - soundButton->getContentSize().width - 5, H - soundButton->getContentSize().height - 15));
    addChild(soundButton, 2);

    tweetButton = makeSprite("btn_tweet.png");
    tweetButton->setAnchorPoint(KTPoint(0, 0));
    tweetButton->setPosition(KTPoint(10, 60));
    addChild(tweetButton, 2);
    const float tweetWidth = tweetButton->getContentSize().width;

    youtubeButton = makeSprite("btn_youtube.png");
    youtubeButton->setAnchorPoint(KTPoint(0, 0));
    youtubeButton->setPosition(KTPoint(tweetWidth + 10 + 10, 60));
    addChild(youtubeButton, 2);

    tobikumaButton = makeSprite("btn_tobikuma.png");
    tobikumaButton->setAnchorPoint(KTPoint(0, 0));
    tobikumaButton->setPosition(KTPoint(tweetWidth + 10 + youtubeButton->getContentSize().width + 20, 60));
    addChild(tobikumaButton, 2);

    bubbleSprite = makeSprite("fukidashi.png");
    bubbleSprite->setPosition(KTPoint(100, 100));
    bubbleSprite->setVisible(false);
    addChild(bubbleSprite, 2);

    bubbleLabel = KTLabelTTF::create(CharaTable::bubbleLine2(objectspriteandsound), "Arial", 10);
    if (bubbleLabel) {
        bubbleLabel->setColor(ktc3(0, 0, 0));
        bubbleLabel->setPosition(KTPoint(bubbleSprite->getPositionX(), bubbleSprite->getPositionY() + 5));
        bubbleLabel->setVisible(false);
        addChild(bubbleLabel, 2);
    }

    // 14: the very first start records when it happened.
    if (userDefault->getBoolForKey(SaveDataKeys::kFirstGame, true)) {
        userDefault->setInteger64ForKey(SaveDataKeys::kSaveTime, plat::Clock::shared().timeOfDay().seconds);
        userDefault->setBoolForKey(SaveDataKeys::kFirstGame, false);
        userDefault->flush();
    }

    // 15-16: the time away, then the characters that were on the field.
    restoreTimersWithDefault(kDefaultSpawnTimer);
    for (int i = 0; i < objectcount; ++i) spawnCharacter(true);

    // 17: the game already ended.
    if (userDefault->getBoolForKey(SaveDataKeys::kEndGame, false)) {
        if (remainLabel) remainLabel->setVisible(false);
        if (gauge) gauge->setVisible(false);
        if (pointsLabel) pointsLabel->setVisible(false);
        versionupSprite->setVisible(true);
    }

    // 18-19
    loadAdBridge();
    scheduleUpdate();
}

void GameLayer::loadPlayerTextures() {
    char name[32];
    const Picture pictures[] = {kPlayerWalk1, kPlayerWalk2, kPlayerRest};
    const char* formats[] = {"idou_%d.png", "idou_%d_2.png", "taiki_%d.png"};
    for (int i = 0; i < 3; ++i) {
        std::snprintf(name, sizeof name, formats[i], objectspriteandsound);
        KTTexture2D* texture = loadTexture(name);
        KT_SAFE_RETAIN(texture);
        KT_SAFE_RELEASE(textures_[pictures[i]]);
        textures_[pictures[i]] = texture;
    }
}

void GameLayer::spawnCharacter(bool initial) {
    int s = 0;
    while (s < kSlotCount && occupied[s]) ++s;
    if (s == kSlotCount) {
        plat::logWarning("play field: no free slot for a new character");
        return;
    }
    occupied[s] = true;

    const float x = static_cast<float>(plat::Random::rand() % 300);
    int y = drawAtLeast(400, 150);
    // Seven times in ten the character keeps to the back of the field.
    if (plat::Random::rand() % 10 > 2) y = drawAtLeast(200, 150);
    const float entryX = plat::Random::random() % 2 == 1 ? -100.0f : 420.0f;

    KTSprite* character = textures_[kWalk2] ? KTSprite::createWithTexture(textures_[kWalk2]) : nullptr;
    if (!character) character = makeSprite("idou_1_2.png");
    character->setPosition(KTPoint(initial ? x : entryX, static_cast<float>(y)));
    character->setScale(0.5f);
    character->setTag(s);
    addChild(character, 1);
    characters->addObject(character);

    const bool up = drawBit();
    speed[s] = drawSpeed();
    speedY[s] = up ? speed[s] : -speed[s];
    const bool right = drawBit();
    speedX[s] = right ? speed[s] : -speed[s];
    character->setFlipX(right);

    moveTime[s] = drawAtLeast(20, 6);
    waitTime[s] = drawAtLeast(10, 3);
}

void GameLayer::addCaption(KTArray* effects, KTSprite* caption) {
    if (!effects || !caption) return;
    float* times = effects == attackEffects ? attackEffectTime_ : absorbEffectTime_;
    // Only one caption is ever on show; make room rather than lose track of a time.
    if (effects->count() >= static_cast<uint32_t>(kMaxCaptions)) {
        auto* oldest = static_cast<KTNode*>(effects->objectAtIndex(0));
        oldest->removeFromParentWithCleanup(true);
        effects->removeObjectAtIndex(0);
        for (int j = 1; j < kMaxCaptions; ++j) times[j - 1] = times[j];
    }
    times[effects->count()] = 0;
    addChild(caption, 2);
    effects->addObject(caption);
}

void GameLayer::removeAllCaptions() {
    for (KTArray* effects : {attackEffects, absorbEffects}) {
        if (!effects) continue;
        for (uint32_t j = 0; j < effects->count(); ++j)
            static_cast<KTNode*>(effects->objectAtIndex(j))->removeFromParentWithCleanup(true);
        effects->removeAllObjects();
    }
}

void GameLayer::ageCaptions(KTArray* effects, float* times, float dt) {
    const uint32_t count = effects->count();
    for (uint32_t j = 0; j < count; ++j) {
        times[j] += dt;
        if (times[j] > kCaptionTime) {
            static_cast<KTNode*>(effects->objectAtIndex(j))->removeFromParentWithCleanup(true);
            effects->removeObjectAtIndex(j);
            for (uint32_t k = j + 1; k < count; ++k) times[k - 1] = times[k];
            break;
        }
    }
}

void GameLayer::openBubble() {
    const KTPoint p = playerSprite->getPosition();
    bubbleSprite->setVisible(true);
    bubbleSprite->setPosition(KTPoint(p.x, p.y + 100));
    if (!bubbleLabel) return;
    bubbleLabel->setVisible(true);
    bubbleLabel->setPosition(KTPoint(p.x, p.y + 100 + 5));
    switch (plat::Random::rand() % 3) {
        case 0:
            bubbleLabel->setString(CharaTable::bubbleLine1(objectspriteandsound));
            break;
        case 1:
            bubbleLabel->setString(CharaTable::bubbleLine2(objectspriteandsound));
            break;
        default:
            bubbleLabel->setString(CharaTable::bubbleLine3(objectspriteandsound));
            break;
    }
}

void GameLayer::closeBubble() {
    bubbleSprite->setVisible(false);
    if (bubbleLabel) bubbleLabel->setVisible(false);
}

void GameLayer::wander(int k, KTSprite* sprite, float dt) {
    const bool isPlayer = k == kPlayer;
    if (walking[k]) {
        frameTimer[k] += dt;
        if (frameTimer[k] > 0.2f) {
            frameTimer[k] = 0;
            KTTexture2D* first = textures_[isPlayer ? kPlayerWalk1 : kWalk1];
            KTTexture2D* second = textures_[isPlayer ? kPlayerWalk2 : kWalk2];
            KTTexture2D* next = sprite->getTexture() == second ? first : second;
            if (next) sprite->setTexture(next);
        }
        KTPoint p = sprite->getPosition();
        if (!isPlayer) sprite->setScale(depthOf(p.y) * 0.7f + 0.5f);
        if (p.x > kMaxX) {
            speed[k] = drawSpeed();
            speedX[k] = -speed[k];
            sprite->setFlipX(false);
        } else if (p.x < kMinX) {
            speed[k] = drawSpeed();
            speedX[k] = speed[k];
            sprite->setFlipX(true);
        }
        if (p.y > kMaxY) {
            speed[k] = drawSpeed();
            speedY[k] = -speed[k];
        } else if (p.y < kMinY) {
            speed[k] = drawSpeed();
            speedY[k] = speed[k];
        }
        sprite->setPosition(KTPoint(p.x + speedX[k], p.y + speedY[k]));

        moveTimer[k] += dt;
        if (static_cast<float>(isPlayer ? playerMoveTime : moveTime[k]) < moveTimer[k]) {
            moveTimer[k] = 0;
            walking[k] = false;
            if (KTTexture2D* rest = textures_[isPlayer ? kPlayerRest : kRest]) sprite->setTexture(rest);
            if (isPlayer) openBubble();
        }
    }
    if (!walking[k]) {
        waitTimer[k] += dt;
        if (static_cast<float>(isPlayer ? playerWaitTime : waitTime[k]) < waitTimer[k]) {
            waitTimer[k] = 0;
            walking[k] = true;
            if (KTTexture2D* walk = textures_[isPlayer ? kPlayerWalk1 : kWalk1]) sprite->setTexture(walk);
            if (isPlayer) closeBubble();
        }
    }
}

void GameLayer::update(float dt) {
    // 1-2: the evolution and the walk to the centre hold everything else still.
    if (evolving) {
        evolutionStep(dt);
        return;
    }
    if (levelUpPending && !levelUpMoveStarted) startLevelUpMove();
    if (levelUpMoveStarted) return;

    // 3: the game clock and its background type.
    gametimer += dt;
    if (gametimer > 900.0f) {
        gametimer = 0;
        if (++backtype > 4) backtype = 1;
    }

    // 4: free slots count towards their next character.
    if (objectcount < kSlotCount) {
        for (int i = 0; i < kSlotCount; ++i) {
            if (occupied[i]) continue;
            objectcreatetimer[i] += dt;
            if (spawnInterval[i] < objectcreatetimer[i]) {
                objectcreatetimer[i] = 0;
                userDefault->setFloatForKey(SaveDataKeys::objectCreateTimerKey(i), 0.0f);
                userDefault->flush();
                ++objectcount;
                userDefault->setIntegerForKey(SaveDataKeys::kObjectCount, objectcount);
                spawnCharacter(false);
            }
        }
    }

    // 5: knocked-down characters lie still after their first half second.
    for (int i = 0; i < kSlotCount; ++i) {
        if (!stunned[i]) continue;
        stunTimer[i] += dt;
        for (uint32_t j = 0; j < characters->count(); ++j) {
            auto* c = static_cast<KTSprite*>(characters->objectAtIndex(j));
            if (c->getTag() == i && stunTimer[i] > 0.5f) {
                if (textures_[kKnockedOut]) c->setTexture(textures_[kKnockedOut]);
                stunTimer[i] = 0;
            }
        }
    }

    // 6
    ageCaptions(attackEffects, attackEffectTime_, dt);
    ageCaptions(absorbEffects, absorbEffectTime_, dt);

    // 7-9: the player's depth, its contact with a target, its place in the drawing order.
    playerSprite->setScale(playerBaseScale + depthOf(playerSprite->getPositionY()) * 0.7f);
    if (playerChasing) contactStep();
    reorderChild(playerSprite, static_cast<int>(-playerSprite->getPositionY()));

    // 10-11
    if (!playerChasing) wander(kPlayer, playerSprite, dt);
    for (uint32_t j = 0; j < characters->count(); ++j) {
        auto* c = static_cast<KTSprite*>(characters->objectAtIndex(j));
        const int s = c->getTag();
        reorderChild(c, static_cast<int>(-c->getPositionY()));
        if (s >= 0 && s < kSlotCount && !stunned[s]) wander(s, c, dt);
    }
}
