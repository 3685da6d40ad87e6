#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "kite/core/KTDirector.h"
#include "kite/layers/KTLayer.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "kite/touch/KTTouch.h"
#include "platform/media/ImageCodec.h"
#include "tests/support/TestSupport.h"

using namespace kite;

namespace {

using Log = std::vector<std::string>;

// Records its touch callbacks; a one-by-one layer claims only touches left of `claimBelowX` (GL x).
class TouchLayer : public KTLayer {
  public:
    static TouchLayer* create(Log* log, std::string name, KTTouchesMode mode, int priority,
                              float claimBelowX) {
        auto* layer = new TouchLayer();
        layer->init();
        layer->log_ = log;
        layer->name_ = std::move(name);
        layer->claimBelowX_ = claimBelowX;
        layer->setTouchMode(mode);
        layer->setTouchPriority(priority);
        layer->setTouchEnabled(true);
        return ktAutorelease(layer);
    }
    bool touchBegan(KTTouch* touch, KTEvent*) override {
        const KTPoint p = touch->getLocation();
        record("began", touch->getID());
        points.push_back(p);
        return p.x < claimBelowX_;
    }
    void touchMoved(KTTouch* touch, KTEvent*) override { record("moved", touch->getID()); }
    void touchEnded(KTTouch* touch, KTEvent*) override { record("ended", touch->getID()); }
    void touchesBegan(KTSet* t, KTEvent*) override { record("touchesBegan", setId(t)); }
    void touchesMoved(KTSet* t, KTEvent*) override { record("touchesMoved", setId(t)); }
    void touchesEnded(KTSet* t, KTEvent*) override { record("touchesEnded", setId(t)); }

    std::vector<KTPoint> points;

  private:
    static int setId(KTSet* set) {
        return set->count() == 1 ? static_cast<KTTouch*>(set->anyObject())->getID() : -1;
    }
    void record(const char* what, int id) {
        log_->push_back(name_ + "." + what + ":" + std::to_string(id) + "@" +
                        std::to_string(KTDirector::sharedDirector()->getTotalFrames()));
    }
    Log* log_ = nullptr;
    std::string name_;
    float claimBelowX_ = 0;
};

class App : public KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        KTDirector* director = KTDirector::sharedDirector();
        KTEGLView* glView = KTEGLView::sharedOpenGLView();
        director->setOpenGLView(glView);
        glView->setDesignResolutionSize(320, 568, kResolutionExactFit);
        director->setAnimationInterval(1.0 / 60);
        KTScene* scene = KTScene::create();
        scene->addChild(KTLayerColor::create(_ccColor4B{0, 0, 255, 255}));
        scene->addChild(KTLayerColor::create(_ccColor4B{0, 255, 0, 255}, 160, 284));
        scene->addChild(TouchLayer::create(&log, "all", kKTTouchesAllAtOnce, 0, 0));
        scene->addChild(TouchLayer::create(&log, "late", kKTTouchesOneByOne, 5, 0));
        left = TouchLayer::create(&log, "left", kKTTouchesOneByOne, -5, 160);
        scene->addChild(left);
        director->runWithScene(scene);
        return true;
    }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
    Log log;
    TouchLayer* left = nullptr;
};

}  // namespace

TEST(LayerHeadless, ColourLayersShowAndScriptedTouchesReachLayersByPriority) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    testsupport::TempDir dir;
    KTHeadlessDriver driver;
    KTDriverScript script;
    // Window pixels: 640×1136 for 320×568 design points.
    ASSERT_TRUE(
        script.parse("10 touch down 100 600\n11 touch move 120 620\n12 touch up 120 620\n"
                     "20 touch down 500 600\n21 touch move 510 600\n22 touch up 510 600\n"
                     "60 capture shot.png\n"));
    driver.setScript(std::move(script));
    driver.setCaptureDirectory(dir.path());
    App app;
    ASSERT_TRUE(driver.launch(app));
    EXPECT_EQ(driver.runFrames(120), 120);

    // The left finger is claimed and swallowed by the first targeted layer; the right one is declined
    // by both targeted layers, in priority order, and reaches the standard layer.
    EXPECT_EQ(app.log, (Log{"left.began:0@10", "left.moved:0@11", "left.ended:0@12", "left.began:0@20",
                            "late.began:0@20", "all.touchesBegan:0@20", "all.touchesMoved:0@21",
                            "all.touchesEnded:0@22"}));
    ASSERT_FALSE(app.left->points.empty());
    // (100, 600) window pixels are design (50, 300) from the top, GL (50, 268) from the bottom.
    // The 3D projection's inverse is exact to a fraction of a point.
    EXPECT_NEAR(app.left->points[0].x, 50, 0.5);
    EXPECT_NEAR(app.left->points[0].y, 268, 0.5);

    std::string png = testsupport::readFile(dir.path() / "shot.png");
    auto image = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size());
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 640u);
    auto rgb = [&](int x, int y) {
        const uint8_t* p = image->pixels.data() + (static_cast<size_t>(y) * image->width + x) * 4;
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(rgb(500, 100), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(rgb(100, 1000), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(rgb(500, 1000), (std::vector<int>{0, 0, 255}));
}
