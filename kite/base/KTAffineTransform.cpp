#include "kite/base/KTAffineTransform.h"

namespace kite {

KTAffineTransform KTAffineTransformMake(float a, float b, float c, float d, float tx, float ty) {
    return {a, b, c, d, tx, ty};
}

KTAffineTransform KTAffineTransformMakeIdentity() {
    return {1, 0, 0, 1, 0, 0};
}

KTPoint KTPointApplyAffineTransform(const KTPoint& p, const KTAffineTransform& t) {
    double x = p.x, y = p.y;
    return {static_cast<float>(double(t.a) * x + double(t.c) * y + t.tx),
            static_cast<float>(double(t.b) * x + double(t.d) * y + t.ty)};
}

KTAffineTransform KTAffineTransformTranslate(const KTAffineTransform& t, float x, float y) {
    return {t.a, t.b, t.c, t.d, t.tx + t.a * x + t.c * y, t.ty + t.b * x + t.d * y};
}

KTAffineTransform KTAffineTransformConcat(const KTAffineTransform& t1, const KTAffineTransform& t2) {
    return {t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
            t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
            t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

KTAffineTransform KTAffineTransformInvert(const KTAffineTransform& t) {
    float k = 1 / (t.a * t.d - t.b * t.c);
    return {
        t.d * k, -t.b * k, -t.c * k, t.a * k, k * (t.c * t.ty - t.d * t.tx), k * (t.b * t.tx - t.a * t.ty)};
}

void CGAffineToGL(const KTAffineTransform* t, float* m) {
    for (int i = 0; i < 16; ++i) m[i] = 0;
    m[0] = t->a;
    m[1] = t->b;
    m[4] = t->c;
    m[5] = t->d;
    m[12] = t->tx;
    m[13] = t->ty;
    m[10] = m[15] = 1;
}

}  // namespace kite
