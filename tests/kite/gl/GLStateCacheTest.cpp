// The GL state cache must let only real changes reach GL: these tests swap its call table for one that
// counts (and still forwards to the driver), then check both the counts and the driver's state.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "kite/gl/KTGLStateCache.h"
#include "kite/matrix/KTMatrixStack.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

struct Recorded {
    int useProgram = 0;
    int enable = 0;
    int disable = 0;
    int blendFunc = 0;
    int bindTexture = 0;
    int bindVertexArray = 0;
    std::vector<GLuint> enabledArrays;
    std::vector<GLuint> disabledArrays;
};

Recorded g_recorded;
KTGLStateCalls g_real;

class GLStateCacheTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        g_recorded = {};
        g_real = ktGLDefaultStateCalls();
        KTGLStateCalls& calls = ktGLStateCalls();
        calls.useProgram = [](GLuint p) {
            ++g_recorded.useProgram;
            g_real.useProgram(p);
        };
        calls.enable = [](GLenum cap) {
            ++g_recorded.enable;
            g_real.enable(cap);
        };
        calls.disable = [](GLenum cap) {
            ++g_recorded.disable;
            g_real.disable(cap);
        };
        calls.blendFunc = [](GLenum s, GLenum d) {
            ++g_recorded.blendFunc;
            g_real.blendFunc(s, d);
        };
        calls.bindTexture = [](GLenum target, GLuint t) {
            ++g_recorded.bindTexture;
            g_real.bindTexture(target, t);
        };
        calls.enableVertexAttribArray = [](GLuint i) {
            g_recorded.enabledArrays.push_back(i);
            g_real.enableVertexAttribArray(i);
        };
        calls.disableVertexAttribArray = [](GLuint i) {
            g_recorded.disabledArrays.push_back(i);
            g_real.disableVertexAttribArray(i);
        };
        calls.bindVertexArray = [](GLuint v) {
            ++g_recorded.bindVertexArray;
            g_real.bindVertexArray(v);
        };
        // The shared context's state was reset behind the cache's back.
        ktGLInvalidateStateCache();
        ktGLEnableVertexAttribs(0);
        g_recorded = {};
    }
    void TearDown() override {
        ktGLStateCalls() = ktGLDefaultStateCalls();
        ktGLInvalidateStateCache();
    }

    // glUseProgram only accepts linked programs.
    static GLuint linkedProgram() {
        const char* vs = "void main() { gl_Position = vec4(0.0); }";
        const char* fs = "void main() { gl_FragColor = vec4(1.0); }";
        const GLuint program = glCreateProgram();
        for (auto [type, source] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
            const GLuint shader = glCreateShader(type);
            glShaderSource(shader, 1, &source, nullptr);
            glCompileShader(shader);
            glAttachShader(program, shader);
            glDeleteShader(shader);
        }
        glLinkProgram(program);
        return program;
    }

    static GLint integer(GLenum name) {
        GLint value = -1;
        glGetIntegerv(name, &value);
        return value;
    }
};

TEST_F(GLStateCacheTest, RepeatedProgramAndBlendCallsReachGLOnce) {
    const GLuint program = linkedProgram();
    ktGLUseProgram(program);
    ktGLUseProgram(program);
    EXPECT_EQ(g_recorded.useProgram, 1);
    EXPECT_EQ(integer(GL_CURRENT_PROGRAM), static_cast<GLint>(program));

    // (GL_ONE, GL_ZERO) is "no blending": GL_BLEND goes off rather than setting factors.
    ktGLBlendFunc(GL_ONE, GL_ZERO);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(g_recorded.disable, 1);
    EXPECT_EQ(g_recorded.blendFunc, 0);

    ktGLBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(integer(GL_BLEND_SRC_RGB), GL_ONE);
    EXPECT_EQ(integer(GL_BLEND_DST_RGB), GL_ONE_MINUS_SRC_ALPHA);
    ktGLBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(g_recorded.enable, 1);
    EXPECT_EQ(g_recorded.blendFunc, 1);

    // Deleting the current program makes the next use of a program of the same name reach GL again.
    ktGLDeleteProgram(program);
    const GLuint again = linkedProgram();
    ktGLUseProgram(again);
    EXPECT_EQ(g_recorded.useProgram, 2);
    ktGLUseProgram(0);
    ktGLDeleteProgram(again);
}

TEST_F(GLStateCacheTest, VertexAttribArraysChangeOnlyWhereTheFlagsDiffer) {
    ktGLEnableVertexAttribs(kKTVertexAttribFlag_Position);
    EXPECT_EQ(g_recorded.enabledArrays, (std::vector<GLuint>{0}));
    ktGLEnableVertexAttribs(kKTVertexAttribFlag_PosColorTex);
    EXPECT_EQ(g_recorded.enabledArrays, (std::vector<GLuint>{0, 1, 2}));
    ktGLEnableVertexAttribs(kKTVertexAttribFlag_PosColorTex);
    ktGLEnableVertexAttribs(kKTVertexAttribFlag_Position | kKTVertexAttribFlag_TexCoords);
    EXPECT_EQ(g_recorded.enabledArrays.size(), 3u);
    EXPECT_EQ(g_recorded.disabledArrays, (std::vector<GLuint>{1}));

    GLint enabled = 0;
    glGetVertexAttribiv(1, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, GL_FALSE);
    glGetVertexAttribiv(2, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, GL_TRUE);
}

TEST_F(GLStateCacheTest, AttribChangesFirstLeaveABoundVertexArrayObject) {
    ASSERT_NE(plat::glGenVertexArraysOES, nullptr);
    GLuint vao = 0;
    plat::glGenVertexArraysOES(1, &vao);
    ktGLBindVAO(vao);
    ktGLBindVAO(vao);
    EXPECT_EQ(g_recorded.bindVertexArray, 1);
    EXPECT_EQ(integer(GL_VERTEX_ARRAY_BINDING_OES), static_cast<GLint>(vao));

    ktGLEnableVertexAttribs(kKTVertexAttribFlag_Position);
    EXPECT_EQ(integer(GL_VERTEX_ARRAY_BINDING_OES), 0);
    EXPECT_EQ(g_recorded.bindVertexArray, 2);
    plat::glDeleteVertexArraysOES(1, &vao);
}

TEST_F(GLStateCacheTest, TextureBindsAreFilteredPerUnit) {
    GLuint textures[2];
    glGenTextures(2, textures);
    ktGLBindTexture2D(textures[0]);
    ktGLBindTexture2D(textures[0]);
    ktGLBindTexture2DN(1, textures[0]);
    ktGLBindTexture2DN(1, textures[1]);
    ktGLBindTexture2DN(1, textures[1]);
    EXPECT_EQ(g_recorded.bindTexture, 3);

    glActiveTexture(GL_TEXTURE1);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(textures[1]));
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(textures[0]));
    glDeleteTextures(2, textures);
}

TEST_F(GLStateCacheTest, DeletedTextureOnUnitOneIsForgottenSoItsReusedNameReallyBinds) {
    GLuint first = 0;
    glGenTextures(1, &first);
    ktGLBindTexture2DN(1, first);
    ktGLDeleteTexture(first);

    glActiveTexture(GL_TEXTURE1);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);

    // A new texture under the freed name (GL may hand it out again) must really be bound.
    const int before = g_recorded.bindTexture;
    ktGLBindTexture2DN(1, first);
    EXPECT_EQ(g_recorded.bindTexture, before + 1);
    glActiveTexture(GL_TEXTURE1);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(first));
    glActiveTexture(GL_TEXTURE0);
    ktGLDeleteTexture(first);
}

TEST_F(GLStateCacheTest, InvalidationMakesTheNextCallOfEachKindReachGL) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    const GLuint program = linkedProgram();
    ktGLUseProgram(program);
    ktGLBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ktGLBindTexture2D(texture);

    ktGLInvalidateStateCache();
    ktGLUseProgram(program);
    ktGLBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ktGLBindTexture2D(texture);
    EXPECT_EQ(g_recorded.useProgram, 2);
    EXPECT_EQ(g_recorded.blendFunc, 2);
    EXPECT_EQ(g_recorded.bindTexture, 2);

    ktGLUseProgram(0);
    ktGLDeleteProgram(program);
    ktGLDeleteTexture(texture);
}

// After views were composited over a frame the cache forgets GL's state, but the projection the director
// set stays: the next frames draw with it.
TEST_F(GLStateCacheTest, ResetAfterCompositingKeepsTheProjection) {
    const GLuint program = linkedProgram();
    ktGLUseProgram(program);
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxGLTranslatef(3, 4, 0);
    const auto version = mxGLProjectionVersion();

    ktGLResetStateCache();
    ktGLUseProgram(program);
    EXPECT_EQ(g_recorded.useProgram, 2);
    EXPECT_EQ(mxGLProjectionVersion(), version);
    mxMat4 projection;
    mxGLGetMatrix(MX_GL_PROJECTION, &projection);
    EXPECT_FLOAT_EQ(projection.mat[12], 3);
    EXPECT_FLOAT_EQ(projection.mat[13], 4);

    ktGLUseProgram(0);
    ktGLDeleteProgram(program);
    ktGLInvalidateStateCache();
}

}  // namespace
}  // namespace kite
