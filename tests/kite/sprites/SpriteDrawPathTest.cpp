// The sprite's draw path: consecutive sprites of one program, texture and blend reach GL with nothing but
// their draw; sprites still land where their transforms put them after other client-memory draws, after a
// projection change, and under a program that applies the model-view matrix itself.
#include <gtest/gtest.h>

#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTDirector.h"
#include "kite/layers/KTLayer.h"
#include "kite/nodes/KTNode.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

struct Counted {
    int stateCalls = 0;  // program, blend, texture, vertex array object and attribute array switches
    int pointerCalls = 0;
};
Counted g_counted;
KTGLStateCalls g_driver;

class SpriteDrawPathTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        testdraw::useTextureColorProgram();
        KTAutoreleasePoolStack::sharedPoolStack()->push();
        g_counted = {};
        g_driver = ktGLDefaultStateCalls();
        KTGLStateCalls& calls = ktGLStateCalls();
        calls.useProgram = [](GLuint p) { ++g_counted.stateCalls, g_driver.useProgram(p); };
        calls.enable = [](GLenum c) { ++g_counted.stateCalls, g_driver.enable(c); };
        calls.disable = [](GLenum c) { ++g_counted.stateCalls, g_driver.disable(c); };
        calls.blendFunc = [](GLenum s, GLenum d) { ++g_counted.stateCalls, g_driver.blendFunc(s, d); };
        calls.bindTexture = [](GLenum t, GLuint n) { ++g_counted.stateCalls, g_driver.bindTexture(t, n); };
        calls.enableVertexAttribArray = [](GLuint i) {
            ++g_counted.stateCalls, g_driver.enableVertexAttribArray(i);
        };
        calls.bindVertexArray = [](GLuint a) { ++g_counted.stateCalls, g_driver.bindVertexArray(a); };
        calls.vertexAttribPointer = [](GLuint i, GLint n, GLenum t, GLboolean norm, GLsizei s,
                                       const void* p) {
            ++g_counted.pointerCalls, g_driver.vertexAttribPointer(i, n, t, norm, s, p);
        };
    }
    void TearDown() override {
        ktGLStateCalls() = ktGLDefaultStateCalls();
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        KTTextureCache::purgeSharedTextureCache();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    // A sprite of 8 x 8 pixels of one opaque colour, centred at (x, y).
    static KTSprite* square(const std::vector<uint8_t>& rgba, float x, float y) {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 64; ++i) pixels.insert(pixels.end(), rgba.begin(), rgba.end());
        KTImage* image = testdraw::makeImage(pixels, 8, 8);
        auto* texture = new KTTexture2D();
        EXPECT_TRUE(texture->initWithImage(image));
        image->release();
        texture->autorelease();
        KTSprite* sprite = KTSprite::createWithTexture(texture);
        sprite->setPosition(KTPoint(x, y));
        return sprite;
    }

    std::vector<uint8_t> drawAlone(KTNode* node) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        node->visit();
        return readPixels();
    }
    Pixel at(const std::vector<uint8_t>& rgba, int x, int glY) { return pixel(rgba, x, height_ - 1 - glY); }
};

TEST_F(SpriteDrawPathTest, SpritesSharingTheirStateReachGLOnlyToDraw) {
    KTNode* root = KTNode::create();
    KTSprite* first = square({255, 0, 0, 255}, 10, 10);
    root->addChild(first);
    for (float x : {30.0f, 50.0f}) {
        KTSprite* sprite = KTSprite::createWithTexture(first->getTexture());
        sprite->setPosition(KTPoint(x, 10));
        sprite->setRotation(90);
        root->addChild(sprite);
    }
    drawAlone(root);  // the first frame sets what every sprite shares

    g_counted = {};
    const unsigned int drawsBefore = g_drawCallCount;
    const auto rgba = drawAlone(root);
    EXPECT_EQ(g_drawCallCount, drawsBefore + 3);
    EXPECT_EQ(g_counted.stateCalls, 0);
    EXPECT_EQ(g_counted.pointerCalls, 0);
    for (int x : {10, 30, 50}) {
        EXPECT_TRUE(testsupport::near(at(rgba, x, 10), {255, 0, 0, 255})) << x;
        EXPECT_EQ(at(rgba, x, 20), (Pixel{0, 0, 0, 0})) << x;
    }
    EXPECT_EQ(at(rgba, 20, 10), (Pixel{0, 0, 0, 0}));

    // The projection's change reaches the next sprite: a view of 0..32 doubles everything.
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxMat4 ortho;
    mxMat4OrthographicProjection(&ortho, 0, 32, 0, 32, -1, 1);
    mxGLMultMatrix(&ortho);
    mxGLMatrixMode(MX_GL_MODELVIEW);
    const auto zoomed = drawAlone(first);
    EXPECT_TRUE(testsupport::near(at(zoomed, 20, 20), {255, 0, 0, 255}));
    EXPECT_TRUE(testsupport::near(at(zoomed, 13, 13), {255, 0, 0, 255}));
    EXPECT_EQ(at(zoomed, 30, 20), (Pixel{0, 0, 0, 0}));
}

TEST_F(SpriteDrawPathTest, SpritesAroundOtherClientMemoryDrawsKeepTheirOwnVertices) {
    KTNode* root = KTNode::create();
    root->addChild(square({255, 0, 0, 255}, 10, 10));
    // A colour layer sets attribute pointers of its own between the two sprites.
    KTLayerColor* layer = KTLayerColor::create(_ccColor4B{0, 255, 0, 255}, 8, 8);
    layer->setPosition(KTPoint(26, 26));
    root->addChild(layer);
    root->addChild(square({0, 0, 255, 255}, 50, 50));

    for (int frame = 0; frame < 2; ++frame) {
        const auto rgba = drawAlone(root);
        EXPECT_TRUE(testsupport::near(at(rgba, 10, 10), {255, 0, 0, 255}));
        EXPECT_TRUE(testsupport::near(at(rgba, 30, 30), {0, 255, 0, 255}));
        EXPECT_TRUE(testsupport::near(at(rgba, 50, 50), {0, 0, 255, 255}));
        EXPECT_EQ(at(rgba, 40, 40), (Pixel{0, 0, 0, 0}));
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SpriteDrawPathTest, ProgramThatAppliesTheModelviewItselfGetsTheSpritesOwnQuad) {
    auto* program = new KTGLProgram();
    program->initWithVertexShaderSource(
        "attribute vec4 a_position;\nattribute vec2 a_texCoord;\nvarying vec2 v_texCoord;\n"
        "void main() { gl_Position = KT_PMatrix * KT_MVMatrix * a_position; v_texCoord = a_texCoord; }\n",
        "varying vec2 v_texCoord;\nuniform sampler2D KT_Texture0;\n"
        "void main() { gl_FragColor = texture2D(KT_Texture0, v_texCoord); }\n");
    program->addAttribute(kKTAttributeNamePosition, kKTVertexAttrib_Position);
    program->addAttribute(kKTAttributeNameTexCoord, kKTVertexAttrib_TexCoords);
    program->link();
    program->updateUniforms();
    ASSERT_FALSE(program->acceptsEyeSpaceVertices());

    KTNode* root = KTNode::create();
    KTSprite* plain = square({255, 0, 0, 255}, 10, 10);
    KTSprite* custom = square({0, 0, 255, 255}, 40, 20);
    custom->setShaderProgram(program);
    program->release();
    root->addChild(plain);
    root->addChild(custom);
    root->setPosition(KTPoint(4, 4));

    const auto rgba = drawAlone(root);
    EXPECT_TRUE(testsupport::near(at(rgba, 14, 14), {255, 0, 0, 255}));
    EXPECT_TRUE(testsupport::near(at(rgba, 44, 24), {0, 0, 255, 255}));
    EXPECT_EQ(at(rgba, 44, 14), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(at(rgba, 37, 17), (Pixel{0, 0, 0, 0}));
}

}  // namespace
}  // namespace kite
