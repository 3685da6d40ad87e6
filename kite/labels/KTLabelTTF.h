#pragma once
// A sprite showing a text drawn with a platform font. The texture is rendered again, whole, only when the
// text or a layout property really changes; between changes the label draws like any sprite.
#include <string>

#include "kite/labels/KTLabelProtocol.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTexture2D.h"

namespace kite {

class KTLabelTTF : public KTSprite, public KTLabelProtocol {
  public:
    KTLabelTTF();
    ~KTLabelTTF() override;

    // Unconstrained, centred, top-aligned. fontSize in points.
    static KTLabelTTF* create(const char* string, const char* fontName, float fontSize);
    // dimensions in points, (0, 0) for no box.
    static KTLabelTTF* create(const char* string, const char* fontName, const KTSize& dimensions,
                              KTTextAlignment hAlignment, KTVerticalTextAlignment vAlignment, float fontSize);
    bool initWithString(const char* string, const char* fontName, float fontSize, const KTSize& dimensions,
                        KTTextAlignment hAlignment, KTVerticalTextAlignment vAlignment);

    // An empty label: "Helvetica" at 12 points, left- and top-aligned.
    bool init() override;
    void setString(const char* label) override;
    const char* getString() override;

    KTTextAlignment getHorizontalAlignment() const { return m_hAlignment; }
    void setHorizontalAlignment(KTTextAlignment alignment);
    KTVerticalTextAlignment getVerticalAlignment() const { return m_vAlignment; }
    const KTSize& getDimensions() const { return m_tDimensions; }
    void setDimensions(const KTSize& dimensions);
    const char* getFontName() const { return m_pFontName.c_str(); }
    float getFontSize() const { return m_fFontSize; }

    // What the texture is rendered from: the label's values scaled by the content scale factor.
    _ccFontDefinition prepareFontDefinitionAndAdjustForResolution() const;

  protected:
    void updateTexture();

    KTSize m_tDimensions;
    KTTextAlignment m_hAlignment = kKTTextAlignmentCenter;
    KTVerticalTextAlignment m_vAlignment = kKTVerticalTextAlignmentTop;
    std::string m_pFontName;
    float m_fFontSize = 0.0f;
    std::string m_string;
    bool m_shadowEnabled = false;
    KTSize m_shadowOffset;
    float m_shadowOpacity = 0.0f;
    float m_shadowBlur = 0.0f;
    bool m_strokeEnabled = false;
    _ccColor3B m_strokeColor{0, 0, 0};
    float m_strokeSize = 0.0f;
    _ccColor3B m_textFillColor{255, 255, 255};
};

}  // namespace kite
