#pragma once
// The play field: the player's figure, up to ten wandering characters, the heads-up display and the
// buttons, run from one per-frame update. Shares the process-wide state in GameGlobals and keeps its
// progress under the keys of SaveDataKeys.
#include "game/GameGlobals.h"
#include "kite/base/KTGeometry.h"
#include "kite/layers/KTLayer.h"

namespace kite {
class KTArray;
class KTEvent;
class KTLabelAtlas;
class KTLabelTTF;
class KTProgressTimer;
class KTScene;
class KTSet;
class KTSprite;
class KTTexture2D;
class KTUserDefaultStore;
}  // namespace kite

class GameLayer : public kite::KTLayer {
  public:
    static constexpr int kSlotCount = GameGlobals::kSlotCount;
    static constexpr int kPlayer = kSlotCount;  // index of the player's figure in the motion arrays
    // The two full-screen splash pictures of the first two seconds.
    static constexpr const char* kSplash1Picture = "Default-568h@2x.png";
    static constexpr const char* kSplash2Picture = "splash2_1136.png";

    GameLayer();
    ~GameLayer() override;

    // Autoreleased; null when init fails.
    static GameLayer* create();
    // A new scene holding one new play field.
    static kite::KTScene* scene();
    // On return from the background: game timer and spawn timers = stored values + "passagetime".
    static void restoreTimers();
    // need - points for the remaining-points label: worked out in 64 bits (table values may be anything)
    // and never below 0, since the label's character map has digits only.
    static int pointsStillNeeded(int need, int points);

    void update(float dt) override;
    // The first splash; the field itself is built two seconds later by setupGame.
    bool init() override;
    void touchesBegan(kite::KTSet* touches, kite::KTEvent* event) override;
    void touchesMoved(kite::KTSet* touches, kite::KTEvent* event) override;
    void touchesEnded(kite::KTSet* touches, kite::KTEvent* event) override;

    void showSecondSplash(float dt);
    void startGame(float dt);
    void setupGame();
    // Places one character in the lowest free slot; `initial` puts it at its resting place instead of
    // off the screen. Does nothing when every slot is taken.
    void spawnCharacter(bool initial);

    // Taps, attack, absorb, level-up, evolution and buttons (GameLayerPlay.cpp).
    kite::KTRect touchRectOf(kite::KTSprite* sprite);
    void showIdleTexture(float dt);
    void onEvolutionMoveDone();
    // True when the screenshot file was written (false when skipped).
    bool saveScreenshot(bool skip, int number);
    // One frame of the evolution sequence: the player blinks between its old and new form, faster and
    // faster, then takes the new form, background and music.
    void evolutionStep(float dt);
    // The walk of the player to the centre after a level-up, ending in the evolution.
    void startLevelUpMove();
    // While chasing: attacks or absorbs the target character once the player touches its hit rectangle;
    // true when that happened.
    bool contactStep();
    // The player walks to a tapped character; the chase ends at the contact, or on arrival
    // when the character has walked away (so taps work again).
    void chase(kite::KTSprite* character);
    void onChaseArrived();
    void attack(kite::KTSprite* character, int slot);
    void absorb(kite::KTSprite* character, int slot);
    void levelUp();
    // Buttons: sound means soundButton shows "btn_sound_on.png".
    bool isSoundOn();
    void toggleSound();
    void openCatalogue();
    void share();

    // Reads the pictures of the player's current form into the texture slots below; called at set-up
    // and whenever `objectspriteandsound` changes.
    void loadPlayerTextures();

    // Captions: `caption` joins the layer at z 2 and `effects` (attackEffects or absorbEffects) with its
    // time on show at 0; removeAllCaptions takes every caption of both arrays off the layer.
    void addCaption(kite::KTArray* effects, kite::KTSprite* caption);
    void removeAllCaptions();

    // ---- state ----
    kite::KTSize winSize;
    int mypoints = 0;
    int backtype = 1;
    int objectcount = 0;
    int objectspriteandsound = 1;
    int soundid = 1;
    int backspriteid = 1;
    int moveTime[kSlotCount] = {};
    int waitTime[kSlotCount] = {};
    int playerMoveTime = 0;
    int playerWaitTime = 0;
    float playerBaseScale = 0;
    float frameTimer[kSlotCount + 1] = {};
    float waitTimer[kSlotCount + 1] = {};
    float moveTimer[kSlotCount + 1] = {};
    float speedX[kSlotCount + 1] = {};
    float speedY[kSlotCount + 1] = {};
    float speed[kSlotCount + 1] = {};
    bool attackTarget[kSlotCount] = {};
    bool stunned[kSlotCount] = {};
    bool absorbTarget[kSlotCount] = {};
    float stunTimer[kSlotCount] = {};
    bool occupied[kSlotCount] = {};
    bool walking[kSlotCount + 1] = {};
    bool playerChasing = false;
    bool evolving = false;
    bool levelUpPending = false;
    bool chaseResolved = false;  // the running chase already ended in an attack or an absorb

    kite::KTSprite* bubbleSprite = nullptr;
    kite::KTSprite* zukanButton = nullptr;
    kite::KTSprite* backgroundSprite = nullptr;
    kite::KTSprite* nextSprite = nullptr;
    kite::KTSprite* playerSprite = nullptr;
    kite::KTSprite* tweetButton = nullptr;
    kite::KTSprite* youtubeButton = nullptr;
    kite::KTSprite* versionupSprite = nullptr;
    kite::KTArray* characters = nullptr;
    kite::KTArray* attackEffects = nullptr;
    kite::KTArray* absorbEffects = nullptr;
    kite::KTLabelAtlas* remainLabel = nullptr;
    kite::KTLabelTTF* pointsLabel = nullptr;
    kite::KTLabelTTF* bubbleLabel = nullptr;
    kite::KTLayerColor* evolutionLayer = nullptr;
    kite::KTProgressTimer* gauge = nullptr;
    kite::KTUserDefaultStore* userDefault = nullptr;
    kite::KTSprite* soundButton = nullptr;
    kite::KTSprite* splash1 = nullptr;
    kite::KTSprite* splash2 = nullptr;
    kite::KTSprite* tobikumaButton = nullptr;

  protected:
    // The pictures swapped every few frames, looked up once so the update never touches the cache.
    enum Picture {
        kWalk1,        // "idou_1.png"
        kWalk2,        // "idou_1_2.png"
        kRest,         // "taiki_1.png"
        kKnockedOut,   // "kizetsu_1.png"
        kPlayerWalk1,  // "idou_%d.png" of the player's form
        kPlayerWalk2,  // "idou_%d_2.png"
        kPlayerRest,   // "taiki_%d.png"
        kPictureCount,
    };
    kite::KTTexture2D* texture(Picture picture) const { return textures_[picture]; }

  private:
    // Stored values name slots, rows and pictures: out-of-range ones are clamped as they are read.
    void readStoredProgress();
    // Wander step of a character (slot 0..9) or of the player (kPlayer).
    void wander(int k, kite::KTSprite* sprite, float dt);
    void openBubble();
    void closeBubble();

    // Takes the captions of one array off the field once their time on show is over.
    void ageCaptions(kite::KTArray* effects, float* times, float dt);

    kite::KTTexture2D* textures_[kPictureCount] = {};
    static constexpr int kMaxCaptions = 4;
    float attackEffectTime_[kMaxCaptions] = {};
    float absorbEffectTime_[kMaxCaptions] = {};
};
