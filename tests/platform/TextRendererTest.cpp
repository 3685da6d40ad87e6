#include "platform/media/TextRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "tests/support/TestSupport.h"

using plat::Font;
using plat::TextAlignment;
using plat::TextRect;
using plat::TextRenderer;
using plat::TextStyle;

namespace {

// Every character 10 pixels wide, lines 20 pixels high.
class FixedMetrics : public plat::TextMetrics {
  public:
    float advance(char32_t) const override { return 10; }
    float ascent() const override { return 16; }
    float lineHeight() const override { return 20; }
};

std::vector<std::string> utf8Lines(const std::vector<std::u32string>& lines) {
    std::vector<std::string> out;
    for (const auto& line : lines) {
        std::string s;
        for (char32_t c : line) {
            if (c < 0x80) {
                s += char(c);
            } else {
                s += char(0xE0 | (c >> 12));
                s += char(0x80 | ((c >> 6) & 0x3F));
                s += char(0x80 | (c & 0x3F));
            }
        }
        out.push_back(s);
    }
    return out;
}

struct Ink {
    int minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
    int pixels = 0;
    bool empty() const { return pixels == 0; }
};

Ink inkOf(const std::vector<uint8_t>& rgba, int width, int height, int minAlpha = 1) {
    Ink ink;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (rgba[(size_t(y) * width + x) * 4 + 3] >= minAlpha) {
                ink.minX = std::min(ink.minX, x), ink.maxX = std::max(ink.maxX, x);
                ink.minY = std::min(ink.minY, y), ink.maxY = std::max(ink.maxY, y);
                ++ink.pixels;
            }
    return ink;
}

bool premultipliedEverywhere(const std::vector<uint8_t>& rgba) {
    for (size_t i = 0; i < rgba.size(); i += 4)
        if (rgba[i] > rgba[i + 3] || rgba[i + 1] > rgba[i + 3] || rgba[i + 2] > rgba[i + 3]) return false;
    return true;
}

}  // namespace

TEST(TextRendererTest, WrapsAtSpacesBetweenJapaneseCharactersAndInsideLongWords) {
    const FixedMetrics metrics;
    EXPECT_EQ(utf8Lines(TextRenderer::wrap(U"aa bb cc", metrics, 50)),
              (std::vector<std::string>{"aa bb", "cc"}));
    EXPECT_EQ(utf8Lines(TextRenderer::wrap(U"あいうえお", metrics, 25)),
              (std::vector<std::string>{"あい", "うえ", "お"}));
    EXPECT_EQ(utf8Lines(TextRenderer::wrap(U"abcdefg hi", metrics, 30)),
              (std::vector<std::string>{"abc", "def", "g", "hi"}));
    EXPECT_EQ(utf8Lines(TextRenderer::wrap(U"", metrics, 30)), (std::vector<std::string>{""}));
    EXPECT_EQ(utf8Lines(TextRenderer::wrap(U"abc", metrics, 2147483647.0f)),
              (std::vector<std::string>{"abc"}));
}

TEST(TextRendererTest, MeasureTakesTheWidestLineAndSumsParagraphHeights) {
    const FixedMetrics metrics;
    auto size = TextRenderer::measure("ab\ncdef", metrics, 2147483647.0f, 2147483647.0f);
    EXPECT_FLOAT_EQ(size.width, 40);
    EXPECT_FLOAT_EQ(size.height, 40);
    // Wrapped within 20: "cdef" takes two lines, then the height limit keeps one of them.
    size = TextRenderer::measure("ab\ncdef", metrics, 20, 2147483647.0f);
    EXPECT_FLOAT_EQ(size.height, 60);
    size = TextRenderer::measure("ab\ncdef", metrics, 20, 30);
    EXPECT_FLOAT_EQ(size.width, 20);
    EXPECT_FLOAT_EQ(size.height, 40);
    // Empty lines still take a line; broken UTF-8 measures as replacement characters.
    EXPECT_FLOAT_EQ(TextRenderer::measure("a\n\nb", metrics, 1000, 1000).height, 60);
    EXPECT_EQ(TextRenderer::decodeUtf8("a\xE3\x81\x82\xFF\xE3\x81"), U"a\u3042\uFFFD\uFFFD\uFFFD");
}

TEST(TextRendererTest, FontsAreFoundByNameFileAndAlias) {
    auto arial = Font::named("Arial", 20);
    ASSERT_TRUE(arial);
    EXPECT_NE(arial->file().find("LiberationSans-Regular"), std::string::npos);
    auto helvetica = Font::named("Helvetica", 20);
    ASSERT_TRUE(helvetica);
    EXPECT_EQ(helvetica->file(), arial->file());
    // A path's bare file name is looked up; an existing file is opened directly.
    auto byStem = Font::named("fonts/LiberationSerif-Regular.ttf", 12);
    ASSERT_TRUE(byStem);
    EXPECT_NE(byStem->file().find("LiberationSerif-Regular"), std::string::npos);
    auto byPath = Font::named(arial->file(), 12);
    ASSERT_TRUE(byPath);
    EXPECT_EQ(byPath->file(), arial->file());
    EXPECT_TRUE(Font::named("liberation sans", 12));

    EXPECT_FALSE(Font::named("No Such Font Anywhere", 12));
    EXPECT_FALSE(Font::named("", 12));
    EXPECT_FALSE(Font::named("Arial", 0));
    EXPECT_TRUE(Font::system(12));

    // Metrics scale with the size.
    EXPECT_NEAR(Font::named("Arial", 40)->advance(U'W'), 2 * arial->advance(U'W'), 1e-3);
    EXPECT_GT(arial->lineHeight(), arial->ascent());
}

TEST(TextRendererTest, AFontFileNamedByPathIsReadAfreshWhenItChanges) {
    // Small fonts of 1000 units per em: 'A' is 500 wide; only the second one has 'B'.
    const auto seeds = testsupport::sourceDir() / "tests/fuzz/corpus/font_file";
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "label.ttf").string();
    testsupport::writeFile(path, testsupport::readFile(seeds / "quadratic.ttf"));
    auto first = Font::named(path, 24);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->file(), path);
    EXPECT_FLOAT_EQ(first->advance(U'A'), 12);
    EXPECT_NE(first->fileFor(U'B'), path);

    // The file is replaced while the first font is in use: a new font reads the new file, the first keeps
    // the face it was made with.
    testsupport::writeFile(path, testsupport::readFile(seeds / "composite.ttf"));
    auto second = Font::named(path, 24);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->fileFor(U'B'), path);
    EXPECT_FLOAT_EQ(second->advance(U'B'), 19.2f);
    EXPECT_NE(first->fileFor(U'B'), path);
    std::vector<uint8_t> bitmap(40 * 30 * 4);
    EXPECT_TRUE(
        TextRenderer::draw(bitmap.data(), 40, 30, "AB", *first, {0, 0, 40, 30}, TextAlignment::Left, {}));
    EXPECT_TRUE(std::any_of(bitmap.begin(), bitmap.end(), [](uint8_t v) { return v != 0; }));

    // A damaged file is refused with a reason; the label code then falls back to the system font.
    plat::LogCapture log;
    testsupport::writeFile(path, testsupport::readFile(seeds / "quadratic.ttf").substr(0, 40));
    EXPECT_FALSE(Font::named(path, 24));
    EXPECT_TRUE(log.contains("is not a font"));
    testsupport::writeFile(path, "");
    EXPECT_FALSE(Font::named(path, 24));
    EXPECT_TRUE(log.contains("is empty or too large"));
}

TEST(TextRendererTest, JapaneseTextFindsAStandInFontForEveryCharacter) {
    auto arial = Font::named("Arial", 24);
    ASSERT_TRUE(arial);
    for (char32_t c : TextRenderer::decodeUtf8("こんにちは世界、カタカナ！")) {
        EXPECT_TRUE(arial->hasGlyph(c)) << std::hex << uint32_t(c);
        EXPECT_NE(arial->fileFor(c), arial->file());
    }
    EXPECT_EQ(arial->fileFor(U'A'), arial->file());
    EXPECT_GT(arial->advance(U'あ'), 0);
}

TEST(TextRendererTest, DrawsPremultipliedTextWithAlignmentStrokeAndShadow) {
    auto font = Font::named("Arial", 20);
    ASSERT_TRUE(font);
    const int w = 120, h = 30;
    {
        SCOPED_TRACE("plain white text");
        std::vector<uint8_t> rgba(w * h * 4);
        ASSERT_TRUE(
            TextRenderer::draw(rgba.data(), w, h, "Hello", *font, {0, 0, w, h}, TextAlignment::Left, {}));
        const Ink ink = inkOf(rgba, w, h);
        EXPECT_FALSE(ink.empty());
        EXPECT_LT(ink.maxX, 60);
        EXPECT_TRUE(premultipliedEverywhere(rgba));
        EXPECT_FALSE(TextRenderer::draw(nullptr, w, h, "x", *font, {0, 0, w, h}, TextAlignment::Left, {}));
    }
    {
        SCOPED_TRACE("fixed advances place each alignment exactly");
        auto previous = TextRenderer::setMetricsOverride(std::make_shared<FixedMetrics>());
        std::vector<uint8_t> rgba(100 * 20 * 4);
        const TextAlignment alignments[] = {TextAlignment::Left, TextAlignment::Center, TextAlignment::Right};
        const int lefts[] = {0, 40, 80};
        for (int k = 0; k < 3; ++k) {
            std::fill(rgba.begin(), rgba.end(), 0);
            TextRenderer::draw(rgba.data(), 100, 20, "ll", *font, {0, 0, 100, 20}, alignments[k], {});
            const Ink ink = inkOf(rgba, 100, 20);
            EXPECT_GE(ink.minX, lefts[k]);
            EXPECT_LT(ink.maxX, lefts[k] + 20);
        }
        TextRenderer::setMetricsOverride(previous);
    }
    {
        SCOPED_TRACE("stroke colour and a shadow offset down and right");
        TextStyle style;
        style.stroke = true;
        style.strokeRed = 1;
        style.strokeGreen = style.strokeBlue = 0;
        style.strokeSize = 2;
        std::vector<uint8_t> plain(w * h * 4), stroked(w * h * 4);
        TextRenderer::draw(plain.data(), w, h, "Hello", *font, {2, 2, w, h}, TextAlignment::Left, {});
        TextRenderer::draw(stroked.data(), w, h, "Hello", *font, {2, 2, w, h}, TextAlignment::Left, style);
        EXPECT_GT(inkOf(stroked, w, h).pixels, inkOf(plain, w, h).pixels);
        bool red = false;
        for (size_t i = 0; i < stroked.size(); i += 4)
            red = red || (stroked[i] == 255 && stroked[i + 1] == 0 && stroked[i + 3] == 255);
        EXPECT_TRUE(red);

        TextStyle shadowed;
        shadowed.shadow = true;
        shadowed.shadowOffsetX = 4;
        shadowed.shadowOffsetY = -4;
        std::vector<uint8_t> withShadow(w * h * 4);
        TextRenderer::draw(withShadow.data(), w, h, "Hello", *font, {0, 0, w, h}, TextAlignment::Left,
                           shadowed);
        std::vector<uint8_t> unshadowed(w * h * 4);
        TextRenderer::draw(unshadowed.data(), w, h, "Hello", *font, {0, 0, w, h}, TextAlignment::Left, {});
        const Ink textInk = inkOf(unshadowed, w, h), shadowInk = inkOf(withShadow, w, h);
        EXPECT_EQ(shadowInk.maxX, textInk.maxX + 4);
        EXPECT_EQ(shadowInk.maxY, textInk.maxY + 4);
        EXPECT_EQ(shadowInk.minX, textInk.minX);
        // Pure shadow pixels are black at one third opacity.
        bool shadowPixel = false;
        for (size_t i = 0; i < withShadow.size(); i += 4)
            shadowPixel = shadowPixel || (withShadow[i] == 0 && withShadow[i + 3] == 85);
        EXPECT_TRUE(shadowPixel);
        EXPECT_TRUE(premultipliedEverywhere(withShadow));
    }
}
