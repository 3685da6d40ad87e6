// Points drawn on the real context and read back: default colour and size, colour from bytes, point size
// scaled by the content scale factor, and the draw counter.
#include <gtest/gtest.h>

#include "kite/core/KTDirector.h"
#include "kite/draw/KTDrawingPrimitives.h"
#include "tests/kite/labels/LabelsTestSupport.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

class DrawingPrimitivesTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        labelstest::useOrthoView(64, 64);
        ktGLBlendFunc(GL_ONE, GL_ZERO);
    }
    void TearDown() override {
        ktDrawColor4B(255, 255, 255, 255);
        KTDirector::sharedDirector()->setContentScaleFactor(1.0f);
        ktPointSize(1);
        ktDrawFree();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    // Pixel (x, y) counted from the bottom left, as GL draws.
    Pixel at(const std::vector<uint8_t>& pixels, int x, int y) { return pixel(pixels, x, 63 - y); }

    // Width of the lit run through row y starting from column 0.
    int litWidth(const std::vector<uint8_t>& pixels, int y) {
        int width = 0;
        for (int x = 0; x < 64; ++x)
            if (at(pixels, x, y).a != 0) ++width;
        return width;
    }
};

// The first test of the program sees the module untouched: opaque white, one pixel.
TEST_F(DrawingPrimitivesTest, FirstPointIsOneOpaqueWhitePixel) {
    ktDrawPoint(KTPoint(10.5f, 20.5f));
    const auto pixels = readPixels();
    EXPECT_EQ(at(pixels, 10, 20), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(litWidth(pixels, 20), 1);
    EXPECT_EQ(litWidth(pixels, 21), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DrawingPrimitivesTest, ColourBytesAndScaledPointSize) {
    ktDrawColor4B(255, 0, 0, 128);
    KTDirector::sharedDirector()->setContentScaleFactor(2.0f);
    ktPointSize(4);
    ktDrawPoint(KTPoint(32, 32));
    const auto pixels = readPixels();
    EXPECT_TRUE(testsupport::near(at(pixels, 32, 32), Pixel{255, 0, 0, 128}, 1))
        << ::testing::PrintToString(at(pixels, 32, 32));
    // Four points at a content scale of 2: eight pixels across, centred on the point.
    EXPECT_EQ(litWidth(pixels, 32), 8);
    EXPECT_EQ(at(pixels, 28, 32).a, 128);
    EXPECT_EQ(at(pixels, 27, 32).a, 0);
    EXPECT_EQ(at(pixels, 36, 32).a, 0);
}

TEST_F(DrawingPrimitivesTest, PointArraysCountOneDrawEvenWhenEmpty) {
    ktDrawColor4B(0, 255, 0, 255);
    const KTPoint points[3] = {{5.5f, 5.5f}, {15.5f, 5.5f}, {25.5f, 5.5f}};
    g_drawCallCount = 0;
    ktDrawPoints(points, 3);
    EXPECT_EQ(g_drawCallCount, 1u);
    ktDrawPoints(points, 0);
    EXPECT_EQ(g_drawCallCount, 2u);
    const auto pixels = readPixels();
    for (int x : {5, 15, 25}) EXPECT_EQ(at(pixels, x, 5), (Pixel{0, 255, 0, 255})) << x;
    EXPECT_EQ(litWidth(pixels, 5), 3);
}

// Freed and drawn again: the module takes a fresh program (the old cache is gone) and still draws.
TEST_F(DrawingPrimitivesTest, DrawsAgainAfterFreeWithANewShaderCache) {
    ktDrawPoint(KTPoint(1.5f, 1.5f));
    ktDrawFree();
    KTShaderCache::purgeSharedShaderCache();
    ktGLInvalidateStateCache();
    testsupport::resetGLState();
    labelstest::useOrthoView(64, 64);
    ktGLBlendFunc(GL_ONE, GL_ZERO);
    ktDrawColor4B(0, 0, 255, 255);
    ktDrawPoint(KTPoint(40.5f, 40.5f));
    EXPECT_EQ(at(readPixels(), 40, 40), (Pixel{0, 0, 255, 255}));
}

}  // namespace
}  // namespace kite
