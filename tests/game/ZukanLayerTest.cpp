#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "chime/AudioEngine.h"
#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "game/SaveDataKeys.h"
#include "game/ZukanLayer.h"
#include "kite/base/KTArray.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelTTF.h"
#include "kite/layers/KTScrollLayer.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "kite/sprites/KTSprite.h"
#include "platform/media/ImageCodec.h"
#include "platform/storage/Bundle.h"
#include "tests/game/GameTestSupport.h"
#include "tests/game/TouchScript.h"
#include "tests/support/TestSupport.h"

using namespace kite;

namespace {

// Launches like the game's delegate, but into an empty scene over which the catalogue is pushed.
class BaseApp : public KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        KTDirector* director = KTDirector::sharedDirector();
        KTEGLView* view = KTEGLView::sharedOpenGLView();
        director->setOpenGLView(view);
        director->setDisplayStats(false);
        director->setAnimationInterval(1.0 / 60);
        director->setContentScaleFactor(2.0f);
        view->setDesignResolutionSize(320, 568, kResolutionExactFit);
        base = KTScene::create();
        director->runWithScene(base);
        return true;
    }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
    KTScene* base = nullptr;
};

class ZukanLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        setenv("ALSOFT_DRIVERS", "null", 0);
        plat::Bundle::setMainResourcePath({});
        KTFileUtils::purgeFileUtils();
        KTUserDefaultStore::purgeSharedUserDefaultStore();
        CharaTable::reload();
        GameGlobals::reset();
        GameGlobals::level = 1;
        previousBridge_ = setBridgeReceiver(bridge_);
        driver_.setCaptureDirectory(captures_.path());
        ASSERT_TRUE(driver_.launch(app_));
        driver_.runFrames(1);
    }

    void TearDown() override {
        KTDirector::sharedDirector()->end();
        driver_.runFrames(1);
        setBridgeReceiver(previousBridge_);
        KTUserDefaultStore::purgeSharedUserDefaultStore();
        ::AudioEngine::end();
    }

    void store(const char* key, int value) {
        KTUserDefaultStore::sharedUserDefaultStore()->setIntegerForKey(key, value);
    }

    // Pushes a new catalogue and runs a frame so that it is the running scene.
    ZukanLayer* open() {
        KTScene* scene = ZukanLayer::scene();
        if (!scene || scene->getChildrenCount() != 1) return nullptr;
        KTDirector::sharedDirector()->pushScene(scene);
        driver_.runFrames(1);
        return static_cast<ZukanLayer*>(scene->getChildren()->objectAtIndex(0));
    }

    void close() {
        KTDirector::sharedDirector()->popScene();
        driver_.runFrames(1);
    }

    static KTPoint centreOf(KTSprite* button) {
        const KTSize size = button->getContentSize();
        const KTPoint anchor = button->getAnchorPoint();
        return KTPoint(button->getPositionX() + size.width * (0.5f - anchor.x),
                       button->getPositionY() + size.height * (0.5f - anchor.y));
    }
    static KTSprite* arrow(ZukanLayer* layer, int tag) {
        return static_cast<KTSprite*>(layer->getArrowButtons()->objectAtIndex(tag));
    }

    plat::DecodedImage capture(const std::string& name) {
        const auto path = captures_.path() / name;
        if (!driver_.capture(path)) return {};
        const std::string png = testsupport::readFile(path);
        auto image = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size());
        return image ? *image : plat::DecodedImage{};
    }

    testsupport::TempHome home_;
    testsupport::TempDir captures_;
    KTHeadlessDriver driver_;
    BaseApp app_;
    gametest::TouchScript touches_{driver_};
    std::shared_ptr<gametest::BridgeRecorder> bridge_ = std::make_shared<gametest::BridgeRecorder>();
    std::shared_ptr<BridgeReceiver> previousBridge_;
};

// The labels of one page, in the order they were placed: name, caption, four details, completion.
std::vector<KTLabelTTF*> labelsOfPage(ZukanLayer* layer, int page) {
    std::vector<KTLabelTTF*> labels;
    auto* pageLayer = static_cast<KTNode*>(layer->getScrollLayer()->getPages()->objectAtIndex(page));
    for (KTObject* obj : *layer->getPageItems()) {
        auto* node = static_cast<KTNode*>(obj);
        if (node->getParent() != pageLayer) continue;
        if (auto* label = dynamic_cast<KTLabelTTF*>(node)) labels.push_back(label);
    }
    return labels;
}

}  // namespace

TEST(ZukanLayerPages, PageCountKeepsToTheLevelsThatExist) {
    EXPECT_EQ(ZukanLayer::pageCountFor(2), 1);
    EXPECT_EQ(ZukanLayer::pageCountFor(5), 4);
    EXPECT_EQ(ZukanLayer::pageCountFor(11), 10);
    // Values a damaged store may hold: still at least one page and never rows past the table.
    EXPECT_EQ(ZukanLayer::pageCountFor(1), 1);
    EXPECT_EQ(ZukanLayer::pageCountFor(0), 1);
    EXPECT_EQ(ZukanLayer::pageCountFor(INT_MIN), 1);
    EXPECT_EQ(ZukanLayer::pageCountFor(12), 10);
    EXPECT_EQ(ZukanLayer::pageCountFor(INT_MAX), 10);
}

TEST_F(ZukanLayerTest, OnePagePerLevelReachedWithItsTextsAndTheCompletion) {
    // A first start: one page, level 1, completion 10.
    ZukanLayer* layer = open();
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->getScrollLayer()->pageCount(), 1);
    EXPECT_EQ(layer->getPageItems()->count(), 15u);
    auto labels = labelsOfPage(layer, 0);
    ASSERT_EQ(labels.size(), 7u);
    EXPECT_STREQ(labels[0]->getString(), CharaTable::zukanName(1));
    EXPECT_STREQ(labels[6]->getString(), "10");
    close();

    // After three level-ups: four pages, each with 40; the catalogue opens on the first.
    store(SaveDataKeys::kLockCount, 5);
    store(SaveDataKeys::kComplete, 4);
    layer = open();
    KTScrollLayer* scroll = layer->getScrollLayer();
    ASSERT_EQ(scroll->pageCount(), 4);
    EXPECT_EQ(scroll->getCurrentScreen(), 0);
    EXPECT_EQ(scroll->getPosition().x, 0);
    for (int page = 0; page < 4; ++page) {
        labels = labelsOfPage(layer, page);
        ASSERT_EQ(labels.size(), 7u);
        EXPECT_STREQ(labels[0]->getString(), CharaTable::zukanName(page + 1));
        EXPECT_STREQ(labels[1]->getString(), CharaTable::zukanCaption(page + 1));
        EXPECT_EQ(labels[1]->getDimensions().width, 260);
        EXPECT_STREQ(labels[5]->getString(), CharaTable::zukanDetail4(page + 1));
        EXPECT_STREQ(labels[6]->getString(), "40");
        EXPECT_EQ(labels[6]->getPositionX(), 270);
        EXPECT_EQ(labels[6]->getPositionY(), 489);
    }

    // The page shows over the level's background; the strip hides the page dots in the corner.
    driver_.runFrames(1);
    auto shot = capture("catalogue.png");
    ASSERT_EQ(shot.width, 640u);
    const auto bgBytes = testsupport::readFile(testsupport::sourceDir() / "assets" / "bg1.png");
    auto bg = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(bgBytes.data()), bgBytes.size());
    ASSERT_TRUE(bg);
    // The frame is 16-bit colour: compare within a few steps.
    auto near = [](const plat::DecodedImage& a, const plat::DecodedImage& b, int x, int y,
                   int tolerance = 8) {
        const uint8_t* p = a.pixels.data() + (static_cast<size_t>(y) * a.width + x) * 4;
        const uint8_t* q = b.pixels.data() + (static_cast<size_t>(y) * b.width + x) * 4;
        for (int c = 0; c < 3; ++c)
            if (std::abs(p[c] - q[c]) > tolerance) return false;
        return true;
    };
    plat::DecodedImage black = *bg;
    std::fill(black.pixels.begin(), black.pixels.end(), 0);
    EXPECT_TRUE(near(shot, *bg, 4, 8)) << "top left corner: background";
    EXPECT_TRUE(near(shot, black, 2, 1134, 0)) << "bottom left corner: no dot over the strip";
    EXPECT_FALSE(near(shot, *bg, 320, 1136 - 2 * 304, 30)) << "the page frame";
    close();

    // Stored counts that name no pages or pages past level 10 still open a usable catalogue.
    store(SaveDataKeys::kLockCount, 0);
    layer = open();
    EXPECT_EQ(layer->getScrollLayer()->pageCount(), 1);
    close();
    store(SaveDataKeys::kLockCount, 40);
    layer = open();
    EXPECT_EQ(layer->getScrollLayer()->pageCount(), 10);
    EXPECT_STREQ(labelsOfPage(layer, 9)[0]->getString(), CharaTable::zukanName(10));
    close();
}

TEST_F(ZukanLayerTest, ArrowsStepPagesAndWaitForTheMoveToEnd) {
    store(SaveDataKeys::kLockCount, 4);
    ZukanLayer* layer = open();
    KTScrollLayer* scroll = layer->getScrollLayer();
    ASSERT_EQ(scroll->pageCount(), 3);
    const KTPoint right = centreOf(arrow(layer, 1)), left = centreOf(arrow(layer, 0));

    touches_.tap(right);
    EXPECT_EQ(scroll->getCurrentScreen(), 1);
    EXPECT_TRUE(GameGlobals::pageMoving);
    touches_.tap(right);  // within 0.3 s of the first press
    EXPECT_EQ(scroll->getCurrentScreen(), 1);
    driver_.runFrames(20);
    EXPECT_FALSE(GameGlobals::pageMoving);
    EXPECT_EQ(scroll->getPosition().x, -320);

    touches_.tap(right);
    EXPECT_EQ(scroll->getCurrentScreen(), 2);
    driver_.runFrames(20);
    touches_.tap(right);  // the last page: nothing to step to, but the guard runs its 0.3 s
    EXPECT_EQ(scroll->getCurrentScreen(), 2);
    EXPECT_TRUE(GameGlobals::pageMoving);
    driver_.runFrames(20);
    EXPECT_FALSE(GameGlobals::pageMoving);

    touches_.tap(left);
    touches_.tap(left);
    driver_.runFrames(20);
    EXPECT_EQ(scroll->getCurrentScreen(), 1);
    EXPECT_EQ(scroll->getPosition().x, -320);
    EXPECT_TRUE(bridge_->calls.empty());
}

TEST_F(ZukanLayerTest, CloseWorksDuringAPageMoveAndAsksForThePopupFirst) {
    store(SaveDataKeys::kLockCount, 3);
    ZukanLayer* layer = open();
    touches_.tap(centreOf(arrow(layer, 1)));
    ASSERT_TRUE(GameGlobals::pageMoving);
    touches_.tap(centreOf(layer->getCloseButton()));
    EXPECT_EQ(bridge_->calls, std::vector<std::string>{"InterAD"});
    EXPECT_EQ(KTDirector::sharedDirector()->getRunningScene(), app_.base);
    driver_.runFrames(30);
    EXPECT_EQ(KTDirector::sharedDirector()->getRunningScene(), app_.base);
}

// Escape, the desktop's back key, closes the catalogue once, as its close button does.
TEST_F(ZukanLayerTest, TheBackKeyClosesItOnce) {
    ASSERT_NE(open(), nullptr);
    for (int i = 0; i < 2; ++i) EAGLView::sharedEGLView()->keyInput({true, 0xff1b, {}});
    driver_.runFrames(2);
    EXPECT_EQ(bridge_->calls, std::vector<std::string>{"InterAD"});
    EXPECT_EQ(KTDirector::sharedDirector()->getRunningScene(), app_.base);
}

TEST_F(ZukanLayerTest, MissingPicturesLeaveEmptyPlaces) {
    gametest::ResourceScope resources;
    resources.write("chara.csv", gametest::charaCsv());
    ZukanLayer* layer = open();
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->getScrollLayer()->pageCount(), 1);
    EXPECT_EQ(layer->getPageItems()->count(), 15u);
    EXPECT_EQ(layer->getCloseButton()->getContentSize().width, 0);
    driver_.runFrames(2);
    close();
}
