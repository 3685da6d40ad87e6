// The TTF label with real fonts: sizes and layout defaults, texture rebuilt only on real changes, the font
// definition scaled for a 2x screen, and Japanese text read back from the screen.
#include <gtest/gtest.h>

#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/labels/KTLabelTTF.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "tests/kite/labels/LabelsTestSupport.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

class LabelTTFTest : public testsupport::GLTest {
  protected:
    LabelTTFTest() : GLTest(128, 64) {}
    void SetUp() override {
        GLTest::SetUp();
        KTDirector::sharedDirector();
        ktGLInvalidateStateCache();
        labelstest::useOrthoView(128, 64);
    }
    void TearDown() override {
        KTDirector::sharedDirector()->setContentScaleFactor(1.0f);
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        KTTextureCache::purgeSharedTextureCache();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    // Columns x0..x1 (bottom-left origin) of the read-back as a mask of inked pixels.
    std::vector<bool> inkMask(const std::vector<uint8_t>& pixels, int x0, int x1, int height) {
        std::vector<bool> mask;
        for (int y = 0; y < height; ++y)
            for (int x = x0; x < x1; ++x) mask.push_back(pixel(pixels, x, 63 - y).a > 100);
        return mask;
    }
};

TEST_F(LabelTTFTest, ContentSizeIsTheRenderedSizeWithCentredTopDefaults) {
    KTLabelTTF* label = KTLabelTTF::create("Score 42", "Arial", 20);
    ASSERT_NE(label, nullptr);
    EXPECT_STREQ(label->getString(), "Score 42");
    EXPECT_EQ(label->getHorizontalAlignment(), kKTTextAlignmentCenter);
    EXPECT_EQ(label->getVerticalAlignment(), kKTVerticalTextAlignmentTop);
    EXPECT_FLOAT_EQ(label->getDimensions().width, 0);

    KTTexture2D* texture = label->getTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_TRUE(texture->hasPremultipliedAlpha());
    EXPECT_EQ(label->getBlendFunc().src, static_cast<GLenum>(GL_ONE));
    EXPECT_GT(label->getContentSize().width, 40);
    EXPECT_GT(label->getContentSize().height, 15);
    EXPECT_FLOAT_EQ(label->getContentSize().width, texture->getContentSize().width);
    EXPECT_FLOAT_EQ(label->getContentSize().height, texture->getContentSize().height);
    EXPECT_FLOAT_EQ(label->getTextureRect().size.width, texture->getContentSize().width);
}

TEST_F(LabelTTFTest, OnlyRealChangesRenderANewTexture) {
    KTLabelTTF* label = KTLabelTTF::create("123", "Arial", 20);
    ASSERT_NE(label, nullptr);
    KTTexture2D* first = label->getTexture();
    label->setString("123");
    label->setHorizontalAlignment(kKTTextAlignmentCenter);
    label->setDimensions(KTSize(0, 0));
    EXPECT_EQ(label->getTexture(), first);

    label->setDimensions(KTSize(100, 30));
    EXPECT_NE(label->getTexture(), first);
    EXPECT_FLOAT_EQ(label->getContentSize().width, 100);
    EXPECT_FLOAT_EQ(label->getContentSize().height, 30);

    KTTexture2D* second = label->getTexture();
    label->setString("124");
    EXPECT_NE(label->getTexture(), second);

    // An empty label stores layout changes without rendering anything.
    KTLabelTTF* empty = KTLabelTTF::create("", "Arial", 20);
    ASSERT_NE(empty, nullptr);
    KTTexture2D* fallback = empty->getTexture();
    empty->setDimensions(KTSize(50, 50));
    empty->setHorizontalAlignment(kKTTextAlignmentRight);
    EXPECT_EQ(empty->getTexture(), fallback);
    EXPECT_FLOAT_EQ(empty->getDimensions().width, 50);
    EXPECT_EQ(empty->getHorizontalAlignment(), kKTTextAlignmentRight);
}

TEST_F(LabelTTFTest, InitGivesAnEmptyLeftTopHelveticaLabel) {
    auto* label = new KTLabelTTF();
    ASSERT_TRUE(label->init());
    EXPECT_STREQ(label->getString(), "");
    EXPECT_STREQ(label->getFontName(), "Helvetica");
    EXPECT_FLOAT_EQ(label->getFontSize(), 12);
    EXPECT_EQ(label->getHorizontalAlignment(), kKTTextAlignmentLeft);
    EXPECT_EQ(label->getVerticalAlignment(), kKTVerticalTextAlignmentTop);
    EXPECT_EQ(label->getTexture(), KTTextureCache::sharedTextureCache()->textureForKey("kt_2x2_white_image"));
    EXPECT_FLOAT_EQ(label->getContentSize().width, 0);
    g_drawCallCount = 0;
    label->release();
}

TEST_F(LabelTTFTest, FontDefinitionIsScaledForTheScreen) {
    KTDirector::sharedDirector()->setContentScaleFactor(2.0f);
    KTLabelTTF* label = KTLabelTTF::create("Lv", "Arial", KTSize(100, 20), kKTTextAlignmentRight,
                                           kKTVerticalTextAlignmentBottom, 15.5f);
    ASSERT_NE(label, nullptr);
    const _ccFontDefinition definition = label->prepareFontDefinitionAndAdjustForResolution();
    EXPECT_EQ(definition.m_fontSize, 31);
    EXPECT_EQ(definition.m_fontName, "Arial");
    EXPECT_FLOAT_EQ(definition.m_dimensions.width, 200);
    EXPECT_FLOAT_EQ(definition.m_dimensions.height, 40);
    EXPECT_EQ(definition.m_alignment, kKTTextAlignmentRight);
    EXPECT_EQ(definition.m_vertAlignment, kKTVerticalTextAlignmentBottom);
    EXPECT_FALSE(definition.m_shadow.m_shadowEnabled);
    EXPECT_FALSE(definition.m_stroke.m_strokeEnabled);

    KTTexture2D* texture = label->getTexture();
    EXPECT_FLOAT_EQ(texture->getContentSizeInPixels().width, 200);
    EXPECT_FLOAT_EQ(texture->getContentSizeInPixels().height, 40);
    EXPECT_FLOAT_EQ(label->getContentSize().width, 100);
    EXPECT_FLOAT_EQ(label->getContentSize().height, 20);
}

TEST_F(LabelTTFTest, JapaneseTextIsDrawnGlyphByGlyph) {
    KTLabelTTF* label = KTLabelTTF::create("日本語", "Arial", 24);
    ASSERT_NE(label, nullptr);
    const KTSize size = label->getContentSize();
    ASSERT_GT(size.width, 60);
    ASSERT_LT(size.width, 128);
    label->setPosition(KTPoint(size.width / 2, size.height / 2));
    g_drawCallCount = 0;
    label->visit();
    EXPECT_EQ(g_drawCallCount, 1u);

    const auto pixels = readPixels();
    const int glyph = static_cast<int>(size.width) / 3;
    const int height = static_cast<int>(size.height);
    std::vector<std::vector<bool>> masks;
    for (int i = 0; i < 3; ++i) {
        masks.push_back(inkMask(pixels, i * glyph, (i + 1) * glyph, height));
        int inked = 0;
        for (bool b : masks.back()) inked += b;
        EXPECT_GT(inked, glyph * 2) << "glyph " << i;
    }
    // Three different shapes, not three copies of a missing-glyph box.
    EXPECT_NE(masks[0], masks[1]);
    EXPECT_NE(masks[1], masks[2]);
    // Nothing beyond the rendered size.
    EXPECT_EQ(pixel(pixels, static_cast<int>(size.width) + 2, 63 - height / 2).a, 0);
}

}  // namespace
}  // namespace kite
