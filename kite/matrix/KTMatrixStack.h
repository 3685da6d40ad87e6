#pragma once
// A growable stack of matrices, and the three stacks (model-view, projection, texture) that the director,
// the nodes and the GL programs share in the style of fixed-function GL. Main (GL) thread only.
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
void mxGLPopMatrix();
void mxGLLoadIdentity();
void mxGLMultMatrix(const mxMat4* m);
// Multiplies by a node's 2D transform placed in a 4x4 matrix (a, b, c, d, tx, ty, with tz as the Z
// translation): the same result as mxGLMultMatrix of that matrix, without the products by its zeros.
void mxGLMultAffine(float a, float b, float c, float d, float tx, float ty, float tz);
// mxGLPushMatrix then mxGLMultAffine, writing the product straight into the pushed item.
void mxGLPushMultAffine(float a, float b, float c, float d, float tx, float ty, float tz);
void mxGLTranslatef(float x, float y, float z);
void mxGLGetMatrix(unsigned int mode, mxMat4* out);
void mxGLFreeAll();
// The stacks' state, for the inline reads below that every drawn node makes.
namespace mxdetail {
extern mx_mat4_stack gModelview;
extern unsigned long long gProjectionVersion;
const mxMat4* topMatrix(unsigned int mode);
}  // namespace mxdetail

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
