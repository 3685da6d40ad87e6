#pragma once
// Process-wide lookup of animations by name, and the two records a sprite reads from an animation: its frame
// array and each frame's sprite frame. Nothing in the engine adds animations, so lookups answer null unless
// one was stored by other means.
#include "kite/base/KTObject.h"

namespace kite {

class KTArray;
class KTDictionary;
class KTSpriteFrame;

class KTAnimationFrame : public KTObject {
  public:
    KTAnimationFrame();
    ~KTAnimationFrame() override;
    static KTAnimationFrame* create(KTSpriteFrame* spriteFrame);
    bool initWithSpriteFrame(KTSpriteFrame* spriteFrame);
    KTSpriteFrame* getSpriteFrame() const { return m_pSpriteFrame; }

  private:
    KTSpriteFrame* m_pSpriteFrame = nullptr;
};

class KTAnimation : public KTObject {
  public:
    KTAnimation();
    ~KTAnimation() override;
    // frames: KTAnimationFrame objects, retained through the array.
    static KTAnimation* create(KTArray* frames);
    bool initWithAnimationFrames(KTArray* frames);
    KTArray* getFrames() const { return m_pFrames; }

  private:
    KTArray* m_pFrames = nullptr;
};

class KTAnimationCache : public KTObject {
  public:
    KTAnimationCache();
    ~KTAnimationCache() override;

    static KTAnimationCache* sharedAnimationCache();
    static void purgeSharedAnimationCache();

    bool init();
    KTAnimation* animationByName(const char* name);

  protected:
    KTDictionary* m_pAnimations = nullptr;
};

}  // namespace kite
