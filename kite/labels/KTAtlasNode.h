#pragma once
// A coloured node drawing a run of quads from one texture atlas whose texture is a regular grid of equal
// items (the cells of a character map, tiles). Every texel is multiplied by one uniform colour. The label
// atlas fills the quads; this node owns the atlas and draws it in one call.
#include "kite/base/KTTypes.h"
#include "kite/nodes/KTNodeRGBA.h"
#include "kite/sprites/KTTextureProtocol.h"

namespace kite {

class KTTexture2D;
class KTTextureAtlas;

class KTAtlasNode : public KTNodeRGBA, public KTTextureProtocol {
  public:
    KTAtlasNode();
    ~KTAtlasNode() override;

    // itemWidth and itemHeight in points of the texture; false for a null texture, an empty item size or a
    // texture that holds no whole item.
    static KTAtlasNode* create(KTTexture2D* texture, unsigned int itemWidth, unsigned int itemHeight,
                               unsigned int itemsToRender);
    bool initWithTexture(KTTexture2D* texture, unsigned int itemWidth, unsigned int itemHeight,
                         unsigned int itemsToRender);

    void draw() override;
    void setOpacity(GLubyte opacity) override;
    // The colour last set, before the opacity was multiplied in (when it is).
    const _ccColor3B& getColor() override;
    void setColor(const _ccColor3B& color) override;
    void setOpacityModifyRGB(bool value) override;
    bool isOpacityModifyRGB() override;

    virtual KTTextureAtlas* getTextureAtlas();
    virtual void setTextureAtlas(KTTextureAtlas* textureAtlas);
    _ccBlendFunc getBlendFunc() override;
    void setBlendFunc(_ccBlendFunc blendFunc) override;
    virtual unsigned int getQuadsToDraw();
    virtual void setQuadsToDraw(unsigned int quadsToDraw);
    // Writes the quads of the items shown; nothing here.
    virtual void updateAtlasValues();
    KTTexture2D* getTexture() override;
    void setTexture(KTTexture2D* texture) override;

    // Item counts from the texture's size in pixels instead of points.
    void setIgnoreContentScaleFactor(bool ignore) { m_bIgnoreContentScaleFactor = ignore; }
    bool isIgnoreContentScaleFactor() const { return m_bIgnoreContentScaleFactor; }
    unsigned int getItemsPerRow() const { return m_uItemsPerRow; }
    unsigned int getItemsPerColumn() const { return m_uItemsPerColumn; }
    unsigned int getItemWidth() const { return m_uItemWidth; }
    unsigned int getItemHeight() const { return m_uItemHeight; }

  protected:
    void calculateMaxItems();
    void updateBlendFunc();
    void updateOpacityModifyRGB();

    unsigned int m_uItemsPerRow = 0;
    unsigned int m_uItemsPerColumn = 0;
    unsigned int m_uItemWidth = 0;
    unsigned int m_uItemHeight = 0;
    _ccColor3B m_tColorUnmodified{255, 255, 255};
    KTTextureAtlas* m_pTextureAtlas = nullptr;
    bool m_bIsOpacityModifyRGB = false;
    _ccBlendFunc m_tBlendFunc{GL_ONE, GL_ONE_MINUS_SRC_ALPHA};
    unsigned int m_uQuadsToDraw = 0;
    GLint m_nUniformColor = 0;
    bool m_bIgnoreContentScaleFactor = false;
};

}  // namespace kite
