#include "kite/sprites/KTSpriteFrame.h"

#include "kite/core/KTDirector.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"

namespace kite {

KTSpriteFrame::KTSpriteFrame() = default;

KTSpriteFrame::~KTSpriteFrame() {
    KT_SAFE_RELEASE(m_pobTexture);
}

KTSpriteFrame* KTSpriteFrame::createWithTexture(KTTexture2D* texture, const KTRect& rectInPixels,
                                                bool rotated, const KTPoint& offsetInPixels,
                                                const KTSize& originalSizeInPixels) {
    auto* frame = new KTSpriteFrame();
    frame->initWithTexture(texture, rectInPixels, rotated, offsetInPixels, originalSizeInPixels);
    return ktAutorelease(frame);
}

void KTSpriteFrame::setGeometry(const KTRect& rectInPixels, bool rotated, const KTPoint& offsetInPixels,
                                const KTSize& originalSizeInPixels) {
    const float scale = KTDirector::sharedDirector()->getContentScaleFactor();
    m_obRectInPixels = rectInPixels;
    m_obRect = KTRect(rectInPixels.origin.x / scale, rectInPixels.origin.y / scale,
                      rectInPixels.size.width / scale, rectInPixels.size.height / scale);
    m_obOffsetInPixels = offsetInPixels;
    m_obOffset = KTPoint(offsetInPixels.x / scale, offsetInPixels.y / scale);
    m_obOriginalSizeInPixels = originalSizeInPixels;
    m_obOriginalSize = KTSize(originalSizeInPixels.width / scale, originalSizeInPixels.height / scale);
    m_bRotated = rotated;
}

bool KTSpriteFrame::initWithTexture(KTTexture2D* texture, const KTRect& rectInPixels, bool rotated,
                                    const KTPoint& offsetInPixels, const KTSize& originalSizeInPixels) {
    setTexture(texture);
    setGeometry(rectInPixels, rotated, offsetInPixels, originalSizeInPixels);
    return true;
}

bool KTSpriteFrame::initWithTextureFilename(const char* filename, const KTRect& rectInPixels, bool rotated,
                                            const KTPoint& offsetInPixels,
                                            const KTSize& originalSizeInPixels) {
    setTexture(nullptr);
    m_strTextureFilename = filename ? filename : "";
    setGeometry(rectInPixels, rotated, offsetInPixels, originalSizeInPixels);
    return true;
}

KTObject* KTSpriteFrame::copyWithZone(KTZone*) {
    auto* copy = new KTSpriteFrame();
    copy->initWithTextureFilename(m_strTextureFilename.c_str(), m_obRectInPixels, m_bRotated,
                                  m_obOffsetInPixels, m_obOriginalSizeInPixels);
    copy->setTexture(m_pobTexture);
    return copy;
}

void KTSpriteFrame::setTexture(KTTexture2D* texture) {
    if (m_pobTexture == texture) return;
    KT_SAFE_RETAIN(texture);
    KT_SAFE_RELEASE(m_pobTexture);
    m_pobTexture = texture;
}

KTTexture2D* KTSpriteFrame::getTexture() {
    if (m_pobTexture) return m_pobTexture;
    if (!m_strTextureFilename.empty())
        return KTTextureCache::sharedTextureCache()->addImage(m_strTextureFilename.c_str());
    return nullptr;
}

}  // namespace kite
