#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kite/matrix/KTMatrix.h"
#include "kite/matrix/KTMatrixStack.h"

using namespace kite;

namespace {

mxMat4 scale(float s) {
    mxMat4 m;
    mxMat4Identity(&m);
    m.mat[0] = m.mat[5] = m.mat[10] = s;
    return m;
}

mxMat4 sample() {
    // An invertible matrix with rotation, scale and translation parts.
    mxMat4 m = {{2, 1, 0, 0, -1, 3, 0.5f, 0, 0, 0.25f, 1, 0, 5, -7, 2, 1}};
    return m;
}

void expectNear(const mxMat4& a, const mxMat4& b, float tolerance = 1e-5f) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.mat[i], b.mat[i], tolerance) << "element " << i;
}

// Each test starts from freshly made stacks.
class MatrixStackTest : public ::testing::Test {
  protected:
    void SetUp() override { mxGLFreeAll(); }
    void TearDown() override { mxGLFreeAll(); }
    static mxMat4 get(unsigned int mode) {
        mxMat4 m;
        mxGLGetMatrix(mode, &m);
        return m;
    }
};

}  // namespace

TEST(Matrix, MultiplyIsColumnMajorAndMayWriteIntoAnOperand) {
    mxMat4 translation, scaled = scale(2), product;
    mxMat4Translation(&translation, 3, 4, 5);
    // translation × scale: scale first, then move.
    mxMat4Multiply(&product, &translation, &scaled);
    EXPECT_FLOAT_EQ(product.mat[0], 2);
    EXPECT_FLOAT_EQ(product.mat[12], 3);
    mxVec3 point = {1, 1, 1}, moved;
    mxVec3TransformCoord(&moved, &point, &product);
    EXPECT_FLOAT_EQ(moved.x, 5);
    EXPECT_FLOAT_EQ(moved.y, 6);
    EXPECT_FLOAT_EQ(moved.z, 7);

    mxMat4 a = sample(), b = sample(), separate;
    mxMat4Multiply(&separate, &a, &b);
    mxMat4Multiply(&a, &a, &b);
    expectNear(a, separate, 0);
    a = sample();
    mxMat4Multiply(&b, &a, &b);
    expectNear(b, separate, 0);
}

TEST(Matrix, InverseUndoesAndRefusesSingularMatrices) {
    mxMat4 half = scale(0.5f), inverse;
    ASSERT_EQ(mxMat4Inverse(&inverse, &half), &inverse);
    expectNear(inverse, scale(2));

    mxMat4 m = sample(), product, identity;
    ASSERT_NE(mxMat4Inverse(&inverse, &m), nullptr);
    mxMat4Multiply(&product, &m, &inverse);
    expectNear(product, *mxMat4Identity(&identity));

    mxMat4 zeroRow = sample();
    for (int c = 0; c < 4; ++c) zeroRow.mat[1 + 4 * c] = 0;
    mxMat4 untouched = scale(7);
    EXPECT_EQ(mxMat4Inverse(&untouched, &zeroRow), nullptr);
    expectNear(untouched, scale(7), 0);
}

TEST(Matrix, ProjectionsAndLookAt) {
    mxMat4 ortho;
    mxMat4OrthographicProjection(&ortho, 0, 320, 0, 568, -1024, 1024);
    mxVec3 corner = {320, 568, 0}, clip;
    mxVec3TransformCoord(&clip, &corner, &ortho);
    EXPECT_FLOAT_EQ(clip.x, 1);
    EXPECT_FLOAT_EQ(clip.y, 1);

    mxMat4 perspective = scale(3);
    EXPECT_EQ(mxMat4PerspectiveProjection(&perspective, 60, 0, 0.1f, 100), nullptr);
    EXPECT_EQ(mxMat4PerspectiveProjection(&perspective, 0, 1, 0.1f, 100), nullptr);
    EXPECT_EQ(mxMat4PerspectiveProjection(&perspective, 60, 1, 5, 5), nullptr);
    expectNear(perspective, scale(3), 0);
    ASSERT_NE(mxMat4PerspectiveProjection(&perspective, 60, 320.0f / 568, 0.1f, 1000), nullptr);
    EXPECT_FLOAT_EQ(perspective.mat[11], -1);
    EXPECT_FLOAT_EQ(perspective.mat[15], 0);

    // The director's 3D set-up: the centre of the screen at z 0 lands in the centre of the clip space.
    const float zEye = 568 / 1.1566f;
    mxVec3 eye = {160, 284, zEye}, centre = {160, 284, 0}, up = {0, 1, 0};
    mxMat4 look, mvp;
    mxMat4LookAt(&look, &eye, &centre, &up);
    mxMat4PerspectiveProjection(&perspective, 60, 320.0f / 568, 0.1f, zEye * 2);
    mxMat4Multiply(&mvp, &perspective, &look);
    mxVec3 middle = {160, 284, 0}, top = {160, 568, 0};
    mxVec3TransformCoord(&clip, &middle, &mvp);
    EXPECT_NEAR(clip.x, 0, 1e-5);
    EXPECT_NEAR(clip.y, 0, 1e-5);
    mxVec3TransformCoord(&clip, &top, &mvp);
    EXPECT_NEAR(clip.y, 1, 3e-3);  // 60° at 568 / 1.1566 frames the whole height
}

TEST(Matrix, ScalarAndVectorHelpers) {
    EXPECT_FLOAT_EQ(mxDegreesToRadians(180), 180 * 0.017453f);
    EXPECT_NE(mxDegreesToRadians(180), static_cast<float>(M_PI));
    mxVec3 a = {1, 0, 0}, b = {0, 1, 0}, c;
    mxVec3Cross(&c, &a, &b);
    EXPECT_FLOAT_EQ(c.z, 1);
    mxVec3 v = {3, 4, 0};
    EXPECT_FLOAT_EQ(mxVec3Length(&v), 5);
    mxVec3Normalize(&v, &v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    mxVec3 zero = {0, 0, 0};
    mxVec3Normalize(&v, &zero);
    EXPECT_FALSE(std::isnan(v.x));
}

TEST(MatrixDeathTest, SelfAssignStops) {
    mxMat4 m = sample();
    EXPECT_DEATH(mxMat4Assign(&m, &m), "You have tried to self-assign!!");
}

TEST(Matrix, StackGrowsByFiftyAfterFillingItsThirtySlots) {
    mx_mat4_stack stack;
    mx_mat4_stack_initialize(&stack);
    EXPECT_EQ(stack.capacity, 30);
    EXPECT_EQ(stack.top, nullptr);
    for (int i = 1; i <= 31; ++i) {
        mxMat4 m;
        mxMat4Translation(&m, static_cast<float>(i), 0, 0);
        mx_mat4_stack_push(&stack, &m);
        if (i == 29) {
            EXPECT_EQ(stack.capacity, 30);
        }
        if (i == 30) {
            EXPECT_EQ(stack.capacity, 80);
        }
    }
    EXPECT_EQ(stack.item_count, 31);
    EXPECT_FLOAT_EQ(stack.top->mat[12], 31);
    mx_mat4_stack_pop(&stack);
    EXPECT_FLOAT_EQ(stack.top->mat[12], 30);
    EXPECT_FLOAT_EQ(stack.stack[0].mat[12], 1);
    mx_mat4_stack_release(&stack);
    EXPECT_EQ(stack.capacity, 0);
    EXPECT_EQ(stack.item_count, 0);
}

TEST_F(MatrixStackTest, PushMultiplyPopPerMode) {
    mxMat4 identity;
    mxMat4Identity(&identity);
    expectNear(get(MX_GL_MODELVIEW), identity, 0);
    expectNear(get(MX_GL_PROJECTION), identity, 0);
    expectNear(get(MX_GL_TEXTURE), identity, 0);

    mxGLPushMatrix();
    mxGLTranslatef(10, 20, 0);
    mxMat4 doubled = scale(2);
    mxGLMultMatrix(&doubled);
    mxVec3 point = {1, 1, 0}, moved;
    mxMat4 top = get(MX_GL_MODELVIEW);
    mxVec3TransformCoord(&moved, &point, &top);
    EXPECT_FLOAT_EQ(moved.x, 12);
    EXPECT_FLOAT_EQ(moved.y, 22);

    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLLoadIdentity();
    mxGLMultMatrix(&doubled);
    expectNear(get(MX_GL_PROJECTION), doubled, 0);
    expectNear(get(MX_GL_MODELVIEW), top, 0);

    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLPopMatrix();
    expectNear(get(MX_GL_MODELVIEW), identity, 0);

    mxMat4 out = sample();
    mxGLGetMatrix(0x1703, &out);
    expectNear(out, sample(), 0);
}

TEST_F(MatrixStackTest, DeepPushesSurviveGrowth) {
    for (int i = 0; i < 100; ++i) {
        mxGLPushMatrix();
        mxGLTranslatef(1, 0, 0);
    }
    EXPECT_FLOAT_EQ(get(MX_GL_MODELVIEW).mat[12], 100);
    for (int i = 0; i < 60; ++i) mxGLPopMatrix();
    EXPECT_FLOAT_EQ(get(MX_GL_MODELVIEW).mat[12], 40);
}

TEST_F(MatrixStackTest, FreeAllStartsOverWithIdentityAndModelview) {
    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLTranslatef(5, 0, 0);
    mxGLFreeAll();
    mxGLTranslatef(1, 0, 0);  // the first call after freeing sets the stacks up again
    EXPECT_FLOAT_EQ(get(MX_GL_MODELVIEW).mat[12], 1);
    EXPECT_FLOAT_EQ(get(MX_GL_PROJECTION).mat[12], 0);
}

TEST_F(MatrixStackTest, EmptiedStackGetsAnIdentityBase) {
    mxGLLazyInitialize();
    mxGLPopMatrix();
    mxGLTranslatef(3, 0, 0);
    EXPECT_FLOAT_EQ(get(MX_GL_MODELVIEW).mat[12], 3);
}

TEST_F(MatrixStackTest, AffineMultiplyMatchesTheFullProductAndProjectionVersionFollowsTheProjection) {
    const mxMat4 base = sample();
    mxGLMatrixMode(MX_GL_MODELVIEW);
    mxGLMultMatrix(&base);
    mxGLPushMatrix();
    // A node's transform (a, b, c, d, tx, ty) with vertex Z 0.5, as a full 4x4 matrix and as its parts.
    mxMat4 affine;
    mxMat4Identity(&affine);
    affine.mat[0] = 0.8f, affine.mat[1] = 0.6f, affine.mat[4] = -1.2f, affine.mat[5] = 1.6f;
    affine.mat[12] = 30, affine.mat[13] = -4, affine.mat[14] = 0.5f;
    mxGLMultMatrix(&affine);
    const mxMat4 full = get(MX_GL_MODELVIEW);
    mxGLPopMatrix();

    const unsigned long long before = mxGLProjectionVersion();
    mxGLPushMatrix();
    mxGLMultAffine(0.8f, 0.6f, -1.2f, 1.6f, 30, -4, 0.5f);
    expectNear(get(MX_GL_MODELVIEW), full, 0);
    expectNear(*mxGLTopMatrix(MX_GL_MODELVIEW), full, 0);
    mxGLPopMatrix();
    EXPECT_EQ(mxGLProjectionVersion(), before) << "model-view changes leave the projection version";

    mxGLMatrixMode(MX_GL_PROJECTION);
    mxGLPushMatrix();
    EXPECT_EQ(mxGLProjectionVersion(), before) << "a push keeps the projection's value";
    mxGLTranslatef(1, 0, 0);
    const unsigned long long translated = mxGLProjectionVersion();
    EXPECT_NE(translated, before);
    mxGLPopMatrix();
    EXPECT_NE(mxGLProjectionVersion(), translated);
    const unsigned long long popped = mxGLProjectionVersion();
    mxGLFreeAll();
    EXPECT_NE(mxGLProjectionVersion(), popped) << "freed stacks never reuse an old version";
    mxMat4 identity;
    mxMat4Identity(&identity);
    expectNear(*mxGLTopMatrix(MX_GL_PROJECTION), identity, 0);
    EXPECT_EQ(mxGLTopMatrix(0x1703), nullptr);
}

TEST_F(MatrixStackTest, PushMultAffineIsAPushThenAnAffineMultiplyAtAnyDepth) {
    const mxMat4 base = sample();
    mxGLMultMatrix(&base);
    // Deep enough to make the stack grow twice; each level's transform differs a little.
    auto level = [](int i, float* t) {
        const float f = static_cast<float>(i);
        const float values[7] = {0.9f + f / 97, 0.3f - f / 89, -0.2f + f / 83, 1.1f - f / 79,
                                 f * 1.7f,      -f / 3,        f / 7};
        std::copy(values, values + 7, t);
    };
    std::vector<mxMat4> separate;
    for (int i = 0; i < 90; ++i) {
        float t[7];
        level(i, t);
        mxGLPushMatrix();
        mxGLMultAffine(t[0], t[1], t[2], t[3], t[4], t[5], t[6]);
        separate.push_back(get(MX_GL_MODELVIEW));
    }
    for (int i = 0; i < 90; ++i) mxGLPopMatrix();
    expectNear(get(MX_GL_MODELVIEW), base, 0);

    for (int i = 0; i < 90; ++i) {
        float t[7];
        level(i, t);
        mxGLPushMultAffine(t[0], t[1], t[2], t[3], t[4], t[5], t[6]);
        expectNear(get(MX_GL_MODELVIEW), separate[static_cast<size_t>(i)], 0);
    }
    for (int i = 89; i >= 0; --i) {
        expectNear(*mxGLTopMatrix(MX_GL_MODELVIEW), separate[static_cast<size_t>(i)], 0);
        mxGLPopMatrix();
    }
    expectNear(get(MX_GL_MODELVIEW), base, 0);
}

using MatrixStackDeathTest = MatrixStackTest;

TEST_F(MatrixStackDeathTest, FatalMisuse) {
    EXPECT_DEATH(mxGLPopMatrix(), "Cannot Pop empty matrix stack");
    EXPECT_DEATH(
        {
            mxGLLazyInitialize();
            mxGLPopMatrix();
            mxGLPopMatrix();
        },
        "Cannot pop an empty stack");
    EXPECT_DEATH(mxGLMatrixMode(0x1703), "Invalid matrix mode specified");
}
