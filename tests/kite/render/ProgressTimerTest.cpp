// The progress timer over a real sprite: percentage and midpoint rules, radial vertex lists, bars read back
// from the screen, and drawing from client memory with stray GL bindings left by others.
#include <gtest/gtest.h>

#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/nodes/KTProgressTimer.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/media/GLContext.h"
#include "tests/kite/labels/LabelsTestSupport.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

constexpr Pixel kRed{255, 0, 0, 255};
constexpr Pixel kClear{0, 0, 0, 0};

class ProgressTimerTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        KTDirector::sharedDirector();  // its frame pool takes the autoreleased objects
        ktGLInvalidateStateCache();
        labelstest::useOrthoView(64, 64);
    }
    void TearDown() override {
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        KTTextureCache::purgeSharedTextureCache();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    // A sprite of one opaque colour, width x height points, its texture not premultiplied.
    static KTSprite* solidSprite(int width, int height) {
        const auto rgba = labelstest::solid(width, height, 255, 0, 0);
        KTImage image;
        image.initWithRawData(rgba.data(), static_cast<long>(rgba.size()), width, height, 8);
        auto* texture = new KTTexture2D();
        texture->initWithImage(&image);
        KTSprite* sprite = KTSprite::createWithTexture(texture);
        texture->release();
        return sprite;
    }

    // The timer's box placed at the origin of the view.
    static KTProgressTimer* timerAtOrigin(KTSprite* sprite) {
        KTProgressTimer* timer = KTProgressTimer::create(sprite);
        timer->setPosition(KTPoint(sprite->getContentSize().width / 2, sprite->getContentSize().height / 2));
        return timer;
    }

    Pixel at(const std::vector<uint8_t>& pixels, int x, int y) { return pixel(pixels, x, 63 - y); }

    static KTPoint position(const KTProgressTimer* timer, int i) {
        const ktProgressVertex& v = timer->getVertexData()[i];
        return {v.vertices.x, v.vertices.y};
    }
};

TEST_F(ProgressTimerTest, PercentageAndMidpointAreClampedAndNewTimersDrawNothing) {
    KTProgressTimer* timer = KTProgressTimer::create(solidSprite(64, 64));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->getType(), kKTProgressTimerTypeRadial);
    EXPECT_FLOAT_EQ(timer->getAnchorPoint().x, 0.5f);
    EXPECT_FLOAT_EQ(timer->getContentSize().width, 64);
    EXPECT_EQ(timer->getVertexData(), nullptr);
    g_drawCallCount = 0;
    timer->visit();
    EXPECT_EQ(g_drawCallCount, 0u);

    timer->setPercentage(150);
    EXPECT_FLOAT_EQ(timer->getPercentage(), 100);
    timer->setPercentage(-5);
    EXPECT_FLOAT_EQ(timer->getPercentage(), 0);

    timer->setMidpoint(KTPoint(2, -1));
    EXPECT_FLOAT_EQ(timer->getMidpoint().x, 1);
    EXPECT_FLOAT_EQ(timer->getMidpoint().y, 0);

    // A type change frees the vertices; the same percentage again does not build them.
    timer->setPercentage(30);
    ASSERT_NE(timer->getVertexData(), nullptr);
    timer->setType(kKTProgressTimerTypeBar);
    EXPECT_EQ(timer->getVertexData(), nullptr);
    timer->setPercentage(30);
    EXPECT_EQ(timer->getVertexData(), nullptr);
    timer->setPercentage(31);
    EXPECT_EQ(timer->getVertexDataCount(), 4);

    // Colour and opacity belong to the sprite and reach every vertex.
    timer->setColor(ktc3(10, 20, 30));
    EXPECT_EQ(timer->getSprite()->getColor().g, 20);
    EXPECT_EQ(timer->getVertexData()[3].colors.g, 20);
    timer->setOpacity(100);
    EXPECT_EQ(timer->getOpacity(), 100);
    EXPECT_EQ(timer->getVertexData()[0].colors.a, 100);
}

TEST_F(ProgressTimerTest, RadialVertexListsAtZeroQuarterAndFull) {
    KTProgressTimer* timer = KTProgressTimer::create(solidSprite(64, 64));
    ASSERT_NE(timer, nullptr);
    timer->setPercentage(25);
    ASSERT_EQ(timer->getVertexDataCount(), 4);
    const KTPoint quarter[4] = {{32, 32}, {32, 64}, {64, 64}, {64, 32}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(position(timer, i).x, quarter[i].x, 1e-4) << i;
        EXPECT_NEAR(position(timer, i).y, quarter[i].y, 1e-4) << i;
    }
    // Texture coordinates run top-down: the top of the picture is v = 0.
    EXPECT_FLOAT_EQ(timer->getVertexData()[1].texCoords.v, 0);
    EXPECT_FLOAT_EQ(timer->getVertexData()[2].texCoords.u, 1);

    // Same corner count: the buffer is kept and only the hit vertex moves.
    const ktProgressVertex* buffer = timer->getVertexData();
    timer->setPercentage(20);
    EXPECT_EQ(timer->getVertexData(), buffer);
    EXPECT_EQ(timer->getVertexDataCount(), 4);
    EXPECT_FLOAT_EQ(position(timer, 3).x, 64);
    EXPECT_GT(position(timer, 3).y, 32);

    timer->setPercentage(0);
    ASSERT_EQ(timer->getVertexDataCount(), 3);
    EXPECT_FLOAT_EQ(position(timer, 1).y, 64);
    EXPECT_FLOAT_EQ(position(timer, 2).x, position(timer, 1).x);
    EXPECT_FLOAT_EQ(position(timer, 2).y, position(timer, 1).y);

    timer->setPercentage(100);
    ASSERT_EQ(timer->getVertexDataCount(), 7);
    const KTPoint full[7] = {{32, 32}, {32, 64}, {64, 64}, {64, 0}, {0, 0}, {0, 64}, {32, 64}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_FLOAT_EQ(position(timer, i).x, full[i].x) << i;
        EXPECT_FLOAT_EQ(position(timer, i).y, full[i].y) << i;
    }
}

TEST_F(ProgressTimerTest, RadialQuarterFillsTheTopRightQuadrant) {
    KTProgressTimer* timer = timerAtOrigin(solidSprite(64, 64));
    timer->setPercentage(25);
    g_drawCallCount = 0;
    timer->visit();
    EXPECT_EQ(g_drawCallCount, 1u);
    const auto pixels = readPixels();
    EXPECT_EQ(at(pixels, 48, 48), kRed);
    EXPECT_EQ(at(pixels, 33, 62), kRed);
    EXPECT_EQ(at(pixels, 62, 33), kRed);
    EXPECT_EQ(at(pixels, 16, 48), kClear);
    EXPECT_EQ(at(pixels, 16, 16), kClear);
    EXPECT_EQ(at(pixels, 48, 16), kClear);
}

// The game's gauge: a bar growing rightwards from the left edge, over stray bindings left by other draws.
TEST_F(ProgressTimerTest, BarAtFortyPercentColoursExactlyTheLeftFortyPercent) {
    KTProgressTimer* timer = timerAtOrigin(solidSprite(50, 10));
    timer->setType(kKTProgressTimerTypeBar);
    timer->setMidpoint(KTPoint(0, 0.5f));
    timer->setBarChangeRate(KTPoint(1, 0));
    timer->setPercentage(40);
    ASSERT_EQ(timer->getVertexDataCount(), 4);

    GLuint stray[2];
    glGenBuffers(2, stray);
    const std::vector<uint8_t> junk(4096, 0x7f);
    glBindBuffer(GL_ARRAY_BUFFER, stray[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(junk.size()), junk.data(), GL_STATIC_DRAW);
    GLuint vao = 0;
    if (plat::glGenVertexArraysOES) {
        plat::glGenVertexArraysOES(1, &vao);
        ktGLBindVAO(vao);
    }
    glBindBuffer(GL_ARRAY_BUFFER, stray[1]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(junk.size()), junk.data(), GL_STATIC_DRAW);

    timer->visit();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const auto pixels = readPixels();
    for (int y : {0, 5, 9}) {
        for (int x = 0; x < 20; ++x) EXPECT_EQ(at(pixels, x, y), kRed) << x << "," << y;
        for (int x = 20; x < 52; ++x) EXPECT_EQ(at(pixels, x, y), kClear) << x << "," << y;
    }
    EXPECT_EQ(at(pixels, 5, 10), kClear);

    ktGLBindVAO(0);
    if (vao) plat::glDeleteVertexArraysOES(1, &vao);
    glDeleteBuffers(2, stray);
}

TEST_F(ProgressTimerTest, ReversedBarKeepsBothOuterPartsInTwoDraws) {
    KTProgressTimer* timer = timerAtOrigin(solidSprite(40, 10));
    timer->setType(kKTProgressTimerTypeBar);
    timer->setBarChangeRate(KTPoint(1, 0));
    timer->setReverseProgress(true);
    timer->setPercentage(50);  // the middle half is cut out
    ASSERT_EQ(timer->getVertexDataCount(), 8);
    g_drawCallCount = 0;
    timer->visit();
    EXPECT_EQ(g_drawCallCount, 2u);
    const auto pixels = readPixels();
    EXPECT_EQ(at(pixels, 2, 5), kRed);
    EXPECT_EQ(at(pixels, 9, 5), kRed);
    EXPECT_EQ(at(pixels, 20, 5), kClear);
    EXPECT_EQ(at(pixels, 30, 5), kRed);
    EXPECT_EQ(at(pixels, 38, 5), kRed);
}

}  // namespace
}  // namespace kite
