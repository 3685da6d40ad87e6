#include "platform/ui/Toolbar.h"

namespace plat {

std::shared_ptr<BarButtonItem> BarButtonItem::flexibleSpace() {
    auto item = std::make_shared<BarButtonItem>();
    item->flexible_ = true;
    return item;
}

std::shared_ptr<BarButtonItem> BarButtonItem::withCustomView(std::shared_ptr<View> view) {
    auto item = std::make_shared<BarButtonItem>();
    item->view_ = std::move(view);
    return item;
}

Toolbar::Toolbar(Rect frame) : View(frame) {}

void Toolbar::setItems(std::vector<std::shared_ptr<BarButtonItem>> items) {
    for (const auto& item : items_)
        if (item && item->customView() && item->customView()->superview() == this)
            item->customView()->removeFromSuperview();
    items_ = std::move(items);
    for (const auto& item : items_)
        if (item && item->customView()) addSubview(item->customView());
    layoutSubviews();
}

void Toolbar::layoutSubviews() {
    double fixed = 0;
    int flexible = 0, views = 0;
    for (const auto& item : items_) {
        if (!item) continue;
        if (item->isFlexibleSpace()) ++flexible;
        if (item->customView()) {
            fixed += item->customView()->frame().width;
            ++views;
        }
    }
    const Rect b = bounds();
    const double spacing = views > 1 ? kItemSpacing * (views - 1) : 0;
    const double spare = std::max(0.0, b.width - 2 * kEdgeMargin - fixed - spacing);
    double x = kEdgeMargin;
    bool previousWasView = false;
    for (const auto& item : items_) {
        if (!item) continue;
        if (item->isFlexibleSpace()) {
            x += spare / flexible;
            continue;
        }
        const auto& view = item->customView();
        if (!view) continue;
        if (previousWasView) x += kItemSpacing;
        const Rect f = view->frame();
        view->setFrame({x, (b.height - f.height) / 2, f.width, f.height});
        x += f.width;
        previousWasView = true;
    }
}

void Toolbar::drawRect(cairo_t* cr, const Rect& rect) {
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, rect.y, 0, rect.maxY());
    cairo_pattern_add_color_stop_rgb(gradient, 0, 0.69, 0.74, 0.80);
    cairo_pattern_add_color_stop_rgb(gradient, 1, 0.43, 0.50, 0.58);
    cairo_set_source(cr, gradient);
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
    cairo_set_source_rgb(cr, 0.18, 0.21, 0.25);
    cairo_rectangle(cr, rect.x, rect.y, rect.width, 0.5);
    cairo_fill(cr);
}

}  // namespace plat
