#include "kite/labels/KTAtlasNode.h"

#include "kite/base/KTMacros.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureAtlas.h"
#include "platform/base/Log.h"

namespace kite {

KTAtlasNode::KTAtlasNode() = default;

KTAtlasNode::~KTAtlasNode() {
    KT_SAFE_RELEASE(m_pTextureAtlas);
}

KTAtlasNode* KTAtlasNode::create(KTTexture2D* texture, unsigned int itemWidth, unsigned int itemHeight,
                                 unsigned int itemsToRender) {
    auto* node = new KTAtlasNode();
    if (node->initWithTexture(texture, itemWidth, itemHeight, itemsToRender)) return ktAutorelease(node);
    delete node;
    return nullptr;
}

bool KTAtlasNode::initWithTexture(KTTexture2D* texture, unsigned int itemWidth, unsigned int itemHeight,
                                  unsigned int itemsToRender) {
    // Without a picture every later size and texture coordinate would be read from nothing.
    if (!texture) {
        plat::logError("KTAtlasNode: no texture for the atlas node");
        return false;
    }
    if (itemWidth == 0 || itemHeight == 0) {
        plat::logError("KTAtlasNode: item size %u x %u holds nothing", itemWidth, itemHeight);
        return false;
    }
    m_uItemWidth = itemWidth;
    m_uItemHeight = itemHeight;
    m_tColorUnmodified = ccWHITE;
    m_bIsOpacityModifyRGB = true;
    m_tBlendFunc = {GL_ONE, GL_ONE_MINUS_SRC_ALPHA};

    auto* atlas = new KTTextureAtlas();
    if (!atlas->initWithTexture(texture, itemsToRender))
        plat::logWarning("KTAtlasNode: the texture atlas for %u items did not initialise", itemsToRender);
    KT_SAFE_RELEASE(m_pTextureAtlas);
    m_pTextureAtlas = atlas;

    updateBlendFunc();
    updateOpacityModifyRGB();
    calculateMaxItems();
    if (m_uItemsPerRow == 0 || m_uItemsPerColumn == 0) {
        plat::logError("KTAtlasNode: a texture of %g x %g holds no item of %u x %u",
                       texture->getContentSize().width, texture->getContentSize().height, itemWidth,
                       itemHeight);
        return false;
    }
    m_uQuadsToDraw = itemsToRender;

    setShaderProgram(KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionTexture_uColor));
    m_nUniformColor = m_pShaderProgram ? m_pShaderProgram->getUniformLocationForName("u_color") : -1;
    return true;
}

void KTAtlasNode::calculateMaxItems() {
    KTTexture2D* texture = getTexture();
    if (!texture || m_uItemWidth == 0 || m_uItemHeight == 0) {
        m_uItemsPerRow = m_uItemsPerColumn = 0;
        return;
    }
    const KTSize size =
        m_bIgnoreContentScaleFactor ? texture->getContentSizeInPixels() : texture->getContentSize();
    m_uItemsPerColumn =
        static_cast<unsigned int>(static_cast<int>(size.height / static_cast<float>(m_uItemHeight)));
    m_uItemsPerRow = static_cast<unsigned int>(size.width / static_cast<float>(m_uItemWidth));
}

void KTAtlasNode::updateBlendFunc() {
    KTTexture2D* texture = getTexture();
    if (texture && !texture->hasPremultipliedAlpha()) m_tBlendFunc = {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
}

void KTAtlasNode::updateOpacityModifyRGB() {
    KTTexture2D* texture = getTexture();
    m_bIsOpacityModifyRGB = texture && texture->hasPremultipliedAlpha();
}

void KTAtlasNode::draw() {
    if (!m_pTextureAtlas || !m_pShaderProgram) return;
    ktGLEnable(m_eGLServerState);
    m_pShaderProgram->use();
    m_pShaderProgram->setUniformsForBuiltins();
    ktGLBlendFunc(m_tBlendFunc.src, m_tBlendFunc.dst);
    const GLfloat colors[4] = {_displayedColor.r / 255.0f, _displayedColor.g / 255.0f,
                               _displayedColor.b / 255.0f, _displayedOpacity / 255.0f};
    m_pShaderProgram->setUniformLocationWith4fv(m_nUniformColor, colors, 1);
    m_pTextureAtlas->drawNumberOfQuads(m_uQuadsToDraw, 0);
}

void KTAtlasNode::setColor(const _ccColor3B& color) {
    _ccColor3B tmp = color;
    m_tColorUnmodified = color;
    if (m_bIsOpacityModifyRGB) {
        tmp.r = static_cast<GLubyte>(tmp.r * _displayedOpacity / 255);
        tmp.g = static_cast<GLubyte>(tmp.g * _displayedOpacity / 255);
        tmp.b = static_cast<GLubyte>(tmp.b * _displayedOpacity / 255);
    }
    KTNodeRGBA::setColor(tmp);
}

const _ccColor3B& KTAtlasNode::getColor() {
    if (m_bIsOpacityModifyRGB) return m_tColorUnmodified;
    return KTNodeRGBA::getColor();
}

void KTAtlasNode::setOpacity(GLubyte opacity) {
    KTNodeRGBA::setOpacity(opacity);
    // The premultiplied colour follows the new opacity.
    if (m_bIsOpacityModifyRGB) setColor(m_tColorUnmodified);
}

void KTAtlasNode::setOpacityModifyRGB(bool value) {
    const _ccColor3B oldColor = getColor();
    m_bIsOpacityModifyRGB = value;
    setColor(oldColor);
}

bool KTAtlasNode::isOpacityModifyRGB() {
    return m_bIsOpacityModifyRGB;
}

KTTextureAtlas* KTAtlasNode::getTextureAtlas() {
    return m_pTextureAtlas;
}

void KTAtlasNode::setTextureAtlas(KTTextureAtlas* textureAtlas) {
    KT_SAFE_RETAIN(textureAtlas);
    KT_SAFE_RELEASE(m_pTextureAtlas);
    m_pTextureAtlas = textureAtlas;
}

_ccBlendFunc KTAtlasNode::getBlendFunc() {
    return m_tBlendFunc;
}

void KTAtlasNode::setBlendFunc(_ccBlendFunc blendFunc) {
    m_tBlendFunc = blendFunc;
}

unsigned int KTAtlasNode::getQuadsToDraw() {
    return m_uQuadsToDraw;
}

void KTAtlasNode::setQuadsToDraw(unsigned int quadsToDraw) {
    m_uQuadsToDraw = quadsToDraw;
}

void KTAtlasNode::updateAtlasValues() {}

KTTexture2D* KTAtlasNode::getTexture() {
    return m_pTextureAtlas ? m_pTextureAtlas->getTexture() : nullptr;
}

void KTAtlasNode::setTexture(KTTexture2D* texture) {
    if (!m_pTextureAtlas) return;
    m_pTextureAtlas->setTexture(texture);
    updateBlendFunc();
    updateOpacityModifyRGB();
}

}  // namespace kite
