// Sprites on the real context: quads, texture coordinates and colours as written, pictures drawn where and
// how they should appear (flips, opacity with and without premultiplied alpha), the white fallback texture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/image/KTImage.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Log.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

class SpriteTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        testdraw::useTextureColorProgram();
        KTAutoreleasePoolStack::sharedPoolStack()->push();
    }
    void TearDown() override {
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        KTTextureCache::purgeSharedTextureCache();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    // A PNG of width x height pixels: the left half `left`, the right half `right`. With alpha the texture
    // is premultiplied; an RGB-only file gives a texture that is not.
    std::string writePNG(const char* name, int width, int height, std::vector<uint8_t> left,
                         std::vector<uint8_t> right, bool rgbOnly = false) {
        std::vector<uint8_t> rgba;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const auto& p = x < width / 2 ? left : right;
                rgba.insert(rgba.end(), p.begin(), p.end());
            }
        KTImage* image = testdraw::makeImage(rgba, width, height);
        const std::string path = (dir_.path() / name).string();
        EXPECT_TRUE(image->saveToFile(path.c_str(), rgbOnly));
        image->release();
        return path;
    }

    KTTexture2D* rawTexture(int width, int height) {
        KTImage* image = testdraw::makeImage(std::vector<uint8_t>(width * height * 4, 0xFF), width, height);
        auto* texture = new KTTexture2D();
        EXPECT_TRUE(texture->initWithImage(image));
        image->release();
        texture->autorelease();
        return texture;
    }

    // Draws the sprite alone over a black view and reads the frame back.
    std::vector<uint8_t> drawAlone(KTSprite* sprite) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        sprite->visit();
        return readPixels();
    }

    // Read-back rows start at the top; this takes GL's bottom-up y.
    Pixel at(const std::vector<uint8_t>& rgba, int x, int glY) { return pixel(rgba, x, height_ - 1 - glY); }

    testsupport::TempDir dir_;
};

TEST_F(SpriteTest, QuadOfAWholeTexture) {
    KTSprite* sprite = KTSprite::createWithTexture(rawTexture(100, 50));
    ASSERT_NE(sprite, nullptr);
    EXPECT_FLOAT_EQ(sprite->getContentSize().width, 100);
    EXPECT_FLOAT_EQ(sprite->getContentSize().height, 50);
    EXPECT_FLOAT_EQ(sprite->getAnchorPoint().x, 0.5f);
    EXPECT_FLOAT_EQ(sprite->getAnchorPoint().y, 0.5f);

    const ktTexturedQuad& q = sprite->getQuad();
    EXPECT_FLOAT_EQ(q.bl.vertices.x, 0);
    EXPECT_FLOAT_EQ(q.bl.vertices.y, 0);
    EXPECT_FLOAT_EQ(q.tr.vertices.x, 100);
    EXPECT_FLOAT_EQ(q.tr.vertices.y, 50);
    EXPECT_FLOAT_EQ(q.br.vertices.x, 100);
    EXPECT_FLOAT_EQ(q.tl.vertices.y, 50);
    const ktTex2F expected[4] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};  // tl, bl, tr, br
    const ktQuadVertex* corners[4] = {&q.tl, &q.bl, &q.tr, &q.br};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(corners[i]->texCoords.u, expected[i].u) << i;
        EXPECT_FLOAT_EQ(corners[i]->texCoords.v, expected[i].v) << i;
        EXPECT_EQ(corners[i]->colors.r, 255);
        EXPECT_EQ(corners[i]->colors.a, 255);
    }

    // Decoded raw pixels are not premultiplied: straight alpha blending, colours not scaled.
    EXPECT_EQ(sprite->getBlendFunc().src, static_cast<GLenum>(GL_SRC_ALPHA));
    EXPECT_EQ(sprite->getBlendFunc().dst, static_cast<GLenum>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_FALSE(sprite->isOpacityModifyRGB());
}

TEST_F(SpriteTest, RotatedRectAndFlipCoordinates) {
    auto* sprite = new KTSprite();
    ASSERT_TRUE(sprite->initWithTexture(rawTexture(256, 256), KTRect(10, 20, 30, 40), true));
    const ktTexturedQuad& q = sprite->getQuad();
    EXPECT_FLOAT_EQ(q.bl.texCoords.u, 10 / 256.f);  // left
    EXPECT_FLOAT_EQ(q.bl.texCoords.v, 20 / 256.f);  // top
    EXPECT_FLOAT_EQ(q.tr.texCoords.u, 50 / 256.f);  // right
    EXPECT_FLOAT_EQ(q.tr.texCoords.v, 50 / 256.f);  // bottom
    sprite->release();

    sprite = new KTSprite();
    ASSERT_TRUE(sprite->initWithTexture(rawTexture(64, 64), KTRect(0, 0, 32, 64)));
    sprite->setFlipX(true);
    EXPECT_FLOAT_EQ(sprite->getQuad().bl.texCoords.u, 0.5f);
    EXPECT_FLOAT_EQ(sprite->getQuad().br.texCoords.u, 0.0f);
    sprite->setFlipX(true);  // unchanged
    EXPECT_FLOAT_EQ(sprite->getQuad().bl.texCoords.u, 0.5f);
    sprite->setFlipX(false);
    EXPECT_FLOAT_EQ(sprite->getQuad().bl.texCoords.u, 0.0f);
    sprite->release();
}

TEST_F(SpriteTest, DrawsAPNGWhereItIsPlaced) {
    const std::string path = writePNG("halves.png", 16, 8, {255, 0, 0, 255}, {0, 0, 255, 255});
    KTSprite* sprite = KTSprite::create(path.c_str());
    ASSERT_NE(sprite, nullptr);
    sprite->setPosition(KTPoint(20, 40));  // centre: covers x 12..28, y 36..44

    const unsigned int drawsBefore = g_drawCallCount;
    auto rgba = drawAlone(sprite);
    EXPECT_EQ(g_drawCallCount, drawsBefore + 1);
    EXPECT_TRUE(testsupport::near(at(rgba, 14, 40), {255, 0, 0, 255}));
    EXPECT_TRUE(testsupport::near(at(rgba, 26, 40), {0, 0, 255, 255}));
    EXPECT_EQ(at(rgba, 30, 40), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(at(rgba, 20, 34), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(at(rgba, 20, 46), (Pixel{0, 0, 0, 0}));

    sprite->setFlipX(true);
    rgba = drawAlone(sprite);
    EXPECT_TRUE(testsupport::near(at(rgba, 14, 40), {0, 0, 255, 255}));
    EXPECT_TRUE(testsupport::near(at(rgba, 26, 40), {255, 0, 0, 255}));

    // Scale and rotation come from the node transform, not the quad.
    sprite->setFlipX(false);
    sprite->setRotation(180);
    rgba = drawAlone(sprite);
    EXPECT_TRUE(testsupport::near(at(rgba, 14, 40), {0, 0, 255, 255}));
    sprite->setRotation(0);
    sprite->setScale(2);  // covers x 4..36
    rgba = drawAlone(sprite);
    EXPECT_TRUE(testsupport::near(at(rgba, 6, 40), {255, 0, 0, 255}));
    EXPECT_TRUE(testsupport::near(at(rgba, 34, 40), {0, 0, 255, 255}));
}

TEST_F(SpriteTest, HalfOpacityWithAndWithoutPremultipliedAlpha) {
    const std::string premultipliedPath =
        writePNG("alpha.png", 8, 8, {255, 255, 255, 255}, {255, 255, 255, 255});
    const std::string straightPath =
        writePNG("rgb.png", 8, 8, {255, 255, 255, 255}, {255, 255, 255, 255}, true);

    KTSprite* premultiplied = KTSprite::create(premultipliedPath.c_str());
    KTSprite* straight = KTSprite::create(straightPath.c_str());
    ASSERT_NE(premultiplied, nullptr);
    ASSERT_NE(straight, nullptr);
    ASSERT_TRUE(premultiplied->getTexture()->hasPremultipliedAlpha());
    ASSERT_FALSE(straight->getTexture()->hasPremultipliedAlpha());
    EXPECT_EQ(premultiplied->getBlendFunc().src, static_cast<GLenum>(GL_ONE));
    EXPECT_TRUE(premultiplied->isOpacityModifyRGB());

    for (KTSprite* sprite : {premultiplied, straight}) {
        sprite->setPosition(KTPoint(32, 32));
        sprite->setOpacity(128);
    }
    const _ccColor4B p = premultiplied->getQuad().bl.colors;
    EXPECT_EQ((std::vector<int>{p.r, p.g, p.b, p.a}), (std::vector<int>{128, 128, 128, 128}));
    const _ccColor4B s = straight->getQuad().tr.colors;
    EXPECT_EQ((std::vector<int>{s.r, s.g, s.b, s.a}), (std::vector<int>{255, 255, 255, 128}));

    // Either way white at half opacity over black comes out mid grey.
    for (KTSprite* sprite : {premultiplied, straight}) {
        const Pixel shown = at(drawAlone(sprite), 32, 32);
        EXPECT_TRUE(testsupport::near({shown.r, shown.g, shown.b, 0}, {128, 128, 128, 0}, 3)) << int(shown.r);
    }

    // Colour and opacity changes after the fact are written into the quad too.
    premultiplied->setColor(ktc3(255, 0, 100));
    EXPECT_EQ(premultiplied->getQuad().tl.colors.r, 128);
    EXPECT_EQ(premultiplied->getQuad().tl.colors.g, 0);
    EXPECT_EQ(premultiplied->getQuad().tl.colors.b, 50);
    premultiplied->setOpacityModifyRGB(false);
    EXPECT_EQ(premultiplied->getQuad().tl.colors.b, 100);
}

TEST_F(SpriteTest, NullTexturesFallBackToOneWhiteTexture) {
    KTTextureCache* cache = KTTextureCache::sharedTextureCache();
    EXPECT_EQ(cache->textureForKey("kt_2x2_white_image"), nullptr);

    auto* plain = new KTSprite();
    ASSERT_TRUE(plain->init());
    KTTexture2D* white = cache->textureForKey("kt_2x2_white_image");
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(plain->getTexture(), white);
    EXPECT_EQ(white->getPixelsWide(), 2u);

    KTSprite* other = KTSprite::createWithTexture(rawTexture(4, 4));
    other->setTexture(nullptr);
    EXPECT_EQ(other->getTexture(), white);
    EXPECT_EQ(cache->getTextureCount(), 1u);

    // A plain sprite given a size draws white.
    plain->setTextureRect(KTRect(0, 0, 10, 10));
    plain->setPosition(KTPoint(32, 32));
    EXPECT_EQ(at(drawAlone(plain), 32, 32), (Pixel{255, 255, 255, 255}));
    plain->release();

    plat::LogCapture log;
    EXPECT_EQ(KTSprite::createWithTexture(nullptr), nullptr);
    EXPECT_EQ(KTSprite::create((dir_.path() / "missing.png").c_str()), nullptr);
    EXPECT_EQ(KTSprite::create(nullptr), nullptr);
}

TEST_F(SpriteTest, DrawsFromItsOwnMemoryWhateverBufferIsBound) {
    KTSprite* sprite =
        KTSprite::create(writePNG("red.png", 8, 8, {255, 0, 0, 255}, {255, 0, 0, 255}).c_str());
    ASSERT_NE(sprite, nullptr);
    sprite->setPosition(KTPoint(32, 32));

    // Someone else's vertex buffer left bound would turn the quad's address into an offset into it.
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    std::vector<float> junk(64, 1000.0f);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(junk.size() * sizeof(float)), junk.data(),
                 GL_STATIC_DRAW);

    EXPECT_TRUE(testsupport::near(at(drawAlone(sprite), 32, 32), {255, 0, 0, 255}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteBuffers(1, &buffer);
}

}  // namespace
}  // namespace kite
