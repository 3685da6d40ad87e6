// Views over the GL frame: compositing a 320x50 banner and a 310x300 box with nothing dirty, against the
// same two textured quads drawn with bare GL calls; and one dirty 320x50 layer against its own cairo draw
// plus one glTexSubImage2D. Heap allocations per clean frame are counted (none expected).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "platform/media/GLContext.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace {

std::atomic<uint64_t> gAllocations{0};

constexpr int kWidth = 640, kHeight = 1136;

// The screen of the game: a 320 x 568 point window at two pixels per point, a banner along the bottom
// and the popup's box in the middle.
struct Scene {
    Scene() {
        context = plat::GLContext::createHeadless(kWidth, kHeight);
        window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
        banner = std::make_shared<plat::Label>(plat::Rect{0, 518, 320, 50});
        banner->setBackgroundColor(plat::Color::rgba(0.2, 0.3, 0.8));
        banner->setTextColor(plat::Color::whiteColor());
        banner->setTextAlignment(plat::TextAlignment::Center);
        banner->setFont(plat::ViewFont::boldSystemFont(15));
        banner->setText("おすすめ Recommended");
        box = std::make_shared<plat::View>(plat::Rect{5, 134, 310, 300});
        box->setBackgroundColor(plat::Color::blackColor());
        window->addSubview(banner);
    }
    ~Scene() {
        compositor.releaseResources();
        window.reset();
    }
    void frame() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClearColor(0, 0.5f, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    std::unique_ptr<plat::GLContext> context;
    std::shared_ptr<plat::Window> window;
    std::shared_ptr<plat::Label> banner;
    std::shared_ptr<plat::View> box;
    plat::Compositor compositor;
};

// A layer-sized texture, sampled as the compositor samples its layers (linear, clamped). A texture left at
// the default mipmapped filter would be incomplete: it samples as black and costs the renderer next to
// nothing, which no real layer does.
GLuint layerTexture(int width, int height, GLenum format, const void* pixels) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    return texture;
}

// Two textured quads with the least GL: one program, one buffer, a matrix and an alpha per quad.
struct BareQuads {
    BareQuads() {
        const char* vs =
            "attribute vec2 a;uniform mat3 m;varying vec2 t;void main(){t=a;vec3 p=m*vec3(a,1.0);"
            "gl_Position=vec4(p.xy,0.0,1.0);}";
        const char* fs =
            "precision mediump float;uniform sampler2D s;uniform float k;varying vec2 t;"
            "void main(){gl_FragColor=texture2D(s,t)*k;}";
        program = glCreateProgram();
        for (auto [type, source] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
            GLuint shader = glCreateShader(type);
            glShaderSource(shader, 1, &source, nullptr);
            glCompileShader(shader);
            glAttachShader(program, shader);
            glDeleteShader(shader);
        }
        glBindAttribLocation(program, 0, "a");
        glLinkProgram(program);
        matrix = glGetUniformLocation(program, "m");
        alpha = glGetUniformLocation(program, "k");
        const GLfloat square[] = {0, 0, 1, 0, 0, 1, 1, 1};
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof square, square, GL_STATIC_DRAW);
        const int sizes[2][2] = {{640, 100}, {620, 600}};
        for (int i = 0; i < 2; ++i) {
            std::vector<uint8_t> pixels(size_t(sizes[i][0]) * sizes[i][1] * 4, 200);
            textures[i] = layerTexture(sizes[i][0], sizes[i][1], GL_RGBA, pixels.data());
        }
    }
    ~BareQuads() {
        glDeleteTextures(2, textures);
        glDeleteBuffers(1, &buffer);
        glDeleteProgram(program);
    }
    void draw() { drawQuads(2, textures); }
    void drawOne(GLuint texture) { drawQuads(1, &texture); }
    void drawQuads(int count, const GLuint* names) {
        glViewport(0, 0, kWidth, kHeight);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glUseProgram(program);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(0);
        // The banner's and the box's rectangles in device coordinates.
        const GLfloat quads[2][9] = {
            {2, 0, 0, 0, -100.0f / 568, 0, -1, -1 + 100.0f / 568 * 0 + 2 * 50.0f / 568, 1},
            {310.0f / 160, 0, 0, 0, -600.0f / 568, 0, -1 + 10.0f / 320, 1 - 268.0f / 568, 1}};
        for (int i = 0; i < count; ++i) {
            glBindTexture(GL_TEXTURE_2D, names[i]);
            glUniformMatrix3fv(matrix, 1, GL_FALSE, quads[i]);
            glUniform1f(alpha, 1);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glDisableVertexAttribArray(0);
    }
    GLuint program = 0, buffer = 0, textures[2] = {};
    GLint matrix = -1, alpha = -1;
};

}  // namespace

// Counting replacements of the global allocation functions; GCC cannot see that they pair up.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

static void BM_CompositeTwoCleanLayers(benchmark::State& state) {
    Scene scene;
    if (!scene.context) {
        state.SkipWithError("no GL context");
        return;
    }
    scene.window->addSubview(scene.box);
    scene.frame();
    scene.compositor.composite(*scene.window, kWidth, kHeight);
    glFinish();
    const auto before = scene.compositor.stats();
    const uint64_t allocations = gAllocations.load();
    for (auto _ : state) {
        scene.frame();
        scene.compositor.composite(*scene.window, kWidth, kHeight);
        glFinish();
    }
    state.counters["allocs_per_frame"] =
        benchmark::Counter(double(gAllocations.load() - allocations) / double(state.iterations()));
    state.counters["uploads"] = double(scene.compositor.stats().uploads - before.uploads);
}
BENCHMARK(BM_CompositeTwoCleanLayers);

static void BM_BareGLTwoTexturedQuads(benchmark::State& state) {
    Scene scene;
    if (!scene.context) {
        state.SkipWithError("no GL context");
        return;
    }
    BareQuads quads;
    for (auto _ : state) {
        scene.frame();
        quads.draw();
        glFinish();
    }
}
BENCHMARK(BM_BareGLTwoTexturedQuads);

static void BM_CompositeOneDirtyBanner(benchmark::State& state) {
    Scene scene;
    if (!scene.context) {
        state.SkipWithError("no GL context");
        return;
    }
    scene.compositor.composite(*scene.window, kWidth, kHeight);
    glFinish();
    for (auto _ : state) {
        scene.banner->setNeedsDisplay();
        scene.compositor.composite(*scene.window, kWidth, kHeight);
        glFinish();
    }
}
BENCHMARK(BM_CompositeOneDirtyBanner);

// The banner alone with nothing dirty, and its quad with bare GL: what showing it costs without a redraw.
static void BM_CompositeOneCleanBanner(benchmark::State& state) {
    Scene scene;
    if (!scene.context) {
        state.SkipWithError("no GL context");
        return;
    }
    scene.compositor.composite(*scene.window, kWidth, kHeight);
    glFinish();
    for (auto _ : state) {
        scene.compositor.composite(*scene.window, kWidth, kHeight);
        glFinish();
    }
}
BENCHMARK(BM_CompositeOneCleanBanner);

static void BM_BareGLOneQuad(benchmark::State& state) {
    Scene scene;
    if (!scene.context) {
        state.SkipWithError("no GL context");
        return;
    }
    BareQuads quads;
    for (auto _ : state) {
        quads.drawOne(quads.textures[0]);
        glFinish();
    }
}
BENCHMARK(BM_BareGLOneQuad);

// What the dirty banner costs at the least: its cairo draw (background, then the label's text) into a
// surface of its pixels, one glTexSubImage2D of them, and the quad that shows them (as the bare quads
// draw it): drawing anything makes the software renderer's finish wait for its raster threads.
static void BM_CairoDrawPlusTexSubImage(benchmark::State& state) {
    Scene scene;
    if (!scene.context) {
        state.SkipWithError("no GL context");
        return;
    }
    BareQuads quads;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 640, 100);
    GLuint texture = layerTexture(640, 100, GL_BGRA_EXT, nullptr);
    const plat::Color background = scene.banner->backgroundColor();
    for (auto _ : state) {
        cairo_t* cr = cairo_create(surface);
        cairo_scale(cr, 2, 2);
        background.setSource(cr);
        cairo_rectangle(cr, 0, 0, 320, 50);
        cairo_fill(cr);
        scene.banner->drawTextInRect(cr, scene.banner->bounds());
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 640, 100, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                        cairo_image_surface_get_data(surface));
        quads.drawOne(texture);
        glFinish();
    }
    // The frame must show the banner's blue, or the comparison measured nothing.
    uint8_t pixel[4] = {};
    glReadPixels(20, 50, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    if (pixel[2] < 150) state.SkipWithError("the banner's texture did not show");
    glDeleteTextures(1, &texture);
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_CairoDrawPlusTexSubImage);
