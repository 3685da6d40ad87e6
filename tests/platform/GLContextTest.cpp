#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>

#include "platform/base/Log.h"
#include "platform/media/GLContext.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

using testsupport::Pixel;

namespace {

class GLContextTest : public testsupport::GLTest {
  protected:
    GLContextTest() : GLTest(48, 32) {}
};

std::vector<uint8_t> readPNG(const std::string& path, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint8_t> pixels;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return pixels;
    image.format = PNG_FORMAT_RGBA;
    pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) pixels.clear();
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return pixels;
}

void clearHalves() {
    // Top half red, bottom half blue (GL's y grows upward).
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 16, 48, 16);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

}  // namespace

TEST_F(GLContextTest, ReadBackIsTopRowFirst) {
    clearHalves();
    auto pixels = readPixels();
    ASSERT_EQ(pixels.size(), 48u * 32u * 4u);
    EXPECT_EQ(pixel(pixels, 0, 0), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(pixel(pixels, 47, 15), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(pixel(pixels, 0, 16), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(pixel(pixels, 47, 31), (Pixel{0, 0, 255, 255}));
    EXPECT_TRUE(gl().present());
}

TEST_F(GLContextTest, PNGHoldsTheFrame) {
    clearHalves();
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "frame.png").string();
    ASSERT_TRUE(gl().writePNG(path));
    int width = 0, height = 0;
    auto pixels = readPNG(path, width, height);
    ASSERT_EQ(width, 48);
    ASSERT_EQ(height, 32);
    EXPECT_EQ(pixels, readPixels());

    plat::LogCapture capture;
    EXPECT_FALSE(gl().writePNG((dir.path() / "missing" / "frame.png").string()));
    EXPECT_TRUE(capture.contains("cannot open"));
}

TEST_F(GLContextTest, ResizeKeepsObjectsAndChangesTheSurface) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    ASSERT_TRUE(gl().resize(20, 10));
    EXPECT_EQ(gl().width(), 20);
    EXPECT_TRUE(glIsTexture(texture));
    glViewport(0, 0, 20, 10);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    auto pixels = gl().readPixels();
    ASSERT_EQ(pixels.size(), 20u * 10u * 4u);
    EXPECT_EQ(testsupport::pixelAt(pixels, 20, 19, 9), (Pixel{0, 255, 0, 255}));
    glDeleteTextures(1, &texture);

    plat::LogCapture capture;
    EXPECT_FALSE(gl().resize(0, 10));
    EXPECT_EQ(gl().width(), 20);
}

TEST_F(GLContextTest, ExtensionEntryPointsWork) {
    ASSERT_NE(plat::glGenVertexArraysOES, nullptr);
    ASSERT_NE(plat::glBindVertexArrayOES, nullptr);
    ASSERT_NE(plat::glDeleteVertexArraysOES, nullptr);
    GLuint vao = 0;
    plat::glGenVertexArraysOES(1, &vao);
    plat::glBindVertexArrayOES(vao);
    plat::glBindVertexArrayOES(0);
    plat::glDeleteVertexArraysOES(1, &vao);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(GLContext, EngineDefaultIsRGB565WithDepthAndStencil) {
    ASSERT_NE(testsupport::sharedGLContext(), nullptr);
    {
        auto context = plat::GLContext::createHeadless(16, 16);
        ASSERT_NE(context, nullptr);
        EXPECT_TRUE(context->isCurrent());
        EXPECT_EQ(context->kind(), plat::GLContext::SurfaceKind::Headless);
        GLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0;
        glGetIntegerv(GL_RED_BITS, &red);
        glGetIntegerv(GL_GREEN_BITS, &green);
        glGetIntegerv(GL_BLUE_BITS, &blue);
        glGetIntegerv(GL_ALPHA_BITS, &alpha);
        glGetIntegerv(GL_DEPTH_BITS, &depth);
        glGetIntegerv(GL_STENCIL_BITS, &stencil);
        EXPECT_EQ(red, 5);
        EXPECT_EQ(green, 6);
        EXPECT_EQ(blue, 5);
        EXPECT_EQ(alpha, 0);
        EXPECT_EQ(depth, 24);
        EXPECT_EQ(stencil, 8);
        // No alpha channel: read-back gives opaque pixels.
        glClearColor(1, 1, 1, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_EQ(testsupport::pixelAt(context->readPixels(), 16, 3, 3), (Pixel{255, 255, 255, 255}));
    }
    // The shared context survives another context coming and going.
    ASSERT_NE(testsupport::glContext(8, 8), nullptr);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(testsupport::pixelAt(testsupport::sharedGLContext()->readPixels(), 8, 0, 0),
              (Pixel{0, 0, 255, 255}));
}

TEST(GLContext, BadSizesGiveNullAndALogLine) {
    plat::LogCapture capture;
    EXPECT_EQ(plat::GLContext::createHeadless(0, 10), nullptr);
    EXPECT_EQ(plat::GLContext::createHeadless(10, -1), nullptr);
    EXPECT_EQ(plat::GLContext::createHeadless(100000, 10), nullptr);
    EXPECT_EQ(plat::GLContext::createForWindow(EGL_NO_DISPLAY, 0), nullptr);
    EXPECT_TRUE(capture.contains("bad surface size"));
    EXPECT_TRUE(capture.contains("no EGL display"));
}
