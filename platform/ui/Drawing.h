#pragma once
// Small cairo helpers shared by the views that draw themselves.
#include <cairo.h>

#include "platform/ui/Geometry.h"

namespace plat {

// A rounded rectangle as a closed sub-path of `cr`; the radius is capped at half the shorter side and a
// radius of 0 or less gives plain corners.
void addRoundedRectPath(cairo_t* cr, const Rect& rect, double radius);

}  // namespace plat
