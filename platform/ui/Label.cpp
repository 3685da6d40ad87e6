#include "platform/ui/Label.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace plat {
namespace {

// Text is laid out in the points of the view: no hinting of metrics, so a label measures the same at
// every pixel scale.
PangoLayout* newLayout(cairo_t* cr, const std::string& text, const ViewFont& font, double size) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoContext* context = pango_layout_get_context(layout);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context, FALSE);
    pango_layout_context_changed(layout);
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, font.family.c_str());
    pango_font_description_set_weight(description, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(description, std::max(1.0, size) * PANGO_SCALE);
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_text(layout, text.c_str(), int(text.size()));
    return layout;
}

// A scratch context for measuring outside of drawing.
cairo_t* measuringContext() {
    static cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    return cairo_create(surface);
}

Size logicalSize(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return {double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE};
}

}  // namespace

Label::Label(Rect frame) : View(frame) {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

void Label::setText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    setNeedsDisplay();
}

void Label::setFont(const ViewFont& font) {
    if (font == font_) return;
    font_ = font;
    setNeedsDisplay();
}

void Label::setTextColor(const Color& color) {
    if (color == textColor_) return;
    textColor_ = color;
    setNeedsDisplay();
}

void Label::setTextAlignment(TextAlignment alignment) {
    alignment_ = alignment;
    setNeedsDisplay();
}

void Label::setNumberOfLines(int lines) {
    lines_ = std::max(0, lines);
    setNeedsDisplay();
}

void Label::setLineBreakMode(LineBreakMode mode) {
    lineBreak_ = mode;
    setNeedsDisplay();
}

void Label::setMinimumFontSize(double size) {
    minimumFontSize_ = std::isfinite(size) ? std::max(0.0, size) : 0.0;
    setNeedsDisplay();
}

void Label::setAdjustsFontSizeToFitWidth(bool on) {
    adjustsFontSize_ = on;
    setNeedsDisplay();
}

void Label::setShadowColor(const std::optional<Color>& color) {
    shadowColor_ = color;
    setNeedsDisplay();
}

void Label::setShadowOffset(Size offset) {
    shadowOffset_ = offset;
    setNeedsDisplay();
}

Size Label::sizeThatFits(Size size) const {
    if (text_.empty()) return {0, 0};
    cairo_t* cr = measuringContext();
    PangoLayout* layout = newLayout(cr, text_, font_, font_.size);
    if (lines_ != 1 && size.width > 0) {
        pango_layout_set_width(layout, int(size.width * PANGO_SCALE));
        pango_layout_set_wrap(
            layout, lineBreak_ == LineBreakMode::CharacterWrap ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
    }
    Size fit = logicalSize(layout);
    if (lines_ > 1 && pango_layout_get_line_count(layout) > lines_) {
        PangoRectangle line;
        pango_layout_index_to_pos(layout, pango_layout_get_line_readonly(layout, lines_)->start_index, &line);
        fit.height = double(line.y) / PANGO_SCALE;
    }
    g_object_unref(layout);
    cairo_destroy(cr);
    return {std::ceil(fit.width - 1e-6), std::ceil(fit.height - 1e-6)};
}

void Label::drawRect(cairo_t* cr, const Rect& rect) {
    drawTextInRect(cr, rect);
}

void Label::drawTextInRect(cairo_t* cr, const Rect& rect) const {
    if (text_.empty() || rect.width <= 0 || rect.height <= 0) return;
    double size = font_.size;
    PangoLayout* layout = newLayout(cr, text_, font_, size);
    // One line too wide: smaller, as far as the minimum allows.
    if (adjustsFontSize_ && lines_ == 1 && minimumFontSize_ > 0) {
        const double width = logicalSize(layout).width;
        if (width > rect.width) {
            const double fitted = std::max(minimumFontSize_, std::floor(size * rect.width / width * 4) / 4);
            if (fitted < size) {
                g_object_unref(layout);
                size = fitted;
                layout = newLayout(cr, text_, font_, size);
            }
        }
    }
    pango_layout_set_width(layout, int(rect.width * PANGO_SCALE));
    switch (lineBreak_) {
        case LineBreakMode::TruncateHead:
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_START);
            break;
        case LineBreakMode::TruncateMiddle:
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE);
            break;
        case LineBreakMode::TruncateTail:
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
            break;
        default:
            break;
    }
    if (lines_ == 1) {
        // One line: only truncation shortens it; otherwise it runs on and is clipped.
        if (pango_layout_get_ellipsize(layout) == PANGO_ELLIPSIZE_NONE) pango_layout_set_width(layout, -1);
        pango_layout_set_height(layout, -1);
    } else {
        pango_layout_set_wrap(
            layout, lineBreak_ == LineBreakMode::CharacterWrap ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
        // Truncation applies on the last line that fits (the line count, or the height).
        if (pango_layout_get_ellipsize(layout))
            pango_layout_set_height(layout, lines_ > 0 ? -lines_ : int(rect.height * PANGO_SCALE));
    }
    pango_layout_set_alignment(layout, alignment_ == TextAlignment::Center  ? PANGO_ALIGN_CENTER
                                       : alignment_ == TextAlignment::Right ? PANGO_ALIGN_RIGHT
                                                                            : PANGO_ALIGN_LEFT);
    Size text = logicalSize(layout);
    double shownHeight = text.height;
    if (lines_ > 1 && pango_layout_get_line_count(layout) > lines_) {
        PangoRectangle line;
        pango_layout_index_to_pos(layout, pango_layout_get_line_readonly(layout, lines_)->start_index, &line);
        shownHeight = double(line.y) / PANGO_SCALE;
    }
    double x = rect.x;
    if (pango_layout_get_width(layout) < 0) {
        if (alignment_ == TextAlignment::Center) x += (rect.width - text.width) / 2;
        if (alignment_ == TextAlignment::Right) x += rect.width - text.width;
    }
    // The text block sits in the middle of the rectangle, as a label's does.
    const double y = rect.y + (rect.height - shownHeight) / 2;
    cairo_save(cr);
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    if (lines_ > 1) {
        cairo_new_path(cr);
        cairo_rectangle(cr, rect.x, std::max(rect.y, y), rect.width, std::min(rect.height, shownHeight));
    }
    cairo_clip(cr);
    if (shadowColor_ && shadowColor_->isVisible()) {
        shadowColor_->setSource(cr);
        cairo_move_to(cr, x + shadowOffset_.width, y + shadowOffset_.height);
        pango_cairo_show_layout(cr, layout);
    }
    textColor_.setSource(cr);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
}

int Label::unknownGlyphCount() const {
    if (text_.empty()) return 0;
    cairo_t* cr = measuringContext();
    PangoLayout* layout = newLayout(cr, text_, font_, font_.size);
    const int unknown = pango_layout_get_unknown_glyphs_count(layout);
    g_object_unref(layout);
    cairo_destroy(cr);
    return unknown;
}

}  // namespace plat
