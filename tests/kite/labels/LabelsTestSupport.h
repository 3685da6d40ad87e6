#pragma once
// Shared by the label, draw and render-texture tests: a pixel-exact orthographic view over the test
// surface, solid or patterned pictures saved as PNG files, and the reset of the engine state a test touched.
#include <cstdint>
#include <string>
#include <vector>

#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/image/KTImage.h"
#include "kite/matrix/KTMatrix.h"
#include "kite/matrix/KTMatrixStack.h"

namespace kite::labelstest {

// Projection 0..width x 0..height in points, identity model-view, no blending.
inline void useOrthoView(int width, int height) {
    KTConfiguration::sharedConfiguration()->gatherGPUInfo();
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxMat4 ortho;
    mxMat4OrthographicProjection(&ortho, 0, static_cast<float>(width), 0, static_cast<float>(height), -1, 1);
    mxGLMultMatrix(&ortho);
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLLoadIdentity();
    ktSetProjectionMatrixDirty();
}

// RGBA pixels, top row first, all of one colour.
inline std::vector<uint8_t> solid(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = r;
        rgba[i + 1] = g;
        rgba[i + 2] = b;
        rgba[i + 3] = a;
    }
    return rgba;
}

// Writes RGBA pixels as a PNG (with alpha) at path; false when it could not be written.
inline bool writePNG(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height) {
    KTImage image;
    if (!image.initWithRawData(rgba.data(), static_cast<long>(rgba.size()), width, height, 8)) return false;
    return image.saveToFile(path.c_str(), false);
}

}  // namespace kite::labelstest
