#include "ads/widgets/ADFRNVUIGradientButton.h"

#include <algorithm>

#include "platform/ui/Accessibility.h"
#include "platform/ui/Drawing.h"

using plat::Color;
using plat::ControlState::kDisabled;
using plat::ControlState::kHighlighted;
using plat::ControlState::kNormal;
using plat::ControlState::kSelected;

namespace {

bool drawsAt(unsigned state, bool normal) {
    return normal ? state == kNormal : (state & (kHighlighted | kSelected)) != 0;
}

}  // namespace

const ADFRNVUIGradientButton::Defaults& ADFRNVUIGradientButton::defaults() {
    static const Defaults d{
        .tintColor = Color::withWhite(220.0 / 255),
        .highlightedTintColor = Color::rgba(0, 157.0 / 255, 1),
        .borderColor = Color::darkGrayColor(),
        .highlightedBorderColor = Color::whiteColor(),
        .textColor = Color::blackColor(),
        .highlightedTextColor = Color::whiteColor(),
        .textShadowColor = Color::clearColor(),
        .highlightedTextShadowColor = Color::darkGrayColor(),
        .gradientEnabled = 1,
        .glossy = 0,
    };
    return d;
}

ADFRNVUIGradientButton::ADFRNVUIGradientButton(plat::Rect frame, unsigned style, double cornerRadius,
                                               double borderWidth, OptText text)
    : plat::Control(frame), cornerRadius_(cornerRadius), borderWidth_(borderWidth), text_(std::move(text)) {
    performDefaultInit(style);
}

ADFRNVUIGradientButton::ADFRNVUIGradientButton(plat::Rect frame, double cornerRadius, double borderWidth,
                                               OptText text)
    : ADFRNVUIGradientButton(frame, 1, cornerRadius, borderWidth, std::move(text)) {}

ADFRNVUIGradientButton::ADFRNVUIGradientButton(plat::Rect frame, unsigned style)
    : ADFRNVUIGradientButton(frame, style, 10, 2, std::nullopt) {}

ADFRNVUIGradientButton::ADFRNVUIGradientButton(plat::Rect frame)
    : ADFRNVUIGradientButton(frame, 1, 10, 2, std::nullopt) {}

void ADFRNVUIGradientButton::performDefaultInit(unsigned style) {
    highlightedText_ = text_;
    disabledText_ = text_;
    highlightedAttributedText_ = attributedText_;
    disabledAttributedText_ = attributedText_;

    titleLabel_.setTextAlignment(plat::TextAlignment::Center);
    titleLabel_.setLineBreakMode(plat::LineBreakMode::TruncateMiddle);
    titleLabel_.setNumberOfLines(0);
    titleLabel_.setFont(plat::ViewFont::boldSystemFont(15));
    titleLabel_.setMinimumFontSize(12);
    titleLabel_.setShadowOffset({0, -1});

    gradientEnabled_ = 1;
    glossy_ = 0;
    glossyStartColor_ = Color::withWhite(1, 0.35);
    glossyEndColor_ = Color::withWhite(1, 0.1);
    setOpaque(false);
    setBackgroundColor(Color::clearColor());

    // Every style starts from the class-wide look; styles 2 and 3 then put their own colours over it.
    style_ = 1;
    updateAccordingToStyle();
    style_ = style;
    if (style != 1) updateAccordingToStyle();
}

void ADFRNVUIGradientButton::setStyle(unsigned style) {
    if (style == style_) return;
    style_ = style;
    updateAccordingToStyle();
}

void ADFRNVUIGradientButton::updateAccordingToStyle() {
    if (style_ == 1) {
        const Defaults& d = defaults();
        setTintColor(d.tintColor);
        setHighlightedTintColor(d.highlightedTintColor);
        setBorderColor(d.borderColor);
        setHighlightedBorderColor(d.highlightedBorderColor);
        setTextColor(d.textColor);
        setHighlightedTextColor(d.highlightedTextColor);
        setTextShadowColor(d.textShadowColor);
        setHighlightedTextShadowColor(d.highlightedTextShadowColor);
        return;
    }
    if (style_ != 2 && style_ != 3) return;
    const double a = style_ == 2 ? 1.0 : 0.7;
    setTintColor(Color::blackColor().withAlpha(a));
    setHighlightedTintColor(Color::rgba(3.0 / 255, 112.0 / 255, 236.0 / 255, a));
    setBorderColor(Color::whiteColor());
    setHighlightedBorderColor(Color::whiteColor());
    setTextColor(Color::whiteColor());
    setHighlightedTextColor(Color::whiteColor());
    setTextShadowColor(Color::clearColor());
    setHighlightedTextShadowColor(Color::clearColor());
}

// ---- setters and their redraw rules

template <typename T>
void ADFRNVUIGradientButton::storeNormal(T& slot, T value) {
    if (slot == value) return;
    slot = std::move(value);
    if (drawsAt(state(), true)) setNeedsDisplay();
}

template <typename T>
void ADFRNVUIGradientButton::storeHighlighted(T& slot, T value) {
    if (slot == value) return;
    slot = std::move(value);
    if (drawsAt(state(), false)) setNeedsDisplay();
}

template <typename T>
void ADFRNVUIGradientButton::storeDisabled(T& slot, T value) {
    if (slot == value) return;
    slot = std::move(value);
    if (state() & kDisabled) setNeedsDisplay();
}

void ADFRNVUIGradientButton::setTintColor(OptColor c) {
    storeNormal(tintColor_, std::move(c));
}
void ADFRNVUIGradientButton::setBorderColor(OptColor c) {
    storeNormal(borderColor_, std::move(c));
}
void ADFRNVUIGradientButton::setTextColor(OptColor c) {
    storeNormal(textColor_, std::move(c));
}
void ADFRNVUIGradientButton::setTextShadowColor(OptColor c) {
    storeNormal(textShadowColor_, std::move(c));
}
void ADFRNVUIGradientButton::setText(OptText t) {
    storeNormal(text_, std::move(t));
}
void ADFRNVUIGradientButton::setAttributedText(OptAttributedText t) {
    storeNormal(attributedText_, std::move(t));
}
void ADFRNVUIGradientButton::setRightAccessoryImage(ImagePtr i) {
    storeNormal(rightImage_, std::move(i));
}
void ADFRNVUIGradientButton::setLeftAccessoryImage(ImagePtr i) {
    storeNormal(leftImage_, std::move(i));
}
void ADFRNVUIGradientButton::setHighlightedTintColor(OptColor c) {
    storeHighlighted(highlightedTintColor_, std::move(c));
}
void ADFRNVUIGradientButton::setHighlightedBorderColor(OptColor c) {
    storeHighlighted(highlightedBorderColor_, std::move(c));
}
void ADFRNVUIGradientButton::setHighlightedTextColor(OptColor c) {
    storeHighlighted(highlightedTextColor_, std::move(c));
}
void ADFRNVUIGradientButton::setHighlightedTextShadowColor(OptColor c) {
    storeHighlighted(highlightedTextShadowColor_, std::move(c));
}
void ADFRNVUIGradientButton::setHighlightedText(OptText t) {
    storeHighlighted(highlightedText_, std::move(t));
}
void ADFRNVUIGradientButton::setHighlightedAttributedText(OptAttributedText t) {
    storeHighlighted(highlightedAttributedText_, std::move(t));
}
void ADFRNVUIGradientButton::setRightHighlightedAccessoryImage(ImagePtr i) {
    storeHighlighted(rightHighlightedImage_, std::move(i));
}
void ADFRNVUIGradientButton::setLeftHighlightedAccessoryImage(ImagePtr i) {
    storeHighlighted(leftHighlightedImage_, std::move(i));
}
void ADFRNVUIGradientButton::setDisabledText(OptText t) {
    storeDisabled(disabledText_, std::move(t));
}
void ADFRNVUIGradientButton::setDisabledAttributedText(OptAttributedText t) {
    storeDisabled(disabledAttributedText_, std::move(t));
}

void ADFRNVUIGradientButton::setGradientEnabled(int enabled) {
    if (enabled == gradientEnabled_) return;
    gradientEnabled_ = enabled;
    setNeedsDisplay();
}

void ADFRNVUIGradientButton::setGlossy(int glossy) {
    if (glossy == glossy_) return;
    glossy_ = glossy;
    setNeedsDisplay();
}

// ---- per-state setters

void ADFRNVUIGradientButton::setTintColor(OptColor c, unsigned state) {
    if (state == kNormal)
        setTintColor(std::move(c));
    else if (state & (kHighlighted | kSelected))
        setHighlightedTintColor(std::move(c));
}
void ADFRNVUIGradientButton::setBorderColor(OptColor c, unsigned state) {
    if (state == kNormal)
        setBorderColor(std::move(c));
    else if (state & (kHighlighted | kSelected))
        setHighlightedBorderColor(std::move(c));
}
void ADFRNVUIGradientButton::setTextColor(OptColor c, unsigned state) {
    if (state == kNormal)
        setTextColor(std::move(c));
    else if (state & (kHighlighted | kSelected))
        setHighlightedTextColor(std::move(c));
}
void ADFRNVUIGradientButton::setTextShadowColor(OptColor c, unsigned state) {
    if (state == kNormal)
        setTextShadowColor(std::move(c));
    else if (state & (kHighlighted | kSelected))
        setHighlightedTextShadowColor(std::move(c));
}
void ADFRNVUIGradientButton::setRightAccessoryImage(ImagePtr i, unsigned state) {
    if (state == kNormal)
        setRightAccessoryImage(std::move(i));
    else if (state & (kHighlighted | kSelected))
        setRightHighlightedAccessoryImage(std::move(i));
}
void ADFRNVUIGradientButton::setLeftAccessoryImage(ImagePtr i, unsigned state) {
    if (state == kNormal)
        setLeftAccessoryImage(std::move(i));
    else if (state & (kHighlighted | kSelected))
        setLeftHighlightedAccessoryImage(std::move(i));
}
void ADFRNVUIGradientButton::setText(OptText t, unsigned state) {
    if (state == kNormal) {
        setText(std::move(t));
        return;
    }
    if (state & (kHighlighted | kSelected)) setHighlightedText(t);
    if (state & kDisabled) setDisabledText(t);
}
void ADFRNVUIGradientButton::setAttributedText(OptAttributedText t, unsigned state) {
    if (state == kNormal) {
        setAttributedText(std::move(t));
        return;
    }
    if (state & (kHighlighted | kSelected)) setHighlightedAttributedText(t);
    if (state & kDisabled) setDisabledAttributedText(t);
}

// ---- resolvers

bool ADFRNVUIGradientButton::isHighlightedOrSelected() const {
    return isHighlighted() || isSelected();
}

ADFRNVUIGradientButton::OptColor ADFRNVUIGradientButton::tintColorAccordingToCurrentState() const {
    // A missing highlighted tint would leave a pressed button blank: the normal tint stands in.
    if (isHighlightedOrSelected() && highlightedTintColor_) return highlightedTintColor_;
    return tintColor_;
}

ADFRNVUIGradientButton::OptColor ADFRNVUIGradientButton::borderColorAccordingToCurrentState() const {
    return isHighlightedOrSelected() && highlightedBorderColor_ ? highlightedBorderColor_ : borderColor_;
}

ADFRNVUIGradientButton::OptColor ADFRNVUIGradientButton::textColorAccordingToCurrentState() const {
    OptColor color = isHighlightedOrSelected() && highlightedTextColor_ ? highlightedTextColor_ : textColor_;
    if (color && !isEnabled()) color = color->withAlpha(color->alpha * 0.5);
    return color;
}

ADFRNVUIGradientButton::OptColor ADFRNVUIGradientButton::textShadowColorAccordingToCurrentState() const {
    return isHighlightedOrSelected() && highlightedTextShadowColor_ ? highlightedTextShadowColor_
                                                                    : textShadowColor_;
}

ADFRNVUIGradientButton::OptText ADFRNVUIGradientButton::textAccordingToCurrentState() const {
    if (!isEnabled() && disabledText_) return disabledText_;
    if (isHighlightedOrSelected() && highlightedText_) return highlightedText_;
    return text_;
}

ADFRNVUIGradientButton::OptAttributedText ADFRNVUIGradientButton::attributedTextAccordingToCurrentState()
    const {
    if (!isEnabled() && disabledAttributedText_) return disabledAttributedText_;
    if (isHighlightedOrSelected() && highlightedAttributedText_) return highlightedAttributedText_;
    return attributedText_;
}

ADFRNVUIGradientButton::ImagePtr ADFRNVUIGradientButton::rightAccessoryImageAccordingToCurrentState() const {
    return isHighlightedOrSelected() && rightHighlightedImage_ ? rightHighlightedImage_ : rightImage_;
}

ADFRNVUIGradientButton::ImagePtr ADFRNVUIGradientButton::leftAccessoryImageAccordingToCurrentState() const {
    return isHighlightedOrSelected() && leftHighlightedImage_ ? leftHighlightedImage_ : leftImage_;
}

ADFRNVUIGradientButton::Gradient ADFRNVUIGradientButton::newGradientAccordingToCurrentState() const {
    const Color t = tintColorAccordingToCurrentState().value_or(Color{0, 0, 0, 0});
    // Single precision throughout, and no lower bound on the dark stop.
    const float d = 50.0f / 255.0f;
    auto lighter = [&](double c) { return double(std::min(1.0f, float(c) + d)); };
    auto darker = [&](double c) { return double(std::min(1.0f, float(c) - d)); };
    Gradient g;
    g.colors[0] = {lighter(t.red), lighter(t.green), lighter(t.blue), t.alpha};
    g.colors[1] = t;
    g.colors[2] = {darker(t.red), darker(t.green), darker(t.blue), t.alpha};
    return g;
}

// ---- drawing

plat::Rect ADFRNVUIGradientButton::accessoryRect(const plat::Image& image, double x, double maxHeight,
                                                 bool alignRight) const {
    const plat::Size size = image.size();
    const double h = std::min(maxHeight, size.height);
    const double w = size.height > 0 ? size.width * h / size.height : 0;
    const plat::Rect b = bounds();
    return {alignRight ? x - w : x, (b.height - h) / 2, w, h};
}

void ADFRNVUIGradientButton::drawRect(cairo_t* cr, const plat::Rect&) {
    const plat::Rect b = bounds();
    const double midX = b.x + b.width / 2;
    const double margin = borderWidth_ + 4;
    const double maxImageHeight = b.height - 2 * margin;

    cairo_save(cr);
    plat::addRoundedRectPath(cr, b, cornerRadius_);
    cairo_clip_preserve(cr);

    const OptColor tint = tintColorAccordingToCurrentState();
    if (gradientEnabled_) {
        const Gradient g = newGradientAccordingToCurrentState();
        cairo_pattern_t* fill = cairo_pattern_create_linear(midX, b.y, midX, b.maxY());
        for (size_t i = 0; i < g.colors.size(); ++i) {
            const Color& c = g.colors[i];
            cairo_pattern_add_color_stop_rgba(fill, g.locations[i], std::clamp(c.red, 0.0, 1.0),
                                              std::clamp(c.green, 0.0, 1.0), std::clamp(c.blue, 0.0, 1.0),
                                              std::clamp(c.alpha, 0.0, 1.0));
        }
        cairo_pattern_set_extend(fill, CAIRO_EXTEND_NONE);
        cairo_set_source(cr, fill);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(fill);
    } else if (tint) {
        tint->setSource(cr);
        cairo_fill_preserve(cr);
    }

    if (glossy_) {
        cairo_pattern_t* gloss = cairo_pattern_create_linear(midX, b.y, midX, b.maxY() * 0.5);
        const Color& s = glossyStartColor_;
        const Color& e = glossyEndColor_;
        cairo_pattern_add_color_stop_rgba(gloss, 0, s.red, s.green, s.blue, s.alpha);
        cairo_pattern_add_color_stop_rgba(gloss, 1, e.red, e.green, e.blue, e.alpha);
        cairo_pattern_set_extend(gloss, CAIRO_EXTEND_NONE);
        cairo_set_source(cr, gloss);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(gloss);
    }

    // The pictures draw with paths of their own.
    cairo_new_path(cr);
    plat::Rect title{b.x + margin, b.y + margin, b.width - 2 * margin, b.height - 2 * margin};
    if (ImagePtr left = leftAccessoryImageAccordingToCurrentState()) {
        const plat::Rect r = accessoryRect(*left, margin, maxImageHeight, false);
        left->drawInRect(cr, r);
        title.width -= r.maxX() - title.x;
        title.x = r.maxX();
    }
    if (ImagePtr right = rightAccessoryImageAccordingToCurrentState()) {
        const plat::Rect r = accessoryRect(*right, b.width - margin, maxImageHeight, true);
        right->drawInRect(cr, r);
        title.width = r.x - title.x;
    }

    if (borderWidth_ > 0) {
        if (const OptColor border = borderColorAccordingToCurrentState()) {
            plat::addRoundedRectPath(cr, b, cornerRadius_);
            border->setSource(cr);
            cairo_set_line_width(cr, borderWidth_);
            cairo_stroke(cr);
        }
    }
    cairo_restore(cr);

    // The label shows plain text only, so a styled title is drawn as its plain text.
    titleLabel_.setTextColor(textColorAccordingToCurrentState().value_or(Color::clearColor()));
    titleLabel_.setShadowColor(textShadowColorAccordingToCurrentState());
    titleLabel_.setText(textAccordingToCurrentState().value_or(""));
    titleLabel_.drawTextInRect(cr, title);
}

// ---- touches

bool ADFRNVUIGradientButton::beginTracking(const plat::Touch& touch, const plat::Event* event) {
    setHighlighted(true);
    setNeedsDisplay();
    return plat::Control::beginTracking(touch, event);
}

bool ADFRNVUIGradientButton::continueTracking(const plat::Touch& touch, const plat::Event* event) {
    setHighlighted(pointInside(touch.locationInView(this), event));
    setNeedsDisplay();
    return plat::Control::continueTracking(touch, event);
}

void ADFRNVUIGradientButton::endTracking(const plat::Touch* touch, const plat::Event* event) {
    plat::Control::endTracking(touch, event);
    setHighlighted(false);
    setNeedsDisplay();
}

void ADFRNVUIGradientButton::cancelTracking(const plat::Event* event) {
    plat::Control::cancelTracking(event);
    setHighlighted(false);
    setNeedsDisplay();
}

uint64_t ADFRNVUIGradientButton::accessibilityTraits() const {
    uint64_t traits = plat::AccessibilityTrait::kButton;
    if (isHighlightedOrSelected()) traits |= plat::AccessibilityTrait::kSelected;
    if (!isEnabled()) traits |= plat::AccessibilityTrait::kNotEnabled;
    return traits;
}
