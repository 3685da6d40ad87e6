#include "kite/matrix/KTMatrixStack.h"

#include <cstdlib>
#include <cstring>

#include "kite/base/KTMacros.h"

namespace kite {

namespace mxdetail {
mx_mat4_stack gModelview = {0, 0, nullptr, nullptr};
mx_mat4_stack* gCurrent = nullptr;
// Only ever grows, also across mxGLFreeAll, so a version seen before never comes back.
unsigned long long gProjectionVersion = 1;
}  // namespace mxdetail

namespace {

using mxdetail::gCurrent;
using mxdetail::gModelview;
using mxdetail::gProjectionVersion;
using mxdetail::grow;

constexpr int kInitialCapacity = 30;
constexpr int kGrowth = 50;

mx_mat4_stack gProjection = {0, 0, nullptr, nullptr};
mx_mat4_stack gTexture = {0, 0, nullptr, nullptr};
bool gInitialized = false;

void currentChanged() {
    if (gCurrent == &gProjection) ++gProjectionVersion;
}

// A stack popped down to nothing has no top; give it an identity base so the next operation on it
// has something to work on instead of reading through a null top.
mxMat4* currentTop() {
    if (!gCurrent->top) {
        currentChanged();
        mxMat4 identity;
        mx_mat4_stack_push(gCurrent, mxMat4Identity(&identity));
    }
    return gCurrent->top;
}

}  // namespace

void mx_mat4_stack_initialize(mx_mat4_stack* stack) {
    stack->stack = static_cast<mxMat4*>(std::malloc(sizeof(mxMat4) * kInitialCapacity));
    KTAssert(stack->stack != nullptr, "Out of memory for the matrix stack");
    stack->capacity = kInitialCapacity;
    stack->item_count = 0;
    stack->top = nullptr;
}

namespace {

// Takes the item after the top, already written, as the new top; then makes room for one more, so the
// next push can write its item in place.
inline void pushWritten(mx_mat4_stack* stack) {
    stack->top = &stack->stack[stack->item_count];
    stack->item_count++;
    if (stack->item_count >= stack->capacity) grow(stack);
}

}  // namespace

void mxdetail::grow(mx_mat4_stack* stack) {
    const int newCapacity = stack->capacity + kGrowth;
    auto* storage = static_cast<mxMat4*>(std::malloc(sizeof(mxMat4) * static_cast<size_t>(newCapacity)));
    KTAssert(storage != nullptr, "Out of memory for the matrix stack");
    std::memcpy(storage, stack->stack, sizeof(mxMat4) * static_cast<size_t>(stack->capacity));
    std::free(stack->stack);
    stack->stack = storage;
    stack->capacity = newCapacity;
    stack->top = &stack->stack[stack->item_count - 1];
}

void mx_mat4_stack_push(mx_mat4_stack* stack, const mxMat4* item) {
    std::memcpy(stack->stack[stack->item_count].mat, item->mat, sizeof(item->mat));
    pushWritten(stack);
}

void mx_mat4_stack_pop(mx_mat4_stack* stack) {
    KTAssert(stack->item_count > 0, "Cannot pop an empty stack");
    stack->item_count--;
    stack->top = stack->item_count > 0 ? &stack->stack[stack->item_count - 1] : nullptr;
}

void mx_mat4_stack_release(mx_mat4_stack* stack) {
    std::free(stack->stack);
    stack->stack = nullptr;
    stack->top = nullptr;
    stack->capacity = 0;
    stack->item_count = 0;
}

void mxGLLazyInitialize() {
    if (gInitialized) return;
    mxMat4 identity;
    mxMat4Identity(&identity);
    mx_mat4_stack_initialize(&gModelview);
    mx_mat4_stack_initialize(&gProjection);
    mx_mat4_stack_initialize(&gTexture);
    gCurrent = &gModelview;
    gInitialized = true;
    ++gProjectionVersion;
    mx_mat4_stack_push(&gModelview, &identity);
    mx_mat4_stack_push(&gProjection, &identity);
    mx_mat4_stack_push(&gTexture, &identity);
}

void mxGLMatrixMode(unsigned int mode) {
    mxGLLazyInitialize();
    switch (mode) {
        case MX_GL_MODELVIEW:
            gCurrent = &gModelview;
            break;
        case MX_GL_PROJECTION:
            gCurrent = &gProjection;
            break;
        case MX_GL_TEXTURE:
            gCurrent = &gTexture;
            break;
        default:
            KTAssert(false, "Invalid matrix mode specified");
    }
}

void mxGLPushMatrix() {
    mxGLLazyInitialize();
    // The stack always has room for one more item and copies the top into it before it grows, so the top
    // can be passed in place.
    mx_mat4_stack_push(gCurrent, currentTop());
}

void mxdetail::popMatrix() {
    KTAssert(gInitialized, "Cannot Pop empty matrix stack");
    currentChanged();
    mx_mat4_stack_pop(gCurrent);
}

void mxGLLoadIdentity() {
    mxGLLazyInitialize();
    currentChanged();
    mxMat4Identity(currentTop());
}

void mxGLMultMatrix(const mxMat4* m) {
    mxGLLazyInitialize();
    currentChanged();
    mxMat4* top = currentTop();
    mxMat4Multiply(top, top, m);
}

using mxdetail::multAffine;

void mxGLMultAffine(float a, float b, float c, float d, float tx, float ty, float tz) {
    mxGLLazyInitialize();
    currentChanged();
    float* m = currentTop()->mat;
    multAffine(m, m, a, b, c, d, tx, ty, tz);
}

void mxdetail::pushMultAffine(float a, float b, float c, float d, float tx, float ty, float tz) {
    mxGLLazyInitialize();
    currentChanged();
    currentTop();
    mx_mat4_stack* stack = gCurrent;
    const mxMat4* below = stack->top;
    // The stack always has room for one more item (mx_mat4_stack_push grows it right after filling it).
    multAffine(below->mat, stack->stack[stack->item_count].mat, a, b, c, d, tx, ty, tz);
    pushWritten(stack);
}

void mxGLTranslatef(float x, float y, float z) {
    // Set up here too, so a translate issued before any other matrix call has a stack to work on.
    mxGLLazyInitialize();
    currentChanged();
    mxMat4 translation;
    mxMat4Translation(&translation, x, y, z);
    mxMat4* top = currentTop();
    mxMat4Multiply(top, top, &translation);
}

void mxGLGetMatrix(unsigned int mode, mxMat4* out) {
    mxGLLazyInitialize();
    mx_mat4_stack* stack = nullptr;
    switch (mode) {
        case MX_GL_MODELVIEW:
            stack = &gModelview;
            break;
        case MX_GL_PROJECTION:
            stack = &gProjection;
            break;
        case MX_GL_TEXTURE:
            stack = &gTexture;
            break;
        default:
            return;
    }
    if (stack->top) {
        std::memcpy(out->mat, stack->top->mat, sizeof(out->mat));
    } else {
        mxMat4Identity(out);
    }
}

const mxMat4* mxdetail::topMatrix(unsigned int mode) {
    mxGLLazyInitialize();
    mx_mat4_stack* stack = mode == MX_GL_MODELVIEW    ? &gModelview
                           : mode == MX_GL_PROJECTION ? &gProjection
                           : mode == MX_GL_TEXTURE    ? &gTexture
                                                      : nullptr;
    if (!stack) return nullptr;
    if (stack->top) return stack->top;
    // An emptied stack reads as identity, as mxGLGetMatrix gives it.
    static mxMat4 identity;
    return mxMat4Identity(&identity);
}

void mxGLFreeAll() {
    ++gProjectionVersion;
    mx_mat4_stack_release(&gModelview);
    mx_mat4_stack_release(&gProjection);
    mx_mat4_stack_release(&gTexture);
    gInitialized = false;
    gCurrent = nullptr;
}

}  // namespace kite
