#include "tests/support/GLTestSupport.h"

#include <cstdlib>
#include <memory>
#include <ostream>

namespace testsupport {

plat::GLContext* sharedGLContext() {
    static std::unique_ptr<plat::GLContext> context = [] {
        // Never a hardware driver: read-backs must not depend on the machine.
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        plat::GLContextOptions options;
        options.color = plat::GLColorFormat::RGBA8888;
        options.depth = plat::GLDepthFormat::Depth24Stencil8;
        return plat::GLContext::createHeadless(64, 64, options);
    }();
    if (context && !context->isCurrent() && !context->makeCurrent()) return nullptr;
    return context.get();
}

plat::GLContext* glContext(int width, int height) {
    plat::GLContext* context = sharedGLContext();
    if (!context || !context->resize(width, height)) return nullptr;
    resetGLState();
    return context;
}

void resetGLState() {
    plat::GLContext* context = sharedGLContext();
    if (!context) return;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, context->width(), context->height());
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 0);
    glUseProgram(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (plat::glBindVertexArrayOES) plat::glBindVertexArrayOES(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    while (glGetError() != GL_NO_ERROR) {
    }
}

void PrintTo(const Pixel& pixel, std::ostream* out) {
    *out << "rgba(" << int(pixel.r) << ", " << int(pixel.g) << ", " << int(pixel.b) << ", " << int(pixel.a)
         << ")";
}

Pixel pixelAt(const std::vector<uint8_t>& rgba, int width, int x, int y) {
    const size_t offset = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
    if (x < 0 || y < 0 || x >= width || offset + 4 > rgba.size()) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is outside the read-back";
        return {};
    }
    return {rgba[offset], rgba[offset + 1], rgba[offset + 2], rgba[offset + 3]};
}

bool near(const Pixel& actual, const Pixel& expected, int tolerance) {
    return std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
           std::abs(actual.b - expected.b) <= tolerance && std::abs(actual.a - expected.a) <= tolerance;
}

void GLTest::SetUp() {
    gl_ = glContext(width_, height_);
    ASSERT_NE(gl_, nullptr) << "no GL context: EGL could not start (see the log above)";
}

}  // namespace testsupport
