#include "kite/gl/KTGLStateCache.h"

#include <cstddef>

#include "kite/base/KTTypes.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/matrix/KTMatrixStack.h"
#include "platform/media/GLContext.h"

namespace kite {

// Counts changes to what GL holds (as far as the cache knows); never goes back, not even on a reset.
unsigned long glcachedetail::gGeneration = 1;

namespace {

using glcachedetail::gGeneration;

// -1 (all bits set) marks "unknown": the next call of that kind always reaches GL.
constexpr GLuint kUnknown = static_cast<GLuint>(-1);

struct StateCache {
    GLuint currentProgram = kUnknown;
    GLenum blendSrc = kUnknown;
    GLenum blendDst = kUnknown;
    GLuint boundTextures[kKTMaxActiveTexture] = {kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown,
                                                 kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown,
                                                 kUnknown, kUnknown, kUnknown, kUnknown};
    GLuint vao = 0;
    bool attribPosition = false;
    bool attribColor = false;
    bool attribTexCoords = false;
    // Where the default vertex array object's attribute pointers were last aimed by
    // ktGLQuadVertexPointers; null when unknown.
    const void* quadVertices = nullptr;
};

StateCache s_state;

void genVertexArrays(GLsizei n, GLuint* arrays) {
    if (plat::glGenVertexArraysOES) plat::glGenVertexArraysOES(n, arrays);
}
void bindVertexArray(GLuint array) {
    if (plat::glBindVertexArrayOES) plat::glBindVertexArrayOES(array);
}
void deleteVertexArrays(GLsizei n, const GLuint* arrays) {
    if (plat::glDeleteVertexArraysOES) plat::glDeleteVertexArraysOES(n, arrays);
}

KTGLStateCalls s_calls = ktGLDefaultStateCalls();

void setAttribArray(bool wanted, bool& cached, GLuint index) {
    if (wanted == cached) return;
    ++gGeneration;
    if (wanted)
        s_calls.enableVertexAttribArray(index);
    else
        s_calls.disableVertexAttribArray(index);
    cached = wanted;
}

}  // namespace

KTGLStateCalls ktGLDefaultStateCalls() {
    return KTGLStateCalls{
        .useProgram = glUseProgram,
        .deleteProgram = glDeleteProgram,
        .enable = glEnable,
        .disable = glDisable,
        .blendFunc = glBlendFunc,
        .activeTexture = glActiveTexture,
        .bindTexture = glBindTexture,
        .deleteTextures = glDeleteTextures,
        .enableVertexAttribArray = glEnableVertexAttribArray,
        .disableVertexAttribArray = glDisableVertexAttribArray,
        .genVertexArrays = genVertexArrays,
        .bindVertexArray = bindVertexArray,
        .deleteVertexArrays = deleteVertexArrays,
        .bindBuffer = glBindBuffer,
        .vertexAttribPointer = glVertexAttribPointer,
    };
}

KTGLStateCalls& ktGLStateCalls() {
    return s_calls;
}

void ktGLInvalidateStateCache() {
    mxGLFreeAll();
    ktGLResetStateCache();
}

void ktGLResetStateCache() {
    s_state = StateCache{};
    ++gGeneration;
}

void ktGLDeleteProgram(GLuint program) {
    if (program == s_state.currentProgram) s_state.currentProgram = kUnknown;
    ++gGeneration;
    s_calls.deleteProgram(program);
}

void ktGLUseProgram(GLuint program) {
    if (program == s_state.currentProgram) return;
    s_state.currentProgram = program;
    ++gGeneration;
    s_calls.useProgram(program);
}

void ktGLSetBlending(GLenum sfactor, GLenum dfactor) {
    ++gGeneration;
    if (sfactor == GL_ONE && dfactor == GL_ZERO) {
        s_calls.disable(GL_BLEND);
    } else {
        s_calls.enable(GL_BLEND);
        s_calls.blendFunc(sfactor, dfactor);
    }
}

void ktGLBlendFunc(GLenum sfactor, GLenum dfactor) {
    if (sfactor == s_state.blendSrc && dfactor == s_state.blendDst) return;
    s_state.blendSrc = sfactor;
    s_state.blendDst = dfactor;
    ++gGeneration;
    ktGLSetBlending(sfactor, dfactor);
}

void ktGLBindTexture2D(GLuint textureId) {
    ktGLBindTexture2DN(0, textureId);
}

void ktGLBindTexture2DN(GLuint textureUnit, GLuint textureId) {
    if (textureUnit >= static_cast<GLuint>(kKTMaxActiveTexture)) {
        // Units past the tracked ones are rare; bind them without caching rather than index out of range.
        ++gGeneration;
        s_calls.activeTexture(GL_TEXTURE0 + textureUnit);
        s_calls.bindTexture(GL_TEXTURE_2D, textureId);
        return;
    }
    if (s_state.boundTextures[textureUnit] == textureId) return;
    s_state.boundTextures[textureUnit] = textureId;
    ++gGeneration;
    s_calls.activeTexture(GL_TEXTURE0 + textureUnit);
    s_calls.bindTexture(GL_TEXTURE_2D, textureId);
}

void ktGLDeleteTexture(GLuint textureId) {
    // GL may hand the name out again; a stale entry on any unit would swallow the bind of the new texture.
    for (GLuint& bound : s_state.boundTextures)
        if (bound == textureId) bound = kUnknown;
    ++gGeneration;
    s_calls.deleteTextures(1, &textureId);
}

void ktGLBindVAO(GLuint vaoId) {
    if (s_state.vao == vaoId) return;
    s_state.vao = vaoId;
    ++gGeneration;
    s_calls.bindVertexArray(vaoId);
}

void ktGLEnable(unsigned int flags) {
    (void)flags;
}

void ktGLEnableVertexAttribs(unsigned int flags) {
    // Attribute pointers set next are meant for the default array state, not for an atlas's object.
    if (s_state.vao != 0) {
        s_state.vao = 0;
        ++gGeneration;
        s_calls.bindVertexArray(0);
    }
    setAttribArray((flags & kKTVertexAttribFlag_Position) != 0, s_state.attribPosition,
                   kKTVertexAttrib_Position);
    setAttribArray((flags & kKTVertexAttribFlag_Color) != 0, s_state.attribColor, kKTVertexAttrib_Color);
    setAttribArray((flags & kKTVertexAttribFlag_TexCoords) != 0, s_state.attribTexCoords,
                   kKTVertexAttrib_TexCoords);
}

void ktSetProjectionMatrixDirty() {}

void ktGLQuadVertexPointers(const void* vertices) {
    // The pointers belong to the default vertex array object and survive another object being bound.
    ktGLBindVAO(0);
    if (vertices == s_state.quadVertices) return;
    ++gGeneration;
    s_calls.bindBuffer(GL_ARRAY_BUFFER, 0);
    const auto* base = static_cast<const unsigned char*>(vertices);
    constexpr GLsizei stride = sizeof(ktQuadVertex);
    s_calls.vertexAttribPointer(kKTVertexAttrib_Position, 3, GL_FLOAT, GL_FALSE, stride,
                                base + offsetof(ktQuadVertex, vertices));
    s_calls.vertexAttribPointer(kKTVertexAttrib_TexCoords, 2, GL_FLOAT, GL_FALSE, stride,
                                base + offsetof(ktQuadVertex, texCoords));
    s_calls.vertexAttribPointer(kKTVertexAttrib_Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                                base + offsetof(ktQuadVertex, colors));
    s_state.quadVertices = vertices;
}

void ktGLForgetVertexPointers() {
    s_state.quadVertices = nullptr;
    ++gGeneration;
}

void ktGLClientVertexPointers() {
    ktGLBindVAO(0);
    s_calls.bindBuffer(GL_ARRAY_BUFFER, 0);
    s_state.quadVertices = nullptr;
    ++gGeneration;
}

}  // namespace kite
