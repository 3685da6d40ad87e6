#include "game/GameLayer.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "chime/Chime.h"
#include "game/AppDelegate.h"
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

// Where the pieces of the play field sit, in design points (320 x 568, origin bottom left), kept in one
// place so the screen's layout reads (and changes) here rather than across the set-up.
namespace Layout {
constexpr float kBannerWidth = 320, kBannerHeight = 50;  // black backing under the banner ad
constexpr float kRightMargin = 5;                        // catalogue and sound buttons from the right edge
constexpr float kCatalogueButtonY = 55;                  // just above the banner
constexpr float kGaugeLeft = 20, kGaugeTopMargin = 20;   // the gauge bar's left edge and gap below the top
constexpr float kNextCaptionTopMargin = 15;              // the "next" caption over the gauge
constexpr float kRemainLabelRight = 132, kRemainLabelTopMargin = 18;  // points still needed, right-aligned
constexpr int kDigitWidth = 12, kDigitHeight = 15;                    // the cells of number.png
constexpr float kVersionUpLeft = 10, kVersionUpTopMargin = 38;        // the end picture, where the gauge was
constexpr float kSoundButtonTopMargin = 15;
constexpr float kButtonRowLeft = 10, kButtonRowY = 60, kButtonRowGap = 10;  // share, video, other app
constexpr float kBubbleStartX = 100, kBubbleStartY = 100;  // hidden until the player first rests
constexpr float kBubbleAbovePlayer = 100, kBubbleTextRaise = 5;
constexpr float kPointsFontSize = 20, kBubbleFontSize = 10;
}  // namespace Layout

// Drawing order. Characters and the player are re-sorted by depth every frame; these are where they start.
namespace ZOrder {
constexpr int kBackground = -1000;
constexpr int kCharacter = 1, kBanner = 1;
constexpr int kHud = 2;  // buttons, labels, gauge, captions, bubble
constexpr int kEvolutionShade = 3;
constexpr int kPlayer = 4;
constexpr int kSplash = 10;
}  // namespace ZOrder

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

// Game timer and spawn timers from the store plus the time spent away; a negative time away, stored by
// an earlier version after a clock went back, counts as none.
void restoreTimersWithDefault(float spawnDefault) {
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    const float passagetime =
        static_cast<float>(std::max(store->getIntegerForKey(SaveDataKeys::kPassageTime, 0), 0));
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
    splash1 = makeSprite(kSplash1Picture);
    splash1->setAnchorPoint(KTPoint(0, 0));
    splash1->setPosition(KTPoint(0, 0));
    addChild(splash1, ZOrder::kSplash);
    scheduleOnce(schedule_selector(GameLayer::showSecondSplash), 1.0f);
    return true;
}

void GameLayer::showSecondSplash(float) {
    if (splash1) splash1->removeFromParentWithCleanup(true);
    splash1 = nullptr;
    // A full-screen picture shown once per launch: nothing draws it again, so the cache lets it go.
    KTTextureCache::sharedTextureCache()->removeTextureForKey(kSplash1Picture);
    splash2 = makeSprite(kSplash2Picture);
    splash2->setAnchorPoint(KTPoint(0, 0));
    splash2->setPosition(KTPoint(0, 0));
    addChild(splash2, ZOrder::kSplash);
    scheduleOnce(schedule_selector(GameLayer::startGame), 1.0f);
}

void GameLayer::startGame(float) {
    if (splash2) splash2->removeFromParentWithCleanup(true);
    splash2 = nullptr;
    KTTextureCache::sharedTextureCache()->removeTextureForKey(kSplash2Picture);
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

    // Every slot and the player start afresh; the spawn timers come from the store (27 s of their
    // interval on a first start, so the first character walks on after a few seconds).
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

    // What the player reached, and the analytics screen view named after the player's form.
    readStoredProgress();
    sendLevelScreenBridge(objectspriteandsound);

    // Characters and captions on show, and the pictures the per-frame update swaps without a cache
    // lookup.
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

    // Background, banner backing, catalogue button, evolution shade, player.
    const float W = winSize.width, H = winSize.height;
    std::snprintf(name, sizeof name, "bg%d.png", CharaTable::backgroundNumber(backspriteid));
    backgroundSprite = makeSprite(name);
    backgroundSprite->setAnchorPoint(KTPoint(0, 0));
    backgroundSprite->setPosition(KTPoint(0, 0));
    addChild(backgroundSprite, ZOrder::kBackground);

    if (KTLayerColor* banner =
            KTLayerColor::create(ktc4(0, 0, 0, 255), Layout::kBannerWidth, Layout::kBannerHeight)) {
        banner->setAnchorPoint(KTPoint(0, 0));
        banner->setPosition(KTPoint(0, 0));
        addChild(banner, ZOrder::kBanner);
    }

    zukanButton = makeSprite("btn_zukan.png");
    zukanButton->setAnchorPoint(KTPoint(0, 0));
    zukanButton->setPosition(
        KTPoint(W - zukanButton->getContentSize().width - Layout::kRightMargin, Layout::kCatalogueButtonY));
    addChild(zukanButton, ZOrder::kHud);

    evolutionLayer = KTLayerColor::create(ktc4(0, 0, 0, 200));
    if (evolutionLayer) {
        evolutionLayer->setVisible(false);
        addChild(evolutionLayer, ZOrder::kEvolutionShade);
    }

    playerBaseScale = static_cast<float>(CharaTable::spriteScale(objectspriteandsound)) * 0.1f * 0.5f;
    playerSprite = makeSprite("idou_1_2.png");
    playerSprite->setScale(playerBaseScale);
    playerSprite->setPosition(KTPoint(W / 2, H / 2));
    addChild(playerSprite, ZOrder::kPlayer);

    // The player's first wandering direction, speed, and walk and pause times.
    const bool up = drawBit();
    speed[kPlayer] = drawSpeed();
    speedY[kPlayer] = up ? speed[kPlayer] : -speed[kPlayer];
    const bool right = drawBit();
    speedX[kPlayer] = right ? speed[kPlayer] : -speed[kPlayer];
    playerSprite->setFlipX(right);
    playerMoveTime = drawAtLeast(20, 6);
    playerWaitTime = drawAtLeast(10, 3);

    // The points label (kept hidden) and the gauge, filled as stored.
    std::snprintf(name, sizeof name, "%d/%d", mypoints, CharaTable::requiredPoints(level + 1));
    pointsLabel = KTLabelTTF::create(name, "", Layout::kPointsFontSize);
    if (pointsLabel) {
        pointsLabel->setPosition(KTPoint(W / 2, H - pointsLabel->getContentSize().height));
        pointsLabel->setVisible(false);
        addChild(pointsLabel, ZOrder::kHud);
    }

    KTSprite* bar = makeSprite("nextbar.png");
    const KTSize barSize = bar->getContentSize();
    gauge = KTProgressTimer::create(bar);
    if (gauge) {
        gauge->setType(kKTProgressTimerTypeBar);
        gauge->setMidpoint(KTPoint(0, 0));
        gauge->setBarChangeRate(KTPoint(1, 0));
        gauge->setPosition(
            KTPoint(barSize.width / 2 + Layout::kGaugeLeft, H - barSize.height - Layout::kGaugeTopMargin));
        addChild(gauge, ZOrder::kHud);
        gauge->setPercentage(0);
        gauge->setPercentage(userDefault->getFloatForKey(SaveDataKeys::kGageLevel, 0.0f));
    }

    // The music of this level.
    std::snprintf(name, sizeof name, "bgm%d.mp3", CharaTable::bgmNumber(soundid));
    Chime::AudioEngine::sharedEngine()->playBackgroundMusic(name, true);

    // The gauge's caption, the points still needed, the end picture, the buttons and the speech bubble.
    nextSprite = makeSprite("next.png");
    nextSprite->setPosition(
        KTPoint(barSize.width / 2 + Layout::kGaugeLeft, H - barSize.height - Layout::kNextCaptionTopMargin));
    addChild(nextSprite, ZOrder::kHud);

    std::snprintf(name, sizeof name, "%d",
                  pointsStillNeeded(CharaTable::requiredPoints(level + 1), mypoints));
    remainLabel = KTLabelAtlas::create(name, "number.png", Layout::kDigitWidth, Layout::kDigitHeight, '0');
    if (remainLabel) {
        remainLabel->setAnchorPoint(KTPoint(1, 0.5f));
        remainLabel->setPosition(KTPoint(Layout::kRemainLabelRight, H - Layout::kRemainLabelTopMargin));
        addChild(remainLabel, ZOrder::kHud);
    } else {
        plat::logError("play field: picture number.png is missing");
    }

    versionupSprite = makeSprite("txt_versionup.png");
    versionupSprite->setAnchorPoint(KTPoint(0, 0));
    versionupSprite->setPosition(KTPoint(Layout::kVersionUpLeft, H - Layout::kVersionUpTopMargin));
    versionupSprite->setVisible(false);
    addChild(versionupSprite, ZOrder::kHud);

    soundButton = makeSprite("btn_sound_on.png");
    soundButton->setAnchorPoint(KTPoint(0, 0));
    soundButton->setPosition(
        KTPoint(W - soundButton->getContentSize().width - Layout::kRightMargin,
                H - soundButton->getContentSize().height - Layout::kSoundButtonTopMargin));
    addChild(soundButton, ZOrder::kHud);

    // Share, video page and other app, left to right, each the row's gap after the one before.
    float rowX = Layout::kButtonRowLeft;
    const struct {
        KTSprite** sprite;
        const char* picture;
    } row[] = {{&tweetButton, "btn_tweet.png"},
               {&youtubeButton, "btn_youtube.png"},
               {&tobikumaButton, "btn_tobikuma.png"}};
    for (const auto& button : row) {
        KTSprite* sprite = makeSprite(button.picture);
        sprite->setAnchorPoint(KTPoint(0, 0));
        sprite->setPosition(KTPoint(rowX, Layout::kButtonRowY));
        addChild(sprite, ZOrder::kHud);
        rowX += sprite->getContentSize().width + Layout::kButtonRowGap;
        *button.sprite = sprite;
    }

    bubbleSprite = makeSprite("fukidashi.png");
    bubbleSprite->setPosition(KTPoint(Layout::kBubbleStartX, Layout::kBubbleStartY));
    bubbleSprite->setVisible(false);
    addChild(bubbleSprite, ZOrder::kHud);

    bubbleLabel =
        KTLabelTTF::create(CharaTable::bubbleLine2(objectspriteandsound), "Arial", Layout::kBubbleFontSize);
    if (bubbleLabel) {
        bubbleLabel->setColor(ktc3(0, 0, 0));
        bubbleLabel->setPosition(
            KTPoint(bubbleSprite->getPositionX(), bubbleSprite->getPositionY() + Layout::kBubbleTextRaise));
        bubbleLabel->setVisible(false);
        addChild(bubbleLabel, ZOrder::kHud);
    }

    // The very first start records when it happened: the next launch counts the time away from it.
    if (userDefault->getBoolForKey(SaveDataKeys::kFirstGame, true)) {
        userDefault->setInteger64ForKey(SaveDataKeys::kSaveTime, AppDelegate::firstStartSeconds());
        userDefault->setBoolForKey(SaveDataKeys::kFirstGame, false);
        userDefault->flushInBackground();
    }

    // The time away moves the clocks on; then the characters that were on the field come back.
    restoreTimersWithDefault(kDefaultSpawnTimer);
    playFieldSetUp = true;
    for (int i = 0; i < objectcount; ++i) spawnCharacter(true);

    // The game already ended: no gauge, the end picture instead.
    if (userDefault->getBoolForKey(SaveDataKeys::kEndGame, false)) {
        if (remainLabel) remainLabel->setVisible(false);
        if (gauge) gauge->setVisible(false);
        if (pointsLabel) pointsLabel->setVisible(false);
        versionupSprite->setVisible(true);
    }

    // The banner ad starts now that the field is up, and the per-frame update begins.
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
    addChild(character, ZOrder::kCharacter);
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
    addChild(caption, ZOrder::kHud);
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
    bubbleSprite->setPosition(KTPoint(p.x, p.y + Layout::kBubbleAbovePlayer));
    if (!bubbleLabel) return;
    bubbleLabel->setVisible(true);
    bubbleLabel->setPosition(KTPoint(p.x, p.y + Layout::kBubbleAbovePlayer + Layout::kBubbleTextRaise));
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
    // The evolution and the player's walk to the centre after a level-up hold everything else still.
    if (evolving) {
        evolutionStep(dt);
        return;
    }
    if (levelUpPending && !levelUpMoveStarted) startLevelUpMove();
    if (levelUpMoveStarted) return;

    // The game clock; every 900 s of play the background type moves on.
    gametimer += dt;
    if (gametimer > 900.0f) {
        gametimer = 0;
        if (++backtype > 4) backtype = 1;
    }

    // Free slots count towards their next character. The timer's reset and the count are each flushed
    // at once: with the timer alone on disk, a kill would lose the character that arrived. Flushes go to
    // the settings' writer thread (the frame never waits for the disk); the second usually joins the
    // first's write.
    if (objectcount < kSlotCount) {
        for (int i = 0; i < kSlotCount; ++i) {
            if (occupied[i]) continue;
            objectcreatetimer[i] += dt;
            if (spawnInterval[i] < objectcreatetimer[i]) {
                objectcreatetimer[i] = 0;
                userDefault->setFloatForKey(SaveDataKeys::objectCreateTimerKey(i), 0.0f);
                userDefault->flushInBackground();
                ++objectcount;
                userDefault->setIntegerForKey(SaveDataKeys::kObjectCount, objectcount);
                userDefault->flushInBackground();
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

    // Attack and absorb captions go after their time on show.
    ageCaptions(attackEffects, attackEffectTime_, dt);
    ageCaptions(absorbEffects, absorbEffectTime_, dt);

    // The player grows as it comes nearer, meets the character it chases, and is drawn in front of
    // what is behind it.
    playerSprite->setScale(playerBaseScale + depthOf(playerSprite->getPositionY()) * 0.7f);
    if (playerChasing) contactStep();
    reorderChild(playerSprite, static_cast<int>(-playerSprite->getPositionY()));

    // Whoever is not chasing or knocked down wanders; lower characters are drawn in front.
    if (!playerChasing) wander(kPlayer, playerSprite, dt);
    for (uint32_t j = 0; j < characters->count(); ++j) {
        auto* c = static_cast<KTSprite*>(characters->objectAtIndex(j));
        const int s = c->getTag();
        reorderChild(c, static_cast<int>(-c->getPositionY()));
        if (s >= 0 && s < kSlotCount && !stunned[s]) wander(s, c, dt);
    }
}
