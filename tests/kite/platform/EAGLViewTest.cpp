#include <gtest/gtest.h>

#include <cstdlib>

#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTGLLayer.h"
#include "kite/platform/linux/KTScreen.h"
#include "platform/base/Log.h"

using namespace kite;

namespace {

GLint renderbufferParameter(GLuint renderbuffer, GLenum parameter) {
    GLint value = 0;
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, parameter, &value);
    return value;
}

GLint attachment(GLuint framebuffer, GLenum point) {
    GLint name = 0;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, point, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &name);
    return name;
}

class EAGLViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        KTScreen::mainScreen().setHeadless();
    }
    // Layout without the frame the director would draw after it.
    static void layout(EAGLView& view) {
        view.layer()->setDrawableSize(view.getWidth(), view.getHeight());
        ASSERT_TRUE(view.renderer()->resizeFromLayer(*view.layer()));
    }
};

}  // namespace

TEST_F(EAGLViewTest, PlainViewHas16BitColourNoDepthAndNoMultisampling) {
    plat::LogCapture capture;
    auto view = EAGLView::viewWithFrame(KTRect(0, 0, 320, 568));
    ASSERT_TRUE(view);
    EXPECT_EQ(EAGLView::sharedEGLView(), view);
    EXPECT_EQ(view->pixelFormat(), kEAGLColorFormatRGB565);
    EXPECT_EQ(view->depthFormat(), 0u);
    EXPECT_FALSE(view->multiSampling());
    EXPECT_TRUE(view->layer()->isOpaque());
    EXPECT_EQ(view->contentScaleFactor(), 2.0f);  // the screen's scale
    EXPECT_EQ(view->getWidth(), 640);
    EXPECT_EQ(view->getHeight(), 1136);

    layout(*view);
    KTES2Renderer* renderer = view->renderer();
    EXPECT_EQ(renderbufferParameter(renderer->colorRenderbuffer(), GL_RENDERBUFFER_INTERNAL_FORMAT),
              GL_RGB565);
    EXPECT_EQ(renderer->backingSize().width, 640);
    EXPECT_EQ(renderer->backingSize().height, 1136);
    EXPECT_EQ(attachment(renderer->defaultFramebuffer(), GL_DEPTH_ATTACHMENT), 0);
    EXPECT_TRUE(capture.contains("kite: surface size: 640x1136"));
    EXPECT_NE(renderer->description().find("| size = 640x1136>"), std::string::npos);

    EXPECT_EQ(EAGLView::convertPixelFormat("EAGLColorFormat565"), GLenum(GL_RGB565));
    EXPECT_EQ(EAGLView::convertPixelFormat("EAGLColorFormatRGBA8"), GLenum(GL_RGBA8_OES));
    EXPECT_EQ(EAGLView::convertPixelFormat("anything"), GLenum(GL_RGBA8_OES));
}

TEST_F(EAGLViewTest, DepthStencilIsAttachedTwiceAndReusedOnRelayout) {
    auto view = EAGLView::viewWithFrame(KTRect(0, 0, 320, 568), kEAGLColorFormatRGB565,
                                        GL_DEPTH24_STENCIL8_OES, false, nullptr, false, 0);
    ASSERT_TRUE(view);
    layout(*view);
    KTES2Renderer* renderer = view->renderer();
    GLuint depth = renderer->depthBuffer();
    ASSERT_NE(depth, 0u);
    EXPECT_EQ(attachment(renderer->defaultFramebuffer(), GL_DEPTH_ATTACHMENT), GLint(depth));
    EXPECT_EQ(attachment(renderer->defaultFramebuffer(), GL_STENCIL_ATTACHMENT), GLint(depth));
    EXPECT_EQ(renderbufferParameter(depth, GL_RENDERBUFFER_DEPTH_SIZE), 24);
    EXPECT_EQ(renderbufferParameter(depth, GL_RENDERBUFFER_STENCIL_SIZE), 8);

    layout(*view);
    EXPECT_EQ(renderer->depthBuffer(), depth);

    auto depthOnly = EAGLView::viewWithFrame(KTRect(0, 0, 32, 32), kEAGLColorFormatRGBA8,
                                             GL_DEPTH_COMPONENT16, false, nullptr, false, 0);
    ASSERT_TRUE(depthOnly);
    layout(*depthOnly);
    EXPECT_NE(attachment(depthOnly->renderer()->defaultFramebuffer(), GL_DEPTH_ATTACHMENT), 0);
    EXPECT_EQ(attachment(depthOnly->renderer()->defaultFramebuffer(), GL_STENCIL_ATTACHMENT), 0);
}

TEST_F(EAGLViewTest, MultisamplingUsesAtMostTheDriversSamplesAndResolvesOnPresent) {
    EXPECT_EQ(KTES2Renderer::samplesFor(4, 2), 2u);
    EXPECT_EQ(KTES2Renderer::samplesFor(2, 8), 2u);
    EXPECT_EQ(KTES2Renderer::samplesFor(4, -1), 0u);

    auto view = EAGLView::viewWithFrame(KTRect(0, 0, 16, 16), kEAGLColorFormatRGBA8, GL_DEPTH24_STENCIL8_OES,
                                        false, nullptr, true, 4);
    ASSERT_TRUE(view);
    KTES2Renderer* renderer = view->renderer();
    ASSERT_TRUE(renderer->multiSampling());
    layout(*view);
    GLuint firstColour = renderer->msaaColorBuffer();
    EXPECT_NE(firstColour, 0u);
    GLuint depth = renderer->depthBuffer();
    layout(*view);
    EXPECT_EQ(renderer->depthBuffer(), depth);
    EXPECT_NE(renderer->msaaColorBuffer(), 0u);
    EXPECT_EQ(renderbufferParameter(renderer->msaaColorBuffer(), 0x8CAB) > 0, true);

    // Drawing goes to the multisampled framebuffer; presenting resolves it into the default one.
    glBindFramebuffer(GL_FRAMEBUFFER, renderer->msaaFrameBuffer());
    glViewport(0, 0, 32, 32);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    view->swapBuffers();
    auto pixels = view->readPixels();
    ASSERT_EQ(pixels.size(), 32u * 32u * 4u);
    EXPECT_EQ(pixels[1], 255);
    EXPECT_EQ(pixels[0], 0);
}

TEST_F(EAGLViewTest, ReadBackIsTopRowFirstAndConvertsViewPoints) {
    auto view = EAGLView::viewWithFrame(KTRect(0, 0, 320, 568), kEAGLColorFormatRGB565,
                                        GL_DEPTH24_STENCIL8_OES, false, nullptr, false, 0);
    ASSERT_TRUE(view);
    layout(*view);
    glBindFramebuffer(GL_FRAMEBUFFER, view->renderer()->defaultFramebuffer());
    glViewport(0, 0, 640, 1136);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 1136 - 10, 640, 10);  // GL rows count from the bottom: this is the top of the picture
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    auto pixels = view->readPixels();
    ASSERT_EQ(pixels.size(), 640u * 1136u * 4u);
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[2], 0);
    size_t last = pixels.size() - 4;
    EXPECT_EQ(pixels[last], 0);
    EXPECT_EQ(pixels[last + 2], 255);

    view->layoutSubviews();  // the surface size the conversions use comes from the layout
    KTPoint p = view->convertPointFromViewToSurface(KTPoint(160, 284));
    EXPECT_FLOAT_EQ(p.x, 320);
    EXPECT_FLOAT_EQ(p.y, 568);
    KTRect r = view->convertRectFromViewToSurface(KTRect(10, 20, 30, 40));
    EXPECT_FLOAT_EQ(r.origin.y, 40);
    EXPECT_FLOAT_EQ(r.size.width, 60);
}

TEST_F(EAGLViewTest, TouchesReachTheReceiverInPixelsAtMostTenPerCallback) {
    auto view = EAGLView::viewWithFrame(KTRect(0, 0, 320, 568));
    ASSERT_TRUE(view);
    std::vector<std::pair<EAGLView::TouchPhase, int>> calls;
    std::vector<float> xs, ys;
    std::vector<intptr_t> ids;
    EAGLView::setTouchReceiver(
        [&](EAGLView::TouchPhase phase, int count, const intptr_t* i, const float* x, const float* y) {
            calls.emplace_back(phase, count);
            ids.assign(i, i + count);
            xs.assign(x, x + count);
            ys.assign(y, y + count);
        });
    std::vector<EAGLTouch> eleven;
    for (int i = 0; i < 11; ++i) eleven.push_back({100 + i, KTPoint(float(i), 10.5f)});
    view->touchesBegan(eleven);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].second, 10);
    EXPECT_EQ(ids.back(), 109);
    EXPECT_FLOAT_EQ(xs[3], 6);  // points times the content scale factor
    EXPECT_FLOAT_EQ(ys[0], 21);

    // With the keyboard shown a touch only closes the focused text field.
    int resigned = 0;
    view->setTextFieldResigner([&] { ++resigned; });
    view->setKeyboardShown(true);
    view->touchesEnded(eleven);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(resigned, 1);
    view->setKeyboardShown(false);
    view->touchesCancelled({});
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].first, EAGLView::TouchPhase::Cancelled);
    EXPECT_EQ(calls[1].second, 0);
    EAGLView::setTouchReceiver(nullptr);
}
