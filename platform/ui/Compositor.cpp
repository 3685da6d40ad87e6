#include "platform/ui/Compositor.h"

#include <EGL/egl.h>
#include <GLES2/gl2ext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/base/Log.h"
#include "platform/media/GLContext.h"
#include "platform/ui/Image.h"

namespace plat {
namespace {

constexpr const char* kVertexShader = R"(
attribute vec2 a_unit;
uniform mat3 u_matrix;
uniform vec2 u_size;
varying vec2 v_tex;
varying vec2 v_local;
void main() {
    v_tex = a_unit;
    v_local = a_unit * u_size;
    vec3 p = u_matrix * vec3(a_unit, 1.0);
    gl_Position = vec4(p.xy, 0.0, 1.0);
})";

// Layers are premultiplied: the inherited alpha scales every channel.
constexpr const char* kTextureFragmentShader = R"(
precision mediump float;
uniform sampler2D u_texture;
uniform float u_alpha;
varying vec2 v_tex;
void main() {
    vec4 c = texture2D(u_texture, v_tex);
    gl_FragColor = SWIZZLE * u_alpha;
})";

// Marks the stencil inside the view's rounded rectangle.
constexpr const char* kClipFragmentShader = R"(
precision highp float;
uniform vec2 u_size;
uniform float u_radius;
varying vec2 v_local;
void main() {
    vec2 half_size = u_size * 0.5;
    vec2 q = abs(v_local - half_size) - (half_size - vec2(u_radius));
    if (length(max(q, 0.0)) > u_radius) discard;
    gl_FragColor = vec4(0.0);
})";

GLuint compile(GLenum type, const std::string& source) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        logError("Compositor: shader does not compile: %s", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

bool link(const std::string& fragment, GLuint& program) {
    GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader), fs = compile(GL_FRAGMENT_SHADER, fragment);
    if (!vs || !fs) {
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        return false;
    }
    program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glBindAttribLocation(program, 0, "a_unit");
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        logError("Compositor: program does not link");
        glDeleteProgram(program);
        program = 0;
        return false;
    }
    return true;
}

// The square (0, 0) to (1, 1) that a layer is drawn on, scaled to its size.
AffineTransform unitToLocal(Size size) {
    return AffineTransform::makeScale(size.width, size.height);
}

}  // namespace

Compositor::~Compositor() {
    if (context_ && eglGetCurrentContext() == context_) releaseResources();
}

void Compositor::forgetGL() {
    texture_ = {};
    clip_ = {};
    quad_ = 0;
    textures_.clear();
    context_ = nullptr;
}

void Compositor::releaseResources() {
    if (context_ && eglGetCurrentContext() == context_) {
        for (auto& [key, texture] : textures_)
            if (texture.name) glDeleteTextures(1, &texture.name);
        if (texture_.program) glDeleteProgram(texture_.program);
        if (clip_.program) glDeleteProgram(clip_.program);
        if (quad_) glDeleteBuffers(1, &quad_);
    }
    forgetGL();
}

bool Compositor::ensureGL() {
    void* current = eglGetCurrentContext();
    if (!current) return false;
    if (current != context_) forgetGL();
    if (texture_.program) return true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    bgra_ = extensions && std::strstr(extensions, "GL_EXT_texture_format_BGRA8888");
    // Without BGRA uploads the bytes go up as RGBA and the shader swaps red and blue back.
    std::string fragment = kTextureFragmentShader;
    fragment.replace(fragment.find("SWIZZLE"), 7, bgra_ ? "c" : "c.bgra");
    if (!link(fragment, texture_.program) || !link(kClipFragmentShader, clip_.program)) {
        releaseResources();
        return false;
    }
    for (Program* p : {&texture_, &clip_}) {
        p->matrix = glGetUniformLocation(p->program, "u_matrix");
        p->alpha = glGetUniformLocation(p->program, "u_alpha");
        p->size = glGetUniformLocation(p->program, "u_size");
        p->radius = glGetUniformLocation(p->program, "u_radius");
    }
    glUseProgram(texture_.program);
    glUniform1i(glGetUniformLocation(texture_.program, "u_texture"), 0);
    const GLfloat square[] = {0, 0, 1, 0, 0, 1, 1, 1};
    glGenBuffers(1, &quad_);
    glBindBuffer(GL_ARRAY_BUFFER, quad_);
    glBufferData(GL_ARRAY_BUFFER, sizeof square, square, GL_STATIC_DRAW);
    context_ = current;
    return true;
}

bool Compositor::composite(Window& window, int width, int height) {
    const Rect bounds = window.bounds();
    if (width <= 0 || height <= 0 || !(bounds.width > 0) || !(bounds.height > 0) || window.isHidden())
        return false;
    ++frame_;
    width_ = width;
    height_ = height;
    scale_ = width / bounds.width;
    begun_ = false;
    clipDepth_ = 0;
    stencilBits_ = -1;
    // Window points to normalised device coordinates (y up).
    const AffineTransform toNdc{2.0 / bounds.width, 0, 0, -2.0 / bounds.height, -1, 1};
    visit(window, toNdc, 1, true);
    const bool drew = begun_;
    if (begun_) end();
    // Textures of views that were not drawn this frame (gone, hidden) are let go.
    if (context_ && eglGetCurrentContext() == context_) {
        for (auto it = textures_.begin(); it != textures_.end();) {
            if (it->second.frame != frame_) {
                if (it->second.name) glDeleteTextures(1, &it->second.name);
                it = textures_.erase(it);
            } else {
                ++it;
            }
        }
    }
    return drew;
}

void Compositor::begin() {
    begun_ = true;
    if (plat::glBindVertexArrayOES) plat::glBindVertexArrayOES(0);
    GLint attributes = 8;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &attributes);
    for (GLint i = 1; i < std::min(attributes, 16); ++i) glDisableVertexAttribArray(GLuint(i));
    glViewport(0, 0, width_, height_);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glActiveTexture(GL_TEXTURE0);
    glBindBuffer(GL_ARRAY_BUFFER, quad_);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glUseProgram(texture_.program);
}

void Compositor::end() {
    glDisableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_SCISSOR_TEST);
    glUseProgram(0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void Compositor::setMatrix(GLint location, const AffineTransform& toNdc, Size size) {
    const AffineTransform m = unitToLocal(size).concat(toNdc);
    const GLfloat columns[9] = {GLfloat(m.a),  GLfloat(m.b),  0, GLfloat(m.c), GLfloat(m.d), 0,
                                GLfloat(m.tx), GLfloat(m.ty), 1};
    glUniformMatrix3fv(location, 1, GL_FALSE, columns);
}

void Compositor::visit(View& view, const AffineTransform& toParentNdc, double parentAlpha, bool isRoot) {
    if (view.isHidden()) return;
    const double alpha = parentAlpha * view.presentationAlpha();
    if (alpha <= 0) return;
    const AffineTransform toNdc = isRoot ? toParentNdc : view.transformToSuperview(true).concat(toParentNdc);
    const Size size = view.presentationSize();
    if (view.updateLayer(scale_)) ++stats_.redraws;

    const View::TransitionState transition = view.transitionState();
    const bool flip = transition.kind == AnimationOption::kTransitionFlipFromLeft ||
                      transition.kind == AnimationOption::kTransitionFlipFromRight;
    const bool curl = transition.kind == AnimationOption::kTransitionCurlUp ||
                      transition.kind == AnimationOption::kTransitionCurlDown;
    const uint64_t beforeKey = (transition.id << 2) | 2;
    // A flip squeezes the old picture to nothing about the middle, then opens the new one from nothing.
    auto squeeze = [&](double factor) {
        return AffineTransform::makeTranslation(-size.width / 2, 0)
            .concat(AffineTransform::makeScale(factor, 1))
            .concat(AffineTransform::makeTranslation(size.width / 2, 0))
            .concat(toNdc);
    };
    if (flip && transition.before && transition.progress < 0.5) {
        drawSurface(beforeKey, transition.before->surface(), 1, squeeze(1 - 2 * transition.progress), size,
                    alpha);
        return;
    }
    const AffineTransform drawn = flip ? squeeze(2 * transition.progress - 1) : toNdc;

    drawSurface(view.serial() << 2, view.layerSurface(), view.layerVersion(), drawn, size, alpha);
    const bool clips = view.clipsToBounds() && !view.subviews().empty();
    if (clips) pushClip(drawn, size, view.cornerRadius());
    // By index: drawing never changes the tree, and no iterator copy is needed.
    for (size_t i = 0; i < view.subviews().size(); ++i) visit(*view.subviews()[i], drawn, alpha, false);
    if (curl && transition.before) {
        // A curl slides the old picture off, up or down, over the new content.
        const double shift = (transition.kind == AnimationOption::kTransitionCurlUp ? -1 : 1) *
                             transition.progress * size.height;
        if (!clips) pushClip(drawn, size, 0);
        drawSurface(beforeKey, transition.before->surface(), 1,
                    AffineTransform::makeTranslation(0, shift).concat(drawn), size, alpha);
        if (!clips) popClip(drawn, size, 0);
    }
    if (clips) popClip(drawn, size, view.cornerRadius());
    drawSurface((view.serial() << 2) | 1, view.borderSurface(), view.layerVersion(), drawn, size, alpha);
}

void Compositor::drawSurface(uint64_t key, cairo_surface_t* surface, uint64_t version,
                             const AffineTransform& toNdc, Size size, double alpha) {
    if (!surface || !(size.width > 0) || !(size.height > 0)) return;
    if (!begun_) {
        if (!ensureGL()) return;
        begin();
    }
    auto [it, added] = textures_.try_emplace(key);
    Texture& texture = it->second;
    texture.frame = frame_;
    const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    if (!texture.name) {
        glGenTextures(1, &texture.name);
        glBindTexture(GL_TEXTURE_2D, texture.name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        texture.version = version - 1;
    } else {
        glBindTexture(GL_TEXTURE_2D, texture.name);
    }
    if (texture.version != version) {
        // cairo's ARGB32 rows are width * 4 bytes: its little-endian words are BGRA bytes.
        GLint alignment = 4;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        const void* data = cairo_image_surface_get_data(surface);
        const GLenum format = bgra_ ? GL_BGRA_EXT : GL_RGBA;
        if (texture.width != w || texture.height != h) {
            glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), w, h, 0, format, GL_UNSIGNED_BYTE, data);
            texture.width = w;
            texture.height = h;
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, format, GL_UNSIGNED_BYTE, data);
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        texture.version = version;
        ++stats_.uploads;
    }
    setMatrix(texture_.matrix, toNdc, size);
    glUniform1f(texture_.alpha, GLfloat(alpha));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    ++stats_.quads;
}

void Compositor::drawClipShape(const AffineTransform& toNdc, Size size, double radius) {
    glUseProgram(clip_.program);
    setMatrix(clip_.matrix, toNdc, size);
    glUniform2f(clip_.size, GLfloat(size.width), GLfloat(size.height));
    glUniform1f(clip_.radius, GLfloat(std::min({radius, size.width / 2, size.height / 2})));
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glUseProgram(texture_.program);
}

void Compositor::pushClip(const AffineTransform& toNdc, Size size, double radius) {
    if (!begun_) {
        if (!ensureGL()) return;
        begin();
    }
    if (stencilBits_ < 0) {
        stencilBits_ = 0;
        glGetIntegerv(GL_STENCIL_BITS, &stencilBits_);
        if (stencilBits_ > 0) {
            glStencilMask(0xFF);
            glClearStencil(0);
            glClear(GL_STENCIL_BUFFER_BIT);
        }
    }
    if (clipDepth_ >= kMaxClipDepth ||
        (stencilBits_ > 0 && clipDepth_ >= (1 << std::min(stencilBits_, 8)) - 1)) {
        ++clipDepth_;  // deeper clips are not applied, but pops stay balanced
        return;
    }
    if (stencilBits_ > 0) {
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(GL_EQUAL, clipDepth_, 0xFF);
        glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
        drawClipShape(toNdc, size, radius);
        ++clipDepth_;
        glStencilFunc(GL_EQUAL, clipDepth_, 0xFF);
        glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
        return;
    }
    // No stencil: the bounding box of the view in pixels, within the clip around it.
    const Rect box = unitToLocal(size).concat(toNdc).applyToRect({0, 0, 1, 1});
    GLint x0 = GLint(std::floor((box.x + 1) / 2 * width_)), y0 = GLint(std::floor((box.y + 1) / 2 * height_));
    GLint x1 = GLint(std::ceil((box.maxX() + 1) / 2 * width_)),
          y1 = GLint(std::ceil((box.maxY() + 1) / 2 * height_));
    if (clipDepth_ > 0) {
        const GLint* outer = scissors_[clipDepth_ - 1];
        x0 = std::max(x0, outer[0]);
        y0 = std::max(y0, outer[1]);
        x1 = std::min(x1, outer[0] + outer[2]);
        y1 = std::min(y1, outer[1] + outer[3]);
    }
    GLint* s = scissors_[clipDepth_++];
    s[0] = x0;
    s[1] = y0;
    s[2] = std::max(0, x1 - x0);
    s[3] = std::max(0, y1 - y0);
    glEnable(GL_SCISSOR_TEST);
    glScissor(s[0], s[1], s[2], s[3]);
}

void Compositor::popClip(const AffineTransform& toNdc, Size size, double radius) {
    if (!begun_ || clipDepth_ == 0) return;
    const bool applied = clipDepth_ <= kMaxClipDepth &&
                         !(stencilBits_ > 0 && clipDepth_ > (1 << std::min(stencilBits_, 8)) - 1);
    --clipDepth_;
    if (!applied) return;
    if (stencilBits_ > 0) {
        glStencilFunc(GL_EQUAL, clipDepth_ + 1, 0xFF);
        glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
        drawClipShape(toNdc, size, radius);
        glStencilFunc(GL_EQUAL, clipDepth_, 0xFF);
        glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
        if (clipDepth_ == 0) glDisable(GL_STENCIL_TEST);
        return;
    }
    if (clipDepth_ == 0) {
        glDisable(GL_SCISSOR_TEST);
    } else {
        const GLint* s = scissors_[clipDepth_ - 1];
        glScissor(s[0], s[1], s[2], s[3]);
    }
}

}  // namespace plat
