// Built-in programs on the real Mesa context, the uniform value cache and the built-in matrix uniforms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/matrix/KTMatrixStack.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

using testsupport::Pixel;

class GLProgramTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
    }
    void TearDown() override {
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    // A program of the caller's fragment source over a pass-through vertex shader.
    static KTGLProgram* makeProgram(const char* fragment) {
        auto* program = new KTGLProgram();
        program->initWithVertexShaderSource(
            "attribute vec4 a_position;\nvoid main() { gl_Position = a_position; }\n", fragment);
        program->addAttribute(kKTAttributeNamePosition, kKTVertexAttrib_Position);
        program->link();
        program->updateUniforms();
        return program;
    }

    // A red-to-green square of 32 points moved by (16, 16) over a 64-point orthographic projection, drawn
    // with the program (position and colour attributes), as a read-back.
    std::vector<uint8_t> drawSquare(KTGLProgram* program) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        testdraw::loadProjection64();
        mxGLTranslatef(16, 16, 0);
        program->use();
        program->setUniformsForBuiltins();
        const GLfloat positions[] = {0, 0, 32, 0, 0, 32, 32, 32};
        const GLubyte colors[] = {255, 0, 0, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255};
        ktGLBlendFunc(GL_ONE, GL_ZERO);
        ktGLEnableVertexAttribs(kKTVertexAttribFlag_Position | kKTVertexAttribFlag_Color);
        glVertexAttribPointer(kKTVertexAttrib_Position, 2, GL_FLOAT, GL_FALSE, 0, positions);
        glVertexAttribPointer(kKTVertexAttrib_Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, colors);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        return readPixels();
    }

    static GLfloat uniformFloat(KTGLProgram* program, GLint location) {
        GLfloat value[16] = {};
        glGetUniformfv(program->getProgram(), location, value);
        return value[0];
    }
};

TEST_F(GLProgramTest, EveryBuiltinProgramCompilesAndLinksUnderItsKey) {
    const char* keys[] = {kKTShader_PositionTextureColor,   kKTShader_PositionTextureColorAlphaTest,
                          kKTShader_PositionColor,          kKTShader_PositionTexture,
                          kKTShader_PositionTexture_uColor, kKTShader_PositionTextureA8Color,
                          kKTShader_Position_uColor,        kKTShader_PositionLengthTextureColor,
                          kKTShader_ControlSwitch};
    KTShaderCache* cache = KTShaderCache::sharedShaderCache();
    ASSERT_NE(cache, nullptr);
    for (const char* key : keys) {
        SCOPED_TRACE(key);
        KTGLProgram* program = cache->programForKey(key);
        ASSERT_NE(program, nullptr);
        GLint linked = GL_FALSE;
        glGetProgramiv(program->getProgram(), GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE);
        EXPECT_NE(program->getUniformLocation(kKTUniformMVPMatrix), -1);
        EXPECT_FALSE(program->usesTime());
        EXPECT_EQ(glGetAttribLocation(program->getProgram(), "a_position"), kKTVertexAttrib_Position);
    }
    EXPECT_EQ(cache->programForKey("ShaderNoSuchProgram"), nullptr);
    EXPECT_EQ(cache->programForKey(nullptr), nullptr);
    EXPECT_EQ(glGetAttribLocation(cache->programForKey(kKTShader_PositionLengthTextureColor)->getProgram(),
                                  "a_texcoord"),
              kKTVertexAttrib_TexCoords);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLProgramTest, ProgramsAreBuiltWhenFirstAskedFor) {
    KTShaderCache* cache = KTShaderCache::sharedShaderCache();
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->programCount(), 0u);
    KTGLProgram* program = cache->programForKey(kKTShader_PositionColor);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(cache->programCount(), 1u);
    EXPECT_EQ(cache->programForKey(kKTShader_PositionColor), program);
    EXPECT_EQ(cache->programForKey("ShaderNoSuchProgram"), nullptr);
    EXPECT_EQ(cache->programCount(), 1u);
    // Building the rest keeps the one already handed out.
    cache->loadDefaultShaders();
    EXPECT_EQ(cache->programCount(), 9u);
    EXPECT_EQ(cache->programForKey(kKTShader_PositionColor), program);
    cache->loadDefaultShaders();
    EXPECT_EQ(cache->programCount(), 9u);
}

TEST_F(GLProgramTest, AProgramBuiltOnFirstUseDrawsWhatOneBuiltUpFrontDraws) {
    const auto lazy = drawSquare(KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionColor));
    EXPECT_TRUE(testsupport::near(pixel(lazy, 20, 63 - 17), Pixel{247, 8, 0, 255}, 8));
    EXPECT_TRUE(testsupport::near(pixel(lazy, 20, 63 - 46), Pixel{8, 247, 0, 255}, 8));

    KTShaderCache::purgeSharedShaderCache();
    ktGLInvalidateStateCache();
    KTShaderCache* cache = KTShaderCache::sharedShaderCache();
    cache->loadDefaultShaders();
    EXPECT_EQ(drawSquare(cache->programForKey(kKTShader_PositionColor)), lazy);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A program built between choosing a program and drawing with it (a texture made there asks for its own)
// leaves the chosen one current, in GL and in the state cache.
TEST_F(GLProgramTest, BuildingAProgramKeepsTheCurrentOne) {
    KTShaderCache* cache = KTShaderCache::sharedShaderCache();
    KTGLProgram* color = cache->programForKey(kKTShader_PositionColor);
    color->use();
    KTGLProgram* textured = cache->programForKey(kKTShader_PositionTexture);
    ASSERT_NE(textured, nullptr);
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), color->getProgram());
    // The state cache agrees: using the textured program reaches GL.
    textured->use();
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), textured->getProgram());
    EXPECT_TRUE(testsupport::near(pixel(drawSquare(color), 20, 63 - 17), Pixel{247, 8, 0, 255}, 8));
}

TEST_F(GLProgramTest, UnchangedUniformValuesAreNotSentAgain) {
    KTGLProgram* program =
        makeProgram("uniform float u_value;\nvoid main() { gl_FragColor = vec4(u_value); }\n");
    const GLint location = program->getUniformLocationForName("u_value");
    ASSERT_NE(location, -1);

    program->setUniformLocationWith1f(location, 0.5f);
    EXPECT_FLOAT_EQ(uniformFloat(program, location), 0.5f);
    // Changed behind the cache's back: a repeat of the cached value must not reach GL, a new one must.
    glUniform1f(location, 0.25f);
    program->setUniformLocationWith1f(location, 0.5f);
    EXPECT_FLOAT_EQ(uniformFloat(program, location), 0.25f);
    program->setUniformLocationWith1f(location, 0.75f);
    EXPECT_FLOAT_EQ(uniformFloat(program, location), 0.75f);

    // Negative locations (uniforms the program lacks) are ignored.
    program->setUniformLocationWith1f(-1, 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    program->release();
}

TEST_F(GLProgramTest, UniformCacheGrowsWhenALocationGetsMoreValues) {
    KTGLProgram* program = makeProgram(
        "uniform vec4 u_values[3];\nvoid main() { gl_FragColor = u_values[0] + u_values[1] + u_values[2]; "
        "}\n");
    const GLint location = program->getUniformLocationForName("u_values");
    ASSERT_NE(location, -1);

    const GLfloat one[4] = {1, 2, 3, 4};
    program->setUniformLocationWith4fv(location, one, 1);
    const GLfloat three[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_TRUE(program->updateUniformLocation(location, three, sizeof(three)));
    // The whole larger value is cached: the same three vectors again are filtered, a change in the last is
    // not.
    EXPECT_FALSE(program->updateUniformLocation(location, three, sizeof(three)));
    GLfloat changed[12];
    memcpy(changed, three, sizeof(three));
    changed[11] = 99;
    program->setUniformLocationWith4fv(location, changed, 3);
    GLfloat last[4] = {};
    glGetUniformfv(program->getProgram(), program->getUniformLocationForName("u_values[2]"), last);
    EXPECT_FLOAT_EQ(last[3], 99.0f);
    // Back to a single vector: a different size always counts as a change.
    EXPECT_TRUE(program->updateUniformLocation(location, one, sizeof(one)));
    program->release();
}

TEST_F(GLProgramTest, TimeUniformsMarkTheProgramAsUsingTime) {
    KTGLProgram* timed = makeProgram("void main() { gl_FragColor = KT_SinTime; }\n");
    EXPECT_TRUE(timed->usesTime());
    KTGLProgram* plain = makeProgram("void main() { gl_FragColor = KT_Random01; }\n");
    EXPECT_FALSE(plain->usesTime());
    EXPECT_NE(plain->getUniformLocation(kKTUniformRandom01), -1);
    timed->release();
    plain->release();
}

TEST_F(GLProgramTest, TimeUniformsFollowTheDirectorsFrameCount) {
    KTDirector* director = KTDirector::sharedDirector();
    for (int i = 0; i < 3; ++i) director->drawScene();
    KTGLProgram* timed =
        makeProgram("void main() { gl_FragColor = KT_Time + KT_SinTime + KT_CosTime + KT_Random01; }\n");
    timed->use();
    timed->setUniformsForBuiltins();

    const float t = static_cast<float>(director->getTotalFrames() * director->getAnimationInterval());
    ASSERT_GT(t, 0.0f);
    GLfloat time[4] = {}, sinTime[4] = {}, cosTime[4] = {}, random[4] = {};
    glGetUniformfv(timed->getProgram(), timed->getUniformLocation(kKTUniformTime), time);
    glGetUniformfv(timed->getProgram(), timed->getUniformLocation(kKTUniformSinTime), sinTime);
    glGetUniformfv(timed->getProgram(), timed->getUniformLocation(kKTUniformCosTime), cosTime);
    glGetUniformfv(timed->getProgram(), timed->getUniformLocation(kKTUniformRandom01), random);
    EXPECT_FLOAT_EQ(time[0], t / 10);
    EXPECT_FLOAT_EQ(time[3], t * 4);
    EXPECT_FLOAT_EQ(sinTime[1], t / 4);
    EXPECT_FLOAT_EQ(sinTime[3], std::sin(t));
    EXPECT_FLOAT_EQ(cosTime[3], std::cos(t));
    for (GLfloat r : random) {
        EXPECT_GE(r, 0.0f);
        EXPECT_LE(r, 1.0f);
    }
    timed->release();
}

TEST_F(GLProgramTest, BuiltinMatricesComeFromTheStacks) {
    KTGLProgram* program = KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionColor);
    // After the translation the square covers pixels 16..47.
    const auto pixels = drawSquare(program);
    // Read-backs are top row first: GL row y is image row 63 - y.
    EXPECT_EQ(pixel(pixels, 8, 63 - 8), (Pixel{0, 0, 0, 0}));
    EXPECT_TRUE(testsupport::near(pixel(pixels, 20, 63 - 17), Pixel{247, 8, 0, 255}, 8));
    EXPECT_TRUE(testsupport::near(pixel(pixels, 20, 63 - 46), Pixel{8, 247, 0, 255}, 8));
    EXPECT_EQ(pixel(pixels, 50, 63 - 50), (Pixel{0, 0, 0, 0}));

    GLfloat mvp[16] = {};
    glGetUniformfv(program->getProgram(), program->getUniformLocation(kKTUniformMVPMatrix), mvp);
    EXPECT_FLOAT_EQ(mvp[12], 16 * 2.0f / 64 - 1);
    mxGLMatrixMode(MX_GL_MODELVIEW);
}

}  // namespace
}  // namespace kite
