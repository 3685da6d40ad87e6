#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/actions/KTActionInterval.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/core/KTScheduler.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/touch/KTTouchDispatcher.h"
#include "tests/kite/platform/TestGLView.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kite;
using testsupport::Pixel;

namespace {

using Log = std::vector<std::string>;

// Records its lifecycle calls and counts the firings of a per-frame timer.
class RecordingScene : public KTScene {
  public:
    static RecordingScene* create(Log* log, const std::string& name) {
        auto* scene = new RecordingScene(log, name);
        scene->init();
        scene->schedule(schedule_selector(RecordingScene::tick), 0);
        return ktAutorelease(scene);
    }

    void enter() override {
        record("enter");
        KTScene::enter();
    }
    void enterTransitionFinished() override {
        record("enterTransitionFinished");
        KTScene::enterTransitionFinished();
    }
    void exitTransitionStarted() override {
        record("exitTransitionStarted");
        KTScene::exitTransitionStarted();
    }
    void exit() override {
        record("exit");
        KTScene::exit();
    }
    void cleanup() override {
        record("cleanup");
        KTScene::cleanup();
    }

    void tick(float) { ++ticks; }
    int ticks = 0;

  private:
    RecordingScene(Log* log, std::string name) : log_(log), name_(std::move(name)) {}
    void record(const char* what) { log_->push_back(name_ + "." + what); }
    Log* log_;
    std::string name_;
};

// Fills a rectangle of its own space with one colour through the current matrices.
class ColourRectNode : public KTNode {
  public:
    static ColourRectNode* create(float r, float g, float b) {
        auto* node = new ColourRectNode();
        node->init();
        node->colour_[0] = r;
        node->colour_[1] = g;
        node->colour_[2] = b;
        return ktAutorelease(node);
    }
    ~ColourRectNode() override {
        if (program_) glDeleteProgram(program_);
    }

    void draw() override {
        if (!program_) build();
        mxMat4 projection, modelview, mvp;
        mxGLGetMatrix(MX_GL_PROJECTION, &projection);
        mxGLGetMatrix(MX_GL_MODELVIEW, &modelview);
        mxMat4Multiply(&mvp, &projection, &modelview);
        const KTSize size = getContentSize();
        const GLfloat vertices[] = {0, 0, size.width, 0, 0, size.height, size.width, size.height};
        glUseProgram(program_);
        glUniformMatrix4fv(glGetUniformLocation(program_, "u_mvp"), 1, GL_FALSE, mvp.mat);
        glUniform4f(glGetUniformLocation(program_, "u_colour"), colour_[0], colour_[1], colour_[2], 1);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, vertices);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glDisableVertexAttribArray(0);
        glUseProgram(0);
        ++draws;
        ++g_drawCallCount;
    }

    void update(float) override { ++updates; }

    int draws = 0;
    int updates = 0;

  private:
    void build() {
        auto compile = [](GLenum type, const char* source) {
            GLuint shader = glCreateShader(type);
            glShaderSource(shader, 1, &source, nullptr);
            glCompileShader(shader);
            return shader;
        };
        GLuint vs = compile(GL_VERTEX_SHADER,
                            "attribute vec4 a_position; uniform mat4 u_mvp;"
                            "void main() { gl_Position = u_mvp * a_position; }");
        GLuint fs = compile(GL_FRAGMENT_SHADER,
                            "precision mediump float; uniform vec4 u_colour;"
                            "void main() { gl_FragColor = u_colour; }");
        program_ = glCreateProgram();
        glAttachShader(program_, vs);
        glAttachShader(program_, fs);
        glBindAttribLocation(program_, 0, "a_position");
        glLinkProgram(program_);
        glDeleteShader(vs);
        glDeleteShader(fs);
    }

    GLuint program_ = 0;
    float colour_[3] = {};
};

// Stands for a frame whose work takes a long time: its update moves the clock on.
class StallNode : public KTNode {
  public:
    static StallNode* create(plat::VirtualClock* clock, double seconds) {
        auto* node = new StallNode();
        node->init();
        node->clock_ = clock;
        node->seconds_ = seconds;
        node->scheduleUpdate();
        return ktAutorelease(node);
    }
    void update(float) override { clock_->advance(seconds_); }

  private:
    plat::VirtualClock* clock_ = nullptr;
    double seconds_ = 0;
};

// Records the frame intervals the director asks the application for.
class RecordingApplication : public KTApplication {
  public:
    bool applicationDidFinishLaunching() override { return true; }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
    void setAnimationInterval(double interval) override { intervals.push_back(interval); }
    std::vector<double> intervals;
};

// A fresh director on a virtual clock, with a view over the shared context; purged afterwards.
class DirectorTest : public testsupport::GLTest {
  protected:
    DirectorTest() : GLTest(160, 284) {}

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

    void frame(double seconds = 1.0 / 60) {
        clock_.clock().advance(seconds);
        director_->mainLoop();
    }

    testsupport::VirtualClockScope clock_;
    Log log;  // outlives the purge in TearDown, which still reaches the scenes
    std::unique_ptr<testsupport::TestGLView> view_;
    KTDirector* director_ = nullptr;
};

}  // namespace

TEST_F(DirectorTest, DefaultsComeFromTheConfiguration) {
    EXPECT_DOUBLE_EQ(director_->getAnimationInterval(), 1.0 / 60);
    EXPECT_FALSE(director_->isDisplayStats());
    EXPECT_EQ(director_->getProjection(), kKTDirectorProjection3D);
    EXPECT_EQ(director_->getContentScaleFactor(), 1.0f);
    EXPECT_EQ(director_->getWinSize().width, 320);
    EXPECT_EQ(director_->getClassTypeInfo(), ktTypeIdOfName("N4kite10KTDirectorE"));
    EXPECT_NE(director_->getScheduler(), nullptr);
    EXPECT_NE(director_->getActionManager(), nullptr);
}

TEST_F(DirectorTest, TextureDefaultsAreSetAtStart) {
    KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_RGBA4444);
    KTTexture2D::PVRImagesHavePremultipliedAlpha(true);
    director_->end();
    director_->mainLoop();
    director_ = KTDirector::sharedDirector();
    EXPECT_EQ(KTTexture2D::defaultAlphaPixelFormat(), kKTTexture2DPixelFormat_RGBA8888);
    EXPECT_FALSE(KTTexture2D::PVRImagesHavePremultipliedAlpha());
}

TEST_F(DirectorTest, APurgeLeavesTheViewNoPointerIntoTheDirectorsServices) {
    director_->runWithScene(KTScene::create());
    frame();
    EXPECT_EQ(view_->getTouchDelegate(), static_cast<EGLTouchDelegate*>(director_->getTouchDispatcher()));
    director_->end();
    director_->mainLoop();
    // The dispatcher went with the director; a touch on the view that stays must not reach it.
    EXPECT_EQ(view_->getTouchDelegate(), nullptr);
    intptr_t id = 1;
    float x = 10, y = 20;
    view_->handleTouchesBegin(1, &id, &x, &y);
    view_->handleTouchesMove(1, &id, &x, &y);
    view_->handleTouchesEnd(1, &id, &x, &y);
    // A new director takes the view and its touches again.
    director_ = KTDirector::sharedDirector();
    director_->setOpenGLView(view_.get());
    EXPECT_EQ(view_->getTouchDelegate(), static_cast<EGLTouchDelegate*>(director_->getTouchDispatcher()));
}

TEST_F(DirectorTest, AnimationRestartsTheApplicationFrameSource) {
    RecordingApplication application;
    director_->runWithScene(KTScene::create());
    director_->pause();
    director_->resume();
    EXPECT_EQ(application.intervals, (std::vector<double>{1.0 / 60, 0.25, 1.0 / 60}));
    director_->stopAnimation();
    director_->setAnimationInterval(0.5);  // stopped: stored, nothing restarted
    EXPECT_EQ(application.intervals.size(), 3u);
    EXPECT_DOUBLE_EQ(director_->getAnimationInterval(), 0.5);
    const unsigned frames = director_->getTotalFrames();
    frame();
    EXPECT_EQ(director_->getTotalFrames(), frames) << "a stopped director draws nothing";
}

TEST_F(DirectorTest, DeltaTimeFollowsTheClock) {
    clock_.clock().advance(3);  // time before the start does not count
    director_->runWithScene(RecordingScene::create(&log, "A"));
    frame(0.25);
    EXPECT_FLOAT_EQ(director_->getDeltaTime(), 0.25f);
    frame(1.0 / 60);
    EXPECT_NEAR(director_->getDeltaTime(), 1.0 / 60, 1e-6);
    frame(5);  // a long stall is not clamped
    EXPECT_FLOAT_EQ(director_->getDeltaTime(), 5.0f);

    director_->pause();
    EXPECT_DOUBLE_EQ(director_->getAnimationInterval(), 0.25);
    auto* scene = static_cast<RecordingScene*>(director_->getRunningScene());
    const int ticks = scene->ticks;
    frame(0.25);
    EXPECT_EQ(scene->ticks, ticks) << "a paused director does not run the scheduler";
    clock_.clock().advance(10);
    director_->resume();
    EXPECT_DOUBLE_EQ(director_->getAnimationInterval(), 1.0 / 60);
    EXPECT_EQ(director_->getDeltaTime(), 0.0f);
    frame(0.1);
    EXPECT_NEAR(director_->getDeltaTime(), 0.1, 1e-6);
    EXPECT_EQ(scene->ticks, ticks + 1);

    director_->setNextDeltaTimeZero(true);
    frame(0.5);
    EXPECT_EQ(director_->getDeltaTime(), 0.0f);
    clock_.clock().jumpWallMicros(-2000000);  // the wall clock going back gives 0, not a negative time
    frame(0);
    EXPECT_EQ(director_->getDeltaTime(), 0.0f);
}

TEST_F(DirectorTest, SceneStackLifecycle) {
    RecordingScene* a = RecordingScene::create(&log, "A");
    RecordingScene* b = RecordingScene::create(&log, "B");
    RecordingScene* c = RecordingScene::create(&log, "C");
    c->retain();

    director_->runWithScene(a);
    EXPECT_EQ(director_->getRunningScene(), nullptr) << "the switch waits for the next frame";
    frame();
    EXPECT_EQ(director_->getRunningScene(), a);
    EXPECT_EQ(log, (Log{"A.enter", "A.enterTransitionFinished"}));

    log.clear();
    director_->pushScene(b);
    frame();
    EXPECT_EQ(director_->getRunningScene(), b);
    EXPECT_EQ(log, (Log{"A.exitTransitionStarted", "A.exit", "B.enter", "B.enterTransitionFinished"}));

    log.clear();
    const int ticksOfA = a->ticks;
    director_->popScene();
    frame();
    EXPECT_EQ(director_->getRunningScene(), a);
    EXPECT_EQ(
        log, (Log{"B.exitTransitionStarted", "B.exit", "B.cleanup", "A.enter", "A.enterTransitionFinished"}));
    frame();
    EXPECT_GT(a->ticks, ticksOfA) << "a pushed-over scene keeps its timers";

    log.clear();
    director_->replaceScene(c);
    frame();
    EXPECT_EQ(director_->getRunningScene(), c);
    EXPECT_EQ(
        log, (Log{"A.exitTransitionStarted", "A.exit", "A.cleanup", "C.enter", "C.enterTransitionFinished"}));

    // Popping the last scene ends the director: the next call purges instead of drawing.
    log.clear();
    const int swaps = view_->swaps;
    director_->popScene();
    director_->mainLoop();
    EXPECT_EQ(view_->swaps, swaps);
    EXPECT_EQ(view_->ends, 1);
    EXPECT_EQ(log, (Log{"C.exitTransitionStarted", "C.exit", "C.cleanup"}));
    EXPECT_EQ(c->retainCount(), 1u);
    c->release();
}

TEST_F(DirectorTest, PushThenPopInOneFrameLeavesTheRunningSceneAlone) {
    RecordingScene* a = RecordingScene::create(&log, "A");
    director_->runWithScene(a);
    frame();
    a->runAction(KTMoveBy::create(10, KTPoint(100, 0)));
    frame();
    const int ticks = a->ticks;
    const float x = a->getPositionX();
    log.clear();

    RecordingScene* b = RecordingScene::create(&log, "B");
    director_->pushScene(b);
    director_->popScene();
    frame();
    frame();
    EXPECT_EQ(director_->getRunningScene(), a);
    EXPECT_TRUE(log.empty()) << "the running scene got " << log.size() << " lifecycle calls";
    EXPECT_EQ(a->ticks, ticks + 2) << "its timers survive";
    EXPECT_GT(a->getPositionX(), x) << "its actions survive";
}

TEST_F(DirectorTest, NullScenesAreRefused) {
    director_->runWithScene(nullptr);
    director_->pushScene(nullptr);
    director_->replaceScene(nullptr);
    director_->popScene();  // an empty stack: nothing to pop
    frame();
    EXPECT_EQ(director_->getRunningScene(), nullptr);
}

TEST_F(DirectorTest, ProjectionsSetTheMatrixStacks) {
    director_->setProjection(kKTDirectorProjection2D);
    mxMat4 projection, modelview;
    mxGLGetMatrix(MX_GL_PROJECTION, &projection);
    EXPECT_FLOAT_EQ(projection.mat[0], 2.0f / 320);
    EXPECT_FLOAT_EQ(projection.mat[12], -1.0f);

    // Both projections put the design area's corners on the clip corners.
    director_->setProjection(kKTDirectorProjection3D);
    EXPECT_NEAR(director_->convertToGL(KTPoint(0, 0)).y, 568, 0.5);
    EXPECT_NEAR(director_->convertToGL(KTPoint(320, 568)).x, 320, 0.5);
    EXPECT_NEAR(director_->convertToGL(KTPoint(160, 284)).x, 160, 0.05);

    // A custom projection without a delegate leaves the matrices but records the kind.
    mxGLGetMatrix(MX_GL_PROJECTION, &projection);
    director_->setProjection(kKTDirectorProjectionCustom);
    mxMat4 after;
    mxGLGetMatrix(MX_GL_PROJECTION, &after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(after.mat[i], projection.mat[i]);
    EXPECT_EQ(director_->getProjection(), kKTDirectorProjectionCustom);
    (void)modelview;
}

TEST_F(DirectorTest, StatisticsRefreshAfterHalfASecond) {
    director_->setDisplayStats(true);
    KTScene* scene = KTScene::create();
    director_->runWithScene(scene);
    for (int i = 0; i < 4; ++i) frame(0.125);  // half a second exactly: not more than it
    EXPECT_STREQ(director_->getFPSText(), "");
    g_drawCallCount = 12;
    frame(0.125);
    EXPECT_STREQ(director_->getFPSText(), "8.0");
    EXPECT_STREQ(director_->getDrawCallsText(), "  12");
    EXPECT_EQ(g_drawCallCount, 0u);

    // A frame whose work takes ten million seconds still fits its text.
    scene->addChild(StallNode::create(&clock_.clock(), 1e7));
    frame(1000);
    frame(1000);
    EXPECT_STREQ(director_->getFPSText(), "0.0");
    EXPECT_STREQ(director_->getSecondsPerFrameText(), "10000000.000");

    director_->setDisplayStats(false);
    g_drawCallCount = 5;
    frame();
    EXPECT_EQ(g_drawCallCount, 0u) << "the counter is reset every frame either way";
}

TEST_F(DirectorTest, SettingTheSameViewOrScaleChangesNothing) {
    director_->setOpenGLView(view_.get());
    EXPECT_EQ(director_->getOpenGLView(), view_.get());
    director_->setContentScaleFactor(2);
    EXPECT_EQ(director_->getWinSizeInPixels().width, 640);
    director_->setContentScaleFactor(2);
    EXPECT_EQ(director_->getContentScaleFactor(), 2.0f);
}

TEST_F(DirectorTest, HeadlessRunDrawsTheScene) {
    KTScene* scene = KTScene::create();
    ColourRectNode* node = ColourRectNode::create(1, 0, 0);
    node->setContentSize(KTSize(160, 284));
    node->setPosition(KTPoint(80, 142));  // the middle quarter of the screen
    node->scheduleUpdate();
    scene->addChild(node);
    director_->runWithScene(scene);

    for (int i = 0; i < 120; ++i) frame();

    EXPECT_EQ(director_->getTotalFrames(), 120u);
    EXPECT_EQ(view_->swaps, 120);
    EXPECT_EQ(node->draws, 120);
    EXPECT_EQ(node->updates, 119);  // the node starts running after the first frame's update pass

    auto pixels = readPixels();
    ASSERT_EQ(pixels.size(), 160u * 284u * 4u);
    // Design points are half pixels here; rows count from the top.
    EXPECT_TRUE(testsupport::near(pixel(pixels, 80, 142), Pixel{255, 0, 0, 255}));
    EXPECT_TRUE(testsupport::near(pixel(pixels, 41, 72), Pixel{255, 0, 0, 255}));
    EXPECT_TRUE(testsupport::near(pixel(pixels, 118, 211), Pixel{255, 0, 0, 255}));
    EXPECT_EQ(pixel(pixels, 38, 142), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(pixel(pixels, 80, 68), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(pixel(pixels, 0, 0), (Pixel{0, 0, 0, 255}));
}
