#pragma once
// The textured rectangle of the engine: a node that draws one rect of a texture as a four-vertex strip from
// its own quad. Texture rect, flips, colour and opacity are written into the quad when they change; the node
// transform places it at draw time. A sprite may instead live in a batch node's texture atlas.
#include <cstdint>

#include "kite/base/KTAffineTransform.h"
#include "kite/base/KTGeometry.h"
#include "kite/base/KTTypes.h"
#include "kite/nodes/KTNodeRGBA.h"
#include "kite/sprites/KTTextureProtocol.h"

namespace kite {

class KTSprite;
class KTSpriteFrame;
class KTTexture2D;
class KTTextureAtlas;

// Atlas index of a sprite that has no quad in a batch atlas.
inline constexpr unsigned int kKTSpriteIndexNotInitialized = 0xFFFFFFFFu;

// What a node that batches sprites into one texture atlas provides to them. No such node is part of the
// engine; the sprite keeps its side of the contract for one that is added.
class KTSpriteBatchNode : public KTNode {
  public:
    virtual KTTextureAtlas* getTextureAtlas() = 0;
    // Gives the sprite (and its children, recursively) a quad at the end of the atlas.
    virtual void appendChild(KTSprite* sprite) = 0;
    // Takes the sprite's quads (and its children's) out of the atlas and detaches it.
    virtual void removeSpriteFromAtlas(KTSprite* sprite) = 0;
    virtual void reorderBatch(bool reorder) = 0;
};

class KTSprite : public KTNodeRGBA, public KTTextureProtocol {
  public:
    KTSprite();
    ~KTSprite() override;

    // Autoreleased, or null when the file cannot be loaded.
    static KTSprite* create(const char* fileName);
    // Autoreleased, or null for a null texture.
    static KTSprite* createWithTexture(KTTexture2D* texture);

    // A sprite without a picture: the white 2 x 2 texture and an empty rect.
    bool init() override;
    void setVertexZ(float vertexZ) override;
    void setScaleX(float scaleX) override;
    void setScaleY(float scaleY) override;
    void setScale(float scale) override;
    void setPosition(const KTPoint& position) override;
    void setSkewX(float skewX) override;
    void setSkewY(float skewY) override;
    void setAnchorPoint(const KTPoint& anchorPoint) override;
    void setVisible(bool visible) override;
    void setRotation(float rotation) override;
    void setRotationX(float rotationX) override;
    void setRotationY(float rotationY) override;
    void setIgnoreAnchorPointForPosition(bool ignore) override;
    void addChild(KTNode* child) override;
    void addChild(KTNode* child, int zOrder) override;
    void addChild(KTNode* child, int zOrder, int tag) override;
    void removeChildWithCleanup(KTNode* child, bool cleanup) override;
    void removeAllChildrenWithCleanup(bool cleanup) override;
    void reorderChild(KTNode* child, int zOrder) override;
    void sortAllChildren() override;
    void draw() override;
    // A leaf sprite of this very class makes its transform, model-view matrix and draw in one straight run
    // (no push or pop, no call but the draw's); anything else visits as any node does.
    void visit() override;
    void updateTransform() override;
    void setOpacity(GLubyte opacity) override;
    void updateDisplayedOpacity(GLubyte parentOpacity) override;
    void setColor(const _ccColor3B& color) override;
    void updateDisplayedColor(const _ccColor3B& parentColor) override;
    void setOpacityModifyRGB(bool modify) override;
    bool isOpacityModifyRGB() override;

    // The whole texture; false for a null texture.
    virtual bool initWithTexture(KTTexture2D* texture);
    // rect in points. A null texture shows the white 2 x 2 texture.
    virtual bool initWithTexture(KTTexture2D* texture, const KTRect& rect);
    virtual bool initWithTexture(KTTexture2D* texture, const KTRect& rect, bool rotated);
    virtual bool initWithSpriteFrame(KTSpriteFrame* spriteFrame);
    virtual bool initWithSpriteFrameName(const char* spriteFrameName);
    virtual bool initWithFile(const char* fileName);
    virtual bool initWithFile(const char* fileName, const KTRect& rect);
    // A null texture is replaced by the white 2 x 2 texture. Ignored while batched.
    void setTexture(KTTexture2D* texture) override;
    KTTexture2D* getTexture() override;
    void setBlendFunc(_ccBlendFunc blendFunc) override;
    _ccBlendFunc getBlendFunc() override;
    virtual KTSpriteBatchNode* getBatchNode();
    virtual void setBatchNode(KTSpriteBatchNode* batchNode);
    virtual void setTextureRect(const KTRect& rect);
    // rect in points; untrimmedSize becomes the content size.
    virtual void setTextureRect(const KTRect& rect, bool rotated, const KTSize& untrimmedSize);
    virtual void setVertexRect(const KTRect& rect);
    virtual void setDisplayFrame(KTSpriteFrame* frame);
    virtual bool isFrameDisplayed(KTSpriteFrame* frame);
    // A new autoreleased frame describing what the sprite shows.
    virtual KTSpriteFrame* displayFrame();
    virtual void setDisplayFrameWithAnimationName(const char* animationName, int frameIndex);
    virtual bool isDirty();
    virtual void setDirty(bool dirty);
    virtual void setTextureCoords(KTRect rect);
    virtual void updateBlendFunc();
    virtual void setReorderChildDirtyRecursively();
    virtual void setDirtyRecursively(bool value);

    void setFlipX(bool flipX);
    bool isFlipX() const { return m_bFlipX; }
    bool isFlipY() const { return m_bFlipY; }
    void updateColor();

    const KTRect& getTextureRect() const { return m_obRect; }
    bool isTextureRectRotated() const { return m_bRectRotated; }
    const KTPoint& getOffsetPosition() const { return m_obOffsetPosition; }
    const ktTexturedQuad& getQuad() const { return m_sQuad; }
    unsigned int getAtlasIndex() const { return m_uAtlasIndex; }
    void setAtlasIndex(unsigned int atlasIndex) { m_uAtlasIndex = atlasIndex; }
    KTTextureAtlas* getTextureAtlas() const { return m_pobTextureAtlas; }
    void setTextureAtlas(KTTextureAtlas* textureAtlas) { m_pobTextureAtlas = textureAtlas; }
    const KTAffineTransform& getTransformToBatch() const { return m_transformToBatch; }

  protected:
    // After a transform change of a batched sprite: its quad must be rewritten into the atlas.
    void markBatchDirty();
    void writeQuadPositions();
    // The quad's corners times the model-view matrix m (column-major, affine), with its colours and
    // texture coordinates, into out (four vertices in the quad's order).
    void writeEyeSpaceQuad(const float* m, ktQuadVertex* out) const;
    // The same for the upright rectangle at z 0 that writeQuadPositions makes, in fewer products.
    void writeUprightEyeSpaceQuad(const float* m, ktQuadVertex* out) const;
    bool isUprightQuad() const;
    // draw's way for all but the usual case, m the model-view matrix.
    void drawSettingUp(const float* m);
    // Tells at the first visit whether the object is of this very class, whose draw and transform the
    // short visit runs in line.
    bool resolveShortVisit();

    // What a frame reads of a sprite first, right after the node's own: its draw set-up and its quad.
    KTSpriteBatchNode* m_pobBatchNode = nullptr;
    KTTexture2D* m_pobTexture = nullptr;
    _ccBlendFunc m_sBlendFunc;
    bool m_bDirty = false;
    bool m_bRecursiveDirty = false;
    bool m_bHasChildren = false;
    bool m_bShouldBeHidden = false;
    ktTexturedQuad m_sQuad;
    KTTextureAtlas* m_pobTextureAtlas = nullptr;
    unsigned int m_uAtlasIndex = kKTSpriteIndexNotInitialized;
    KTAffineTransform m_transformToBatch;
    KTRect m_obRect;
    bool m_bRectRotated = false;
    KTPoint m_obOffsetPosition;
    KTPoint m_obUnflippedOffsetPositionFromCenter;
    bool m_bOpacityModifyRGB = false;
    bool m_bFlipX = false;
    bool m_bFlipY = false;
};

}  // namespace kite
