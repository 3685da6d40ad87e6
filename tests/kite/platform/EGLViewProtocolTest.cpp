#include <gtest/gtest.h>

#include <string>

#include "kite/core/KTDirector.h"
#include "tests/kite/platform/TestGLView.h"
#include "tests/support/GLTestSupport.h"

using namespace kite;

namespace {

struct Expected {
    float frameWidth, frameHeight;
    ResolutionPolicy policy;
    float scaleX, scaleY;
    float designWidth, designHeight;
    KTRect viewport;
    float visibleWidth, visibleHeight;
    float originX, originY;
};

void PrintTo(const Expected& e, std::ostream* out) {
    *out << e.frameWidth << "x" << e.frameHeight << " policy " << e.policy;
}

class DesignResolution : public ::testing::TestWithParam<Expected> {
  protected:
    void SetUp() override { ASSERT_NE(testsupport::glContext(), nullptr); }
    void TearDown() override { KTDirector::sharedDirector()->setOpenGLView(nullptr); }
};

constexpr float kTolerance = 1e-3f;

}  // namespace

TEST_P(DesignResolution, ScalesViewportAndVisibleArea) {
    const Expected& e = GetParam();
    testsupport::TestGLView view(testsupport::sharedGLContext(), e.frameWidth, e.frameHeight);
    KTDirector* director = KTDirector::sharedDirector();
    director->setOpenGLView(&view);
    view.setDesignResolutionSize(320, 568, e.policy);

    EXPECT_NEAR(view.getScaleX(), e.scaleX, kTolerance);
    EXPECT_NEAR(view.getScaleY(), e.scaleY, kTolerance);
    EXPECT_EQ(view.getDesignResolutionSize().width, e.designWidth);
    EXPECT_EQ(view.getDesignResolutionSize().height, e.designHeight);
    const KTRect& viewport = view.getViewPortRect();
    EXPECT_NEAR(viewport.origin.x, e.viewport.origin.x, kTolerance);
    EXPECT_NEAR(viewport.origin.y, e.viewport.origin.y, kTolerance);
    EXPECT_NEAR(viewport.size.width, e.viewport.size.width, kTolerance);
    EXPECT_NEAR(viewport.size.height, e.viewport.size.height, kTolerance);
    EXPECT_NEAR(view.getVisibleSize().width, e.visibleWidth, kTolerance);
    EXPECT_NEAR(view.getVisibleSize().height, e.visibleHeight, kTolerance);
    EXPECT_NEAR(view.getVisibleOrigin().x, e.originX, kTolerance);
    EXPECT_NEAR(view.getVisibleOrigin().y, e.originY, kTolerance);
    EXPECT_EQ(view.getResolutionPolicy(), e.policy);

    // The director takes the design size as its window and sets the GL viewport over the design area.
    EXPECT_EQ(director->getWinSize().width, e.designWidth);
    EXPECT_EQ(director->getWinSize().height, e.designHeight);
    GLint glViewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, glViewport);
    EXPECT_EQ(glViewport[0], static_cast<GLint>(e.viewport.origin.x));
    EXPECT_EQ(glViewport[1], static_cast<GLint>(e.viewport.origin.y));
    EXPECT_EQ(glViewport[2], static_cast<GLint>(e.viewport.size.width));
    EXPECT_EQ(glViewport[3], static_cast<GLint>(e.viewport.size.height));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DesignResolution,
    ::testing::Values(
        // A phone the design was made for: every policy is the same 2x mapping.
        Expected{640, 1136, kResolutionExactFit, 2, 2, 320, 568, {0, 0, 640, 1136}, 320, 568, 0, 0},
        Expected{640, 1136, kResolutionNoBorder, 2, 2, 320, 568, {0, 0, 640, 1136}, 320, 568, 0, 0},
        Expected{640, 1136, kResolutionShowAll, 2, 2, 320, 568, {0, 0, 640, 1136}, 320, 568, 0, 0},
        Expected{640, 1136, kResolutionFixedHeight, 2, 2, 320, 568, {0, 0, 640, 1136}, 320, 568, 0, 0},
        Expected{640, 1136, kResolutionFixedWidth, 2, 2, 320, 568, {0, 0, 640, 1136}, 320, 568, 0, 0},
        // The same screen turned sideways.
        Expected{
            1136, 640, kResolutionExactFit, 3.55f, 1.1267606f, 320, 568, {0, 0, 1136, 640}, 320, 568, 0, 0},
        Expected{1136,
                 640,
                 kResolutionShowAll,
                 1.1267606f,
                 1.1267606f,
                 320,
                 568,
                 {387.71832f, 0, 360.56338f, 640},
                 320,
                 568,
                 0,
                 0},
        Expected{1136,
                 640,
                 kResolutionNoBorder,
                 3.55f,
                 3.55f,
                 320,
                 568,
                 {0, -688.2f, 1136, 2016.4f},
                 320,
                 180.28169f,
                 0,
                 193.85915f},
        Expected{1136,
                 640,
                 kResolutionFixedHeight,
                 1.1267606f,
                 1.1267606f,
                 1009,
                 568,
                 {-0.4507f, 0, 1136.9014f, 640},
                 1009,
                 568,
                 0,
                 0},
        Expected{1136,
                 640,
                 kResolutionFixedWidth,
                 3.55f,
                 3.55f,
                 320,
                 181,
                 {0, -1.275f, 1136, 642.55f},
                 320,
                 181,
                 0,
                 0},
        // A shorter phone.
        Expected{640,
                 960,
                 kResolutionShowAll,
                 1.6901408f,
                 1.6901408f,
                 320,
                 568,
                 {49.577454f, 0, 540.8451f, 960},
                 320,
                 568,
                 0,
                 0},
        Expected{640, 960, kResolutionNoBorder, 2, 2, 320, 568, {0, -88, 640, 1136}, 320, 480, 0, 44},
        Expected{640, 960, kResolutionFixedWidth, 2, 2, 320, 480, {0, 0, 640, 960}, 320, 480, 0, 0},
        Expected{640, 960, kResolutionExactFit, 2, 1.6901408f, 320, 568, {0, 0, 640, 960}, 320, 568, 0, 0},
        // A tablet.
        Expected{
            1536, 2048, kResolutionExactFit, 4.8f, 3.6056338f, 320, 568, {0, 0, 1536, 2048}, 320, 568, 0, 0},
        Expected{1536,
                 2048,
                 kResolutionShowAll,
                 3.6056338f,
                 3.6056338f,
                 320,
                 568,
                 {191.09859f, 0, 1153.8028f, 2048},
                 320,
                 568,
                 0,
                 0},
        Expected{1536,
                 2048,
                 kResolutionNoBorder,
                 4.8f,
                 4.8f,
                 320,
                 568,
                 {0, -339.2f, 1536, 2726.4f},
                 320,
                 426.66667f,
                 0,
                 70.666667f},
        Expected{1536,
                 2048,
                 kResolutionFixedHeight,
                 3.6056338f,
                 3.6056338f,
                 426,
                 568,
                 {0, 0, 1536, 2048},
                 426,
                 568,
                 0,
                 0},
        Expected{1536,
                 2048,
                 kResolutionFixedWidth,
                 4.8f,
                 4.8f,
                 320,
                 427,
                 {0, -0.8f, 1536, 2049.6f},
                 320,
                 427,
                 0,
                 0},
        // An unknown policy value maps like exact fit and is kept as given.
        Expected{640,
                 960,
                 static_cast<ResolutionPolicy>(7),
                 2,
                 1.6901408f,
                 320,
                 568,
                 {0, 0, 640, 960},
                 320,
                 568,
                 0,
                 0}));

class GLViewTest : public testsupport::GLTest {
  protected:
    void TearDown() override { KTDirector::sharedDirector()->setOpenGLView(nullptr); }
};

TEST_F(GLViewTest, ZeroDesignSizeChangesNothing) {
    testsupport::TestGLView view(&gl(), 640, 960);
    KTDirector::sharedDirector()->setOpenGLView(&view);
    view.setDesignResolutionSize(320, 568, kResolutionShowAll);
    view.setDesignResolutionSize(0, 480, kResolutionExactFit);
    view.setDesignResolutionSize(320, 0, kResolutionNoBorder);
    EXPECT_EQ(view.getResolutionPolicy(), kResolutionShowAll);
    EXPECT_NEAR(view.getScaleX(), 1.6901408f, kTolerance);
    EXPECT_EQ(view.getDesignResolutionSize().height, 568);
    EXPECT_NEAR(view.getViewPortRect().origin.x, 49.577454f, kTolerance);
}

TEST_F(GLViewTest, ViewportAndScissorInPointsMapThroughTheScale) {
    testsupport::TestGLView view(&gl(), 640, 960);
    KTDirector::sharedDirector()->setOpenGLView(&view);
    view.setDesignResolutionSize(320, 568, kResolutionShowAll);

    view.setViewPortInPoints(0, 0, 320, 568);
    GLint box[4] = {};
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_EQ(box[0], 49);
    EXPECT_EQ(box[1], 0);
    EXPECT_EQ(box[2], 540);
    EXPECT_EQ(box[3], 960);

    EXPECT_FALSE(view.isScissorEnabled());
    glEnable(GL_SCISSOR_TEST);
    EXPECT_TRUE(view.isScissorEnabled());
    view.setScissorInPoints(10, 20, 100, 50);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0], 66);  // 10 × 1.6901408 + 49.577454, truncated
    EXPECT_EQ(box[1], 33);
    EXPECT_EQ(box[2], 169);
    EXPECT_EQ(box[3], 84);
    const KTRect back = view.getScissorRect();
    EXPECT_NEAR(back.origin.x, (66 - 49.577454f) / 1.6901408f, kTolerance);
    EXPECT_NEAR(back.size.width, 169 / 1.6901408f, kTolerance);
    glDisable(GL_SCISSOR_TEST);
}

TEST(GLViewName, EmptyKeepsTheOldNameAndLongNamesAreCut) {
    testsupport::TestGLView view(nullptr, 10, 10);
    EXPECT_STREQ(view.getViewName(), "");
    view.setViewName("potemaru");
    view.setViewName("");
    view.setViewName(nullptr);
    EXPECT_STREQ(view.getViewName(), "potemaru");
    const std::string longName(60, 'n');
    view.setViewName(longName.c_str());
    EXPECT_EQ(std::string(view.getViewName()), std::string(49, 'n'));
}

TEST(GLViewFrame, SetFrameSizeAlsoSetsTheDesignSize) {
    testsupport::TestGLView view(nullptr, 640, 1136);
    EXPECT_EQ(view.getFrameSize().width, 640);
    EXPECT_EQ(view.getDesignResolutionSize().height, 1136);
    EXPECT_EQ(view.getResolutionPolicy(), kResolutionUnKnown);
    EXPECT_EQ(view.getScaleX(), 1.0f);
}
