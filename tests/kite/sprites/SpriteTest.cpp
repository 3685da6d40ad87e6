// Sprites on the real context: quads, texture coordinates and colours as written, pictures drawn where and
// how they should appear (flips, opacity with and without premultiplied alpha), the white fallback texture.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/image/KTImage.h"
#include "kite/layers/KTLayer.h"
#include "kite/nodes/KTNode.h"
#include "kite/nodes/KTScene.h"
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

    KTTexture2D* rawTexture(int width, int height, std::vector<uint8_t> rgba = {0xFF, 0xFF, 0xFF, 0xFF}) {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), rgba.begin(), rgba.end());
        KTImage* image = testdraw::makeImage(pixels, width, height);
        auto* texture = new KTTexture2D();
        EXPECT_TRUE(texture->initWithImage(image));
        image->release();
        texture->autorelease();
        return texture;
    }

    // Draws the sprite alone over a black view and reads the frame back.
    std::vector<uint8_t> drawAlone(KTNode* node) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        node->visit();
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

// The draw path: consecutive sprites of one program, texture and blend reach GL with nothing but their
// draw; sprites still land where their transforms put them after other client-memory draws, after a
// projection change, across director frames, and under a program that applies the model-view matrix itself.
struct Counted {
    int stateCalls = 0;  // program, blend, texture, vertex array object and attribute array switches
    int pointerCalls = 0;
    const void* positions = nullptr;  // where the last position pointer aimed
};
Counted g_counted;
KTGLStateCalls g_driver;

class SpriteDrawPathTest : public SpriteTest {
  protected:
    void SetUp() override {
        SpriteTest::SetUp();
        g_counted = {};
        g_driver = ktGLDefaultStateCalls();
        KTGLStateCalls& calls = ktGLStateCalls();
        calls.useProgram = [](GLuint p) { ++g_counted.stateCalls, g_driver.useProgram(p); };
        calls.enable = [](GLenum c) { ++g_counted.stateCalls, g_driver.enable(c); };
        calls.disable = [](GLenum c) { ++g_counted.stateCalls, g_driver.disable(c); };
        calls.blendFunc = [](GLenum s, GLenum d) { ++g_counted.stateCalls, g_driver.blendFunc(s, d); };
        calls.bindTexture = [](GLenum t, GLuint n) { ++g_counted.stateCalls, g_driver.bindTexture(t, n); };
        calls.enableVertexAttribArray = [](GLuint i) {
            ++g_counted.stateCalls, g_driver.enableVertexAttribArray(i);
        };
        calls.bindVertexArray = [](GLuint a) { ++g_counted.stateCalls, g_driver.bindVertexArray(a); };
        calls.vertexAttribPointer = [](GLuint i, GLint n, GLenum t, GLboolean norm, GLsizei s,
                                       const void* p) {
            ++g_counted.pointerCalls, g_driver.vertexAttribPointer(i, n, t, norm, s, p);
            if (i == kKTVertexAttrib_Position) g_counted.positions = p;
        };
    }
    void TearDown() override {
        ktGLStateCalls() = ktGLDefaultStateCalls();
        SpriteTest::TearDown();
    }

    // A sprite of 8 x 8 pixels of one opaque colour, centred at (x, y).
    KTSprite* square(const std::vector<uint8_t>& rgba, float x, float y) {
        KTSprite* sprite = KTSprite::createWithTexture(rawTexture(8, 8, rgba));
        sprite->setPosition(KTPoint(x, y));
        return sprite;
    }
};

TEST_F(SpriteDrawPathTest, SpritesSharingTheirStateReachGLOnlyToDraw) {
    KTNode* root = KTNode::create();
    KTSprite* first = square({255, 0, 0, 255}, 10, 10);
    root->addChild(first);
    for (float x : {30.0f, 50.0f}) {
        KTSprite* sprite = KTSprite::createWithTexture(first->getTexture());
        sprite->setPosition(KTPoint(x, 10));
        sprite->setRotation(90);
        root->addChild(sprite);
    }
    drawAlone(root);  // the first frame sets what every sprite shares

    g_counted = {};
    const unsigned int drawsBefore = g_drawCallCount;
    const auto rgba = drawAlone(root);
    EXPECT_EQ(g_drawCallCount, drawsBefore + 3);
    EXPECT_EQ(g_counted.stateCalls, 0);
    EXPECT_EQ(g_counted.pointerCalls, 0);
    for (int x : {10, 30, 50}) {
        EXPECT_TRUE(testsupport::near(at(rgba, x, 10), {255, 0, 0, 255})) << x;
        EXPECT_EQ(at(rgba, x, 20), (Pixel{0, 0, 0, 0})) << x;
    }
    EXPECT_EQ(at(rgba, 20, 10), (Pixel{0, 0, 0, 0}));

    // The projection's change reaches the next sprite: a view of 0..32 doubles everything.
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxMat4 ortho;
    mxMat4OrthographicProjection(&ortho, 0, 32, 0, 32, -1, 1);
    mxGLMultMatrix(&ortho);
    mxGLMatrixMode(MX_GL_MODELVIEW);
    const auto zoomed = drawAlone(first);
    EXPECT_TRUE(testsupport::near(at(zoomed, 20, 20), {255, 0, 0, 255}));
    EXPECT_TRUE(testsupport::near(at(zoomed, 13, 13), {255, 0, 0, 255}));
    EXPECT_EQ(at(zoomed, 30, 20), (Pixel{0, 0, 0, 0}));
}

// A sprite whose quad is no upright rectangle at z 0, as a subclass may write it.
struct BentSprite : KTSprite {
    void bend() {
        m_sQuad.tr.vertices.x += 3;
        m_sQuad.tl.vertices.z = 2;
    }
};

// Where a sprite keeps what its visit and draw read, as bytes from the start of the object.
struct ProbedSprite : KTSprite {
    size_t endOf(const void* field, size_t size) const {
        return static_cast<size_t>(static_cast<const char*>(field) - reinterpret_cast<const char*>(this)) +
               size;
    }
    size_t hotEnd() const {
        return std::max({endOf(&m_obPosition, sizeof m_obPosition), endOf(&m_sTransform, sizeof m_sTransform),
                         endOf(&m_pChildren, sizeof m_pChildren),
                         endOf(&m_pShaderProgram, sizeof m_pShaderProgram),
                         endOf(&m_pobTexture, sizeof m_pobTexture), endOf(&m_sBlendFunc, sizeof m_sBlendFunc),
                         endOf(&m_sQuad, sizeof m_sQuad)});
    }
};

TEST_F(SpriteTest, WhatAFrameReadsOfASpriteIsWhatTheVisitPrefetches) {
    auto* sprite = new ProbedSprite();
    EXPECT_LE(sprite->hotEnd(), static_cast<size_t>(kKTNodeHotBytes));
    sprite->release();
}

TEST_F(SpriteDrawPathTest, CornersSentToGLAreTheQuadTimesTheModelview) {
    KTNode* parent = KTNode::create();
    parent->setPosition(KTPoint(33.3f, 21.7f));
    parent->setRotation(17);
    parent->setScaleXY(1.25f, 0.8f);
    KTSprite* sprite = square({255, 0, 0, 255}, 10.37f, 5.91f);
    sprite->setRotation(-31);
    sprite->setScaleXY(1.5f, -0.75f);
    sprite->setAnchorPoint(KTPoint(0.3f, 0.7f));
    sprite->setVertexZ(3);
    sprite->setFlipX(true);
    auto* bent = new BentSprite();
    ASSERT_TRUE(bent->initWithTexture(sprite->getTexture()));
    bent->autorelease();
    bent->bend();
    bent->setPosition(KTPoint(7.5f, 9.25f));
    bent->setRotation(45);

    for (KTSprite* drawn : {sprite, static_cast<KTSprite*>(bent)}) {
        parent->removeAllChildren();
        parent->addChild(drawn);
        drawAlone(parent);
        ASSERT_NE(g_counted.positions, nullptr);

        // The model-view matrix the sprite drew under, made the way visit makes it.
        mxMat4 m;
        mxGLPushMatrix();
        parent->transform();
        drawn->transform();
        mxGLGetMatrix(MX_GL_MODELVIEW, &m);
        mxGLPopMatrix();

        const ktQuadVertex* sent = static_cast<const ktQuadVertex*>(g_counted.positions);
        const ktQuadVertex* own = &drawn->getQuad().tl;
        for (int i = 0; i < 4; ++i) {
            const ktVertex3F& v = own[i].vertices;
            const float* c = m.mat;
            EXPECT_EQ(sent[i].vertices.x, c[0] * v.x + c[4] * v.y + c[8] * v.z + c[12]) << i;
            EXPECT_EQ(sent[i].vertices.y, c[1] * v.x + c[5] * v.y + c[9] * v.z + c[13]) << i;
            EXPECT_EQ(sent[i].vertices.z, c[2] * v.x + c[6] * v.y + c[10] * v.z + c[14]) << i;
            EXPECT_EQ(sent[i].texCoords.u, own[i].texCoords.u) << i;
            EXPECT_EQ(sent[i].texCoords.v, own[i].texCoords.v) << i;
            EXPECT_EQ(sent[i].colors.r, own[i].colors.r) << i;
            EXPECT_EQ(sent[i].colors.a, own[i].colors.a) << i;
        }
    }
}

TEST_F(SpriteDrawPathTest, ASpriteSetsItselfUpAgainAfterAnythingChangedInBetween) {
    KTNode* root = KTNode::create();
    KTSprite* red = square({255, 0, 0, 255}, 10, 10);
    KTSprite* blue = square({0, 0, 255, 255}, 30, 10);
    KTSprite* redAgain = KTSprite::createWithTexture(red->getTexture());
    redAgain->setPosition(KTPoint(50, 10));
    root->addChild(red);
    root->addChild(blue);
    root->addChild(redAgain);
    KTGLProgram* program = red->getShaderProgram();

    // Between frames other code switches the texture, the blend (to one that draws nothing), the program,
    // and sends the sprites' program a matrix of its own; each in turn, then all at once.
    KTGLProgram* other = KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionColor);
    const GLfloat zero[16] = {};
    const std::vector<std::function<void()>> changes = {
        [&] { ktGLBindTexture2D(blue->getTexture()->getName()); },
        [&] { ktGLBlendFunc(GL_ZERO, GL_ONE); },
        [&] { other->use(); },
        [&] {
            program->setUniformLocationWithMatrix4fv(program->getUniformLocation(kKTUniformMVPMatrix), zero,
                                                     1);
        },
        [&] { ktGLResetStateCache(); },
    };
    for (size_t i = 0; i <= changes.size(); ++i) {
        drawAlone(root);
        if (i < changes.size()) {
            changes[i]();
        } else {
            for (auto& change : changes) change();
        }
        const auto rgba = drawAlone(root);
        EXPECT_TRUE(testsupport::near(at(rgba, 10, 10), {255, 0, 0, 255})) << i;
        EXPECT_TRUE(testsupport::near(at(rgba, 30, 10), {0, 0, 255, 255})) << i;
        EXPECT_TRUE(testsupport::near(at(rgba, 50, 10), {255, 0, 0, 255})) << i;
        EXPECT_EQ(at(rgba, 20, 10), (Pixel{0, 0, 0, 0})) << i;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SpriteDrawPathTest, SpritesAroundOtherClientMemoryDrawsKeepTheirOwnVertices) {
    KTNode* root = KTNode::create();
    root->addChild(square({255, 0, 0, 255}, 10, 10));
    // A colour layer sets attribute pointers of its own between the two sprites.
    KTLayerColor* layer = KTLayerColor::create(_ccColor4B{0, 255, 0, 255}, 8, 8);
    layer->setPosition(KTPoint(26, 26));
    root->addChild(layer);
    root->addChild(square({0, 0, 255, 255}, 50, 50));

    for (int frame = 0; frame < 2; ++frame) {
        const auto rgba = drawAlone(root);
        EXPECT_TRUE(testsupport::near(at(rgba, 10, 10), {255, 0, 0, 255}));
        EXPECT_TRUE(testsupport::near(at(rgba, 30, 30), {0, 255, 0, 255}));
        EXPECT_TRUE(testsupport::near(at(rgba, 50, 50), {0, 0, 255, 255}));
        EXPECT_EQ(at(rgba, 40, 40), (Pixel{0, 0, 0, 0}));
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SpriteDrawPathTest, ProgramThatAppliesTheModelviewItselfGetsTheSpritesOwnQuad) {
    auto* program = new KTGLProgram();
    program->initWithVertexShaderSource(
        "attribute vec4 a_position;\nattribute vec2 a_texCoord;\nvarying vec2 v_texCoord;\n"
        "void main() { gl_Position = KT_PMatrix * KT_MVMatrix * a_position; v_texCoord = a_texCoord; }\n",
        "varying vec2 v_texCoord;\nuniform sampler2D KT_Texture0;\n"
        "void main() { gl_FragColor = texture2D(KT_Texture0, v_texCoord); }\n");
    program->addAttribute(kKTAttributeNamePosition, kKTVertexAttrib_Position);
    program->addAttribute(kKTAttributeNameTexCoord, kKTVertexAttrib_TexCoords);
    program->link();
    program->updateUniforms();
    ASSERT_FALSE(program->acceptsEyeSpaceVertices());

    KTNode* root = KTNode::create();
    KTSprite* plain = square({255, 0, 0, 255}, 10, 10);
    KTSprite* custom = square({0, 0, 255, 255}, 40, 20);
    custom->setShaderProgram(program);
    program->release();
    root->addChild(plain);
    root->addChild(custom);
    root->setPosition(KTPoint(4, 4));

    const auto rgba = drawAlone(root);
    EXPECT_TRUE(testsupport::near(at(rgba, 14, 14), {255, 0, 0, 255}));
    EXPECT_TRUE(testsupport::near(at(rgba, 44, 24), {0, 0, 255, 255}));
    EXPECT_EQ(at(rgba, 44, 14), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(at(rgba, 37, 17), (Pixel{0, 0, 0, 0}));
}

// Subclasses that draw or place themselves their own way, visited between plain sprites of one set-up.
struct ShiftedSprite : KTSprite {
    KTAffineTransform nodeToParentTransform() override {
        return KTAffineTransformTranslate(KTSprite::nodeToParentTransform(), 20, 0);
    }
};
struct CountingSprite : KTSprite {
    int draws = 0;
    void draw() override { ++draws; }
};

TEST_F(SpriteDrawPathTest, OverriddenTransformAndDrawAreStillWhatASpriteIsVisitedWith) {
    KTNode* root = KTNode::create();
    KTSprite* plain = square({255, 0, 0, 255}, 10, 10);
    root->addChild(plain);
    auto* shifted = new ShiftedSprite();
    auto* counting = new CountingSprite();
    for (KTSprite* sprite : {static_cast<KTSprite*>(shifted), static_cast<KTSprite*>(counting)}) {
        ASSERT_TRUE(sprite->initWithTexture(plain->getTexture()));
        sprite->autorelease();
        root->addChild(sprite);
    }
    shifted->setPosition(KTPoint(30, 10));
    counting->setPosition(KTPoint(10, 40));
    for (int frame = 0; frame < 2; ++frame) {
        const auto rgba = drawAlone(root);
        EXPECT_TRUE(testsupport::near(at(rgba, 10, 10), {255, 0, 0, 255}));
        EXPECT_TRUE(testsupport::near(at(rgba, 50, 10), {255, 0, 0, 255}));
        EXPECT_EQ(at(rgba, 30, 10), (Pixel{0, 0, 0, 0}));
        EXPECT_EQ(at(rgba, 10, 40), (Pixel{0, 0, 0, 0}));
        EXPECT_EQ(counting->draws, frame + 1);
    }
}

// Views composited between two director frames may aim the attribute arrays at their own vertices; the
// next frame's sprites must not draw from them.
class SpriteDirectorFrameTest : public testsupport::GLTest {};

TEST_F(SpriteDirectorFrameTest, AttributeArraysAimedElsewhereBetweenFramesAreAimedBack) {
    testsupport::VirtualClockScope clock;
    ktGLInvalidateStateCache();
    testdraw::useTextureColorProgram();
    KTDirector* director = KTDirector::sharedDirector();
    KTScene* scene = KTScene::create();
    std::vector<uint8_t> red;
    for (int i = 0; i < 64; ++i) red.insert(red.end(), {255, 0, 0, 255});
    KTImage* image = testdraw::makeImage(red, 8, 8);
    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addUIImage(image, "red_square");
    image->release();
    KTSprite* sprite = KTSprite::createWithTexture(texture);
    sprite->setPosition(KTPoint(20, 20));
    scene->addChild(sprite);
    director->runWithScene(scene);

    const std::vector<float> elsewhere(64, 0.0f);
    for (int frame = 0; frame < 3; ++frame) {
        clock.clock().advance(1.0 / 60);
        glClearColor(0, 0, 0, 0);
        director->mainLoop();
        const auto rgba = readPixels();
        EXPECT_TRUE(testsupport::near(pixel(rgba, 20, height_ - 1 - 20), {255, 0, 0, 255})) << frame;
        for (GLuint attribute = 0; attribute < 3; ++attribute)
            glVertexAttribPointer(attribute, 2, GL_FLOAT, GL_FALSE, 0, elsewhere.data());
    }

    director->end();
    director->mainLoop();
    KTTextureCache::purgeSharedTextureCache();
    KTShaderCache::purgeSharedShaderCache();
    ktGLInvalidateStateCache();
}

}  // namespace
}  // namespace kite
