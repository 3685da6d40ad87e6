// Sprite frames in points and pixels, their copies, the frame and animation caches, and sprites showing
// frames with trimmed offsets.
#include <gtest/gtest.h>

#include <vector>

#include "kite/base/KTArray.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTDictionary.h"
#include "kite/base/KTString.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/image/KTImage.h"
#include "kite/sprites/KTAnimationCache.h"
#include "kite/sprites/KTSprite.h"
#include "kite/sprites/KTSpriteFrame.h"
#include "kite/sprites/KTSpriteFrameCache.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Log.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

// A cache that is not the shared one, filled by hand: nothing in the engine adds frames.
class FilledFrameCache : public KTSpriteFrameCache {
  public:
    void add(KTSpriteFrame* frame, const char* name) { m_pSpriteFrames->setObject(frame, name); }
    void alias(const char* alias, const char* name) {
        m_pSpriteFramesAliases->setObject(KTString::create(name), alias);
    }
};

class SpriteFrameTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        KTConfiguration::sharedConfiguration()->gatherGPUInfo();
        KTAutoreleasePoolStack::sharedPoolStack()->push();
        KTImage* image = testdraw::makeImage(std::vector<uint8_t>(128 * 64 * 4, 0xFF), 128, 64);
        texture_ = new KTTexture2D();
        texture_->initWithImage(image);
        image->release();
    }
    void TearDown() override {
        texture_->release();
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        KTDirector::sharedDirector()->setContentScaleFactor(1);
        KTSpriteFrameCache::purgeSharedSpriteFrameCache();
        KTAnimationCache::purgeSharedAnimationCache();
        KTTextureCache::purgeSharedTextureCache();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    KTTexture2D* texture_ = nullptr;
};

TEST_F(SpriteFrameTest, PointsArePixelsOverTheScaleFactor) {
    KTDirector::sharedDirector()->setContentScaleFactor(2);
    KTSpriteFrame* frame = KTSpriteFrame::createWithTexture(texture_, KTRect(0, 0, 64, 32), true,
                                                            KTPoint(4, -2), KTSize(80, 40));
    EXPECT_TRUE(frame->getRect().equals(KTRect(0, 0, 32, 16)));
    EXPECT_TRUE(frame->getRectInPixels().equals(KTRect(0, 0, 64, 32)));
    EXPECT_TRUE(frame->getOffset().equals(KTPoint(2, -1)));
    EXPECT_TRUE(frame->getOriginalSize().equals(KTSize(40, 20)));
    EXPECT_TRUE(frame->isRotated());
    EXPECT_EQ(frame->getTexture(), texture_);
}

TEST_F(SpriteFrameTest, CopiesKeepTextureAndFileName) {
    KTSpriteFrame* frame =
        KTSpriteFrame::createWithTexture(texture_, KTRect(1, 2, 3, 4), false, KTPoint(), KTSize(3, 4));
    const uint32_t before = texture_->retainCount();
    auto* copy = static_cast<KTSpriteFrame*>(frame->copy());
    EXPECT_EQ(copy->getTexture(), texture_);
    EXPECT_EQ(texture_->retainCount(), before + 1);
    EXPECT_TRUE(copy->getRectInPixels().equals(frame->getRectInPixels()));
    copy->release();
    EXPECT_EQ(texture_->retainCount(), before);

    auto* named = new KTSpriteFrame();
    named->initWithTextureFilename("sheet.png", KTRect(0, 0, 8, 8), false, KTPoint(), KTSize(8, 8));
    auto* namedCopy = static_cast<KTSpriteFrame*>(named->copy());
    EXPECT_EQ(namedCopy->getTextureFilename(), "sheet.png");
    namedCopy->release();
    named->release();

    // Neither a texture nor a file: nothing to show.
    auto* empty = new KTSpriteFrame();
    empty->initWithTextureFilename("", KTRect(), false, KTPoint(), KTSize());
    EXPECT_EQ(empty->getTexture(), nullptr);
    empty->release();
}

TEST_F(SpriteFrameTest, FileNamedFramesLoadThroughTheTextureCache) {
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "sheet.png").string();
    KTImage* image = testdraw::makeImage(std::vector<uint8_t>(4 * 4 * 4, 0x80), 4, 4);
    ASSERT_TRUE(image->saveToFile(path.c_str(), false));
    image->release();

    auto* frame = new KTSpriteFrame();
    frame->initWithTextureFilename(path.c_str(), KTRect(0, 0, 2, 2), false, KTPoint(), KTSize(2, 2));
    KTTexture2D* loaded = frame->getTexture();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded, KTTextureCache::sharedTextureCache()->textureForKey(path.c_str()));
    EXPECT_EQ(loaded->retainCount(), 1u);  // the cache's reference, not the frame's
    frame->release();
}

TEST_F(SpriteFrameTest, CachesLookUpNamesAndAliases) {
    auto* cache = new FilledFrameCache();
    cache->init();
    KTSpriteFrame* frame =
        KTSpriteFrame::createWithTexture(texture_, KTRect(0, 0, 8, 8), false, KTPoint(), KTSize(8, 8));
    cache->add(frame, "hero.png");
    cache->alias("hero", "hero.png");
    cache->alias("ghost", "nobody.png");
    EXPECT_EQ(cache->spriteFrameByName("hero.png"), frame);
    EXPECT_EQ(cache->spriteFrameByName("hero"), frame);
    EXPECT_EQ(cache->spriteFrameByName("ghost"), nullptr);
    EXPECT_EQ(cache->spriteFrameByName("other"), nullptr);
    cache->release();

    KTSpriteFrameCache* shared = KTSpriteFrameCache::sharedSpriteFrameCache();
    EXPECT_EQ(shared, KTSpriteFrameCache::sharedSpriteFrameCache());
    EXPECT_EQ(shared->spriteFrameByName("hero"), nullptr);
    EXPECT_EQ(KTAnimationCache::sharedAnimationCache()->animationByName("walk"), nullptr);
    KTAnimationCache::purgeSharedAnimationCache();
    KTSpriteFrameCache::purgeSharedSpriteFrameCache();
    purgeBitmapFontCache();  // nothing to purge: must simply return
    EXPECT_NE(KTSpriteFrameCache::sharedSpriteFrameCache(), nullptr);

    plat::LogCapture log;
    auto* sprite = new KTSprite();
    EXPECT_FALSE(sprite->initWithSpriteFrameName("hero"));
    sprite->release();
}

TEST_F(SpriteFrameTest, SpritesShowTrimmedFrames) {
    // A 20 x 10 picture trimmed out of a 40 x 30 original, its centre 5 right and 2 up of the original's.
    KTSpriteFrame* frame = KTSpriteFrame::createWithTexture(texture_, KTRect(64, 32, 20, 10), false,
                                                            KTPoint(5, 2), KTSize(40, 30));
    auto* sprite = new KTSprite();
    ASSERT_TRUE(sprite->initWithSpriteFrame(frame));
    EXPECT_TRUE(sprite->getContentSize().equals(KTSize(40, 30)));
    EXPECT_TRUE(sprite->getOffsetPosition().equals(KTPoint(15, 12)));
    EXPECT_FLOAT_EQ(sprite->getQuad().bl.vertices.x, 15);
    EXPECT_FLOAT_EQ(sprite->getQuad().tr.vertices.x, 35);
    EXPECT_FLOAT_EQ(sprite->getQuad().tr.vertices.y, 22);
    EXPECT_FLOAT_EQ(sprite->getQuad().tl.texCoords.u, 0.5f);
    EXPECT_FLOAT_EQ(sprite->getQuad().tl.texCoords.v, 0.5f);
    EXPECT_TRUE(sprite->isFrameDisplayed(frame));

    KTSpriteFrame* shown = sprite->displayFrame();
    EXPECT_TRUE(shown->getRect().equals(frame->getRect()));
    EXPECT_TRUE(shown->getOffset().equals(frame->getOffset()));
    EXPECT_TRUE(shown->getOriginalSize().equals(frame->getOriginalSize()));

    // Flipping mirrors the trim offset too.
    sprite->setFlipX(true);
    EXPECT_TRUE(sprite->getOffsetPosition().equals(KTPoint(5, 12)));
    EXPECT_FALSE(sprite->isFrameDisplayed(KTSpriteFrame::createWithTexture(
        texture_, KTRect(0, 0, 20, 10), false, KTPoint(5, 2), KTSize(40, 30))));

    plat::LogCapture log;
    sprite->setDisplayFrameWithAnimationName("walk", 0);
    EXPECT_TRUE(log.contains("walk"));
    sprite->release();
}

}  // namespace
}  // namespace kite
