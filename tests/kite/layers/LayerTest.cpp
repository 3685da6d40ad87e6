#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "kite/accelerometer/AccelerometerDispatcher.h"
#include "kite/accelerometer/AccelerometerSimulation.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/keypad/KTKeypadDispatcher.h"
#include "kite/layers/KTLayer.h"
#include "kite/nodes/KTScene.h"
#include "kite/touch/KTTouchDispatcher.h"
#include "kite/touch/KTTouchHandler.h"
#include "platform/media/GLContext.h"
#include "tests/kite/platform/TestGLView.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kite;
using testsupport::Pixel;

namespace {

// A director on a virtual clock drawing 320×568 design points into a 160×284 surface; purged afterwards.
class LayerTest : public testsupport::GLTest {
  protected:
    LayerTest() : GLTest(160, 284) {}

    void SetUp() override {
        GLTest::SetUp();
        view_ = std::make_unique<testsupport::TestGLView>(gl_, 160, 284);
        director_ = KTDirector::sharedDirector();
        director_->setOpenGLView(view_.get());
        view_->setDesignResolutionSize(320, 568, kResolutionExactFit);
    }

    void TearDown() override {
        KTDirector* director = KTDirector::sharedDirector();
        director->end();
        director->mainLoop();
    }

    void frame() {
        clock_.clock().advance(1.0 / 60);
        director_->mainLoop();
    }

    KTTouchDispatcher* touches() { return director_->getTouchDispatcher(); }

    testsupport::VirtualClockScope clock_;
    std::unique_ptr<testsupport::TestGLView> view_;
    KTDirector* director_ = nullptr;
};

}  // namespace

TEST_F(LayerTest, ScenesAndLayersAreWindowSizedWithTheirCornerAtThePosition) {
    KTScene* scene = KTScene::create();
    KTLayer* layer = KTLayer::create();
    for (KTNode* node : {static_cast<KTNode*>(scene), static_cast<KTNode*>(layer)}) {
        EXPECT_EQ(node->getContentSize().width, 320);
        EXPECT_EQ(node->getContentSize().height, 568);
        EXPECT_EQ(node->getAnchorPoint().x, 0.5f);
        EXPECT_TRUE(node->isIgnoreAnchorPointForPosition());
        const KTAffineTransform t = node->nodeToParentTransform();
        EXPECT_EQ(t.tx, 0);
        EXPECT_EQ(t.ty, 0);
    }
}

TEST_F(LayerTest, ColourLayerVerticesColoursAndBlending) {
    KTLayerColor* layer = KTLayerColor::create(_ccColor4B{0, 0, 0, 128});
    const ktVertex2F* v = layer->getSquareVertices();
    EXPECT_EQ(v[0].x, 0);
    EXPECT_EQ(v[1].x, 320);
    EXPECT_EQ(v[2].y, 568);
    EXPECT_EQ(v[3].x, 320);
    EXPECT_EQ(v[3].y, 568);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(layer->getSquareColors()[i].r, 0);
        EXPECT_NEAR(layer->getSquareColors()[i].a, 0.50196f, 1e-5);
    }
    // Source-alpha blending whatever the alpha.
    EXPECT_EQ(layer->getBlendFunc().src, static_cast<GLenum>(GL_SRC_ALPHA));
    EXPECT_EQ(layer->getBlendFunc().dst, static_cast<GLenum>(GL_ONE_MINUS_SRC_ALPHA));

    layer->setOpacity(64);
    layer->setColor(_ccColor3B{255, 0, 51});
    EXPECT_EQ(layer->getDisplayedOpacity(), 64);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(layer->getSquareColors()[i].a, 64 / 255.0f, 1e-6);
        EXPECT_EQ(layer->getSquareColors()[i].r, 1.0f);
        EXPECT_NEAR(layer->getSquareColors()[i].b, 0.2f, 1e-6);
    }
    layer->setContentSize(KTSize(10, 20));
    EXPECT_EQ(v[3].x, 10);
    EXPECT_EQ(v[3].y, 20);

    KTLayerColor* plain = KTLayerColor::create();
    EXPECT_EQ(plain->getDisplayedOpacity(), 0);
    EXPECT_EQ(plain->getContentSize().height, 568);
}

TEST_F(LayerTest, ColourLayersDrawFromClientMemoryWhateverBufferWasBound) {
    KTScene* scene = KTScene::create();
    scene->addChild(KTLayerColor::create(_ccColor4B{255, 0, 0, 255}));
    // The lower-left quarter, half transparent green over the red.
    KTLayerColor* corner = KTLayerColor::create(_ccColor4B{0, 255, 0, 128}, 160, 284);
    scene->addChild(corner);
    director_->runWithScene(scene);

    // Leave a buffer and a vertex array object bound, as other draws may.
    GLuint buffer = 0, vao = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    const float junk[8] = {};
    glBufferData(GL_ARRAY_BUFFER, sizeof junk, junk, GL_STATIC_DRAW);
    if (plat::glGenVertexArraysOES) {
        plat::glGenVertexArraysOES(1, &vao);
        ktGLBindVAO(vao);
    }
    for (int i = 0; i < 3; ++i) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        frame();
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    auto pixels = readPixels();
    EXPECT_TRUE(testsupport::near(pixel(pixels, 120, 40), Pixel{255, 0, 0, 255})) << "top right";
    EXPECT_TRUE(testsupport::near(pixel(pixels, 40, 220), Pixel{127, 128, 0, 191}, 3))
        << testing::PrintToString(pixel(pixels, 40, 220));
    glDeleteBuffers(1, &buffer);
    if (vao) {
        ktGLBindVAO(0);
        plat::glDeleteVertexArraysOES(1, &vao);
    }
}

TEST_F(LayerTest, TouchRegistrationFollowsTheStageModeAndPriority) {
    KTScene* scene = KTScene::create();
    KTLayer* layer = KTLayer::create();
    layer->setTouchEnabled(true);
    EXPECT_EQ(touches()->findHandler(layer), nullptr) << "not running: only the flag";
    scene->addChild(layer);
    director_->runWithScene(scene);
    frame();
    KTTouchHandler* handler = touches()->findHandler(layer);
    ASSERT_NE(handler, nullptr);
    EXPECT_NE(dynamic_cast<KTStandardTouchHandler*>(handler), nullptr);

    // Standard delegates register at priority 0 whatever the layer's priority.
    layer->setTouchPriority(7);
    EXPECT_EQ(touches()->findHandler(layer)->getPriority(), 0);
    layer->setTouchMode(kKTTouchesOneByOne);
    auto* targeted = dynamic_cast<KTTargetedTouchHandler*>(touches()->findHandler(layer));
    ASSERT_NE(targeted, nullptr);
    EXPECT_EQ(targeted->getPriority(), 7);
    EXPECT_TRUE(targeted->isSwallowsTouches());
    layer->setTouchPriority(-3);
    EXPECT_EQ(touches()->findHandler(layer)->getPriority(), -3);

    layer->setTouchEnabled(false);
    EXPECT_EQ(touches()->findHandler(layer), nullptr);
    layer->setTouchPriority(4);
    EXPECT_EQ(touches()->findHandler(layer), nullptr) << "a disabled layer only stores its priority";

    layer->setTouchEnabled(true);
    layer->setKeypadEnabled(true);
    EXPECT_EQ(director_->getKeypadDispatcher()->getHandlers()->count(), 1u);
    layer->removeFromParent();
    EXPECT_EQ(touches()->findHandler(layer), nullptr) << "leaving the stage leaves every dispatcher";
    EXPECT_EQ(director_->getKeypadDispatcher()->getHandlers()->count(), 0u);
}

TEST_F(LayerTest, AccelerometerDelegateFollowsTheStage) {
    AccelerometerSimulation::setPort(0);
    KTScene* scene = KTScene::create();
    KTLayer* layer = KTLayer::create();
    scene->addChild(layer);
    director_->runWithScene(scene);
    frame();
    auto dispatcher = AccelerometerDispatcher::sharedAccelerometerDispather();
    layer->setAccelerometerEnabled(true);
    EXPECT_EQ(dispatcher->delegate_(), layer);
    layer->setAccelerometerInterval(0.5);
    EXPECT_DOUBLE_EQ(AccelerometerSimulation::getAccelerometer()->updateInterval(), 0.5);
    layer->removeFromParent();
    EXPECT_EQ(dispatcher->delegate_(), nullptr);
}
