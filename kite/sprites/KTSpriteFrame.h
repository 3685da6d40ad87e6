#pragma once
// One picture inside a texture: the rect it occupies, whether it is stored rotated, and how it sits inside
// its untrimmed size. Sprites take their texture and rect from frames.
#include <string>

#include "kite/base/KTGeometry.h"
#include "kite/base/KTObject.h"

namespace kite {

class KTTexture2D;

class KTSpriteFrame : public KTObject {
  public:
    KTSpriteFrame();
    ~KTSpriteFrame() override;

    // All geometry arguments are in pixels; the point values divide them by the content scale factor.
    static KTSpriteFrame* createWithTexture(KTTexture2D* texture, const KTRect& rectInPixels, bool rotated,
                                            const KTPoint& offsetInPixels,
                                            const KTSize& originalSizeInPixels);
    bool initWithTexture(KTTexture2D* texture, const KTRect& rectInPixels, bool rotated,
                         const KTPoint& offsetInPixels, const KTSize& originalSizeInPixels);
    bool initWithTextureFilename(const char* filename, const KTRect& rectInPixels, bool rotated,
                                 const KTPoint& offsetInPixels, const KTSize& originalSizeInPixels);

    // The copy is a new frame owned by the caller.
    KTObject* copyWithZone(KTZone* zone) override;

    void setTexture(KTTexture2D* texture);
    // The held texture, else the texture cache's for the file name (not kept here), else null.
    KTTexture2D* getTexture();

    const KTPoint& getOffset() const { return m_obOffset; }
    const KTSize& getOriginalSize() const { return m_obOriginalSize; }
    const KTRect& getRectInPixels() const { return m_obRectInPixels; }
    bool isRotated() const { return m_bRotated; }
    const KTRect& getRect() const { return m_obRect; }
    const KTPoint& getOffsetInPixels() const { return m_obOffsetInPixels; }
    const KTSize& getOriginalSizeInPixels() const { return m_obOriginalSizeInPixels; }
    const std::string& getTextureFilename() const { return m_strTextureFilename; }

  private:
    void setGeometry(const KTRect& rectInPixels, bool rotated, const KTPoint& offsetInPixels,
                     const KTSize& originalSizeInPixels);

    KTPoint m_obOffset;
    KTSize m_obOriginalSize;
    KTRect m_obRectInPixels;
    bool m_bRotated = false;
    KTRect m_obRect;
    KTPoint m_obOffsetInPixels;
    KTSize m_obOriginalSizeInPixels;
    KTTexture2D* m_pobTexture = nullptr;
    std::string m_strTextureFilename;
};

}  // namespace kite
