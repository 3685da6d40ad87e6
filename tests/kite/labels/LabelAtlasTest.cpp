// The atlas node and the label atlas on the real context: item counts, colour and blend rules, quads
// written for a text, growth of the atlas, broken character maps, and a generated number map read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/labels/KTAtlasNode.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureAtlas.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Log.h"
#include "tests/kite/labels/LabelsTestSupport.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

// Cell d of the generated number map: a colour no other cell has.
Pixel digitColour(int d) {
    return {static_cast<uint8_t>(20 + 23 * d), static_cast<uint8_t>(240 - 21 * d),
            static_cast<uint8_t>(d % 2 ? 60 : 180), 255};
}

// 120 x 15 pixels: ten 12 x 15 cells for '0'..'9', each in its digit's colour.
std::vector<uint8_t> numberMap() {
    std::vector<uint8_t> rgba(120 * 15 * 4);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 120; ++x) {
            const Pixel c = digitColour(x / 12);
            uint8_t* p = &rgba[(static_cast<size_t>(y) * 120 + x) * 4];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = c.a;
        }
    return rgba;
}

class LabelAtlasTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        labelstest::useOrthoView(64, 64);
        numberPath_ = (dir_.path() / "number.png").string();
        ASSERT_TRUE(labelstest::writePNG(numberPath_, numberMap(), 120, 15));
    }
    void TearDown() override {
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        KTTextureCache::purgeSharedTextureCache();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    // An empty texture of the given pixel size (scale factor 1), not premultiplied.
    static KTTexture2D* blankTexture(unsigned w, unsigned h) {
        auto* texture = new KTTexture2D();
        texture->initWithData(nullptr, kKTTexture2DPixelFormat_RGBA8888, w, h, KTSize(float(w), float(h)));
        return ktAutorelease(texture);
    }

    testsupport::TempDir dir_;
    std::string numberPath_;
};

TEST_F(LabelAtlasTest, ItemCountsColourAndBlendFollowTheTexture) {
    KTAtlasNode* grid = KTAtlasNode::create(blankTexture(256, 96), 16, 24, 4);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->getItemsPerRow(), 16u);
    EXPECT_EQ(grid->getItemsPerColumn(), 4u);
    EXPECT_EQ(grid->getQuadsToDraw(), 4u);
    EXPECT_EQ(grid->getTextureAtlas()->getCapacity(), 4u);

    // Not premultiplied: straight alpha blending and colours left alone.
    EXPECT_EQ(grid->getBlendFunc().src, static_cast<GLenum>(GL_SRC_ALPHA));
    EXPECT_EQ(grid->getBlendFunc().dst, static_cast<GLenum>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_FALSE(grid->isOpacityModifyRGB());
    grid->setOpacity(128);
    EXPECT_EQ(grid->getDisplayedColor().r, 255);

    // A decoded PNG with alpha is premultiplied: the opacity goes into the colour passed down.
    KTLabelAtlas* label = KTLabelAtlas::create("0", numberPath_.c_str(), 12, 15, '0');
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->getTexture()->hasPremultipliedAlpha());
    EXPECT_EQ(label->getBlendFunc().src, static_cast<GLenum>(GL_ONE));
    EXPECT_TRUE(label->isOpacityModifyRGB());
    label->setOpacity(128);
    EXPECT_EQ(label->getDisplayedColor().r, 128);
    EXPECT_EQ(label->getDisplayedColor().b, 128);
    EXPECT_EQ(label->getColor().r, 255);
    label->setColor(ktc3(200, 100, 0));
    EXPECT_EQ(label->getDisplayedColor().r, 100);  // 200 × 128 / 255, truncated
    EXPECT_EQ(label->getDisplayedColor().g, 50);
    EXPECT_EQ(label->getColor().r, 200);
    // Switching premultiplication off keeps the colour and drops the opacity from it.
    label->setOpacityModifyRGB(false);
    EXPECT_EQ(label->getDisplayedColor().r, 200);
}

TEST_F(LabelAtlasTest, NineZeroSevenWritesItsCellsAndContentSize) {
    KTLabelAtlas* label = KTLabelAtlas::create("907", numberPath_.c_str(), 12, 15, '0');
    ASSERT_NE(label, nullptr);
    EXPECT_STREQ(label->getString(), "907");
    EXPECT_FLOAT_EQ(label->getContentSize().width, 36);
    EXPECT_FLOAT_EQ(label->getContentSize().height, 15);
    EXPECT_EQ(label->getQuadsToDraw(), 3u);

    const ktTexturedQuad* quads = label->getTextureAtlas()->getQuads();
    const float lefts[3] = {108.0f / 120, 0, 84.0f / 120};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(quads[i].tl.texCoords.u, lefts[i]);
        EXPECT_FLOAT_EQ(quads[i].br.texCoords.u, lefts[i] + 12.0f / 120);
        EXPECT_FLOAT_EQ(quads[i].tl.texCoords.v, 0);
        EXPECT_FLOAT_EQ(quads[i].bl.texCoords.v, 1);
        EXPECT_FLOAT_EQ(quads[i].bl.vertices.x, 12.0f * i);
        EXPECT_FLOAT_EQ(quads[i].tr.vertices.x, 12.0f * i + 12);
        EXPECT_FLOAT_EQ(quads[i].tr.vertices.y, 15);
        EXPECT_EQ(quads[i].bl.colors.a, 255);
    }

    g_drawCallCount = 0;
    label->visit();
    EXPECT_EQ(g_drawCallCount, 1u);
    const auto pixels = readPixels();
    const int digits[3] = {9, 0, 7};
    for (int i = 0; i < 3; ++i) {
        // Both edge columns and the middle of each cell come from that digit's cell only.
        for (int x : {12 * i, 12 * i + 6, 12 * i + 11}) {
            for (int y : {0, 7, 14}) {
                EXPECT_EQ(pixel(pixels, x, 63 - y), digitColour(digits[i])) << "x " << x << " y " << y;
            }
        }
    }
    EXPECT_EQ(pixel(pixels, 36, 63), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(pixel(pixels, 5, 63 - 15), (Pixel{0, 0, 0, 0}));
}

TEST_F(LabelAtlasTest, TextsGrowTheAtlasShrinkWithoutFreeingAndWrapBelowTheFirstCharacter) {
    KTLabelAtlas* label = KTLabelAtlas::create("12", numberPath_.c_str(), 12, 15, '0');
    ASSERT_NE(label, nullptr);
    KTTextureAtlas* atlas = label->getTextureAtlas();
    EXPECT_EQ(atlas->getCapacity(), 2u);

    label->setString("12345");
    EXPECT_EQ(atlas->getCapacity(), 5u);
    EXPECT_EQ(atlas->getTotalQuads(), 5u);
    EXPECT_EQ(label->getQuadsToDraw(), 5u);

    label->setString("9");
    EXPECT_EQ(atlas->getCapacity(), 5u);
    EXPECT_EQ(label->getQuadsToDraw(), 1u);
    EXPECT_FLOAT_EQ(label->getContentSize().width, 12);

    label->setString("");
    EXPECT_EQ(label->getQuadsToDraw(), 0u);
    EXPECT_FLOAT_EQ(label->getContentSize().width, 0);
    EXPECT_FLOAT_EQ(label->getContentSize().height, 15);
    g_drawCallCount = 0;
    label->visit();
    EXPECT_EQ(g_drawCallCount, 0u);

    // '/' is one below '0': cell 255, column 5 and row 25 of a ten-cell row.
    label->setString("/");
    const ktTexturedQuad& quad = atlas->getQuads()[0];
    EXPECT_FLOAT_EQ(quad.tl.texCoords.u, 60.0f / 120);
    EXPECT_FLOAT_EQ(quad.tl.texCoords.v, 25.0f);
    EXPECT_FLOAT_EQ(quad.bl.texCoords.v, 26.0f);
}

TEST_F(LabelAtlasTest, AtlasThatCannotGrowKeepsThePreviousText) {
    KTLabelAtlas* label = KTLabelAtlas::create("42", numberPath_.c_str(), 12, 15, '0');
    ASSERT_NE(label, nullptr);
    plat::LogCapture log;
    const std::string huge(KTTextureAtlas::kMaxCapacity + 1, '1');
    label->setString(huge.c_str());
    EXPECT_TRUE(log.contains("cannot grow"));
    EXPECT_STREQ(label->getString(), "42");
    EXPECT_EQ(label->getQuadsToDraw(), 2u);
    EXPECT_EQ(label->getTextureAtlas()->getCapacity(), 2u);
}

TEST_F(LabelAtlasTest, MissingMapsAndCellsLargerThanTheMapFail) {
    plat::LogCapture log;
    EXPECT_EQ(KTLabelAtlas::create("1", (dir_.path() / "absent.png").string().c_str(), 12, 15, '0'), nullptr);
    EXPECT_EQ(KTLabelAtlas::create("1", numberPath_.c_str(), 121, 15, '0'), nullptr);
    EXPECT_EQ(KTLabelAtlas::create("1", numberPath_.c_str(), 12, 16, '0'), nullptr);
    EXPECT_EQ(KTLabelAtlas::create("1", numberPath_.c_str(), 0, 15, '0'), nullptr);
    EXPECT_EQ(KTAtlasNode::create(nullptr, 12, 15, 1), nullptr);
    EXPECT_TRUE(log.contains("no texture"));
}

}  // namespace
}  // namespace kite
