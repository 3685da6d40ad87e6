#include "kite/labels/KTLabelAtlas.h"

#include <algorithm>
#include <cstring>

#include "kite/base/KTMacros.h"
#include "kite/core/KTDirector.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureAtlas.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Log.h"

namespace kite {

KTLabelAtlas::KTLabelAtlas() = default;

KTLabelAtlas::~KTLabelAtlas() = default;

KTLabelAtlas* KTLabelAtlas::create(const char* string, const char* charMapFile, unsigned int itemWidth,
                                   unsigned int itemHeight, unsigned int startCharMap) {
    KTTexture2D* texture =
        charMapFile ? KTTextureCache::sharedTextureCache()->addImage(charMapFile) : nullptr;
    if (!texture)
        plat::logError("KTLabelAtlas: the character map %s cannot be loaded",
                       charMapFile ? charMapFile : "(null)");
    auto* label = new KTLabelAtlas();
    if (label->initWithString(string, texture, itemWidth, itemHeight, startCharMap))
        return ktAutorelease(label);
    delete label;
    return nullptr;
}

bool KTLabelAtlas::initWithString(const char* string, KTTexture2D* texture, unsigned int itemWidth,
                                  unsigned int itemHeight, unsigned int startCharMap) {
    if (!string) string = "";
    if (!KTAtlasNode::initWithTexture(texture, itemWidth, itemHeight,
                                      static_cast<unsigned int>(std::strlen(string))))
        return false;
    m_uMapStartChar = static_cast<unsigned char>(startCharMap);
    setString(string);
    return true;
}

void KTLabelAtlas::updateAtlasValues() {
    KTTextureAtlas* atlas = m_pTextureAtlas;
    KTTexture2D* texture = atlas ? atlas->getTexture() : nullptr;
    if (!texture) return;
    const unsigned int n = static_cast<unsigned int>(m_sString.size());
    if (n == 0) return;
    if (m_uItemsPerRow == 0) {
        plat::logError("KTLabelAtlas: the character map holds no whole cell");
        return;
    }
    if (n > atlas->getCapacity()) {
        plat::logError("KTLabelAtlas: %u characters do not fit an atlas of %u quads", n,
                       atlas->getCapacity());
        return;
    }

    ktTexturedQuad* quads = atlas->getQuads();
    const float textureWide = static_cast<float>(texture->getPixelsWide());
    const float textureHigh = static_cast<float>(texture->getPixelsHigh());
    float itemWidthInPixels = static_cast<float>(m_uItemWidth);
    float itemHeightInPixels = static_cast<float>(m_uItemHeight);
    if (!m_bIgnoreContentScaleFactor) {
        const float scale = KTDirector::sharedDirector()->getContentScaleFactor();
        itemWidthInPixels *= scale;
        itemHeightInPixels *= scale;
    }
    const _ccColor4B color{_displayedColor.r, _displayedColor.g, _displayedColor.b, _displayedOpacity};

    for (unsigned int i = 0; i < n; ++i) {
        const unsigned char a =
            static_cast<unsigned char>(static_cast<unsigned char>(m_sString[i]) - m_uMapStartChar);
        const unsigned int row = a / m_uItemsPerRow;
        const unsigned int column = a % m_uItemsPerRow;

        const float left = itemWidthInPixels * static_cast<float>(column) / textureWide;
        const float right = left + itemWidthInPixels / textureWide;
        const float top = itemHeightInPixels * static_cast<float>(row) / textureHigh;
        const float bottom = top + itemHeightInPixels / textureHigh;

        ktTexturedQuad& quad = quads[i];
        quad.tl.texCoords = {left, top};
        quad.tr.texCoords = {right, top};
        quad.bl.texCoords = {left, bottom};
        quad.br.texCoords = {right, bottom};

        const float x1 = static_cast<float>(i * m_uItemWidth);
        const float x2 = static_cast<float>(i * m_uItemWidth + m_uItemWidth);
        const float y2 = static_cast<float>(m_uItemHeight);
        quad.bl.vertices = {x1, 0, 0};
        quad.br.vertices = {x2, 0, 0};
        quad.tl.vertices = {x1, y2, 0};
        quad.tr.vertices = {x2, y2, 0};

        quad.tl.colors = quad.tr.colors = quad.bl.colors = quad.br.colors = color;
    }

    // getQuads has marked the atlas for upload.
    if (n > atlas->getTotalQuads()) atlas->increaseTotalQuadsWith(n - atlas->getTotalQuads());
}

void KTLabelAtlas::setString(const char* label) {
    if (!label) label = "";
    const size_t length = std::strlen(label);
    if (!m_pTextureAtlas) return;
    if (length > m_pTextureAtlas->getCapacity() &&
        (length > KTTextureAtlas::kMaxCapacity ||
         !m_pTextureAtlas->resizeCapacity(static_cast<unsigned int>(length)))) {
        // The text is refused whole rather than written past the quads the atlas holds.
        plat::logError("KTLabelAtlas: the atlas cannot grow to %zu characters", length);
        m_uQuadsToDraw = std::min(m_uQuadsToDraw, m_pTextureAtlas->getCapacity());
        return;
    }
    const unsigned int n = static_cast<unsigned int>(length);
    m_sString.assign(label, length);
    updateAtlasValues();
    setContentSize(KTSize(static_cast<float>(n * m_uItemWidth), static_cast<float>(m_uItemHeight)));
    m_uQuadsToDraw = n;
}

const char* KTLabelAtlas::getString() {
    return m_sString.c_str();
}

}  // namespace kite
