#include "kite/base/KTGeometry.h"

#include <cfloat>
#include <cmath>

namespace kite {

namespace {
bool near(float a, float b) {
    return std::fabs(a - b) < FLT_EPSILON;
}
}  // namespace

const KTPoint KTPointZero;
const KTSize KTSizeZero;
const KTRect KTRectZero;

KTPoint KTPoint::rotateByAngle(const KTPoint& pivot, float angle) const {
    float dx = x - pivot.x;
    float dy = y - pivot.y;
    float c = std::cos(angle);
    float s = std::sin(angle);
    return {pivot.x + dx * c - dy * s, pivot.y + dx * s + dy * c};
}

bool KTSize::equals(const KTSize& o) const {
    return near(width, o.width) && near(height, o.height);
}

bool KTRect::equals(const KTRect& o) const {
    return origin.equals(o.origin) && size.equals(o.size);
}

bool KTRect::containsPoint(const KTPoint& p) const {
    return p.x >= origin.x && p.x <= origin.x + size.width && p.y >= origin.y &&
           p.y <= origin.y + size.height;
}

KTPoint ktpLerp(const KTPoint& a, const KTPoint& b, float t) {
    return a * (1.f - t) + b * t;
}

float clampf(float value, float bound1, float bound2) {
    float lo = bound1 < bound2 ? bound1 : bound2;
    float hi = bound1 < bound2 ? bound2 : bound1;
    if (value < lo) return lo;
    if (value > hi) return hi;
    return value;
}

KTPoint ktpClamp(const KTPoint& p, const KTPoint& min, const KTPoint& max) {
    return {clampf(p.x, min.x, max.x), clampf(p.y, min.y, max.y)};
}

KTPoint ktpRotateByAngle(const KTPoint& p, const KTPoint& pivot, float angle) {
    return p.rotateByAngle(pivot, angle);
}

bool ktpLineIntersect(const KTPoint& A, const KTPoint& B, const KTPoint& C, const KTPoint& D, float& S,
                      float& T) {
    if ((A.x == B.x && A.y == B.y) || (C.x == D.x && C.y == D.y)) return false;
    float BAx = B.x - A.x, BAy = B.y - A.y;
    float DCx = D.x - C.x, DCy = D.y - C.y;
    float ACx = A.x - C.x, ACy = A.y - C.y;
    float denom = DCy * BAx - DCx * BAy;
    S = DCx * ACy - DCy * ACx;
    T = BAx * ACy - BAy * ACx;
    if (denom == 0) return S == 0 || T == 0;
    S /= denom;
    T /= denom;
    return true;
}

bool ktpLineIntersect(const KTPoint& A, const KTPoint& B, const KTPoint& C, const KTPoint& D, float* S,
                      float* T) {
    float s = 0, t = 0;
    bool hit = ktpLineIntersect(A, B, C, D, s, t);
    if (S) *S = s;
    if (T) *T = t;
    return hit;
}

uint64_t ktNextPOT(uint64_t x) {
    x = x - 1;
    x |= x >> 1;
    x |= x >> 2;
    x |= x >> 4;
    x |= x >> 8;
    x |= x >> 16;
    return x + 1;
}

}  // namespace kite
