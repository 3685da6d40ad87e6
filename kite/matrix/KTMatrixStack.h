#pragma once
// A growable stack of matrices, and the three stacks (model-view, projection, texture) that the director,
// the nodes and the GL programs share in the style of fixed-function GL. Main (GL) thread only.
#include <cstring>

#include "kite/matrix/KTMatrix.h"

namespace kite {

struct mx_mat4_stack {
    int capacity;
    int item_count;
    mxMat4* top;  // the last pushed matrix; null while empty
    mxMat4* stack;
};

void mx_mat4_stack_initialize(mx_mat4_stack* stack);
void mx_mat4_stack_push(mx_mat4_stack* stack, const mxMat4* item);
void mx_mat4_stack_pop(mx_mat4_stack* stack);
void mx_mat4_stack_release(mx_mat4_stack* stack);

constexpr unsigned int MX_GL_MODELVIEW = 0x1700;
constexpr unsigned int MX_GL_PROJECTION = 0x1701;
constexpr unsigned int MX_GL_TEXTURE = 0x1702;

void mxGLLazyInitialize();
void mxGLMatrixMode(unsigned int mode);
void mxGLPushMatrix();
void mxGLLoadIdentity();
void mxGLMultMatrix(const mxMat4* m);
// Multiplies by a node's 2D transform placed in a 4x4 matrix (a, b, c, d, tx, ty, with tz as the Z
// translation): the same result as mxGLMultMatrix of that matrix, without the products by its zeros.
void mxGLMultAffine(float a, float b, float c, float d, float tx, float ty, float tz);
void mxGLTranslatef(float x, float y, float z);
void mxGLGetMatrix(unsigned int mode, mxMat4* out);
void mxGLFreeAll();
// The stacks' state, for the inline operations below that every drawn node makes; the usual case, the
// model-view stack set up and not empty, is handled inline, every other case out of line.
namespace mxdetail {
extern mx_mat4_stack gModelview;
extern mx_mat4_stack* gCurrent;
extern unsigned long long gProjectionVersion;
const mxMat4* topMatrix(unsigned int mode);
void popMatrix();
void pushMultAffine(float a, float b, float c, float d, float tx, float ty, float tz);
// Makes room for one more item once the last free one was taken.
void grow(mx_mat4_stack* stack);

typedef float Column __attribute__((vector_size(16)));

inline Column loadColumn(const float* p) {
    Column c;
    std::memcpy(&c, p, sizeof c);
    return c;
}

// out = in times the affine matrix; out may be in. Each column of the product is a sum of whole columns
// of in, so four rows go at once; the operations and their order per element are those of the scalar
// product, so the bits are the same.
inline void multAffine(const float* in, float* out, float a, float b, float c, float d, float tx, float ty,
                       float tz) {
    const Column x = loadColumn(in), y = loadColumn(in + 4), z = loadColumn(in + 8), w = loadColumn(in + 12);
    const Column first = x * a + y * b, second = x * c + y * d, fourth = x * tx + y * ty + z * tz + w;
    std::memcpy(out, &first, sizeof first);
    std::memcpy(out + 4, &second, sizeof second);
    std::memcpy(out + 8, &z, sizeof z);
    std::memcpy(out + 12, &fourth, sizeof fourth);
}
}  // namespace mxdetail

inline void mxGLPopMatrix() {
    mx_mat4_stack* stack = mxdetail::gCurrent;
    if (stack != &mxdetail::gModelview || stack->item_count < 2) return mxdetail::popMatrix();
    --stack->item_count;
    stack->top = &stack->stack[stack->item_count - 1];
}

// mxGLPushMatrix then mxGLMultAffine, writing the product straight into the pushed item.
inline void mxGLPushMultAffine(float a, float b, float c, float d, float tx, float ty, float tz) {
    mx_mat4_stack* stack = mxdetail::gCurrent;
    if (stack != &mxdetail::gModelview || !stack->top)
        return mxdetail::pushMultAffine(a, b, c, d, tx, ty, tz);
    // The stack always has room for one more item.
    mxdetail::multAffine(stack->top->mat, stack->stack[stack->item_count].mat, a, b, c, d, tx, ty, tz);
    stack->top = &stack->stack[stack->item_count];
    if (++stack->item_count >= stack->capacity) mxdetail::grow(stack);
}

// The matrix mxGLPushMultAffine would push, made into out without pushing it: for a leaf that draws right
// away and pops again. False, with out untouched, where mxGLPushMultAffine takes its long way.
[[gnu::always_inline]] inline bool mxGLTopTimesAffine(float* out, float a, float b, float c, float d,
                                                      float tx, float ty, float tz) {
    const mx_mat4_stack* stack = mxdetail::gCurrent;
    if (stack != &mxdetail::gModelview || !stack->top) return false;
    mxdetail::multAffine(stack->top->mat, out, a, b, c, d, tx, ty, tz);
    return true;
}

// The top of a stack, read in place (valid until the next matrix call); null for an unknown mode.
inline const mxMat4* mxGLTopMatrix(unsigned int mode) {
    if (mode == MX_GL_MODELVIEW && mxdetail::gModelview.top) return mxdetail::gModelview.top;
    return mxdetail::topMatrix(mode);
}
// Changes whenever the projection stack's top may have changed, so a program can tell that the projection
// it last sent is still current without comparing matrices.
inline unsigned long long mxGLProjectionVersion() {
    return mxdetail::gProjectionVersion;
}

}  // namespace kite
