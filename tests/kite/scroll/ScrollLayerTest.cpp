#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kite/core/KTDirector.h"
#include "kite/layers/KTLayer.h"
#include "kite/layers/KTScrollLayer.h"
#include "kite/nodes/KTScene.h"
#include "kite/touch/KTTouchDispatcher.h"
#include "kite/touch/KTTouchHandler.h"
#include "tests/kite/platform/TestGLView.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kite;
using testsupport::Pixel;

namespace {

std::vector<int> g_movesDone;
void recordMoveDone(int page) {
    g_movesDone.push_back(page);
}

class Listener : public KTScrollLayerDelegate {
  public:
    void onScrollStarted(KTScrollLayer*) override { ++started; }
    void onPageChanged(KTScrollLayer*, int page) override { pages.push_back(page); }
    int started = 0;
    std::vector<int> pages;
};

// A targeted handler behind the scroll layer that claims every touch and records what it gets.
class Bystander : public KTObject, public KTTouchDelegate {
  public:
    bool touchBegan(KTTouch*, KTEvent*) override {
        log.push_back("began");
        return true;
    }
    void touchMoved(KTTouch*, KTEvent*) override { log.push_back("moved"); }
    void touchEnded(KTTouch*, KTEvent*) override { log.push_back("ended"); }
    void touchCancelled(KTTouch*, KTEvent*) override { log.push_back("cancelled"); }
    std::vector<std::string> log;
};

// A director on a virtual clock drawing 320×568 design points into a 160×284 surface; touches are
// given in design points (y downward) and handed to the GL view in surface pixels.
class ScrollLayerTest : public testsupport::GLTest {
  protected:
    ScrollLayerTest() : GLTest(160, 284) {}

    void SetUp() override {
        GLTest::SetUp();
        view_ = std::make_unique<testsupport::TestGLView>(gl_, 160, 284);
        director_ = KTDirector::sharedDirector();
        director_->setOpenGLView(view_.get());
        view_->setDesignResolutionSize(320, 568, kResolutionExactFit);
        g_movesDone.clear();
        KTScrollLayer::setPageMoveDoneFunc(recordMoveDone);
    }

    void TearDown() override {
        KTScrollLayer::setPageMoveDoneFunc(nullptr);
        if (bystander_) {
            director_->getTouchDispatcher()->removeDelegate(bystander_);
            bystander_->release();
        }
        director_->end();
        director_->mainLoop();
    }

    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            clock_.clock().advance(1.0 / 60);
            director_->mainLoop();
        }
    }

    // A running scroll layer of `count` empty pages.
    KTScrollLayer* start(int count) {
        KTArray* pages = KTArray::create();
        for (int i = 0; i < count; ++i) pages->addObject(KTLayer::create());
        KTScrollLayer* scroll = KTScrollLayer::create(pages, 0);
        scroll->setDelegate(&listener_);
        KTScene* scene = KTScene::create();
        scene->addChild(scroll);
        director_->runWithScene(scene);
        frames(1);
        return scroll;
    }

    void addBystander() {
        bystander_ = new Bystander();
        director_->getTouchDispatcher()->addTargetedDelegate(bystander_, 0, false);
    }

    void touch(void (KTEGLViewProtocol::*phase)(int, const intptr_t[], const float[], const float[]), int id,
               float x, float y = 300) {
        const intptr_t ids[] = {id};
        const float xs[] = {x / 2}, ys[] = {y / 2};
        (view_.get()->*phase)(1, ids, xs, ys);
    }
    void down(float x, int id = 1) { touch(&KTEGLViewProtocol::handleTouchesBegin, id, x); }
    void move(float x, int id = 1) { touch(&KTEGLViewProtocol::handleTouchesMove, id, x); }
    void up(float x, int id = 1) { touch(&KTEGLViewProtocol::handleTouchesEnd, id, x); }

    testsupport::VirtualClockScope clock_;
    std::unique_ptr<testsupport::TestGLView> view_;
    KTDirector* director_ = nullptr;
    Listener listener_;
    Bystander* bystander_ = nullptr;
};

}  // namespace

TEST_F(ScrollLayerTest, LaysPagesOutSideBySideAndKeepsItsOwnReferences) {
    KTArray* pages = KTArray::create();
    pages->retain();
    for (int i = 0; i < 3; ++i) pages->addObject(KTLayer::create());
    const uint32_t arrayCount = pages->retainCount();
    const uint32_t pageCount = pages->objectAtIndex(1)->retainCount();

    KTScrollLayer* scroll = KTScrollLayer::create(pages, 20);
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(pages->retainCount(), arrayCount) << "the caller's array is not consumed";
    EXPECT_EQ(pages->count(), 3u);
    EXPECT_EQ(pages->objectAtIndex(1)->retainCount(), pageCount + 2) << "own array and parent";
    EXPECT_NE(scroll->getPages(), pages);
    pages->release();

    EXPECT_EQ(scroll->pageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        auto* page = static_cast<KTNode*>(scroll->getPages()->objectAtIndex(i));
        EXPECT_EQ(page->getParent(), scroll);
        EXPECT_EQ(page->getPosition().x, 300.0f * i) << "pitch = width - offset";
        EXPECT_EQ(page->getContentSize().height, 568);
    }
    EXPECT_EQ(scroll->getMinimumTouchLengthToSlide(), 30);
    EXPECT_EQ(scroll->getMinimumTouchLengthToChangePage(), 100);
    EXPECT_EQ(scroll->getMarginOffset(), 320);
    EXPECT_EQ(scroll->getPagesIndicatorPosition().x, 160);
    EXPECT_EQ(scroll->getPagesIndicatorPosition().y, 71);
    EXPECT_TRUE(scroll->isStealTouches());
    EXPECT_TRUE(scroll->isShowPagesIndicator());

    EXPECT_EQ(scroll->positionOfPage(2).x, -600);
    // Nearest page; an exact half goes to the lower page; clamped to the pages there are.
    EXPECT_EQ(scroll->pageIndexAtPosition(KTPoint(-149, 0)), 0);
    EXPECT_EQ(scroll->pageIndexAtPosition(KTPoint(-150, 0)), 0);
    EXPECT_EQ(scroll->pageIndexAtPosition(KTPoint(-151, 0)), 1);
    EXPECT_EQ(scroll->pageIndexAtPosition(KTPoint(200, 0)), 0);
    EXPECT_EQ(scroll->pageIndexAtPosition(KTPoint(-5000, 0)), 2);

    // Out-of-range pages are ignored.
    scroll->selectPage(2);
    EXPECT_EQ(scroll->getCurrentScreen(), 2);
    EXPECT_EQ(scroll->getPosition().x, -600);
    scroll->selectPage(3);
    scroll->selectPage(-1);
    scroll->moveToPage(-1);
    EXPECT_EQ(scroll->getCurrentScreen(), 2);
    EXPECT_EQ(scroll->getPosition().x, -600);
}

TEST_F(ScrollLayerTest, ShortDragNeitherSlidesNorStealsAndGlidesBack) {
    KTScrollLayer* scroll = start(3);
    addBystander();
    down(200);
    move(171);  // 29 points
    EXPECT_EQ(scroll->getPosition().x, 0);
    EXPECT_EQ(listener_.started, 0);
    up(171);
    EXPECT_EQ((std::vector<std::string>{"began", "moved", "ended"}), bystander_->log);
    frames(25);
    EXPECT_EQ(scroll->getCurrentScreen(), 0);
    EXPECT_EQ(listener_.pages, std::vector<int>{0}) << "the end of the (empty) move is reported";
    EXPECT_EQ(g_movesDone, std::vector<int>{0});
}

TEST_F(ScrollLayerTest, SlidingStealsTheTouchAndTheChangeCountsFromTheSlideStart) {
    KTScrollLayer* scroll = start(3);
    addBystander();
    // Touch points pass through the GL unprojection, so distances are kept a little off the limits.
    down(250);
    move(219);  // past 30 points: sliding starts here
    EXPECT_EQ(listener_.started, 1);
    EXPECT_EQ((std::vector<std::string>{"began", "cancelled"}), bystander_->log);
    move(120);  // 99 more
    EXPECT_NEAR(scroll->getPosition().x, -99, 0.2) << "the pages follow the finger";
    up(120);
    EXPECT_EQ(bystander_->log.size(), 2u) << "the stolen touch never comes back to others";
    frames(25);
    EXPECT_EQ(scroll->getCurrentScreen(), 0);
    EXPECT_EQ(scroll->getPosition().x, 0);

    down(250);
    move(219);
    move(118);  // 101 more: the layer stands nearer page 0, so the page is stepped
    up(118);
    EXPECT_EQ(scroll->getCurrentScreen(), 1);
    frames(25);
    EXPECT_EQ(scroll->getPosition().x, -320);
    EXPECT_EQ(listener_.pages, (std::vector<int>{0, 1}));
    EXPECT_EQ(g_movesDone, (std::vector<int>{0, 1}));
}

TEST_F(ScrollLayerTest, LiftingPastTheThresholdGoesToTheNearestPage) {
    KTScrollLayer* scroll = start(3);
    down(300);
    move(269);
    move(77);  // 0.6 of a page towards page 1
    EXPECT_NEAR(scroll->getPosition().x, -192, 1);
    up(77);
    EXPECT_EQ(scroll->getCurrentScreen(), 1) << "by position, not one further";
    frames(25);
    EXPECT_EQ(scroll->getPosition().x, -320);

    // Back to the right past the first page: with the default margin the pages follow the finger.
    down(20);
    move(51);
    move(401);
    EXPECT_NEAR(scroll->getPosition().x, 30, 1);
    scroll->setMarginOffset(0);
    move(402);
    EXPECT_EQ(scroll->getPosition().x, 0) << "margin 0 stops the pages at the first page";
    up(402);
    frames(25);
    EXPECT_EQ(scroll->getCurrentScreen(), 0);
}

TEST_F(ScrollLayerTest, OnePageAlwaysGlidesBackAndReportsOnce) {
    KTScrollLayer* scroll = start(1);
    down(300);
    move(260);
    move(20);
    up(20);
    frames(10);
    EXPECT_TRUE(listener_.pages.empty()) << "reported at the end of the 0.3 s move";
    frames(15);
    EXPECT_EQ(scroll->getCurrentScreen(), 0);
    EXPECT_EQ(scroll->getPosition().x, 0);
    EXPECT_EQ(listener_.pages, std::vector<int>{0});
}

TEST_F(ScrollLayerTest, StepPageAndASecondFinger) {
    KTScrollLayer* scroll = start(3);
    scroll->stepPage(true);
    frames(25);
    EXPECT_EQ(scroll->getCurrentScreen(), 0);
    EXPECT_TRUE(listener_.pages.empty()) << "page -1 does not exist: no move, no report";

    scroll->stepPage(false);
    EXPECT_EQ(scroll->getCurrentScreen(), 1);
    frames(25);
    EXPECT_EQ(scroll->getPosition().x, -320);
    EXPECT_EQ(listener_.pages, std::vector<int>{1});

    auto* handler =
        dynamic_cast<KTTargetedTouchHandler*>(director_->getTouchDispatcher()->findHandler(scroll));
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(handler->getPriority(), -129);
    EXPECT_FALSE(handler->isSwallowsTouches());
    down(100, 1);
    down(200, 2);
    EXPECT_EQ(handler->getClaimedTouches()->count(), 1u) << "the second finger is not claimed";
    up(200, 2);
    up(100, 1);
    EXPECT_EQ(handler->getClaimedTouches()->count(), 0u);
}

TEST_F(ScrollLayerTest, ATapDuringAPageMoveStillEndsExactlyOnThePage) {
    KTScrollLayer* scroll = start(3);
    scroll->stepPage(false);
    frames(6);
    const float midway = scroll->getPosition().x;
    EXPECT_LT(midway, -10);
    EXPECT_GT(midway, -310);
    // A tap ends in a move to the current page, which takes over from the running one.
    down(100);
    up(100);
    frames(25);
    EXPECT_EQ(scroll->getPosition().x, -320);
    EXPECT_EQ(listener_.pages, std::vector<int>{1}) << "only the move that ran to its end reports";
}

TEST_F(ScrollLayerTest, ACancelFromOutsideJumpsBackWithoutAReport) {
    KTScrollLayer* scroll = start(2);
    down(300);
    move(250);
    move(200);
    EXPECT_NEAR(scroll->getPosition().x, -50, 0.2);
    touch(&KTEGLViewProtocol::handleTouchesCancel, 1, 200);
    EXPECT_EQ(scroll->getPosition().x, 0);
    frames(25);
    EXPECT_TRUE(listener_.pages.empty());
    down(100);  // the layer tracks touches again
    move(10);
    EXPECT_EQ(listener_.started, 2);
    up(10);
}

TEST_F(ScrollLayerTest, DotsMarkTheCurrentPage) {
    EXPECT_EQ(KTScrollLayer::dotPosition(KTPoint(100, 50), 0, 4).x, 76);
    EXPECT_EQ(KTScrollLayer::dotPosition(KTPoint(100, 50), 1, 4).x, 92);
    EXPECT_EQ(KTScrollLayer::dotPosition(KTPoint(100, 50), 2, 4).x, 108);
    EXPECT_EQ(KTScrollLayer::dotPosition(KTPoint(100, 50), 3, 4).x, 124);
    EXPECT_EQ(KTScrollLayer::dotPosition(KTPoint(100, 50), 0, 1).x, 100);

    KTScrollLayer* scroll = start(3);
    scroll->setPagesIndicatorPosition(KTPoint(160, 100));
    scroll->selectPage(1);
    frames(2);
    // Dots at x 144, 160, 176 and y 100 in design points: half that in surface pixels, top row first.
    auto pixels = readPixels();
    const int y = 284 - 50;
    EXPECT_TRUE(testsupport::near(pixel(pixels, 72, y), Pixel{150, 150, 150, 255}))
        << testing::PrintToString(pixel(pixels, 72, y));
    EXPECT_TRUE(testsupport::near(pixel(pixels, 80, y), Pixel{255, 255, 255, 255}))
        << testing::PrintToString(pixel(pixels, 80, y));
    EXPECT_TRUE(testsupport::near(pixel(pixels, 88, y), Pixel{150, 150, 150, 255}));
    EXPECT_TRUE(testsupport::near(pixel(pixels, 76, y), Pixel{0, 0, 0, 255}) || pixel(pixels, 76, y).a == 0)
        << "nothing between the dots";

    scroll->setShowPagesIndicator(false);
    frames(1);
    pixels = readPixels();
    EXPECT_EQ(pixel(pixels, 80, y).r, 0);
}
