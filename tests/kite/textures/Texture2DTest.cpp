// Textures on the real context: upload parameters per format, what each single-channel format shows, the
// size limit, filtering and the GL texture's lifetime.
#include <gtest/gtest.h>

#include <vector>

#include "kite/core/KTDirector.h"
#include "kite/textures/KTTexture2D.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

class Texture2DTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        testdraw::useTextureColorProgram();
    }
    void TearDown() override {
        KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_RGBA8888);
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    static GLint integer(GLenum name) {
        GLint value = -1;
        glGetIntegerv(name, &value);
        return value;
    }

    // Draws the whole texture over the view, the way sprites draw, tinted by `color`.
    Pixel drawWhole(KTTexture2D* tex, _ccColor4B color = {255, 255, 255, 255}) {
        glClear(GL_COLOR_BUFFER_BIT);
        const ktTexturedQuad quad = testdraw::texelQuad(0, 0, 64, 0, 0, 1, 1, color);
        ktGLBindTexture2D(tex->getName());
        ktGLEnableVertexAttribs(kKTVertexAttribFlag_PosColorTex);
        const auto* base = reinterpret_cast<const uint8_t*>(&quad);
        glVertexAttribPointer(kKTVertexAttrib_Position, 3, GL_FLOAT, GL_FALSE, sizeof(ktQuadVertex), base);
        glVertexAttribPointer(kKTVertexAttrib_TexCoords, 2, GL_FLOAT, GL_FALSE, sizeof(ktQuadVertex),
                              base + 16);
        glVertexAttribPointer(kKTVertexAttrib_Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(ktQuadVertex),
                              base + 12);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        return pixel(readPixels(), 32, 32);
    }
};

TEST_F(Texture2DTest, UnpackAlignmentFollowsTheRowLength) {
    struct Case {
        KTTexture2DPixelFormat format;
        unsigned width;
        GLint alignment;
    };
    // 12 bytes a row -> 4; RGB888 packs 9 bytes -> 1; 4 bytes -> 4; 16 bytes -> 8; 2 bytes -> 2.
    const Case cases[] = {{kKTTexture2DPixelFormat_RGBA8888, 3, 4}, {kKTTexture2DPixelFormat_RGB888, 3, 1},
                          {kKTTexture2DPixelFormat_RGB565, 2, 4},   {kKTTexture2DPixelFormat_RGBA8888, 4, 8},
                          {kKTTexture2DPixelFormat_AI88, 1, 2},     {kKTTexture2DPixelFormat_A8, 3, 1}};
    const std::vector<uint8_t> zeros(64, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " width " << c.width);
        auto* tex = new KTTexture2D();
        EXPECT_TRUE(
            tex->initWithData(zeros.data(), c.format, c.width, 1, KTSize(static_cast<float>(c.width), 1)));
        EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), c.alignment);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        tex->release();
    }
}

TEST_F(Texture2DTest, UploadRecordsSizesAndTheDefaultProgram) {
    auto* tex = new KTTexture2D();
    ASSERT_TRUE(tex->initWithData(nullptr, kKTTexture2DPixelFormat_RGBA8888, 64, 32, KTSize(48, 16)));
    EXPECT_EQ(tex->getPixelsWide(), 64u);
    EXPECT_EQ(tex->getPixelsHigh(), 32u);
    EXPECT_FLOAT_EQ(tex->getMaxS(), 0.75f);
    EXPECT_FLOAT_EQ(tex->getMaxT(), 0.5f);
    EXPECT_FLOAT_EQ(tex->getContentSizeInPixels().width, 48.0f);
    EXPECT_FALSE(tex->hasPremultipliedAlpha());
    EXPECT_EQ(tex->getShaderProgram(),
              KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionTexture));

    // Linear filtering by default; alias parameters switch to nearest.
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    tex->setAliasTexParameters();
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);

    // The GL texture lives exactly as long as the object.
    const GLuint name = tex->getName();
    EXPECT_TRUE(glIsTexture(name));
    tex->release();
    EXPECT_FALSE(glIsTexture(name));
}

TEST_F(Texture2DTest, SingleChannelFormatsShowAsAlphaLuminanceAndBoth) {
    const uint8_t a8[] = {128};
    auto* alpha = new KTTexture2D();
    alpha->initWithData(a8, kKTTexture2DPixelFormat_A8, 1, 1, KTSize(1, 1));
    EXPECT_TRUE(testsupport::near(drawWhole(alpha), Pixel{0, 0, 0, 128}));
    alpha->release();

    const uint8_t i8[] = {200};
    auto* intensity = new KTTexture2D();
    intensity->initWithData(i8, kKTTexture2DPixelFormat_I8, 1, 1, KTSize(1, 1));
    EXPECT_TRUE(testsupport::near(drawWhole(intensity), Pixel{200, 200, 200, 255}));
    intensity->release();

    const uint8_t ai88[] = {100, 50};
    auto* both = new KTTexture2D();
    both->initWithData(ai88, kKTTexture2DPixelFormat_AI88, 1, 1, KTSize(1, 1));
    EXPECT_TRUE(testsupport::near(drawWhole(both, {255, 0, 255, 255}), Pixel{100, 0, 100, 50}));
    both->release();
}

TEST_F(Texture2DTest, ImagesUpToTheMaximumTextureSizeLoad) {
    const int maxSize = KTConfiguration::sharedConfiguration()->getMaxTextureSize();
    ASSERT_GT(maxSize, 0);
    for (int width : {maxSize, maxSize + 1}) {
        KTImage* image =
            testdraw::makeImage(std::vector<uint8_t>(static_cast<size_t>(width) * 4, 255), width, 1);
        auto* tex = new KTTexture2D();
        EXPECT_EQ(tex->initWithImage(image), width == maxSize) << width;
        tex->release();
        image->release();
    }
    auto* tex = new KTTexture2D();
    EXPECT_FALSE(tex->initWithImage(nullptr));
    tex->release();
}

TEST_F(Texture2DTest, ConvertedImagesKeepTheirPremultipliedFlagAndAlphaChannel) {
    // A8 keeps only the alpha byte of each pixel.
    KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_A8);
    KTImage* image = testdraw::makeImage({255, 128, 0, 64}, 1, 1);
    auto* tex = new KTTexture2D();
    ASSERT_TRUE(tex->initWithImage(image));
    EXPECT_EQ(tex->getPixelFormat(), kKTTexture2DPixelFormat_A8);
    EXPECT_EQ(tex->hasPremultipliedAlpha(), image->isPremultipliedAlpha());
    EXPECT_TRUE(testsupport::near(drawWhole(tex), Pixel{0, 0, 0, 64}));
    tex->release();
    image->release();
}

}  // namespace
}  // namespace kite

namespace kite {
namespace {

class Texture2DDirectorTest : public Texture2DTest {};

TEST_F(Texture2DDirectorTest, ContentSizeInPointsFollowsTheContentScaleFactor) {
    auto* tex = new KTTexture2D();
    tex->initWithData(nullptr, kKTTexture2DPixelFormat_RGBA8888, 256, 128, KTSize(200, 100));
    KTDirector* director = KTDirector::sharedDirector();
    const float scale = director->getContentScaleFactor();
    director->setContentScaleFactor(2);
    EXPECT_FLOAT_EQ(tex->getContentSize().width, 100.0f);
    EXPECT_FLOAT_EQ(tex->getContentSize().height, 50.0f);
    director->setContentScaleFactor(scale);
    tex->release();
}

TEST_F(Texture2DDirectorTest, TextRendersIntoAPremultipliedTexture) {
    _ccFontDefinition definition;
    definition.m_fontName = "Helvetica";
    definition.m_fontSize = 24;
    definition.m_dimensions = KTSize(64, 0);
    definition.m_fontFillColor = ccRED;
    auto* tex = new KTTexture2D();
    ASSERT_TRUE(tex->initWithString("Hi", &definition));
    EXPECT_EQ(tex->getPixelsWide(), 64u);
    EXPECT_GT(tex->getPixelsHigh(), 0u);
    EXPECT_TRUE(tex->hasPremultipliedAlpha());

    // Somewhere along the middle row the red glyphs show.
    testdraw::useTextureColorProgram();
    drawWhole(tex);
    const auto pixels = readPixels();
    int inked = 0;
    for (int x = 0; x < 64; ++x) {
        for (int y = 0; y < 64; ++y) {
            const Pixel p = pixel(pixels, x, y);
            if (p.a > 128) {
                ++inked;
                EXPECT_EQ(p.g, 0);
            }
        }
    }
    EXPECT_GT(inked, 20);
    tex->release();

    // A vertical alignment outside top, centre and bottom renders nothing.
    definition.m_vertAlignment = static_cast<KTVerticalTextAlignment>(5);
    auto* refused = new KTTexture2D();
    EXPECT_FALSE(refused->initWithString("Hi", &definition));
    EXPECT_FALSE(refused->initWithString(nullptr, &definition));
    refused->release();
}

}  // namespace
}  // namespace kite

namespace kite {
namespace {

// A version 2 PVR file of a 2 x 2 RGBA8888 picture with a second, 1 x 1 level.
std::string pvrWithTwoLevels() {
    std::string file(52, '\0');
    auto put = [&file](size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put(0, 52);
    put(4, 2);
    put(8, 2);
    put(12, 1);
    put(16, 0x12);
    put(20, 32);
    put(24, 32);
    put(40, 0xFF000000u);
    file.replace(44, 4, "PVR!");
    put(48, 1);
    file.append(32, '\x7f');
    return file;
}

TEST_F(Texture2DTest, PVRFilesHandTheirTextureOverWithMipmaps) {
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "levels.pvr").string();
    testsupport::writeFile(path, pvrWithTwoLevels());

    KTTexture2D::PVRImagesHavePremultipliedAlpha(true);
    auto* tex = new KTTexture2D();
    ASSERT_TRUE(tex->initWithPVRFile(path.c_str()));
    KTTexture2D::PVRImagesHavePremultipliedAlpha(false);
    EXPECT_NE(tex->getName(), 0u);
    EXPECT_TRUE(glIsTexture(tex->getName()));
    EXPECT_EQ(tex->getPixelsWide(), 2u);
    EXPECT_EQ(tex->getPixelFormat(), kKTTexture2DPixelFormat_RGBA8888);
    EXPECT_FLOAT_EQ(tex->getMaxS(), 1.0f);
    EXPECT_TRUE(tex->hasPremultipliedAlpha());
    EXPECT_TRUE(tex->hasMipmaps());

    tex->setAliasTexParameters();
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST_MIPMAP_NEAREST);
    tex->release();

    auto* missing = new KTTexture2D();
    EXPECT_FALSE(missing->initWithPVRFile((dir.path() / "none.pvr").string().c_str()));
    EXPECT_FALSE(missing->initWithETCFile((dir.path() / "none.pkm").string().c_str()));
    EXPECT_EQ(missing->getName(), 0u);
    missing->release();
}

}  // namespace
}  // namespace kite
