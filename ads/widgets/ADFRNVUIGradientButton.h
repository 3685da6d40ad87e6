#pragma once
// A self-drawn button: a rounded rectangle filled with a three-stop gradient made from one tint (or a flat
// fill), an optional gloss over its upper half, an optional border, accessory pictures at either end and a
// centred title. Every look has a normal and a highlighted value, titles a disabled one too; a change asks
// for a redraw only when the changed value is the one on show. The popup uses it as its close button.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Control.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"

class ADFRNVUIGradientButton : public plat::Control {
  public:
    using OptColor = std::optional<plat::Color>;
    using OptText = std::optional<std::string>;
    using ImagePtr = std::shared_ptr<plat::Image>;

    // A styled title. The label draws plain text only, so a styled title is kept and resolved by state but
    // the plain title is what is drawn.
    struct AttributedText {
        std::string text;
        bool operator==(const AttributedText&) const = default;
    };
    using OptAttributedText = std::optional<AttributedText>;

    // The three stops of the fill, top to bottom, at 0, 0.5 and 1. Components may lie outside 0...1; the
    // drawing clamps them.
    struct Gradient {
        std::array<plat::Color, 3> colors;
        std::array<double, 3> locations{0, 0.5, 1};
    };

    // The class-wide look a style-1 button takes.
    struct Defaults {
        plat::Color tintColor;
        plat::Color highlightedTintColor;
        plat::Color borderColor;
        plat::Color highlightedBorderColor;
        plat::Color textColor;
        plat::Color highlightedTextColor;
        plat::Color textShadowColor;
        plat::Color highlightedTextShadowColor;
        int gradientEnabled;
        int glossy;
    };
    static const Defaults& defaults();

    ADFRNVUIGradientButton(plat::Rect frame, unsigned style, double cornerRadius, double borderWidth,
                           OptText text);
    ADFRNVUIGradientButton(plat::Rect frame, double cornerRadius, double borderWidth, OptText text);
    ADFRNVUIGradientButton(plat::Rect frame, unsigned style);
    explicit ADFRNVUIGradientButton(plat::Rect frame = {});

    unsigned style() const { return style_; }
    // Re-applies the style's colours when the value changes.
    void setStyle(unsigned style);
    void updateAccordingToStyle();

    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius) { cornerRadius_ = radius; }
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double width) { borderWidth_ = width; }

    // Normal values: redraw when the control is in the normal state.
    const OptColor& tintColor() const { return tintColor_; }
    void setTintColor(OptColor color);
    const OptColor& borderColor() const { return borderColor_; }
    void setBorderColor(OptColor color);
    const OptColor& textColor() const { return textColor_; }
    void setTextColor(OptColor color);
    const OptColor& textShadowColor() const { return textShadowColor_; }
    void setTextShadowColor(OptColor color);
    const OptText& text() const { return text_; }
    void setText(OptText text);
    const OptAttributedText& attributedText() const { return attributedText_; }
    void setAttributedText(OptAttributedText text);
    const ImagePtr& rightAccessoryImage() const { return rightImage_; }
    void setRightAccessoryImage(ImagePtr image);
    const ImagePtr& leftAccessoryImage() const { return leftImage_; }
    void setLeftAccessoryImage(ImagePtr image);

    // Highlighted values: redraw when the control is highlighted or selected.
    const OptColor& highlightedTintColor() const { return highlightedTintColor_; }
    void setHighlightedTintColor(OptColor color);
    const OptColor& highlightedBorderColor() const { return highlightedBorderColor_; }
    void setHighlightedBorderColor(OptColor color);
    const OptColor& highlightedTextColor() const { return highlightedTextColor_; }
    void setHighlightedTextColor(OptColor color);
    const OptColor& highlightedTextShadowColor() const { return highlightedTextShadowColor_; }
    void setHighlightedTextShadowColor(OptColor color);
    const OptText& highlightedText() const { return highlightedText_; }
    void setHighlightedText(OptText text);
    const OptAttributedText& highlightedAttributedText() const { return highlightedAttributedText_; }
    void setHighlightedAttributedText(OptAttributedText text);
    const ImagePtr& rightHighlightedAccessoryImage() const { return rightHighlightedImage_; }
    void setRightHighlightedAccessoryImage(ImagePtr image);
    const ImagePtr& leftHighlightedAccessoryImage() const { return leftHighlightedImage_; }
    void setLeftHighlightedAccessoryImage(ImagePtr image);

    // Disabled titles: redraw when the control is disabled.
    const OptText& disabledText() const { return disabledText_; }
    void setDisabledText(OptText text);
    const OptAttributedText& disabledAttributedText() const { return disabledAttributedText_; }
    void setDisabledAttributedText(OptAttributedText text);

    // State 0 sets the normal value, a state with the highlighted or selected bit the highlighted one;
    // any other state is ignored. Titles also take the disabled bit (a state may set both).
    void setTintColor(OptColor color, unsigned state);
    void setBorderColor(OptColor color, unsigned state);
    void setTextColor(OptColor color, unsigned state);
    void setTextShadowColor(OptColor color, unsigned state);
    void setRightAccessoryImage(ImagePtr image, unsigned state);
    void setLeftAccessoryImage(ImagePtr image, unsigned state);
    void setText(OptText text, unsigned state);
    void setAttributedText(OptAttributedText text, unsigned state);

    int isGradientEnabled() const { return gradientEnabled_; }
    void setGradientEnabled(int enabled);
    int isGlossy() const { return glossy_; }
    void setGlossy(int glossy);
    const plat::Color& glossyStartColor() const { return glossyStartColor_; }
    void setGlossyStartColor(const plat::Color& color) { glossyStartColor_ = color; }
    const plat::Color& glossyEndColor() const { return glossyEndColor_; }
    void setGlossyEndColor(const plat::Color& color) { glossyEndColor_ = color; }

    // Lays out and draws the title; never a subview.
    plat::Label& titleLabel() { return titleLabel_; }

    // Kept for whoever set them; the button itself does not read them.
    const plat::TouchSet& beganTcouh() const { return beganTcouh_; }
    void setBeganTcouh(plat::TouchSet touches) { beganTcouh_ = std::move(touches); }
    const plat::TouchSet& endTcouh() const { return endTcouh_; }
    void setEndTcouh(plat::TouchSet touches) { endTcouh_ = std::move(touches); }
    const std::optional<plat::Event>& beganEvent() const { return beganEvent_; }
    void setBeganEvent(std::optional<plat::Event> event) { beganEvent_ = std::move(event); }
    const std::optional<plat::Event>& endEvent() const { return endEvent_; }
    void setEndEvent(std::optional<plat::Event> event) { endEvent_ = std::move(event); }

    bool isHighlightedOrSelected() const;
    OptColor tintColorAccordingToCurrentState() const;
    OptColor borderColorAccordingToCurrentState() const;
    OptColor textColorAccordingToCurrentState() const;
    OptColor textShadowColorAccordingToCurrentState() const;
    OptText textAccordingToCurrentState() const;
    OptAttributedText attributedTextAccordingToCurrentState() const;
    ImagePtr rightAccessoryImageAccordingToCurrentState() const;
    ImagePtr leftAccessoryImageAccordingToCurrentState() const;
    Gradient newGradientAccordingToCurrentState() const;

    void drawRect(cairo_t* cr, const plat::Rect& rect) override;

    bool beginTracking(const plat::Touch& touch, const plat::Event* event) override;
    bool continueTracking(const plat::Touch& touch, const plat::Event* event) override;
    void endTracking(const plat::Touch* touch, const plat::Event* event) override;
    void cancelTracking(const plat::Event* event) override;

    bool isAccessibilityElement() const { return true; }
    OptText accessibilityLabel() const { return textAccordingToCurrentState(); }
    OptText accessibilityHint() const { return textAccordingToCurrentState(); }
    uint64_t accessibilityTraits() const;

  private:
    void performDefaultInit(unsigned style);
    template <typename T>
    void storeNormal(T& slot, T value);
    template <typename T>
    void storeHighlighted(T& slot, T value);
    template <typename T>
    void storeDisabled(T& slot, T value);
    // The accessory picture's rectangle: height capped at `maxHeight`, aspect kept, centred vertically.
    plat::Rect accessoryRect(const plat::Image& image, double x, double maxHeight, bool alignRight) const;

    unsigned style_ = 1;
    double cornerRadius_ = 10;
    double borderWidth_ = 2;
    OptColor tintColor_, highlightedTintColor_;
    OptColor borderColor_, highlightedBorderColor_;
    OptColor textColor_, highlightedTextColor_;
    OptColor textShadowColor_, highlightedTextShadowColor_;
    OptText text_, highlightedText_, disabledText_;
    OptAttributedText attributedText_, highlightedAttributedText_, disabledAttributedText_;
    ImagePtr rightImage_, rightHighlightedImage_, leftImage_, leftHighlightedImage_;
    int gradientEnabled_ = 1;
    int glossy_ = 0;
    plat::Color glossyStartColor_;
    plat::Color glossyEndColor_;
    plat::Label titleLabel_;
    plat::TouchSet beganTcouh_, endTcouh_;
    std::optional<plat::Event> beganEvent_, endEvent_;
};
