// The compositor over a real GL frame: read-back pixels of layers drawn premultiplied, clipped, turned
// and animated, and the count of redraws and uploads.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/base/Clock.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"
#include "tests/support/GLTestSupport.h"

using testsupport::Pixel;

namespace {

// 64 x 64 pixels showing a 32 x 32 point window: two pixels per point.
class CompositorTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 32, 32});
    }
    void TearDown() override { compositor.releaseResources(); }

    // A blue GL frame with the window over it.
    std::vector<uint8_t> frame() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        compositor.composite(*window, 64, 64);
        return readPixels();
    }

    std::shared_ptr<plat::Window> window;
    plat::Compositor compositor;
};

std::shared_ptr<plat::View> coloured(plat::Rect frame, plat::Color colour) {
    auto view = std::make_shared<plat::View>(frame);
    view->setBackgroundColor(colour);
    return view;
}

}  // namespace

TEST_F(CompositorTest, HalfTransparentRedOverBlueReadsPurple) {
    auto red = coloured({4, 4, 16, 16}, plat::Color::redColor());
    red->setAlpha(0.5);
    window->addSubview(red);
    auto pixels = frame();
    EXPECT_TRUE(testsupport::near(pixel(pixels, 20, 20), {128, 0, 128, 255}, 1))
        << ::testing::PrintToString(pixel(pixels, 20, 20));
    EXPECT_EQ(pixel(pixels, 2, 2), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(pixel(pixels, 40, 40), (Pixel{0, 0, 255, 255}));
}
