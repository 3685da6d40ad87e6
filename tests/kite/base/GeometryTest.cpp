#include <gtest/gtest.h>

#include <cmath>

#include "kite/base/KTAffineTransform.h"
#include "kite/base/KTGeometry.h"

using namespace kite;

TEST(GeometryTest, EqualityToleranceIsStrict) {
    EXPECT_TRUE(KTPoint(0, 0).equals(KTPoint(1e-7f, 0)));
    EXPECT_FALSE(KTPoint(0, 0).equals(KTPoint(2e-7f, 0)));
    EXPECT_TRUE(KTSize(3, 4).equals(KTSize(3, 4 + 1e-7f)));
    EXPECT_FALSE(KTRect(0, 0, 1, 1).equals(KTRect(0, 0, 1, 1.001f)));
    EXPECT_TRUE(KTRectZero.equals(KTRect()));
}

TEST(GeometryTest, ContainsPointIncludesEdges) {
    KTRect r(0, 0, 10, 10);
    EXPECT_TRUE(r.containsPoint({10, 10}));
    EXPECT_TRUE(r.containsPoint({0, 0}));
    EXPECT_FALSE(r.containsPoint({10.001f, 5}));
    EXPECT_FALSE(r.containsPoint({5, -0.001f}));
    EXPECT_FALSE(KTRect(5, 5, -2, -2).containsPoint({4, 4}));
}

TEST(GeometryTest, ClampTakesBoundsInEitherOrder) {
    EXPECT_EQ(clampf(5, 10, 0), 5);
    EXPECT_EQ(clampf(-1, 10, 0), 0);
    EXPECT_EQ(clampf(11, 10, 0), 10);
    KTPoint p = ktpClamp({-5, 50}, {0, 0}, {10, 10});
    EXPECT_TRUE(p.equals({0, 10}));
}

TEST(GeometryTest, LerpAndRotate) {
    EXPECT_TRUE(ktpLerp({0, 0}, {10, 20}, 0.25f).equals({2.5f, 5}));
    KTPoint r = ktpRotateByAngle({2, 1}, {1, 1}, static_cast<float>(M_PI / 2));
    EXPECT_NEAR(r.x, 1, 1e-6);
    EXPECT_NEAR(r.y, 2, 1e-6);
}

TEST(GeometryTest, NextPowerOfTwo) {
    EXPECT_EQ(ktNextPOT(1), 1u);
    EXPECT_EQ(ktNextPOT(2), 2u);
    EXPECT_EQ(ktNextPOT(3), 4u);
    EXPECT_EQ(ktNextPOT(64), 64u);
    EXPECT_EQ(ktNextPOT(65), 128u);
    EXPECT_EQ(ktNextPOT(0), 0u);
    EXPECT_EQ(ktNextPOT(0x80000001ull), 0x100000000ull);
}

TEST(GeometryTest, LineIntersection) {
    float s = -1, t = -1;
    EXPECT_TRUE(ktpLineIntersect({0, 0}, {2, 2}, {0, 2}, {2, 0}, &s, &t));
    EXPECT_FLOAT_EQ(s, 0.5f);
    EXPECT_FLOAT_EQ(t, 0.5f);
    EXPECT_TRUE(ktpLineIntersect({0, 0}, {1, 1}, {2, 2}, {3, 3}, &s, &t));   // coincident
    EXPECT_FALSE(ktpLineIntersect({0, 0}, {1, 1}, {0, 1}, {1, 2}, &s, &t));  // parallel
    EXPECT_FALSE(ktpLineIntersect({1, 1}, {1, 1}, {0, 1}, {1, 2}, &s, &t));  // a point is no line
}

TEST(AffineTransformTest, ConcatAppliesFirstThenSecond) {
    KTAffineTransform translate = KTAffineTransformMake(1, 0, 0, 1, 5, 0);
    KTAffineTransform scale = KTAffineTransformMake(2, 0, 0, 2, 0, 0);
    KTPoint p = KTPointApplyAffineTransform({1, 0}, KTAffineTransformConcat(translate, scale));
    EXPECT_TRUE(p.equals({12, 0}));
    p = KTPointApplyAffineTransform({1, 0}, KTAffineTransformConcat(scale, translate));
    EXPECT_TRUE(p.equals({7, 0}));
}

TEST(AffineTransformTest, InvertTranslateAndGLMatrix) {
    KTAffineTransform t = KTAffineTransformMake(0, 2, -3, 0, 7, -4);  // rotate-and-scale with an offset
    KTAffineTransform back = KTAffineTransformConcat(t, KTAffineTransformInvert(t));
    KTPoint p = KTPointApplyAffineTransform({3, 9}, back);
    EXPECT_NEAR(p.x, 3, 1e-5);
    EXPECT_NEAR(p.y, 9, 1e-5);

    KTAffineTransform moved = KTAffineTransformTranslate(t, 1, 1);
    KTPoint q = KTPointApplyAffineTransform({0, 0}, moved);
    KTPoint r = KTPointApplyAffineTransform({1, 1}, t);
    EXPECT_TRUE(q.equals(r));

    float m[16];
    for (float& v : m) v = 99;
    CGAffineToGL(&t, m);
    const float expected[16] = {0, 2, 0, 0, -3, 0, 0, 0, 0, 0, 1, 0, 7, -4, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], expected[i]) << i;
}
