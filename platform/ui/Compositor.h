#pragma once
// Lays the views of a window over the GL frame. Each visible view's layer (its cairo pixels) is drawn
// again only when the view marked it dirty and uploaded only then; every frame it is drawn as a textured
// quad, premultiplied (GL_ONE, GL_ONE_MINUS_SRC_ALPHA), under the view's presented transform and the alpha
// it inherits. A view that clips to its bounds clips its subviews (rounded by its corner radius) with the
// stencil buffer, or with the scissor box when the framebuffer has no stencil.
//
// GL objects belong to the context current at the first composite; when another context is current
// later, the old objects are forgotten and made again. The steady-state frame allocates nothing.
#include <GLES2/gl2.h>

#include <cstdint>
#include <unordered_map>

#include "platform/ui/Window.h"

namespace plat {

class Compositor {
  public:
    Compositor() = default;
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // Draws the visible views of `window` (the window itself included) over the framebuffer bound now,
    // `width` x `height` pixels, which shows the window's bounds. False when nothing was drawn; the GL
    // state is then as it was, else blending, program, buffers, texture bindings and the viewport changed.
    bool composite(Window& window, int width, int height);

    struct Stats {
        uint64_t redraws = 0;  // layers drawn again with cairo
        uint64_t uploads = 0;  // layers sent to GL
        uint64_t quads = 0;    // textured quads drawn
    };
    const Stats& stats() const { return stats_; }
    void resetStats() { stats_ = {}; }

    // Deletes the GL objects (their context must be current).
    void releaseResources();

  private:
    struct Texture {
        GLuint name = 0;
        int width = 0;
        int height = 0;
        uint64_t version = 0;
        uint64_t frame = 0;
    };
    struct Program {
        GLuint program = 0;
        GLint matrix = -1;
        GLint alpha = -1;
        GLint size = -1;
        GLint radius = -1;
    };

    bool ensureGL();
    void forgetGL();
    void begin();
    void end();
    void visit(View& view, const AffineTransform& toParentNdc, double parentAlpha, bool isRoot);
    void drawSurface(uint64_t key, cairo_surface_t* surface, uint64_t version, const AffineTransform& toNdc,
                     Size size, double alpha);
    void pushClip(const AffineTransform& toNdc, Size size, double radius);
    void popClip(const AffineTransform& toNdc, Size size, double radius);
    void drawClipShape(const AffineTransform& toNdc, Size size, double radius);
    static void setMatrix(GLint location, const AffineTransform& toNdc, Size size);

    void* context_ = nullptr;  // the EGL context the objects belong to
    bool bgra_ = false;
    Program texture_;
    Program clip_;
    GLuint quad_ = 0;
    std::unordered_map<uint64_t, Texture> textures_;
    uint64_t frame_ = 0;
    double scale_ = 1;
    int width_ = 0;
    int height_ = 0;
    bool begun_ = false;
    int stencilBits_ = -1;
    int clipDepth_ = 0;
    static constexpr int kMaxClipDepth = 32;
    GLint scissors_[kMaxClipDepth][4] = {};
    Stats stats_;
};

}  // namespace plat
