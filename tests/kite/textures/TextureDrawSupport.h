#pragma once
// Shared by the texture and atlas tests: a 64 x 64 pixel orthographic view, solid-colour images, and quads
// that show one texel of a texture over one square of the screen.
#include <cstdint>
#include <vector>

#include "kite/base/KTTypes.h"
#include "kite/core/KTConfiguration.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/image/KTImage.h"
#include "kite/matrix/KTMatrixStack.h"

namespace kite::testdraw {

// Projection 0..64 on both axes, identity model-view, the model-view stack current.
inline void loadProjection64() {
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxMat4 ortho;
    mxMat4OrthographicProjection(&ortho, 0, 64, 0, 64, -1, 1);
    mxGLMultMatrix(&ortho);
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLLoadIdentity();
}

// The same, with the textured-colour program current and no blending.
inline KTGLProgram* useTextureColorProgram() {
    KTConfiguration::sharedConfiguration()->gatherGPUInfo();
    loadProjection64();
    KTGLProgram* program = KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionTextureColor);
    program->use();
    program->setUniformsForBuiltins();
    ktGLBlendFunc(GL_ONE, GL_ZERO);
    return program;
}

// An autoreleased-free image (caller releases) of width x height RGBA pixels.
inline KTImage* makeImage(const std::vector<uint8_t>& rgba, int width, int height) {
    auto* image = new KTImage();
    image->initWithRawData(rgba.data(), static_cast<int>(rgba.size()), width, height, 8);
    return image;
}

// A quad over the square (x, y)-(x + size, y + size) showing texel (tx, ty) of a texture of the given size.
inline ktTexturedQuad texelQuad(float x, float y, float size, int tx, int ty, int texW, int texH,
                                _ccColor4B color = {255, 255, 255, 255}) {
    const float l = static_cast<float>(tx) / texW, r = static_cast<float>(tx + 1) / texW;
    const float t = static_cast<float>(ty) / texH, b = static_cast<float>(ty + 1) / texH;
    ktTexturedQuad quad;
    quad.bl = {{x, y, 0}, color, {l, b}};
    quad.br = {{x + size, y, 0}, color, {r, b}};
    quad.tl = {{x, y + size, 0}, color, {l, t}};
    quad.tr = {{x + size, y + size, 0}, color, {r, t}};
    return quad;
}

}  // namespace kite::testdraw
