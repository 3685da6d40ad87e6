// What a moving sprite costs the main thread: 32x32 textured, blended sprites bouncing over a 640x1136
// frame, drawn by the engine (one draw per sprite, through the node tree) and, for comparison, the same
// quads drawn by bare GL calls (one draw each, same program, texture and blend). Each iteration draws a
// frame of 1 000 and one of 10 000 sprites with both; the main thread's CPU time per sprite is the slope
// between the two, so per-frame constants drop out. CPU time, not wall time: the software renderer's own
// threads and other programs on the machine do not count.
//
// Both ways send each quad from client memory. On Mesa's llvmpipe that is the cheapest way for one draw per
// quad: bare GL drawing from one vertex buffer written once per frame (each draw at its own offset) cost
// about the same per quad, and writing each quad into a buffer before its draw (glBufferSubData) cost
// 30-50 % more.
//
// Headless (EGL pbuffer, frame ended by glFinish) by default; with BENCH_WINDOW=1 and a DISPLAY, in an X11
// window (frame ended by a buffer swap, no vsync), e.g. `BENCH_WINDOW=1 xvfb-run -s '-screen 0 640x1136x24'`.
// The second run sets glibc's trim and mmap thresholds as potemaru does at start.
// engine_setters_us_per_sprite is the part of the engine's CPU per sprite spent in the pass that moves the
// sprites (10 000 of them).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/support/AllocationCounter.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
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
#include "platform/ui/X11Window.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 1136;
constexpr int kSmall = 1000;
constexpr int kLarge = 10000;
constexpr float kSide = 32;

double threadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// GL calls that pass the state cache, counted.
unsigned long gStateCalls = 0;
kite::KTGLStateCalls gDriver;

void countStateCalls() {
    using namespace kite;
    gDriver = ktGLDefaultStateCalls();
    KTGLStateCalls& calls = ktGLStateCalls();
    calls.useProgram = [](GLuint p) { ++gStateCalls, gDriver.useProgram(p); };
    calls.enable = [](GLenum c) { ++gStateCalls, gDriver.enable(c); };
    calls.disable = [](GLenum c) { ++gStateCalls, gDriver.disable(c); };
    calls.blendFunc = [](GLenum s, GLenum d) { ++gStateCalls, gDriver.blendFunc(s, d); };
    calls.activeTexture = [](GLenum u) { ++gStateCalls, gDriver.activeTexture(u); };
    calls.bindTexture = [](GLenum t, GLuint n) { ++gStateCalls, gDriver.bindTexture(t, n); };
    calls.enableVertexAttribArray = [](GLuint i) { ++gStateCalls, gDriver.enableVertexAttribArray(i); };
    calls.disableVertexAttribArray = [](GLuint i) { ++gStateCalls, gDriver.disableVertexAttribArray(i); };
    calls.bindVertexArray = [](GLuint a) { ++gStateCalls, gDriver.bindVertexArray(a); };
}

// Where the frames go: an X11 window when asked for and possible, else a pbuffer.
struct Target {
    std::unique_ptr<plat::X11Window> window;
    std::unique_ptr<plat::GLContext> context;

    static std::unique_ptr<Target> make() {
        auto target = std::make_unique<Target>();
        const char* wanted = std::getenv("BENCH_WINDOW");
        if (wanted && *wanted == '1' && std::getenv("DISPLAY")) {
            target->window = plat::X11Window::create();
            if (target->window) {
                target->window->waitUntilVisible();
                // Whatever colour the X visual offers, as the engine's window layer does.
                plat::GLContextOptions options;
                options.depth = plat::GLDepthFormat::None;
                for (auto color : {plat::GLColorFormat::RGBA8888, plat::GLColorFormat::RGB565}) {
                    options.color = color;
                    target->context = plat::GLContext::createForWindow(
                        target->window->eglDisplay(), target->window->nativeWindow(), options);
                    if (target->context) break;
                }
                if (target->context) eglSwapInterval(target->context->eglDisplay(), 0);
            }
        } else {
            target->context = plat::GLContext::createHeadless(kWidth, kHeight);
        }
        if (!target->context) return nullptr;
        glViewport(0, 0, kWidth, kHeight);
        return target;
    }
    bool isWindow() const { return window != nullptr; }

    // Ends the frame for real, so the renderer's queue never grows past one frame.
    void endFrame() {
        if (window) {
            context->present();
            window->processEvents();
        } else {
            glFinish();
        }
    }
};

// Positions and velocities of the bouncing quads, the same for both ways of drawing.
struct Motion {
    std::vector<float> x, y, vx, vy;
    explicit Motion(int count) {
        for (int i = 0; i < count; ++i) {
            x.push_back(static_cast<float>(i * 37 % (kWidth - 32)) + 16);
            y.push_back(static_cast<float>(i * 53 % (kHeight - 32)) + 16);
            vx.push_back(static_cast<float>(i % 7) - 3.5f);
            vy.push_back(static_cast<float>(i % 5) - 2.5f);
        }
    }
    void step(int i) {
        x[i] += vx[i];
        y[i] += vy[i];
        if (x[i] < 16 || x[i] > kWidth - 16) vx[i] = -vx[i];
        if (y[i] < 16 || y[i] > kHeight - 16) vy[i] = -vy[i];
    }
};

// The engine's way: sprites under one node, moved through their setters, drawn by visiting the node.
struct EngineScene {
    kite::KTNode* root = nullptr;
    std::vector<kite::KTSprite*> sprites;
    Motion motion;
    // CPU time of the setters' pass of the frames drawn, and their count.
    double setterMicros = 0;
    int frames = 0;

    EngineScene(kite::KTTexture2D* texture, int count) : motion(count) {
        root = kite::KTNode::create();
        root->retain();
        for (int i = 0; i < count; ++i) {
            kite::KTSprite* sprite = kite::KTSprite::createWithTexture(texture);
            sprite->setPosition(kite::KTPoint(motion.x[i], motion.y[i]));
            root->addChild(sprite);
            sprites.push_back(sprite);
        }
    }
    ~EngineScene() { root->release(); }

    // Out of line, as BareScene::frame, so a profiler tells the two ways apart.
    [[gnu::noinline]] void frame() {
        const double start = threadCpuMicros();
        for (size_t i = 0; i < sprites.size(); ++i) {
            motion.step(static_cast<int>(i));
            sprites[i]->setPosition(kite::KTPoint(motion.x[i], motion.y[i]));
        }
        setterMicros += threadCpuMicros() - start;
        ++frames;
        glClear(GL_COLOR_BUFFER_BIT);
        root->visit();
    }
};

// The bare way: one client-memory quad written per sprite, one glDrawArrays each, with the engine's own
// program, texture and blend set once per frame.
struct BareScene {
    kite::KTGLProgram* program;
    GLuint texture;
    Motion motion;
    kite::ktQuadVertex quad[4] = {};

    BareScene(kite::KTGLProgram* p, GLuint t, int count) : program(p), texture(t), motion(count) {
        const float u[4] = {0, 0, 1, 1}, v[4] = {0, 1, 0, 1};
        for (int k = 0; k < 4; ++k) {
            quad[k].colors = {255, 255, 255, 255};
            quad[k].texCoords = {u[k], v[k]};
        }
    }

    [[gnu::noinline]] void frame(const kite::mxMat4& projection) {
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(program->getProgram());
        glUniformMatrix4fv(program->getUniformLocation(kite::kKTUniformMVPMatrix), 1, GL_FALSE,
                           projection.mat);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        for (GLuint a = 0; a < 3; ++a) glEnableVertexAttribArray(a);
        constexpr GLsizei stride = sizeof(kite::ktQuadVertex);
        glVertexAttribPointer(kite::kKTVertexAttrib_Position, 3, GL_FLOAT, GL_FALSE, stride,
                              &quad[0].vertices);
        glVertexAttribPointer(kite::kKTVertexAttrib_Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                              &quad[0].colors);
        glVertexAttribPointer(kite::kKTVertexAttrib_TexCoords, 2, GL_FLOAT, GL_FALSE, stride,
                              &quad[0].texCoords);
        const int count = static_cast<int>(motion.x.size());
        for (int i = 0; i < count; ++i) {
            motion.step(i);
            const float x1 = motion.x[i] - kSide / 2, y1 = motion.y[i] - kSide / 2;
            const float x2 = x1 + kSide, y2 = y1 + kSide;
            quad[0].vertices = {x1, y2, 0};
            quad[1].vertices = {x1, y1, 0};
            quad[2].vertices = {x2, y2, 0};
            quad[3].vertices = {x2, y1, 0};
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
    }
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Puts back the engine's view of GL after the bare frames changed it behind the state cache.
void engineProjection() {
    using namespace kite;
    ktGLInvalidateStateCache();
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxMat4 ortho;
    mxMat4OrthographicProjection(&ortho, 0, kWidth, 0, kHeight, -1024, 1024);
    mxGLMultMatrix(&ortho);
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLLoadIdentity();
}

void BM_SpriteCost(benchmark::State& state) {
    using namespace kite;
    const bool tunedAllocator = state.range(0) != 0;
    if (tunedAllocator) {
        // The same thresholds potemaru sets at start.
        mallopt(M_TRIM_THRESHOLD, 16 << 20);
        mallopt(M_MMAP_THRESHOLD, 1 << 20);
    }
    auto target = Target::make();
    if (!target) return state.SkipWithError("no GL context");
    KTAutoreleasePoolStack::sharedPoolStack()->push();
    KTConfiguration::sharedConfiguration()->gatherGPUInfo();
    engineProjection();

    // An opaque disc on a transparent ground, premultiplied, as the game's pictures are.
    std::vector<unsigned char> pixels(32 * 32 * 4, 0);
    for (int py = 0; py < 32; ++py)
        for (int px = 0; px < 32; ++px)
            if ((px - 16) * (px - 16) + (py - 16) * (py - 16) < 15 * 15)
                for (int c = 0; c < 4; ++c) pixels[(py * 32 + px) * 4 + c] = c == 1 ? 0x40 : 0xE0;
    auto* image = new KTImage();
    image->initWithRawData(pixels.data(), static_cast<long>(pixels.size()), 32, 32, 8);
    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addUIImage(image, "bench_sprite");
    image->release();

    EngineScene engineSmall(texture, kSmall), engineLarge(texture, kLarge);
    KTGLProgram* program = KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionTextureColor);
    BareScene bareSmall(program, texture->getName(), kSmall), bareLarge(program, texture->getName(), kLarge);
    mxMat4 projection;
    mxGLGetMatrix(MX_GL_PROJECTION, &projection);
    countStateCalls();

    // Warm: textures resident, shaders compiled for these states, the driver's pools grown.
    for (int i = 0; i < 3; ++i) {
        engineProjection();
        engineLarge.frame();
        target->endFrame();
        bareLarge.frame(projection);
        target->endFrame();
    }
    engineLarge.setterMicros = 0;
    engineLarge.frames = 0;

    std::vector<double> engineSlopes, bareSlopes, engineSmallFrames, bareSmallFrames;
    unsigned long draws = 0, stateCalls = 0;
    uint64_t ownAllocations = 0, otherAllocations = 0;
    auto timed = [&](auto&& draw) {
        const double start = threadCpuMicros();
        draw();
        target->endFrame();
        return threadCpuMicros() - start;
    };
    std::vector<double> ratios;
    bool engineFirst = true;
    for (auto _ : state) {
        // Which way goes first alternates, so a change in the machine's load hits both alike.
        double e1 = 0, e2 = 0, b1 = 0, b2 = 0;
        auto engineFrames = [&] {
            engineProjection();
            e1 = timed([&] { engineSmall.frame(); });
            g_drawCallCount = 0;
            gStateCalls = 0;
            const benchalloc::Snapshot before;
            e2 = timed([&] { engineLarge.frame(); });
            const benchalloc::Snapshot after;
            draws += g_drawCallCount;
            stateCalls += gStateCalls;
            ownAllocations += after.own - before.own;
            otherAllocations += after.other - before.other;
        };
        auto bareFrames = [&] {
            b1 = timed([&] { bareSmall.frame(projection); });
            b2 = timed([&] { bareLarge.frame(projection); });
        };
        if (engineFirst) {
            engineFrames();
            bareFrames();
        } else {
            bareFrames();
            engineFrames();
        }
        engineFirst = !engineFirst;
        engineSlopes.push_back((e2 - e1) / (kLarge - kSmall));
        bareSlopes.push_back((b2 - b1) / (kLarge - kSmall));
        ratios.push_back(engineSlopes.back() / bareSlopes.back());
        engineSmallFrames.push_back(e1);
        bareSmallFrames.push_back(b1);
        state.SetIterationTime((e1 + e2 + b1 + b2) / 1e6);
    }
    const double frames = static_cast<double>(state.iterations());
    const double engine = median(engineSlopes), bare = median(bareSlopes);
    state.counters["engine_us_per_sprite"] = engine;
    // Of which the setters' pass: the frame's first touch of each sprite, which the frames in between (the
    // other sprites, the bare way, the renderer's threads) have pushed out of the caches.
    state.counters["engine_setters_us_per_sprite"] = engineLarge.setterMicros / engineLarge.frames / kLarge;
    state.counters["bare_gl_us_per_sprite"] = bare;
    // The median of each iteration's own ratio: both ways measured within the same few milliseconds.
    state.counters["engine_over_bare"] = median(ratios);
    state.counters["engine_1000_frame_us"] = median(engineSmallFrames);
    state.counters["bare_gl_1000_frame_us"] = median(bareSmallFrames);
    state.counters["draws_per_sprite"] = static_cast<double>(draws) / frames / kLarge;
    state.counters["state_cache_calls_per_frame"] = static_cast<double>(stateCalls) / frames;
    state.counters["own_allocs_per_frame"] = static_cast<double>(ownAllocations) / frames;
    state.counters["driver_allocs_per_frame"] = static_cast<double>(otherAllocations) / frames;
    state.SetLabel(std::string(target->isWindow() ? "x11 window" : "headless") +
                   (tunedAllocator ? ", tuned allocator" : ", default allocator"));

    ktGLStateCalls() = ktGLDefaultStateCalls();
    KTAutoreleasePoolStack::sharedPoolStack()->pop();
    KTTextureCache::purgeSharedTextureCache();
    KTShaderCache::purgeSharedShaderCache();
    ktGLInvalidateStateCache();
}

// 31 by default; fewer (BENCH_ITERATIONS) for a run under a profiler, which costs minutes per iteration.
int iterations() {
    const char* wanted = std::getenv("BENCH_ITERATIONS");
    const int count = wanted ? std::atoi(wanted) : 0;
    return count > 0 ? count : 31;
}

}  // namespace

BENCHMARK(BM_SpriteCost)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(iterations())
    ->Unit(benchmark::kMillisecond);
