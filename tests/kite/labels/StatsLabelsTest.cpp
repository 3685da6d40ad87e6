// The director's statistics labels: built from the font image in the program when a GL view arrives, shown
// by setDisplayStats, refreshed with the statistics texts and drawn glyph for glyph from the font image.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kite/core/KTDirector.h"
#include "kite/image/KTImage.h"
#include "kite/labels/KTFPSImages.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "tests/kite/platform/TestGLView.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 320;  // design height 320: the labels are not scaled

class StatsLabelsTest : public testsupport::GLTest {
  protected:
    StatsLabelsTest() : GLTest(kWidth, kHeight) {}

    void SetUp() override {
        GLTest::SetUp();
        view_ = std::make_unique<testsupport::TestGLView>(gl_, kWidth, kHeight);
        director_ = KTDirector::sharedDirector();
        director_->setOpenGLView(view_.get());
        view_->setDesignResolutionSize(kWidth, kHeight, kResolutionExactFit);
        director_->setProjection(kKTDirectorProjection2D);
    }
    void TearDown() override {
        KTDirector* director = KTDirector::sharedDirector();
        director->end();
        director->mainLoop();
    }
    void frame() {
        clock_.clock().advance(1.0 / 60);
        director_->mainLoop();
    }

    // Pixels lit white in the rectangle (x, y from the bottom left) of the last frame.
    int whitePixels(const std::vector<uint8_t>& pixels, int x0, int y0, int w, int h) {
        int count = 0;
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                if (pixel(pixels, x, kHeight - 1 - y).r > 200) ++count;
        return count;
    }

    testsupport::VirtualClockScope clock_;
    std::unique_ptr<testsupport::TestGLView> view_;
    KTDirector* director_ = nullptr;
};

TEST_F(StatsLabelsTest, LabelsAreBuiltFromTheFontImageWithTheView) {
    KTLabelAtlas* fps = director_->getFPSLabel();
    ASSERT_NE(fps, nullptr);
    ASSERT_NE(director_->getSecondsPerFrameLabel(), nullptr);
    ASSERT_NE(director_->getDrawCallsLabel(), nullptr);
    EXPECT_STREQ(fps->getString(), "00.0");
    EXPECT_STREQ(director_->getSecondsPerFrameLabel()->getString(), "0.000");
    EXPECT_STREQ(director_->getDrawCallsLabel()->getString(), "000");
    EXPECT_EQ(fps->getItemsPerRow(), 21u);  // 256 / 12 cells of the picture's pixels
    EXPECT_EQ(fps->getPosition().y, 0);
    EXPECT_EQ(director_->getSecondsPerFrameLabel()->getPosition().y, 17);
    EXPECT_EQ(director_->getDrawCallsLabel()->getPosition().y, 34);

    KTTexture2D* font = KTTextureCache::sharedTextureCache()->textureForKey("kt_fps_images");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(fps->getTexture(), font);
    EXPECT_EQ(font->getPixelFormat(), kKTTexture2DPixelFormat_RGBA4444);
    EXPECT_EQ(KTTexture2D::defaultAlphaPixelFormat(), kKTTexture2DPixelFormat_RGBA8888) << "restored after";

    // A taller design scales the labels and rebuilds them from a fresh texture.
    view_->setDesignResolutionSize(kWidth, 640, kResolutionExactFit);
    ASSERT_NE(director_->getFPSLabel(), nullptr);
    EXPECT_FLOAT_EQ(director_->getFPSLabel()->getScale(), 2.0f);
    EXPECT_EQ(director_->getDrawCallsLabel()->getPosition().y, 68);
}

TEST_F(StatsLabelsTest, StatisticsAppearOnlyWithDisplayStats) {
    director_->runWithScene(KTScene::create());
    frame();
    EXPECT_EQ(whitePixels(readPixels(), 0, 0, 80, 70), 0);

    director_->setDisplayStats(true);
    for (int i = 0; i < 31; ++i) frame();  // past half a second: the texts refresh
    EXPECT_STREQ(director_->getFPSText(), "60.0");
    EXPECT_STREQ(director_->getFPSLabel()->getString(), "60.0");
    EXPECT_STREQ(director_->getSecondsPerFrameLabel()->getString(), director_->getSecondsPerFrameText());
    EXPECT_STREQ(director_->getDrawCallsLabel()->getString(), director_->getDrawCallsText());

    const auto pixels = readPixels();
    // Glyph rows 9..22 of each 32-pixel cell: nothing lit between the three labels' glyphs.
    EXPECT_GT(whitePixels(pixels, 0, 9, 48, 14), 0);
    EXPECT_GT(whitePixels(pixels, 0, 17 + 9, 60, 14), 0);
    EXPECT_GT(whitePixels(pixels, 0, 34 + 9, 48, 14), 0);
    EXPECT_EQ(whitePixels(pixels, 0, 0, 80, 9), 0);
    EXPECT_EQ(whitePixels(pixels, 60, 0, 100, 100), 0) << "the labels are no wider than their texts";

    // The FPS label's first cell shows the font's '6' pixel for pixel (its top rows lie under the label
    // above).
    KTImage font;
    ASSERT_TRUE(font.initWithImageData(kKTFPSImagesPNG, static_cast<long>(kKTFPSImagesPNGLength),
                                       kKTImageFormat_PNG, 0, 0, 8));
    const int cell = '6' - '.';
    for (int y = 8; y < 32; ++y) {
        for (int x = 0; x < 12; ++x) {
            const uint8_t* texel =
                font.getData() + (static_cast<size_t>(y) * font.getWidth() + cell * 12 + x) * 4;
            const bool fontWhite = texel[0] > 200 && texel[3] > 200;
            const bool drawnWhite = pixel(pixels, x, kHeight - 32 + y).r > 200;
            EXPECT_EQ(drawnWhite, fontWhite) << "x " << x << " y " << y;
        }
    }

    director_->setDisplayStats(false);
    frame();
    EXPECT_EQ(whitePixels(readPixels(), 0, 0, 80, 70), 0);
}

}  // namespace
}  // namespace kite
