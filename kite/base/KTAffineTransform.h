#pragma once
// 2D affine transforms: (x, y) maps to (a·x + c·y + tx, b·x + d·y + ty).
#include "kite/base/KTGeometry.h"

namespace kite {

struct KTAffineTransform {
    float a = 1, b = 0, c = 0, d = 1;
    float tx = 0, ty = 0;
};

KTAffineTransform KTAffineTransformMake(float a, float b, float c, float d, float tx, float ty);
KTAffineTransform KTAffineTransformMakeIdentity();
KTPoint KTPointApplyAffineTransform(const KTPoint& p, const KTAffineTransform& t);
KTAffineTransform KTAffineTransformTranslate(const KTAffineTransform& t, float x, float y);
// t1 applied first, then t2.
KTAffineTransform KTAffineTransformConcat(const KTAffineTransform& t1, const KTAffineTransform& t2);
// A singular transform gives infinities.
KTAffineTransform KTAffineTransformInvert(const KTAffineTransform& t);
// Fills a column-major 4x4 matrix.
void CGAffineToGL(const KTAffineTransform* t, float* m);

}  // namespace kite
