// The render texture on the real context: a known picture drawn into it, read back upright, saved as PNG and
// JPEG into the writable directory and shown again through its flipped sprite; sizes on a 2x screen,
// restored GL state, refused framebuffers and failed saves.
#include <gtest/gtest.h>

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/image/KTImage.h"
#include "kite/nodes/KTScene.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTRenderTexture.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Log.h"
#include "platform/storage/Paths.h"
#include "tests/kite/labels/LabelsTestSupport.h"
#include "tests/kite/platform/TestGLView.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

constexpr Pixel kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255},
    kWhite{255, 255, 255, 255};

class RenderTextureTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        view_ = std::make_unique<testsupport::TestGLView>(gl_, 64, 64);
        director_ = KTDirector::sharedDirector();
        director_->setOpenGLView(view_.get());
        view_->setDesignResolutionSize(64, 64, kResolutionExactFit);
        director_->setProjection(kKTDirectorProjection2D);
    }
    void TearDown() override {
        director_->end();
        director_->mainLoop();
    }

    // 64 x 64 points in four quadrants: red top left, green top right, blue bottom left, white bottom right.
    static KTSprite* quadrantSprite() {
        std::vector<uint8_t> rgba(64 * 64 * 4);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const Pixel c = y < 32 ? (x < 32 ? kRed : kGreen) : (x < 32 ? kBlue : kWhite);
                uint8_t* p = &rgba[(static_cast<size_t>(y) * 64 + x) * 4];
                p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
            }
        KTImage image;
        image.initWithRawData(rgba.data(), static_cast<long>(rgba.size()), 64, 64, 8);
        auto* texture = new KTTexture2D();
        texture->initWithImage(&image);
        KTSprite* sprite = KTSprite::createWithTexture(texture);
        texture->release();
        sprite->setPosition(KTPoint(32, 32));
        return sprite;
    }

    // Pixel (x, y) of an image whose rows run top to bottom.
    static Pixel imagePixel(KTImage* image, int x, int y) {
        const uint8_t* p = image->getData() + (static_cast<size_t>(y) * image->getWidth() + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }

    static void expectQuadrants(KTImage* image, int tolerance) {
        ASSERT_EQ(image->getWidth(), 64);
        ASSERT_EQ(image->getHeight(), 64);
        EXPECT_TRUE(testsupport::near(imagePixel(image, 8, 8), kRed, tolerance));
        EXPECT_TRUE(testsupport::near(imagePixel(image, 56, 8), kGreen, tolerance));
        EXPECT_TRUE(testsupport::near(imagePixel(image, 8, 56), kBlue, tolerance));
        EXPECT_TRUE(testsupport::near(imagePixel(image, 56, 56), kWhite, tolerance));
    }

    testsupport::TempHome home_;
    testsupport::VirtualClockScope clock_;
    std::unique_ptr<testsupport::TestGLView> view_;
    KTDirector* director_ = nullptr;
};

TEST_F(RenderTextureTest, KnownPictureReadsBackUprightAndBeginEndRestoreTheScreen) {
    KTRenderTexture* target = KTRenderTexture::create(64, 64);
    ASSERT_NE(target, nullptr);
    KTSprite* sprite = quadrantSprite();

    glViewport(0, 0, 64, 64);
    target->begin();
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), target->getFramebuffer());
    sprite->visit();
    target->end();
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 64);
    EXPECT_EQ(viewport[3], 64);

    KTImage* upright = target->newCCImage(true);
    ASSERT_NE(upright, nullptr);
    expectQuadrants(upright, 0);
    upright->release();

    // Unflipped, the rows come as GL holds them: bottom row first.
    KTImage* raw = target->newCCImage(false);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(imagePixel(raw, 8, 8), kBlue);
    raw->release();

    // Shown as a node, the flipped sprite puts the picture upright on the screen.
    target->setPosition(KTPoint(32, 32));
    target->visit();
    const auto pixels = readPixels();
    EXPECT_EQ(pixel(pixels, 8, 8), kRed);
    EXPECT_EQ(pixel(pixels, 56, 8), kGreen);
    EXPECT_EQ(pixel(pixels, 8, 56), kBlue);
}

TEST_F(RenderTextureTest, SavesUprightPNGAndJPEGIntoTheWritableDirectory) {
    KTRenderTexture* target = KTRenderTexture::create(64, 64);
    ASSERT_NE(target, nullptr);
    target->begin();
    quadrantSprite()->visit();
    target->end();

    const std::filesystem::path documents = plat::Paths::documents();
    std::filesystem::create_directories(documents);
    char name[32];
    std::snprintf(name, sizeof name, "screenshot%d.jpg", 3);
    ASSERT_TRUE(target->saveToFile(name, kKTImageFormat_PNG)) << "the format argument does not decide";
    ASSERT_TRUE(target->saveToFile("shot.png"));

    KTImage jpeg;
    ASSERT_TRUE(jpeg.initWithImageFile((documents / "screenshot3.jpg").c_str(), kKTImageFormat_JPG));
    const std::string jpegBytes = testsupport::readFile(documents / "screenshot3.jpg");
    EXPECT_EQ(jpegBytes.substr(0, 3), std::string("\xFF\xD8\xFF", 3));
    expectQuadrants(&jpeg, 12);

    KTImage png;
    ASSERT_TRUE(png.initWithImageFile((documents / "shot.png").c_str(), kKTImageFormat_PNG));
    const std::string pngBytes = testsupport::readFile(documents / "shot.png");
    EXPECT_EQ(pngBytes.substr(1, 3), "PNG");
    EXPECT_EQ(static_cast<uint8_t>(pngBytes[25]), 2) << "colour type RGB: no alpha is written";
    expectQuadrants(&png, 0);

    plat::LogCapture log;
    EXPECT_FALSE(target->saveToFile("missing/shot.jpg"));
    EXPECT_FALSE(std::filesystem::exists(documents / "missing"));
}

TEST_F(RenderTextureTest, TwiceTheContentScaleDoublesThePixels) {
    director_->setContentScaleFactor(2.0f);
    KTRenderTexture* target = KTRenderTexture::create(30, 20);
    ASSERT_NE(target, nullptr);
    KTTexture2D* texture = target->getTexture();
    EXPECT_FLOAT_EQ(texture->getContentSizeInPixels().width, 60);
    EXPECT_FLOAT_EQ(texture->getContentSizeInPixels().height, 40);
    if (KTConfiguration::sharedConfiguration()->supportsNPOT())
        EXPECT_EQ(texture->getPixelsWide(), 60u);
    else
        EXPECT_EQ(texture->getPixelsWide(), 64u);
    EXPECT_FLOAT_EQ(target->getSprite()->getScaleY(), -1);
    EXPECT_EQ(target->getSprite()->getParent(), target);

    KTImage* image = target->newCCImage(true);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->getWidth(), 60);
    EXPECT_EQ(image->getHeight(), 40);
    image->release();
}

TEST_F(RenderTextureTest, AutoDrawClearsAndDrawsTheOtherChildrenIntoTheTexture) {
    KTRenderTexture* target = KTRenderTexture::create(64, 64);
    ASSERT_NE(target, nullptr);
    target->addChild(quadrantSprite());
    // Off by default: only the inner (empty) sprite is shown and nothing is drawn into the texture.
    target->visit();
    KTImage* before = target->newCCImage(true);
    EXPECT_EQ(imagePixel(before, 8, 8), (Pixel{0, 0, 0, 0}));
    before->release();

    target->setAutoDraw(true);
    target->setClearFlags(GL_COLOR_BUFFER_BIT);
    target->setClearColor(ktc4f(1, 1, 0, 1));
    glClearColor(0.25f, 0.25f, 0.25f, 0.25f);
    target->visit();
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.25f) << "the clear colour is put back";
    KTImage* after = target->newCCImage(true);
    expectQuadrants(after, 0);
    after->release();
}

TEST_F(RenderTextureTest, IncompleteFramebufferAndEmptySizesAreRefused) {
    plat::LogCapture log;
    auto* target = new KTRenderTexture();
    // Luminance is not a colour-renderable format.
    EXPECT_FALSE(target->initWithWidthAndHeight(16, 16, kKTTexture2DPixelFormat_I8, 0));
    EXPECT_TRUE(log.contains("status 0x"));
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    target->release();

    EXPECT_EQ(KTRenderTexture::create(0, 10), nullptr);

    auto* withDepth = new KTRenderTexture();
    EXPECT_TRUE(
        withDepth->initWithWidthAndHeight(16, 16, kKTTexture2DPixelFormat_RGBA8888, GL_DEPTH24_STENCIL8_OES));
    withDepth->release();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
}  // namespace kite
