#pragma once
// Text measuring and drawing with installed fonts (FreeType, fontconfig) into premultiplied RGBA bitmaps.
// Characters a font lacks are drawn with another installed font that has them, so Japanese text renders
// whatever font was asked for. Main thread use; calls are serialised internally.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// The numbers that layout needs from a font at one size, in pixels. Fonts provide their own; tests install
// fixed ones (TextRenderer::setMetricsOverride) so that box sizes are exact.
class TextMetrics {
  public:
    virtual ~TextMetrics() = default;
    virtual float advance(char32_t c) const = 0;
    // From the top of a line to its baseline.
    virtual float ascent() const = 0;
    // From the top of a line to the top of the next.
    virtual float lineHeight() const = 0;
};

class Font : public TextMetrics {
  public:
    // name: a font file path, or a family, full, PostScript or file name (without extension), compared
    // without regard to case, spaces, hyphens and underscores. A file named by path is read whole when first
    // asked for and kept while a font uses it; a later change to the file is read afresh. Common names of
    // other systems' fonts (Arial, Helvetica, Times New Roman, Courier) give the installed fonts with the
    // same metrics. Null when no installed font answers to the name.
    static std::shared_ptr<Font> named(const std::string& name, float pixelSize);
    // The default sans-serif font; null only when no font is installed at all.
    static std::shared_ptr<Font> system(float pixelSize);

    ~Font() override;
    float pixelSize() const { return size_; }
    // The file of the font itself (not of the fonts that stand in for missing characters).
    const std::string& file() const;
    // Whether the character can be drawn, by this font or a stand-in; otherwise a missing-glyph box is drawn.
    bool hasGlyph(char32_t c) const;
    // The file whose glyph draws the character (empty when none has it).
    std::string fileFor(char32_t c) const;

    float advance(char32_t c) const override;
    float ascent() const override;
    float lineHeight() const override;

    struct Face;

  private:
    Font(std::shared_ptr<Face> face, float size);
    std::shared_ptr<Face> face_;
    float size_;
    friend class TextRenderer;
};

enum class TextAlignment { Left, Center, Right };

struct TextStyle {
    float red = 1, green = 1, blue = 1;
    bool stroke = false;
    float strokeRed = 0, strokeGreen = 0, strokeBlue = 0;
    // Line width of the outline, centred on the glyph edges.
    float strokeSize = 0;
    bool shadow = false;
    // Pixels; positive y moves the shadow up.
    float shadowOffsetX = 0, shadowOffsetY = 0;
    float shadowBlur = 0;
};

struct TextSize {
    float width = 0;
    float height = 0;
};

struct TextRect {
    float x = 0, y = 0, width = 0, height = 0;  // y from the top of the bitmap
};

class TextRenderer {
  public:
    // Shadows have no colour of their own: black at one third opacity.
    static constexpr float kShadowAlpha = 1.0f / 3.0f;

    // Replaces every font's metrics for layout (glyph shapes still come from the font). Returns the previous
    // override; null restores the fonts' own.
    static std::shared_ptr<const TextMetrics> setMetricsOverride(std::shared_ptr<const TextMetrics> metrics);
    // The metrics layout uses for the font: the override when one is installed.
    static const TextMetrics& metricsFor(const Font& font);

    static std::u32string decodeUtf8(std::string_view text);
    static float lineWidth(std::u32string_view line, const TextMetrics& metrics);
    // Breaks one paragraph (no line feeds) into lines no wider than maxWidth: between words, and between
    // ideographic or kana characters; a word wider than maxWidth is broken between characters.
    static std::vector<std::u32string> wrap(std::u32string_view paragraph, const TextMetrics& metrics,
                                            float maxWidth);
    // Splits at "\n" and measures each paragraph wrapped within maxWidth and cut to the whole lines that fit
    // maxHeight (at least one): the widest line and the sum of the paragraphs' heights. No rounding.
    static TextSize measure(std::string_view text, const TextMetrics& metrics, float maxWidth,
                            float maxHeight);

    // Draws the text, wrapped within rect.width, aligned within the rect, over the premultiplied RGBA bitmap
    // (rows top to bottom). Lines that do not fit rect.height are left out. False for a bad bitmap.
    static bool draw(uint8_t* rgba, int width, int height, std::string_view text, const Font& font,
                     const TextRect& rect, TextAlignment alignment, const TextStyle& style);
};

}  // namespace plat
