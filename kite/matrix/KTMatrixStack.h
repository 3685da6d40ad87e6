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
void mxGLTranslatef(float x, float y, float z);
void mxGLGetMatrix(unsigned int mode, mxMat4* out);
void mxGLFreeAll();

}  // namespace kite
