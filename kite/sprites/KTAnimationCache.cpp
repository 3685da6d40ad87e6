#include "kite/sprites/KTAnimationCache.h"

#include "kite/base/KTArray.h"
#include "kite/base/KTDictionary.h"
#include "kite/sprites/KTSpriteFrame.h"

namespace kite {
namespace {

KTAnimationCache* s_sharedAnimationCache = nullptr;

}  // namespace

KTAnimationFrame::KTAnimationFrame() = default;

KTAnimationFrame::~KTAnimationFrame() {
    KT_SAFE_RELEASE(m_pSpriteFrame);
}

KTAnimationFrame* KTAnimationFrame::create(KTSpriteFrame* spriteFrame) {
    auto* frame = new KTAnimationFrame();
    frame->initWithSpriteFrame(spriteFrame);
    return ktAutorelease(frame);
}

bool KTAnimationFrame::initWithSpriteFrame(KTSpriteFrame* spriteFrame) {
    KT_SAFE_RETAIN(spriteFrame);
    KT_SAFE_RELEASE(m_pSpriteFrame);
    m_pSpriteFrame = spriteFrame;
    return true;
}

KTAnimation::KTAnimation() = default;

KTAnimation::~KTAnimation() {
    KT_SAFE_RELEASE(m_pFrames);
}

KTAnimation* KTAnimation::create(KTArray* frames) {
    auto* animation = new KTAnimation();
    animation->initWithAnimationFrames(frames);
    return ktAutorelease(animation);
}

bool KTAnimation::initWithAnimationFrames(KTArray* frames) {
    KT_SAFE_RETAIN(frames);
    KT_SAFE_RELEASE(m_pFrames);
    m_pFrames = frames;
    return true;
}

KTAnimationCache::KTAnimationCache() = default;

KTAnimationCache::~KTAnimationCache() {
    KT_SAFE_RELEASE(m_pAnimations);
}

KTAnimationCache* KTAnimationCache::sharedAnimationCache() {
    if (!s_sharedAnimationCache) {
        s_sharedAnimationCache = new KTAnimationCache();
        s_sharedAnimationCache->init();
    }
    return s_sharedAnimationCache;
}

void KTAnimationCache::purgeSharedAnimationCache() {
    KT_SAFE_RELEASE_NULL(s_sharedAnimationCache);
}

bool KTAnimationCache::init() {
    KT_SAFE_RELEASE(m_pAnimations);
    m_pAnimations = new KTDictionary();
    return true;
}

KTAnimation* KTAnimationCache::animationByName(const char* name) {
    if (!name) return nullptr;
    return dynamic_cast<KTAnimation*>(m_pAnimations->objectForKey(name));
}

}  // namespace kite
