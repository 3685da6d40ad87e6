#include "platform/ui/ActivityIndicatorView.h"

#include <cmath>

namespace plat {
namespace {
constexpr int kSpokes = 12;
constexpr double kStepSeconds = 1.0 / kSpokes;
}  // namespace

ActivityIndicatorView::ActivityIndicatorView(Style style) : style_(style) {
    const double size = wheelSize();
    setFrame({0, 0, size, size});
    setOpaque(false);
    setHidden(true);
}

ActivityIndicatorView::~ActivityIndicatorView() {
    if (timer_) RunLoop::main().cancelTimer(timer_);
}

void ActivityIndicatorView::startAnimating() {
    if (timer_) return;
    setHidden(false);
    // The destructor cancels the timer, so it never outlives the view.
    timer_ = RunLoop::main().addTimer(
        kStepSeconds,
        [this] {
            step_ = (step_ + 1) % kSpokes;
            setNeedsDisplay();
        },
        kStepSeconds);
    setNeedsDisplay();
}

void ActivityIndicatorView::stopAnimating() {
    if (timer_) RunLoop::main().cancelTimer(timer_);
    timer_ = 0;
    if (hidesWhenStopped_) setHidden(true);
}

void ActivityIndicatorView::setHidesWhenStopped(bool hides) {
    hidesWhenStopped_ = hides;
    if (!timer_) setHidden(hides);
}

Size ActivityIndicatorView::sizeThatFits(Size) const {
    return {wheelSize(), wheelSize()};
}

void ActivityIndicatorView::drawRect(cairo_t* cr, const Rect& rect) {
    const double size = wheelSize();
    const double outer = size / 2, inner = size * 0.27, width = size * 0.09;
    const Color colour = style_ == Style::Gray ? Color::grayColor() : Color::whiteColor();
    cairo_save(cr);
    cairo_translate(cr, rect.mid().x, rect.mid().y);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int i = 0; i < kSpokes; ++i) {
        // Spoke `step_` is the head; the ones behind it fade.
        const int behind = (step_ - i + kSpokes) % kSpokes;
        const double angle = 2 * M_PI * i / kSpokes - M_PI / 2;
        colour.withAlpha(1.0 - 0.75 * behind / (kSpokes - 1)).setSource(cr);
        cairo_move_to(cr, std::cos(angle) * inner, std::sin(angle) * inner);
        cairo_line_to(cr, std::cos(angle) * (outer - width / 2), std::sin(angle) * (outer - width / 2));
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

}  // namespace plat
