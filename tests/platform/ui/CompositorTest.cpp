// The compositor over a real GL frame: read-back pixels of layers drawn premultiplied, clipped, turned
// and animated, and the count of redraws and uploads.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/base/Clock.h"
#include "platform/media/GLContext.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

using testsupport::Pixel;

namespace {

constexpr Pixel kBlue{0, 0, 255, 255};

// 128 x 128 pixels showing a 64 x 64 point window: two pixels per point.
class CompositorTest : public testsupport::GLTest {
  protected:
    CompositorTest() : GLTest(128, 128) {}
    void SetUp() override {
        GLTest::SetUp();
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 64, 64});
    }
    void TearDown() override {
        compositor.releaseResources();
        testsupport::resetGLState();
    }

    // A blue GL frame with the window over it.
    std::vector<uint8_t> frame() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, 128, 128);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        compositor.composite(*window, 128, 128);
        return readPixels();
    }
    // Pixel at a window point.
    Pixel at(const std::vector<uint8_t>& pixels, double x, double y) {
        return pixel(pixels, int(x * 2), int(y * 2));
    }

    std::shared_ptr<plat::Window> window;
    plat::Compositor compositor;
};

std::shared_ptr<plat::View> coloured(plat::Rect frame, plat::Color colour) {
    auto view = std::make_shared<plat::View>(frame);
    view->setBackgroundColor(colour);
    return view;
}

// Runs the main loop's due work (animation completions) after the virtual clock moved.
void advance(testsupport::VirtualClockScope& time, double seconds) {
    time.clock().advance(seconds);
    while (plat::RunLoop::main().runOnce(0) > 0) {
    }
}

}  // namespace

TEST_F(CompositorTest, HalfTransparentRedOverBlueReadsPurple) {
    auto red = coloured({4, 4, 16, 16}, plat::Color::redColor());
    red->setAlpha(0.5);
    window->addSubview(red);
    auto pixels = frame();
    EXPECT_TRUE(testsupport::near(at(pixels, 10, 10), {128, 0, 128, 255}, 1))
        << ::testing::PrintToString(at(pixels, 10, 10));
    EXPECT_EQ(at(pixels, 2, 2), kBlue);
    EXPECT_EQ(at(pixels, 30, 30), kBlue);

    // Alpha is inherited: a fully opaque child of a half transparent parent is drawn at half too.
    red->setBackgroundColor(plat::Color::clearColor());
    red->addSubview(coloured({0, 0, 8, 8}, plat::Color::redColor()));
    pixels = frame();
    EXPECT_TRUE(testsupport::near(at(pixels, 6, 6), {128, 0, 128, 255}, 1));
    EXPECT_EQ(at(pixels, 15, 15), kBlue);
}

TEST_F(CompositorTest, HalfTransparentRedOnTheGamesSixteenBitSurface) {
    // The engine's frame: an RGB565 colour buffer with depth and stencil, as the game's view makes it.
    GLuint fbo = 0, colour = 0, depth = 0;
    glGenFramebuffers(1, &fbo);
    glGenRenderbuffers(1, &colour);
    glGenRenderbuffers(1, &depth);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, 128, 128);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8_OES, 128, 128);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    auto red = coloured({4, 4, 16, 16}, plat::Color::redColor());
    red->setAlpha(0.5);
    window->addSubview(red);
    ASSERT_TRUE(compositor.composite(*window, 128, 128));
    auto pixels = plat::readFramebufferRGBA(fbo, 128, 128);
    // One step of a five-bit channel is 255 / 31.
    EXPECT_TRUE(testsupport::near(at(pixels, 10, 10), {128, 0, 128, 255}, 9))
        << ::testing::PrintToString(at(pixels, 10, 10));
    EXPECT_EQ(at(pixels, 30, 30), kBlue);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo);
    glDeleteRenderbuffers(1, &colour);
    glDeleteRenderbuffers(1, &depth);
}

TEST_F(CompositorTest, RoundedClippingViewShowsTheFrameAtItsCornerAndItsBorderMidEdge) {
    auto box = coloured({8, 8, 48, 48}, plat::Color::blackColor());
    box->setCornerRadius(8);
    box->setClipsToBounds(true);
    box->setBorderWidth(1);
    box->setBorderColor(plat::Color::rgba(34 / 255.0, 137 / 255.0, 0));
    // A child over the top-left corner: the rounded clip cuts it too.
    box->addSubview(coloured({0, 0, 20, 20}, plat::Color::whiteColor()));
    // A child reaching out of the box is cut at the box's edge.
    box->addSubview(coloured({40, 20, 20, 8}, plat::Color::redColor()));
    window->addSubview(box);
    auto pixels = frame();
    EXPECT_EQ(at(pixels, 8, 8), kBlue);  // the corner pixel
    EXPECT_EQ(at(pixels, 9, 9), kBlue);  // still outside the arc, though the white child covers it
    EXPECT_EQ(at(pixels, 12, 18), (Pixel{255, 255, 255, 255}));
    EXPECT_TRUE(testsupport::near(at(pixels, 8.25, 32), {34, 137, 0, 255}, 2))
        << ::testing::PrintToString(at(pixels, 8.25, 32));
    EXPECT_TRUE(testsupport::near(at(pixels, 55.75, 32), {34, 137, 0, 255}, 2));
    EXPECT_EQ(at(pixels, 32, 40), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(at(pixels, 52, 31), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(pixels, 60, 31), kBlue);  // the red child outside the box
}

TEST_F(CompositorTest, TurnedViewCoversTheTurnedRectangle) {
    auto bar = coloured({12, 27, 40, 10}, plat::Color::redColor());
    bar->setTransform(plat::AffineTransform::makeRotation(M_PI / 2));
    window->addSubview(bar);
    EXPECT_NEAR(bar->frame().width, 10, 1e-9);
    EXPECT_NEAR(bar->frame().height, 40, 1e-9);
    auto pixels = frame();
    EXPECT_EQ(at(pixels, 32, 14), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(pixels, 32, 50), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(pixels, 14, 32), kBlue);
    EXPECT_EQ(at(pixels, 50, 32), kBlue);
    EXPECT_EQ(at(pixels, 25, 32), kBlue);
    EXPECT_EQ(at(pixels, 28, 32), (Pixel{255, 0, 0, 255}));
}

TEST_F(CompositorTest, JapaneseLabelDrawsWhiteOnlyInsideItsFittedBox) {
    auto label = std::make_shared<plat::Label>(plat::Rect{6, 10, 1, 1});
    label->setText("閉じる");
    label->setFont(plat::ViewFont::boldSystemFont(15));
    label->setTextColor(plat::Color::whiteColor());
    label->sizeToFit();
    EXPECT_EQ(label->unknownGlyphCount(), 0);
    const plat::Rect box = label->frame();
    EXPECT_GT(box.width, 40);
    EXPECT_LT(box.width, 50);
    EXPECT_GE(box.height, 15);
    window->addSubview(label);
    auto pixels = frame();
    int white = 0, outside = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            const Pixel p = pixel(pixels, x, y);
            const bool inBox = x >= box.x * 2 && x < box.maxX() * 2 && y >= box.y * 2 && y < box.maxY() * 2;
            if (!inBox && p != kBlue) ++outside;
            if (inBox && p.r > 200 && p.g > 200) ++white;
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(white, 100);
}

TEST_F(CompositorTest, UnchangedFramesRedrawAndUploadNothing) {
    auto banner = coloured({0, 44, 64, 20}, plat::Color::redColor());
    banner->addSubview(coloured({2, 2, 10, 10}, plat::Color::greenColor()));
    window->addSubview(banner);
    frame();
    const auto first = compositor.stats();
    EXPECT_EQ(first.redraws, 3u);  // the window (which draws nothing of its own), banner and child
    EXPECT_EQ(first.uploads, 2u);
    for (int i = 0; i < 100; ++i) compositor.composite(*window, 128, 128);
    EXPECT_EQ(compositor.stats().redraws, first.redraws);
    EXPECT_EQ(compositor.stats().uploads, first.uploads);
    EXPECT_EQ(compositor.stats().quads, first.quads * 101);

    banner->setNeedsDisplay();
    for (int i = 0; i < 10; ++i) compositor.composite(*window, 128, 128);
    EXPECT_EQ(compositor.stats().redraws, first.redraws + 1);
    EXPECT_EQ(compositor.stats().uploads, first.uploads + 1);

    // Moving and fading a view redraws nothing either.
    banner->setCenter({30, 50});
    banner->setAlpha(0.7);
    compositor.composite(*window, 128, 128);
    EXPECT_EQ(compositor.stats().redraws, first.redraws + 1);
}

TEST_F(CompositorTest, FadeInIsFinalInTheModelDrawnHalfwayAndCompletesOnce) {
    testsupport::VirtualClockScope time;
    auto red = coloured({0, 0, 32, 32}, plat::Color::redColor());
    red->setAlpha(0);
    window->addSubview(red);
    int completions = 0;
    bool finished = false;
    plat::View::animate(
        0.2, 0, plat::AnimationOption::kCurveLinear | plat::AnimationOption::kAllowUserInteraction,
        [&] { red->setAlpha(1); },
        [&](bool done) {
            ++completions;
            finished = done;
        });
    EXPECT_EQ(red->alpha(), 1);
    EXPECT_EQ(at(frame(), 16, 16), kBlue);
    advance(time, 0.1);
    EXPECT_TRUE(testsupport::near(at(frame(), 16, 16), {128, 0, 128, 255}, 2));
    EXPECT_EQ(completions, 0);
    advance(time, 0.1);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(finished);
    EXPECT_EQ(at(frame(), 16, 16), (Pixel{255, 0, 0, 255}));
    advance(time, 1);
    EXPECT_EQ(completions, 1);
}

TEST_F(CompositorTest, FrameAndTransformAnimationsMoveWhatIsDrawn) {
    testsupport::VirtualClockScope time;
    auto red = coloured({0, 0, 16, 16}, plat::Color::redColor());
    window->addSubview(red);
    int completions = 0;
    plat::View::animate(
        1, 0, plat::AnimationOption::kCurveLinear,
        [&] {
            red->setFrame({32, 0, 16, 16});
        },
        [&](bool) { ++completions; });
    EXPECT_EQ(red->frame().x, 32);
    advance(time, 0.5);
    auto pixels = frame();
    EXPECT_EQ(at(pixels, 20, 8), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(pixels, 4, 8), kBlue);
    EXPECT_EQ(at(pixels, 36, 8), kBlue);
    // Without the interaction option a moving view takes no touches.
    EXPECT_EQ(window->hitTest({20, 8}, nullptr), window.get());
    advance(time, 0.5);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(window->hitTest({40, 8}, nullptr), red.get());
    EXPECT_EQ(at(frame(), 40, 8), (Pixel{255, 0, 0, 255}));
}

TEST_F(CompositorTest, FlipTransitionSwapsTheContentAndCompletesOnce) {
    testsupport::VirtualClockScope time;
    auto banner = coloured({0, 0, 64, 20}, plat::Color::clearColor());
    auto before = coloured({0, 0, 64, 20}, plat::Color::redColor());
    auto after = coloured({0, 0, 64, 20}, plat::Color::greenColor());
    banner->addSubview(before);
    window->addSubview(banner);
    int completions = 0;
    plat::View::transition(
        banner, 0.5, plat::AnimationOption::kTransitionFlipFromLeft,
        [&] {
            before->removeFromSuperview();
            banner->addSubview(after);
        },
        [&](bool) { ++completions; });
    ASSERT_EQ(banner->subviews().size(), 1u);
    EXPECT_EQ(banner->subviews()[0], after);
    advance(time, 0.1);
    // The old picture, squeezed about the middle.
    auto pixels = frame();
    EXPECT_EQ(at(pixels, 32, 10), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(pixels, 1, 10), kBlue);
    advance(time, 0.3);
    pixels = frame();
    EXPECT_EQ(at(pixels, 32, 10), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(at(pixels, 1, 10), kBlue);
    EXPECT_EQ(completions, 0);
    advance(time, 0.1);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(at(frame(), 1, 10), (Pixel{0, 255, 0, 255}));
    advance(time, 1);
    EXPECT_EQ(completions, 1);
}

TEST_F(CompositorTest, CurlUpSlidesTheOldPictureAwayInsideTheView) {
    testsupport::VirtualClockScope time;
    auto banner = coloured({0, 20, 64, 20}, plat::Color::clearColor());
    auto before = coloured({0, 0, 64, 20}, plat::Color::redColor());
    auto after = coloured({0, 0, 64, 20}, plat::Color::greenColor());
    banner->addSubview(before);
    window->addSubview(banner);
    int completions = 0;
    plat::View::transition(
        banner, 1, plat::AnimationOption::kTransitionCurlUp | plat::AnimationOption::kCurveLinear,
        [&] {
            before->removeFromSuperview();
            banner->addSubview(after);
        },
        [&](bool) { ++completions; });
    advance(time, 0.5);
    auto pixels = frame();
    EXPECT_EQ(at(pixels, 32, 22), (Pixel{255, 0, 0, 255}));  // the old picture's lower half, moved up
    EXPECT_EQ(at(pixels, 32, 38), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(at(pixels, 32, 18), kBlue);  // nothing above the view
    advance(time, 0.5);
    EXPECT_EQ(completions, 1);
}
