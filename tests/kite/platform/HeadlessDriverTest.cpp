#include <gtest/gtest.h>

#include <cstdlib>

#include "kite/core/KTDirector.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "kite/touch/KTTouch.h"
#include "kite/touch/KTTouchDelegateProtocol.h"
#include "platform/base/Clock.h"
#include "platform/media/ImageCodec.h"
#include "tests/support/TestSupport.h"

using namespace kite;

namespace {

// Paints the middle of the screen in one colour with raw GL (after 40 frames: yellow instead of red).
class PaintNode : public KTNode {
  public:
    static PaintNode* create() {
        auto* node = new PaintNode();
        node->init();
        return ktAutorelease(node);
    }
    void draw() override {
        ++draws;
        glEnable(GL_SCISSOR_TEST);
        glScissor(160, 284, 320, 568);
        if (draws > 40)
            glClearColor(1, 1, 0, 1);
        else
            glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0, 0, 0, 1);
    }
    int draws = 0;
};

class TestApp : public KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        KTDirector* director = KTDirector::sharedDirector();
        KTEGLView* glView = KTEGLView::sharedOpenGLView();
        director->setOpenGLView(glView);
        glView->setDesignResolutionSize(320, 568, kResolutionExactFit);
        director->setAnimationInterval(1.0 / 60);
        KTScene* scene = KTScene::create();
        node = PaintNode::create();
        scene->addChild(node);
        director->runWithScene(scene);
        return true;
    }
    void applicationDidEnterBackground() override {
        ++backgrounds;
        KTDirector::sharedDirector()->stopAnimation();
    }
    void applicationWillEnterForeground() override {
        ++foregrounds;
        KTDirector::sharedDirector()->startAnimation();
    }
    PaintNode* node = nullptr;
    int backgrounds = 0, foregrounds = 0;
};

// Stands in for the touch dispatcher: records what the GL view hands over.
class RecordingTouchDelegate : public EGLTouchDelegate {
  public:
    void touchesBegan(KTSet* touches, KTEvent*) override { record("began", touches); }
    void touchesMoved(KTSet* touches, KTEvent*) override { record("moved", touches); }
    void touchesEnded(KTSet* touches, KTEvent*) override { record("ended", touches); }
    void touchesCancelled(KTSet* touches, KTEvent*) override { record("cancelled", touches); }
    struct Entry {
        std::string phase;
        int id;
        KTPoint point;
    };
    std::vector<Entry> entries;

  private:
    void record(const char* phase, KTSet* touches) {
        for (KTObject* object : *touches) {
            auto* touch = static_cast<KTTouch*>(object);
            entries.push_back({phase, touch->getID(), touch->getLocationInView()});
        }
    }
};

struct Rgba {
    int r, g, b;
};

std::optional<plat::DecodedImage> decodeFile(const std::filesystem::path& path) {
    std::string bytes = testsupport::readFile(path);
    return plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

Rgba pixelOf(const plat::DecodedImage& image, int x, int y) {
    const uint8_t* p = image.pixels.data() + (static_cast<size_t>(y) * image.width + x) * 4;
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST(KTDriverScript, ParsesEventsAndRejectsBadLines) {
    KTDriverScript script;
    std::string error;
    ASSERT_TRUE(
        script.parse("# demo\n\n20 capture a.png\n10 touch down 320 568  # finger\n10 touch up 1.5 2\r\n"
                     "30 background\n30 jump -3600\n31 foreground\n40 quit\n",
                     &error))
        << error;
    const auto& events = script.events();
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0].kind, KTDriverEvent::TouchDown);
    EXPECT_EQ(events[1].kind, KTDriverEvent::TouchUp);
    EXPECT_DOUBLE_EQ(events[1].x, 1.5);
    EXPECT_EQ(events[2].path, "a.png");
    EXPECT_EQ(events[4].kind, KTDriverEvent::Jump);
    EXPECT_DOUBLE_EQ(events[4].x, -3600);
    EXPECT_EQ(script.quitFrame(), 40);

    for (const char* bad :
         {"0 quit", "x quit", "5", "5 touch down 1", "5 touch sideways 1 2", "5 touch up 1 nan", "5 capture",
          "5 capture a b", "5 jump 1e12", "5 dance", "99999999999999999 quit", "5 quit now"}) {
        KTDriverScript bad_script;
        EXPECT_FALSE(bad_script.parse(std::string("1 quit\n") + bad, &error)) << bad;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
        EXPECT_TRUE(bad_script.events().empty());
    }
    EXPECT_FALSE(script.parse(std::string(5000, '1')));
    EXPECT_FALSE(script.load("/nonexistent/script.txt", &error));
}

TEST(KTHeadlessDriver, AppWithDirectorRunsScriptedFramesAndCaptures) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    testsupport::TempDir dir;
    KTHeadlessDriver driver;
    const auto clock = plat::Clock::shared();
    ASSERT_TRUE(clock.isVirtual());
    KTDriverScript script;
    ASSERT_TRUE(
        script.parse("10 touch down 320 568\n12 touch move 100 200\n14 touch up 100 200\n"
                     "20 capture early.png\n60 capture shot.png\n80 background\n80 jump 3600\n"
                     "100 foreground\n"));
    driver.setScript(std::move(script));
    driver.setCaptureDirectory(dir.path());

    struct Touch {
        EAGLView::TouchPhase phase;
        float x, y;
    };
    std::vector<Touch> touches;
    EAGLView::setTouchReceiver(
        [&](EAGLView::TouchPhase phase, int count, const intptr_t*, const float* xs, const float* ys) {
            ASSERT_EQ(count, 1);
            touches.push_back({phase, xs[0], ys[0]});
        });

    TestApp app;
    ASSERT_TRUE(driver.launch(app));
    RecordingTouchDelegate delegate;
    KTEGLView::sharedOpenGLView()->setTouchDelegate(&delegate);
    const int64_t wallStart = clock.nowMicros();
    const int64_t steadyStart = clock.monotonicMicros();
    EXPECT_EQ(driver.runFrames(120), 120);
    EAGLView::setTouchReceiver(nullptr);

    // Exactly 1/60 s per frame on the steady clock, plus the hour that the jump added to the wall clock.
    EXPECT_EQ(clock.monotonicMicros() - steadyStart, 2'000'000);
    EXPECT_EQ(clock.nowMicros() - wallStart, 2'000'000 + 3'600'000'000LL);
    // Frames 80-99 were in the background: the director drew nothing then.
    EXPECT_EQ(app.backgrounds, 1);
    EXPECT_EQ(app.foregrounds, 1);
    EXPECT_GE(app.node->draws, 100);
    EXPECT_LE(app.node->draws, 102);

    // The touch arrives in surface pixels; the GL view's scale and viewport take it to design points.
    ASSERT_EQ(touches.size(), 3u);
    EXPECT_EQ(touches[0].phase, EAGLView::TouchPhase::Began);
    EXPECT_EQ(touches[2].phase, EAGLView::TouchPhase::Ended);
    KTEGLView* glView = KTEGLView::sharedOpenGLView();
    const float designX = (touches[0].x - glView->getViewPortRect().origin.x) / glView->getScaleX();
    const float designY = (touches[0].y - glView->getViewPortRect().origin.y) / glView->getScaleY();
    EXPECT_FLOAT_EQ(designX, 160);
    EXPECT_FLOAT_EQ(designY, 284);
    EXPECT_FLOAT_EQ(touches[1].x, 100);
    // The GL view's touch slot hands the touch on in design points.
    ASSERT_EQ(delegate.entries.size(), 3u);
    EXPECT_EQ(delegate.entries[0].phase, "began");
    EXPECT_EQ(delegate.entries[0].id, 0);
    EXPECT_FLOAT_EQ(delegate.entries[0].point.x, 160);
    EXPECT_FLOAT_EQ(delegate.entries[0].point.y, 284);
    EXPECT_EQ(delegate.entries[1].phase, "moved");
    EXPECT_FLOAT_EQ(delegate.entries[1].point.x, 50);
    EXPECT_EQ(delegate.entries[2].phase, "ended");
    KTEGLView::sharedOpenGLView()->setTouchDelegate(nullptr);

    auto early = decodeFile(dir.path() / "early.png");
    auto shot = decodeFile(dir.path() / "shot.png");
    ASSERT_TRUE(early && shot);
    EXPECT_EQ(shot->width, 640u);
    EXPECT_EQ(shot->height, 1136u);
    Rgba red = pixelOf(*early, 320, 568), yellow = pixelOf(*shot, 320, 568), corner = pixelOf(*shot, 5, 5);
    EXPECT_EQ(red.r, 255);
    EXPECT_EQ(red.g, 0);
    EXPECT_EQ(yellow.r, 255);
    EXPECT_EQ(yellow.g, 255);
    EXPECT_EQ(yellow.b, 0);
    EXPECT_EQ(corner.r + corner.g + corner.b, 0);
}
