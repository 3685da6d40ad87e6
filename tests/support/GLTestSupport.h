#pragma once
// The one GL context of a test program: a headless RGBA8888 surface with depth 24 and stencil 8 on
// Mesa's software renderer. GL tests fail, not skip, when EGL cannot start.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/media/GLContext.h"

namespace testsupport {

// Made on first use and current on return; null when EGL cannot start (the reason is logged).
plat::GLContext* sharedGLContext();
// The shared context with its surface resized to width x height, current, GL state reset; null on failure.
plat::GLContext* glContext(int width = 64, int height = 64);

// Puts back the state a test may have changed: framebuffer 0, full viewport, no blend, depth, scissor or
// stencil test, clear colour 0, no program, no bound buffers or textures, no pending GL error.
void resetGLState();

struct Pixel {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Pixel&) const = default;
};
void PrintTo(const Pixel& pixel, std::ostream* out);

// A pixel of a read-back (top row first, as plat::GLContext::readPixels gives).
Pixel pixelAt(const std::vector<uint8_t>& rgba, int width, int x, int y);
// True when every channel is within `tolerance` of the expected one.
bool near(const Pixel& actual, const Pixel& expected, int tolerance = 2);

// Fixture for GL tests: SetUp gets the shared context at the size the test asks for (default 64x64)
// and fails the test when there is none.
class GLTest : public ::testing::Test {
  protected:
    explicit GLTest(int width = 64, int height = 64) : width_(width), height_(height) {}
    void SetUp() override;
    plat::GLContext& gl() { return *gl_; }
    std::vector<uint8_t> readPixels() { return gl_->readPixels(); }
    Pixel pixel(const std::vector<uint8_t>& rgba, int x, int y) const { return pixelAt(rgba, width_, x, y); }

    int width_;
    int height_;
    plat::GLContext* gl_ = nullptr;
};

}  // namespace testsupport
