// Texture atlas drawing on the software renderer: 1000 quads edited and drawn each frame (one upload, one
// draw call) against drawn unchanged (no upload), and the uniform cache filtering unchanged built-ins.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "kite/core/KTConfiguration.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureAtlas.h"
#include "platform/media/GLContext.h"

namespace {

constexpr unsigned kQuads = 1000;

struct Scene {
    std::unique_ptr<plat::GLContext> context;
    kite::KTTexture2D* texture = nullptr;
    kite::KTTextureAtlas* atlas = nullptr;
    kite::KTGLProgram* program = nullptr;
};

Scene& scene() {
    static Scene s = [] {
        Scene made;
        made.context = plat::GLContext::createHeadless(320, 568);
        if (!made.context) return made;
        kite::KTConfiguration::sharedConfiguration()->gatherGPUInfo();
        std::vector<uint8_t> white(16 * 16 * 4, 255);
        made.texture = new kite::KTTexture2D();
        made.texture->initWithData(white.data(), kite::kKTTexture2DPixelFormat_RGBA8888, 16, 16,
                                   kite::KTSize(16, 16));
        made.atlas = new kite::KTTextureAtlas();
        made.atlas->initWithTexture(made.texture, kQuads);
        for (unsigned i = 0; i < kQuads; ++i) {
            const float x = static_cast<float>(i % 40) * 8, y = static_cast<float>(i / 40) * 8;
            kite::ktTexturedQuad quad;
            quad.bl = {{x, y, 0}, {255, 255, 255, 255}, {0, 1}};
            quad.br = {{x + 8, y, 0}, {255, 255, 255, 255}, {1, 1}};
            quad.tl = {{x, y + 8, 0}, {255, 255, 255, 255}, {0, 0}};
            quad.tr = {{x + 8, y + 8, 0}, {255, 255, 255, 255}, {1, 0}};
            made.atlas->updateQuad(&quad, i);
        }
        made.program =
            kite::KTShaderCache::sharedShaderCache()->programForKey(kite::kKTShader_PositionTextureColor);
        return made;
    }();
    return s;
}

void prepareFrame(Scene& s) {
    s.program->use();
    s.program->setUniformsForBuiltins();
    kite::ktGLBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}

void BM_AtlasEditedEveryFrame(benchmark::State& state) {
    Scene& s = scene();
    if (!s.atlas) return state.SkipWithError("no GL context");
    for (auto _ : state) {
        prepareFrame(s);
        kite::ktTexturedQuad* quads = s.atlas->getQuads();
        quads[0].bl.vertices.x += 0.001f;
        s.atlas->drawNumberOfQuads(kQuads, 0);
        glFinish();
    }
}
BENCHMARK(BM_AtlasEditedEveryFrame)->Unit(benchmark::kMicrosecond);

void BM_AtlasUnchanged(benchmark::State& state) {
    Scene& s = scene();
    if (!s.atlas) return state.SkipWithError("no GL context");
    for (auto _ : state) {
        prepareFrame(s);
        s.atlas->drawNumberOfQuads(kQuads, 0);
        glFinish();
    }
}
BENCHMARK(BM_AtlasUnchanged)->Unit(benchmark::kMicrosecond);

void BM_BuiltinUniformsUnchanged(benchmark::State& state) {
    Scene& s = scene();
    if (!s.program) return state.SkipWithError("no GL context");
    s.program->use();
    for (auto _ : state) s.program->setUniformsForBuiltins();
}
BENCHMARK(BM_BuiltinUniformsUnchanged);

}  // namespace
