#pragma once
// Points, sizes and rectangles in 32-bit floats, compared with a tolerance of FLT_EPSILON.
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace kite {

class KTPoint {
  public:
    float x = 0;
    float y = 0;

    KTPoint() = default;
    KTPoint(float x, float y) : x(x), y(y) {}
    KTPoint(const KTPoint&) = default;
    KTPoint& operator=(const KTPoint&) = default;

    KTPoint operator+(const KTPoint& o) const { return {x + o.x, y + o.y}; }
    KTPoint operator-(const KTPoint& o) const { return {x - o.x, y - o.y}; }
    KTPoint operator*(float f) const { return {x * f, y * f}; }

    // Within FLT_EPSILON on each axis. Inline: each node's transform asks it of its anchor point.
    bool equals(const KTPoint& o) const {
        return std::fabs(x - o.x) < FLT_EPSILON && std::fabs(y - o.y) < FLT_EPSILON;
    }
    // Counter-clockwise by angle radians about pivot.
    KTPoint rotateByAngle(const KTPoint& pivot, float angle) const;
};

class KTSize {
  public:
    float width = 0;
    float height = 0;

    KTSize() = default;
    KTSize(float width, float height) : width(width), height(height) {}
    KTSize(const KTSize&) = default;
    KTSize& operator=(const KTSize&) = default;

    void setSize(float w, float h) {
        width = w;
        height = h;
    }
    bool equals(const KTSize& o) const;
};

class KTRect {
  public:
    KTPoint origin;
    KTSize size;

    KTRect() = default;
    KTRect(float x, float y, float width, float height) : origin(x, y), size(width, height) {}
    KTRect(const KTRect&) = default;
    KTRect& operator=(const KTRect&) = default;

    void setRect(float x, float y, float w, float h) {
        origin = {x, y};
        size = {w, h};
    }
    bool equals(const KTRect& o) const;
    // All four edges count as inside.
    bool containsPoint(const KTPoint& p) const;
};

extern const KTPoint KTPointZero;
extern const KTSize KTSizeZero;
extern const KTRect KTRectZero;

KTPoint ktpLerp(const KTPoint& a, const KTPoint& b, float t);
// The bounds may come in either order.
float clampf(float value, float bound1, float bound2);
KTPoint ktpClamp(const KTPoint& p, const KTPoint& min, const KTPoint& max);
KTPoint ktpRotateByAngle(const KTPoint& p, const KTPoint& pivot, float angle);
// Lines AB and CD: S and T are the parameters along AB and CD of the crossing. Coincident lines give true
// with S, T left undivided; parallel ones false.
bool ktpLineIntersect(const KTPoint& A, const KTPoint& B, const KTPoint& C, const KTPoint& D, float* S,
                      float* T);
bool ktpLineIntersect(const KTPoint& A, const KTPoint& B, const KTPoint& C, const KTPoint& D, float& S,
                      float& T);
// Smallest power of two >= x; exact up to 2^32, 0 gives 0.
uint64_t ktNextPOT(uint64_t x);

}  // namespace kite
