#pragma once
// A view that shows text, laid out and drawn with Pango on the view's cairo layer. Sizes are in points;
// "bold system font of size N" is a bold sans of N points, and characters the sans lacks (Japanese) come
// from the installed fonts that have them.
#include <optional>
#include <string>

#include "platform/media/TextRenderer.h"
#include "platform/ui/View.h"

namespace plat {

struct ViewFont {
    std::string family = "sans-serif";
    double size = 17;
    bool bold = false;
    bool operator==(const ViewFont&) const = default;

    static ViewFont systemFont(double size) { return {"sans-serif", size, false}; }
    static ViewFont boldSystemFont(double size) { return {"sans-serif", size, true}; }
};

enum class LineBreakMode {
    WordWrap = 0,
    CharacterWrap = 1,
    Clip = 2,
    TruncateHead = 3,
    TruncateTail = 4,
    TruncateMiddle = 5
};

class Label : public View {
  public:
    explicit Label(Rect frame = {});

    const std::string& text() const { return text_; }
    void setText(const std::string& text);
    const ViewFont& font() const { return font_; }
    void setFont(const ViewFont& font);
    const Color& textColor() const { return textColor_; }
    void setTextColor(const Color& color);
    TextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(TextAlignment alignment);
    // 0: as many lines as the text needs.
    int numberOfLines() const { return lines_; }
    void setNumberOfLines(int lines);
    LineBreakMode lineBreakMode() const { return lineBreak_; }
    void setLineBreakMode(LineBreakMode mode);
    // With adjustsFontSizeToFitWidth, a one-line text too wide for the label is drawn smaller, down to
    // this size.
    double minimumFontSize() const { return minimumFontSize_; }
    void setMinimumFontSize(double size);
    bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool on);
    // No shadow while the colour is empty.
    const std::optional<Color>& shadowColor() const { return shadowColor_; }
    void setShadowColor(const std::optional<Color>& color);
    Size shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(Size offset);

    // The text's size on one line (or wrapped within size.width when the label has several lines),
    // rounded up to whole points.
    Size sizeThatFits(Size size) const override;
    void drawRect(cairo_t* cr, const Rect& rect) override;
    // Draws the text into `rect` of `cr` as the label would (for controls that keep a label of their own).
    void drawTextInRect(cairo_t* cr, const Rect& rect) const;
    // How many characters of the text no installed font can draw.
    int unknownGlyphCount() const;

  private:
    std::string text_;
    ViewFont font_ = ViewFont::systemFont(17);
    Color textColor_ = Color::blackColor();
    TextAlignment alignment_ = TextAlignment::Left;
    int lines_ = 1;
    LineBreakMode lineBreak_ = LineBreakMode::TruncateTail;
    double minimumFontSize_ = 0;
    bool adjustsFontSize_ = false;
    std::optional<Color> shadowColor_;
    Size shadowOffset_{0, -1};
};

}  // namespace plat
