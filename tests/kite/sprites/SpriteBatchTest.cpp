// The sprite's side of batching, through a minimal batch node over a real texture atlas: quads written in
// the batch's space only when dirty, colours written straight into the atlas, hiding, detaching.
#include <gtest/gtest.h>

#include <vector>

#include "kite/base/KTArray.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTCArray.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/image/KTImage.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureAtlas.h"
#include "kite/textures/KTTextureCache.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

// Keeps every descendant sprite's quad in one atlas, in the order they were appended.
class TestBatchNode : public KTSpriteBatchNode {
  public:
    explicit TestBatchNode(KTTexture2D* texture) {
        init();
        m_pAtlas = KTTextureAtlas::createWithTexture(texture, 1);
        m_pAtlas->retain();
        m_pDescendants = KTArray::create();
        m_pDescendants->retain();
    }
    ~TestBatchNode() override {
        m_pDescendants->release();
        m_pAtlas->release();
    }

    using KTNode::addChild;
    void addChild(KTNode* child, int zOrder, int tag) override {
        KTNode::addChild(child, zOrder, tag);
        appendChild(static_cast<KTSprite*>(child));
    }
    KTTextureAtlas* getTextureAtlas() override { return m_pAtlas; }
    void appendChild(KTSprite* sprite) override {
        m_bReorderChildDirty = true;
        sprite->setBatchNode(this);
        sprite->setDirty(true);
        if (m_pAtlas->getTotalQuads() == m_pAtlas->getCapacity())
            m_pAtlas->resizeCapacity((m_pAtlas->getCapacity() * 4 + 4) / 3);
        m_pDescendants->addObject(sprite);
        sprite->setAtlasIndex(m_pDescendants->count() - 1);
        m_pAtlas->insertQuad(&sprite->getQuad(), sprite->getAtlasIndex());
        if (KTArray* children = sprite->getChildren())
            for (KTObject* child : *children) appendChild(static_cast<KTSprite*>(child));
    }
    void removeSpriteFromAtlas(KTSprite* sprite) override {
        m_pAtlas->removeQuadAtIndex(sprite->getAtlasIndex());
        sprite->setBatchNode(nullptr);
        const uint32_t index = m_pDescendants->indexOfObject(sprite);
        if (index != KT_INVALID_INDEX) {
            m_pDescendants->removeObjectAtIndex(index);
            for (uint32_t i = index; i < m_pDescendants->count(); ++i) {
                auto* after = static_cast<KTSprite*>(m_pDescendants->objectAtIndex(i));
                after->setAtlasIndex(after->getAtlasIndex() - 1);
            }
        }
        if (KTArray* children = sprite->getChildren())
            for (KTObject* child : *children) removeSpriteFromAtlas(static_cast<KTSprite*>(child));
    }
    void reorderBatch(bool reorder) override { m_bReorderChildDirty = reorder; }

    const ktTexturedQuad& quad(unsigned int index) { return m_pAtlas->getQuads()[index]; }

  private:
    KTTextureAtlas* m_pAtlas = nullptr;
    KTArray* m_pDescendants = nullptr;
};

class SpriteBatchTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        KTConfiguration::sharedConfiguration()->gatherGPUInfo();
        KTAutoreleasePoolStack::sharedPoolStack()->push();
        KTImage* image = testdraw::makeImage(std::vector<uint8_t>(16 * 16 * 4, 0xFF), 16, 16);
        texture_ = new KTTexture2D();
        texture_->initWithImage(image);
        image->release();
        batch_ = new TestBatchNode(texture_);
    }
    void TearDown() override {
        batch_->release();
        texture_->release();
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        KTTextureCache::purgeSharedTextureCache();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    static void expectCorner(const ktQuadVertex& v, float x, float y) {
        EXPECT_FLOAT_EQ(v.vertices.x, x);
        EXPECT_FLOAT_EQ(v.vertices.y, y);
    }

    KTTexture2D* texture_ = nullptr;
    TestBatchNode* batch_ = nullptr;
};

TEST_F(SpriteBatchTest, QuadsAreWrittenInBatchSpaceWhenDirty) {
    KTSprite* sprite = KTSprite::createWithTexture(texture_);
    sprite->setPosition(KTPoint(10, 20));
    batch_->addChild(sprite);
    EXPECT_EQ(sprite->getBatchNode(), batch_);
    EXPECT_EQ(sprite->getAtlasIndex(), 0u);
    EXPECT_TRUE(sprite->isDirty());

    batch_->updateTransform();
    EXPECT_FALSE(sprite->isDirty());
    expectCorner(batch_->quad(0).bl, 2, 12);
    expectCorner(batch_->quad(0).tr, 18, 28);

    // A child's quad goes through its parent's transform to the batch.
    KTSprite* child = KTSprite::createWithTexture(texture_);
    child->setPosition(KTPoint(8, 8));
    sprite->addChild(child);
    EXPECT_EQ(child->getAtlasIndex(), 1u);
    sprite->setPosition(KTPoint(30, 20));
    batch_->updateTransform();
    expectCorner(batch_->quad(0).bl, 22, 12);
    expectCorner(batch_->quad(1).bl, 22, 12);
    expectCorner(batch_->quad(1).tr, 38, 28);

    // Colours land in the atlas at once.
    sprite->setOpacity(128);
    EXPECT_EQ(batch_->quad(0).tl.colors.a, 128);

    // Hiding a sprite hides its children's quads too.
    sprite->setVisible(false);
    batch_->updateTransform();
    expectCorner(batch_->quad(0).tr, 0, 0);
    expectCorner(batch_->quad(1).tr, 0, 0);

    // A batched sprite leaves drawing to the batch.
    const unsigned int draws = g_drawCallCount;
    sprite->draw();
    EXPECT_EQ(g_drawCallCount, draws);

    // Detached, the quads are local again.
    sprite->removeChild(child);
    EXPECT_EQ(child->getBatchNode(), nullptr);
    expectCorner(child->getQuad().bl, 0, 0);
    expectCorner(child->getQuad().tr, 16, 16);
    EXPECT_EQ(batch_->getTextureAtlas()->getTotalQuads(), 1u);
}

}  // namespace
}  // namespace kite
