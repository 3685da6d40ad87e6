#include "platform/ui/Color.h"

#include <algorithm>

namespace plat {

void Color::setSource(cairo_t* cr) const {
    auto clamp = [](double v) { return std::clamp(v, 0.0, 1.0); };
    cairo_set_source_rgba(cr, clamp(red), clamp(green), clamp(blue), clamp(alpha));
}

}  // namespace plat
