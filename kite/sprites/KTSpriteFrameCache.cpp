#include "kite/sprites/KTSpriteFrameCache.h"

#include "kite/base/KTDictionary.h"
#include "kite/base/KTSet.h"
#include "kite/base/KTString.h"
#include "kite/sprites/KTSpriteFrame.h"

namespace kite {
namespace {

KTSpriteFrameCache* s_sharedSpriteFrameCache = nullptr;
// No bitmap-font label exists in this engine, so nothing ever creates the table; the purge still handles it.
KTDictionary* s_configurations = nullptr;

}  // namespace

KTSpriteFrameCache::KTSpriteFrameCache() = default;

KTSpriteFrameCache::~KTSpriteFrameCache() {
    KT_SAFE_RELEASE(m_pSpriteFrames);
    KT_SAFE_RELEASE(m_pSpriteFramesAliases);
    KT_SAFE_RELEASE(m_pLoadedFileNames);
}

KTSpriteFrameCache* KTSpriteFrameCache::sharedSpriteFrameCache() {
    if (!s_sharedSpriteFrameCache) {
        s_sharedSpriteFrameCache = new KTSpriteFrameCache();
        s_sharedSpriteFrameCache->init();
    }
    return s_sharedSpriteFrameCache;
}

void KTSpriteFrameCache::purgeSharedSpriteFrameCache() {
    KT_SAFE_RELEASE_NULL(s_sharedSpriteFrameCache);
}

bool KTSpriteFrameCache::init() {
    KT_SAFE_RELEASE(m_pSpriteFrames);
    KT_SAFE_RELEASE(m_pSpriteFramesAliases);
    KT_SAFE_RELEASE(m_pLoadedFileNames);
    m_pSpriteFrames = new KTDictionary();
    m_pSpriteFramesAliases = new KTDictionary();
    m_pLoadedFileNames = new KTSet();
    return true;
}

KTSpriteFrame* KTSpriteFrameCache::spriteFrameByName(const char* name) {
    if (!name) return nullptr;
    if (auto* frame = static_cast<KTSpriteFrame*>(m_pSpriteFrames->objectForKey(name))) return frame;
    auto* key = dynamic_cast<KTString*>(m_pSpriteFramesAliases->objectForKey(name));
    if (!key) return nullptr;
    return static_cast<KTSpriteFrame*>(m_pSpriteFrames->objectForKey(key->getString()));
}

void removeBitmapFontConfigurationCache() {
    if (!s_configurations) return;
    s_configurations->removeAllObjects();
    KT_SAFE_RELEASE_NULL(s_configurations);
}

void purgeBitmapFontCache() {
    removeBitmapFontConfigurationCache();
}

}  // namespace kite
