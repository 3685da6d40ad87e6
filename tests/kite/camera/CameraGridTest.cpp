// The camera and grab hooks a node consults while drawing.
#include <gtest/gtest.h>

#include <cmath>

#include "kite/camera/KTCamera.h"
#include "kite/camera/KTGrid.h"
#include "kite/matrix/KTMatrixStack.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

class CameraGridTest : public testsupport::GLTest {
  protected:
    static mxMat4 modelview() {
        mxMat4 m;
        mxGLGetMatrix(MX_GL_MODELVIEW, &m);
        return m;
    }
};

TEST_F(CameraGridTest, UntouchedCameraAppliesAnIdentityView) {
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLLoadIdentity();
    mxGLTranslatef(5, 6, 0);
    const mxMat4 before = modelview();

    auto* camera = new KTCamera();
    EXPECT_FALSE(camera->isDirty());
    camera->locate();
    const mxMat4 after = modelview();
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(after.mat[i], before.mat[i]) << i;

    // Rebuilt from the default eye just in front of the centre: only a vanishing z shift.
    camera->setDirty(true);
    camera->locate();
    EXPECT_FALSE(camera->isDirty());
    const mxMat4 rebuilt = modelview();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(rebuilt.mat[i], before.mat[i], 1e-6) << i;
    camera->release();
    mxGLLoadIdentity();
}

TEST_F(CameraGridTest, GrabberRedirectsDrawingAndRestoresFramebufferAndClearColour) {
    auto* grabber = new KTGrabber();
    ASSERT_NE(grabber->getFBO(), 0u);
    // A colour target for the grabber's framebuffer, so its clear is valid.
    GLuint target = 0;
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindFramebuffer(GL_FRAMEBUFFER, grabber->getFBO());
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    grabber->beforeRender(nullptr);
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(grabber->getFBO()));
    GLfloat clear[4] = {1, 1, 1, 1};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0] + clear[1] + clear[2] + clear[3], 0.0f);

    grabber->afterRender(nullptr);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[1], 0.5f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    grabber->release();
    glDeleteTextures(1, &target);
}

}  // namespace
}  // namespace kite
