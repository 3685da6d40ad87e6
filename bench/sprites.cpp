// 1000 sprites of one texture, each moved and turned, then all drawn: CPU time per frame, the draw calls
// the sprites count in g_drawCallCount, and the GL calls that pass the state cache.
#include <benchmark/benchmark.h>

#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/image/KTImage.h"
#include "kite/matrix/KTMatrix.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/nodes/KTNode.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/media/GLContext.h"

namespace {

unsigned long gStateCalls = 0;
kite::KTGLStateCalls gDriver;

// Counting wrappers for the GL entry points the state cache reaches.
void countUseProgram(GLuint p) {
    ++gStateCalls;
    gDriver.useProgram(p);
}
void countEnable(GLenum c) {
    ++gStateCalls;
    gDriver.enable(c);
}
void countDisable(GLenum c) {
    ++gStateCalls;
    gDriver.disable(c);
}
void countBlendFunc(GLenum s, GLenum d) {
    ++gStateCalls;
    gDriver.blendFunc(s, d);
}
void countActiveTexture(GLenum u) {
    ++gStateCalls;
    gDriver.activeTexture(u);
}
void countBindTexture(GLenum t, GLuint n) {
    ++gStateCalls;
    gDriver.bindTexture(t, n);
}
void countEnableArray(GLuint i) {
    ++gStateCalls;
    gDriver.enableVertexAttribArray(i);
}
void countDisableArray(GLuint i) {
    ++gStateCalls;
    gDriver.disableVertexAttribArray(i);
}
void countBindVertexArray(GLuint a) {
    ++gStateCalls;
    gDriver.bindVertexArray(a);
}

}  // namespace

static void BM_ThousandSpritesFrame(benchmark::State& state) {
    using namespace kite;
    auto context = plat::GLContext::createHeadless(256, 256);
    if (!context) {
        state.SkipWithError("no GL context");
        return;
    }
    KTAutoreleasePoolStack::sharedPoolStack()->push();
    KTConfiguration::sharedConfiguration()->gatherGPUInfo();
    ktGLInvalidateStateCache();

    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxMat4 ortho;
    mxMat4OrthographicProjection(&ortho, 0, 256, 0, 256, -1, 1);
    mxGLMultMatrix(&ortho);
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLLoadIdentity();

    std::vector<unsigned char> pixels(16 * 16 * 4, 0xC0);
    auto* image = new KTImage();
    image->initWithRawData(pixels.data(), static_cast<long>(pixels.size()), 16, 16, 8);
    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addUIImage(image, "bench_sprite");
    image->release();

    KTNode* root = KTNode::create();
    root->retain();
    std::vector<KTSprite*> sprites;
    for (int i = 0; i < 1000; ++i) {
        KTSprite* sprite = KTSprite::createWithTexture(texture);
        sprite->setPosition(KTPoint(static_cast<float>(i * 37 % 256), static_cast<float>(i * 53 % 256)));
        root->addChild(sprite);
        sprites.push_back(sprite);
    }

    gDriver = ktGLDefaultStateCalls();
    KTGLStateCalls& calls = ktGLStateCalls();
    calls.useProgram = countUseProgram;
    calls.enable = countEnable;
    calls.disable = countDisable;
    calls.blendFunc = countBlendFunc;
    calls.activeTexture = countActiveTexture;
    calls.bindTexture = countBindTexture;
    calls.enableVertexAttribArray = countEnableArray;
    calls.disableVertexAttribArray = countDisableArray;
    if (gDriver.bindVertexArray) calls.bindVertexArray = countBindVertexArray;

    float step = 0;
    unsigned long draws = 0;
    gStateCalls = 0;
    for (auto _ : state) {
        step += 1;
        for (KTSprite* sprite : sprites) {
            const KTPoint& p = sprite->getPosition();
            sprite->setPosition(KTPoint(p.x + 1 > 256 ? 0 : p.x + 1, p.y));
            sprite->setRotation(step);
        }
        g_drawCallCount = 0;
        glClear(GL_COLOR_BUFFER_BIT);
        root->visit();
        draws += g_drawCallCount;
        glFinish();
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["draw_calls_per_frame"] = benchmark::Counter(static_cast<double>(draws) / frames);
    state.counters["state_cache_gl_calls_per_frame"] =
        benchmark::Counter(static_cast<double>(gStateCalls) / frames);

    ktGLStateCalls() = gDriver;
    root->release();
    KTAutoreleasePoolStack::sharedPoolStack()->pop();
    KTTextureCache::purgeSharedTextureCache();
    KTShaderCache::purgeSharedShaderCache();
    ktGLInvalidateStateCache();
    context.reset();
}
BENCHMARK(BM_ThousandSpritesFrame)->Unit(benchmark::kMicrosecond);
