#include "platform/ui/Button.h"

#include <algorithm>

namespace plat {

Button::Button(Rect frame) : Control(frame) {
    setOpaque(false);
    titleLabel_.setFont(ViewFont::boldSystemFont(15));
    titleLabel_.setTextAlignment(TextAlignment::Center);
    titleLabel_.setLineBreakMode(LineBreakMode::TruncateMiddle);
}

std::shared_ptr<Button> Button::buttonWithType(Type) {
    return std::make_shared<Button>();
}

template <typename T>
const T* Button::lookup(const std::map<unsigned, T>& values, unsigned state) {
    auto it = values.find(state);
    if (it == values.end()) it = values.find(ControlState::kNormal);
    return it == values.end() ? nullptr : &it->second;
}

void Button::setImage(std::shared_ptr<Image> image, unsigned state) {
    if (image)
        images_[state] = std::move(image);
    else
        images_.erase(state);
    setNeedsDisplay();
}

std::shared_ptr<Image> Button::image(unsigned state) const {
    const auto* image = lookup(images_, state);
    return image ? *image : nullptr;
}

void Button::setTitle(const std::string& title, unsigned state) {
    titles_[state] = title;
    setNeedsDisplay();
}

std::string Button::title(unsigned state) const {
    const auto* title = lookup(titles_, state);
    return title ? *title : std::string();
}

void Button::setTitleColor(const Color& color, unsigned state) {
    titleColors_[state] = color;
    setNeedsDisplay();
}

Color Button::titleColor(unsigned state) const {
    const auto* color = lookup(titleColors_, state);
    return color ? *color : Color::whiteColor();
}

Size Button::sizeThatFits(Size) const {
    Size fit;
    if (auto image = currentImage()) fit = image->size();
    const std::string text = currentTitle();
    if (!text.empty()) {
        Label measure;
        measure.setFont(titleLabel_.font());
        measure.setText(text);
        const Size title = measure.sizeThatFits({});
        fit.width += title.width;
        fit.height = std::max(fit.height, title.height);
    }
    return fit;
}

void Button::drawRect(cairo_t* cr, const Rect& rect) {
    const std::shared_ptr<Image> picture = currentImage();
    const std::string text = currentTitle();
    titleLabel_.setText(text);
    Size imageSize = picture ? picture->size() : Size{};
    // A picture larger than the button is shrunk to fit, keeping its shape.
    if (imageSize.width > rect.width || imageSize.height > rect.height)
        imageSize = contentRect(ContentMode::ScaleAspectFit, imageSize, rect).size();
    Size titleSize = text.empty() ? Size{} : titleLabel_.sizeThatFits({});
    titleSize.width = std::min(titleSize.width, std::max(0.0, rect.width - imageSize.width));
    const double x = rect.x + (rect.width - imageSize.width - titleSize.width) / 2;
    if (picture) {
        const Rect where{x, rect.y + (rect.height - imageSize.height) / 2, imageSize.width, imageSize.height};
        picture->drawInRect(cr, where);
        const bool ownHighlight = images_.count(ControlState::kHighlighted) != 0;
        if (isHighlighted() && adjustsImage_ && !ownHighlight) {
            // Darken the picture where it is drawn.
            cairo_save(cr);
            cairo_rectangle(cr, where.x, where.y, where.width, where.height);
            cairo_clip(cr);
            cairo_translate(cr, where.x, where.y);
            cairo_scale(cr, where.width / picture->pixelWidth(), where.height / picture->pixelHeight());
            cairo_set_source_rgba(cr, 0, 0, 0, 1.0 / 3);
            cairo_mask_surface(cr, picture->surface(), 0, 0);
            cairo_restore(cr);
        }
    }
    if (!text.empty()) {
        titleLabel_.setTextColor(currentTitleColor());
        titleLabel_.drawTextInRect(cr, {x + imageSize.width, rect.y, titleSize.width, rect.height});
    }
}

}  // namespace plat
