#pragma once
// A colour of the view model: red, green, blue and alpha as fractions, not premultiplied. Components
// outside 0...1 are kept as given (the gradient button computes such stops); drawing clamps them.
#include <cairo.h>

namespace plat {

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 0;
    bool operator==(const Color&) const = default;

    static Color rgba(double r, double g, double b, double a = 1) { return {r, g, b, a}; }
    static Color withWhite(double w, double a = 1) { return {w, w, w, a}; }
    static Color clearColor() { return {0, 0, 0, 0}; }
    static Color blackColor() { return withWhite(0); }
    static Color whiteColor() { return withWhite(1); }
    static Color darkGrayColor() { return withWhite(1.0 / 3); }
    static Color lightGrayColor() { return withWhite(2.0 / 3); }
    static Color grayColor() { return withWhite(0.5); }
    static Color redColor() { return {1, 0, 0, 1}; }
    static Color greenColor() { return {0, 1, 0, 1}; }
    static Color blueColor() { return {0, 0, 1, 1}; }

    Color withAlpha(double a) const { return {red, green, blue, a}; }
    bool isVisible() const { return alpha > 0; }
    // Makes it the source of `cr`.
    void setSource(cairo_t* cr) const;
};

}  // namespace plat
