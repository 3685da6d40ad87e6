#pragma once
// The GL state cache: every engine draw sets program, blending, textures, vertex array object and attribute
// arrays through these functions, which remember what GL holds and skip calls that would change nothing.
#include <GLES2/gl2.h>

namespace kite {

// Bits for ktGLEnableVertexAttribs.
enum {
    kKTVertexAttribFlag_None = 0,
    kKTVertexAttribFlag_Position = 1 << 0,
    kKTVertexAttribFlag_Color = 1 << 1,
    kKTVertexAttribFlag_TexCoords = 1 << 2,
    kKTVertexAttribFlag_PosColorTex =
        kKTVertexAttribFlag_Position | kKTVertexAttribFlag_Color | kKTVertexAttribFlag_TexCoords,
};

// Texture units the cache tracks.
inline constexpr int kKTMaxActiveTexture = 16;

void ktGLInvalidateStateCache();
// Forgets what the cache remembers of GL's state (other code drew in between) and nothing else: unlike
// ktGLInvalidateStateCache, the matrix stacks and the projection stay.
void ktGLResetStateCache();
namespace glcachedetail {
extern unsigned long gGeneration;
}  // namespace glcachedetail

// Changes whenever the cache changes GL's state or forgets it. Drawing code that finds it unchanged since
// its own last set-up knows GL still holds that set-up, as far as the cache can tell. Inline: every sprite
// drawn reads it.
inline unsigned long ktGLStateGeneration() {
    return glcachedetail::gGeneration;
}
void ktGLDeleteProgram(GLuint program);
void ktGLUseProgram(GLuint program);
void ktGLBlendFunc(GLenum sfactor, GLenum dfactor);
void ktGLSetBlending(GLenum sfactor, GLenum dfactor);
void ktGLBindTexture2D(GLuint textureId);
void ktGLBindTexture2DN(GLuint textureUnit, GLuint textureId);
void ktGLDeleteTexture(GLuint textureId);
void ktGLBindVAO(GLuint vaoId);
void ktGLEnable(unsigned int flags);
void ktGLEnableVertexAttribs(unsigned int flags);
void ktSetProjectionMatrixDirty();

// Points the position, colour and texture-coordinate arrays of the default vertex array object at quad
// vertices in client memory (the ktQuadVertex layout, 24 bytes each), unless they already point there.
// The array buffer binding is cleared first, as a client-memory pointer needs.
void ktGLQuadVertexPointers(const void* vertices);
// Drawing code that sets vertex attribute pointers of its own calls this, so the next
// ktGLQuadVertexPointers sets them again.
void ktGLForgetVertexPointers();
// Before drawing code sets attribute pointers into client memory of its own: no vertex array object and
// no array buffer bound (either would turn the pointers into offsets), and the quad pointers forgotten.
void ktGLClientVertexPointers();

// The GL entry points the cache (and the texture atlas, for its vertex array objects) call. The defaults go
// straight to the driver; the vertex array entries are null when the driver lacks them, and the atlas then
// draws from plain buffers. Tests swap entries to observe which calls really reach GL.
struct KTGLStateCalls {
    void (*useProgram)(GLuint program);
    void (*deleteProgram)(GLuint program);
    void (*enable)(GLenum cap);
    void (*disable)(GLenum cap);
    void (*blendFunc)(GLenum sfactor, GLenum dfactor);
    void (*activeTexture)(GLenum unit);
    void (*bindTexture)(GLenum target, GLuint texture);
    void (*deleteTextures)(GLsizei n, const GLuint* textures);
    void (*enableVertexAttribArray)(GLuint index);
    void (*disableVertexAttribArray)(GLuint index);
    void (*genVertexArrays)(GLsizei n, GLuint* arrays);
    void (*bindVertexArray)(GLuint array);
    void (*deleteVertexArrays)(GLsizei n, const GLuint* arrays);
    void (*bindBuffer)(GLenum target, GLuint buffer);
    void (*vertexAttribPointer)(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                const void* pointer);
};

KTGLStateCalls& ktGLStateCalls();
// The driver's entry points (what ktGLStateCalls() starts as), for restoring after a test swapped them.
KTGLStateCalls ktGLDefaultStateCalls();

}  // namespace kite
