#include "kite/labels/KTLabelTTF.h"

#include "kite/base/KTMacros.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTShaderCache.h"

namespace kite {

KTLabelTTF::KTLabelTTF() = default;

KTLabelTTF::~KTLabelTTF() = default;

KTLabelTTF* KTLabelTTF::create(const char* string, const char* fontName, float fontSize) {
    return create(string, fontName, KTSizeZero, kKTTextAlignmentCenter, kKTVerticalTextAlignmentTop,
                  fontSize);
}

KTLabelTTF* KTLabelTTF::create(const char* string, const char* fontName, const KTSize& dimensions,
                               KTTextAlignment hAlignment, KTVerticalTextAlignment vAlignment,
                               float fontSize) {
    auto* label = new KTLabelTTF();
    if (label->initWithString(string, fontName, fontSize, dimensions, hAlignment, vAlignment))
        return ktAutorelease(label);
    delete label;
    return nullptr;
}

bool KTLabelTTF::init() {
    return initWithString("", "Helvetica", 12, KTSizeZero, kKTTextAlignmentLeft, kKTVerticalTextAlignmentTop);
}

bool KTLabelTTF::initWithString(const char* string, const char* fontName, float fontSize,
                                const KTSize& dimensions, KTTextAlignment hAlignment,
                                KTVerticalTextAlignment vAlignment) {
    if (!KTSprite::init()) return false;
    setShaderProgram(KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionTextureColor));
    m_tDimensions = dimensions;
    m_hAlignment = hAlignment;
    m_vAlignment = vAlignment;
    m_pFontName = fontName ? fontName : "";
    m_fFontSize = fontSize;
    setString(string);
    return true;
}

void KTLabelTTF::setString(const char* label) {
    if (!label) label = "";
    if (m_string == label) return;
    m_string = label;
    updateTexture();
}

const char* KTLabelTTF::getString() {
    return m_string.c_str();
}

void KTLabelTTF::setHorizontalAlignment(KTTextAlignment alignment) {
    if (alignment == m_hAlignment) return;
    m_hAlignment = alignment;
    if (!m_string.empty()) updateTexture();
}

void KTLabelTTF::setDimensions(const KTSize& dimensions) {
    // Exact comparison: any change, however small, lays the text out again.
    if (dimensions.width == m_tDimensions.width && dimensions.height == m_tDimensions.height) return;
    m_tDimensions = dimensions;
    if (!m_string.empty()) updateTexture();
}

_ccFontDefinition KTLabelTTF::prepareFontDefinitionAndAdjustForResolution() const {
    const float scale = KTDirector::sharedDirector()->getContentScaleFactor();
    _ccFontDefinition definition;
    definition.m_fontSize = static_cast<int>(m_fFontSize * scale);
    definition.m_fontName = m_pFontName;
    definition.m_alignment = m_hAlignment;
    definition.m_vertAlignment = m_vAlignment;
    definition.m_dimensions = KTSize(m_tDimensions.width * scale, m_tDimensions.height * scale);
    if (m_strokeEnabled) {
        definition.m_stroke.m_strokeEnabled = true;
        definition.m_stroke.m_strokeColor = m_strokeColor;
        definition.m_stroke.m_strokeSize = m_strokeSize * scale;
    }
    if (m_shadowEnabled) {
        definition.m_shadow.m_shadowEnabled = true;
        definition.m_shadow.m_shadowBlur = m_shadowBlur;
        definition.m_shadow.m_shadowOpacity = m_shadowOpacity;
        definition.m_shadow.m_shadowOffset =
            KTSize(m_shadowOffset.width * scale, m_shadowOffset.height * scale);
    }
    definition.m_fontFillColor = m_textFillColor;
    return definition;
}

void KTLabelTTF::updateTexture() {
    auto* texture = new KTTexture2D();
    const _ccFontDefinition definition = prepareFontDefinitionAndAdjustForResolution();
    // A text that cannot be drawn leaves an empty texture: the label then shows nothing.
    texture->initWithString(m_string.c_str(), &definition);
    setTexture(texture);
    const KTSize size = texture->getContentSize();
    texture->release();
    setTextureRect(KTRect(0, 0, size.width, size.height));
}

}  // namespace kite
