#include "ads/widgets/ZividedirPopupToolbar.h"

#include <algorithm>

void ZividedirPopupToolbar::drawRect(cairo_t* cr, const plat::Rect& r) {
    const plat::Color start = startColor_.value_or(defaultStartColor());
    const plat::Color end = endColor_.value_or(defaultEndColor());
    cairo_save(cr);
    cairo_pattern_t* gradient = cairo_pattern_create_linear(r.x, r.y, r.x, r.y + r.height);
    cairo_pattern_add_color_stop_rgba(gradient, 0, start.red, start.green, start.blue, start.alpha);
    cairo_pattern_add_color_stop_rgba(gradient, 1, end.red, end.green, end.blue, end.alpha);
    // The end colour carries on past the end point (nothing clips the drawing to `r`); above the start
    // point nothing is drawn.
    cairo_pattern_set_extend(gradient, CAIRO_EXTEND_PAD);
    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    cairo_rectangle(cr, x1, r.y, x2 - x1, std::max(0.0, y2 - r.y));
    cairo_clip(cr);
    cairo_set_source(cr, gradient);
    cairo_paint(cr);
    cairo_pattern_destroy(gradient);
    cairo_restore(cr);
}
