#pragma once
// Colour, blend and vertex records shared by nodes, textures and the GL layer. They are plain values whose
// layouts are fixed: vertex records go straight into GL buffers.
#include <GLES2/gl2.h>

#include <cstdint>

namespace kite {

struct _ccColor3B {
    GLubyte r = 0;
    GLubyte g = 0;
    GLubyte b = 0;
};

struct _ccColor4B {
    GLubyte r = 0;
    GLubyte g = 0;
    GLubyte b = 0;
    GLubyte a = 0;
};

struct _ccColor4F {
    GLfloat r = 0;
    GLfloat g = 0;
    GLfloat b = 0;
    GLfloat a = 0;
};

using ccColor3B = _ccColor3B;
using ccColor4B = _ccColor4B;
using ccColor4F = _ccColor4F;

constexpr _ccColor3B ktc3(GLubyte r, GLubyte g, GLubyte b) {
    return {r, g, b};
}
constexpr _ccColor4B ktc4(GLubyte r, GLubyte g, GLubyte b, GLubyte a) {
    return {r, g, b, a};
}
constexpr _ccColor4F ktc4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    return {r, g, b, a};
}

constexpr _ccColor4F ccc4FFromccc3B(_ccColor3B c) {
    return {c.r / 255.f, c.g / 255.f, c.b / 255.f, 1.f};
}
constexpr _ccColor4F ccc4FFromccc4B(_ccColor4B c) {
    return {c.r / 255.f, c.g / 255.f, c.b / 255.f, c.a / 255.f};
}
constexpr _ccColor4B ccc4BFromccc4F(_ccColor4F c) {
    return {static_cast<GLubyte>(c.r * 255), static_cast<GLubyte>(c.g * 255), static_cast<GLubyte>(c.b * 255),
            static_cast<GLubyte>(c.a * 255)};
}
constexpr bool ccc3BEqual(_ccColor3B x, _ccColor3B y) {
    return x.r == y.r && x.g == y.g && x.b == y.b;
}
constexpr bool ccc4FEqual(_ccColor4F x, _ccColor4F y) {
    return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}

inline constexpr _ccColor3B ccWHITE{255, 255, 255};
inline constexpr _ccColor3B ccYELLOW{255, 255, 0};
inline constexpr _ccColor3B ccBLUE{0, 0, 255};
inline constexpr _ccColor3B ccGREEN{0, 255, 0};
inline constexpr _ccColor3B ccRED{255, 0, 0};
inline constexpr _ccColor3B ccMAGENTA{255, 0, 255};
inline constexpr _ccColor3B ccBLACK{0, 0, 0};
inline constexpr _ccColor3B ccORANGE{255, 127, 0};
inline constexpr _ccColor3B ccGRAY{166, 166, 166};

struct _ccBlendFunc {
    GLenum src = GL_ONE;
    GLenum dst = GL_ZERO;
};
using ccBlendFunc = _ccBlendFunc;

struct ktVertex2F {
    GLfloat x = 0;
    GLfloat y = 0;
};

struct ktVertex3F {
    GLfloat x = 0;
    GLfloat y = 0;
    GLfloat z = 0;
};

struct ktTex2F {
    GLfloat u = 0;
    GLfloat v = 0;
};

// One corner of a textured quad: position, colour, texture coordinates, interleaved.
struct ktQuadVertex {
    ktVertex3F vertices;
    _ccColor4B colors;
    ktTex2F texCoords;
};

// Corner order is fixed: sprites, label atlases and texture atlases index into it.
struct ktTexturedQuad {
    ktQuadVertex tl;
    ktQuadVertex bl;
    ktQuadVertex tr;
    ktQuadVertex br;
};

static_assert(sizeof(ktQuadVertex) == 24);
static_assert(sizeof(ktTexturedQuad) == 96);

}  // namespace kite
