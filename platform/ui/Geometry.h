#pragma once
// Points, sizes, rectangles and affine transforms of the view model: points with the origin at the top
// left and y growing downward. A transform maps (x, y) to (a x + c y + tx, b x + d y + ty).
#include <cmath>

namespace plat {

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;

    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    Point mid() const { return {x + width / 2, y + height / 2}; }
    bool contains(Point p) const { return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height; }
    Rect insetBy(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
};

struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const AffineTransform&) const = default;

    static AffineTransform identity() { return {}; }
    static AffineTransform makeRotation(double angle) {
        const double cs = std::cos(angle), sn = std::sin(angle);
        return {cs, sn, -sn, cs, 0, 0};
    }
    static AffineTransform makeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static AffineTransform makeTranslation(double x, double y) { return {1, 0, 0, 1, x, y}; }

    bool isIdentity() const { return *this == AffineTransform{}; }
    // This transform first, then `next`.
    AffineTransform concat(const AffineTransform& next) const {
        return {a * next.a + b * next.c,
                a * next.b + b * next.d,
                c * next.a + d * next.c,
                c * next.b + d * next.d,
                tx * next.a + ty * next.c + next.tx,
                tx * next.b + ty * next.d + next.ty};
    }
    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // A singular transform has no inverse; it comes back unchanged.
    AffineTransform inverted() const {
        const double det = a * d - b * c;
        if (det == 0 || !std::isfinite(det)) return *this;
        return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
    }
    // The bounding box of `r` once transformed.
    Rect applyToRect(const Rect& r) const {
        const Point p[4] = {apply({r.x, r.y}), apply({r.maxX(), r.y}), apply({r.x, r.maxY()}),
                            apply({r.maxX(), r.maxY()})};
        double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
        for (const Point& q : p) {
            x0 = std::fmin(x0, q.x);
            x1 = std::fmax(x1, q.x);
            y0 = std::fmin(y0, q.y);
            y1 = std::fmax(y1, q.y);
        }
        return {x0, y0, x1 - x0, y1 - y0};
    }
};

}  // namespace plat
