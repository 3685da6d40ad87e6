#include "kite/image/KTImage.h"

#include <gtest/gtest.h>
#include <webp/encode.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "kite/files/KTFileUtils.h"
#include "platform/base/Log.h"
#include "platform/media/ImageCodec.h"
#include "platform/media/TextRenderer.h"
#include "tests/support/TestSupport.h"

using kite::KTImage;
using plat::ImageCodec;

namespace {

using Bytes = std::vector<uint8_t>;

// Every character 10 pixels wide, lines 20 pixels high, so text boxes have exact sizes.
class FixedMetrics : public plat::TextMetrics {
  public:
    float advance(char32_t) const override { return 10; }
    float ascent() const override { return 16; }
    float lineHeight() const override { return 20; }
};

class FixedMetricsScope {
  public:
    FixedMetricsScope()
        : previous_(plat::TextRenderer::setMetricsOverride(std::make_shared<FixedMetrics>())) {}
    ~FixedMetricsScope() { plat::TextRenderer::setMetricsOverride(previous_); }

  private:
    std::shared_ptr<const plat::TextMetrics> previous_;
};

struct ImagePtr {
    KTImage* image = new KTImage();
    ~ImagePtr() { image->release(); }
    KTImage* operator->() { return image; }
};

bool renderText(KTImage* image, const char* text, int width, int height, unsigned mask, float strokeSize = 0,
                float shadowX = 0, float shadowY = 0, bool shadow = false, const char* font = "Arial") {
    return image->initWithString(text, width, height, mask, font, 20, 1, 1, 1, shadow, shadowX, shadowY, 1, 0,
                                 strokeSize > 0, 0, 0, 0, strokeSize);
}

// First row and column holding any ink.
std::pair<int, int> inkTopLeft(KTImage* image) {
    int top = -1, left = image->getWidth();
    for (int y = 0; y < image->getHeight(); ++y)
        for (int x = 0; x < image->getWidth(); ++x)
            if (image->getData()[(size_t(y) * image->getWidth() + x) * 4 + 3]) {
                if (top < 0) top = y;
                left = std::min(left, x);
            }
    return {top, left};
}

Bytes readBack(const std::filesystem::path& path) {
    const std::string s = testsupport::readFile(path);
    return Bytes(s.begin(), s.end());
}

}  // namespace

TEST(KTImageTest, RawDataIsCopiedOnlyWhenThereIsEnoughOfIt) {
    ImagePtr image;
    const Bytes white(16, 0xFF);
    ASSERT_TRUE(image->initWithRawData(white.data(), 16, 2, 2, 8));
    EXPECT_EQ(image->getWidth(), 2);
    EXPECT_EQ(image->getHeight(), 2);
    EXPECT_EQ(image->getBitsPerComponent(), 8);
    EXPECT_TRUE(image->hasAlpha());
    EXPECT_FALSE(image->isPremultipliedAlpha());
    EXPECT_EQ(Bytes(image->getData(), image->getData() + 16), white);

    plat::LogCapture log;
    // Short data, empty sides and sides beyond the 16-bit fields fail and keep the current pixels.
    EXPECT_FALSE(image->initWithRawData(white.data(), 15, 2, 2, 8));
    EXPECT_FALSE(image->initWithRawData(white.data(), 16, 0, 2, 8));
    EXPECT_FALSE(image->initWithRawData(white.data(), 16, 65536, 1, 8));
    EXPECT_FALSE(image->initWithImageData(white.data(), 16, kite::kKTImageFormat_RawData, 3, 2, 8));
    EXPECT_EQ(image->getWidth(), 2);
    EXPECT_EQ(image->getData()[0], 0xFF);
    EXPECT_GE(log.lines().size(), 3u);

    EXPECT_FALSE(image->initWithImageData(white.data(), 0, kite::kKTImageFormat_PNG, 0, 0, 8));
    EXPECT_FALSE(image->initWithImageData(nullptr, 16, kite::kKTImageFormat_PNG, 0, 0, 8));
}

TEST(KTImageTest, DecodedFilesSetTheAlphaFlagsOfEachPath) {
    const Bytes rgba = {200, 100, 50, 128, 1, 2, 3, 255};
    const Bytes rgb = {200, 100, 50, 1, 2, 3};
    const Bytes png = *ImageCodec::encodePng(rgba.data(), 2, 1, 4);
    const Bytes opaquePng = *ImageCodec::encodePng(rgb.data(), 2, 1, 3);
    const Bytes jpeg = *ImageCodec::encodeJpeg(rgb.data(), 2, 1, 3, 100);
    uint8_t* out = nullptr;
    const size_t webpSize = WebPEncodeLosslessRGBA(rgba.data(), 2, 1, 8, &out);
    const Bytes webp(out, out + webpSize);
    WebPFree(out);

    ImagePtr image;
    ASSERT_TRUE(image->initWithImageData(png.data(), long(png.size()), kite::kKTImageFormat_PNG, 0, 0, 8));
    EXPECT_TRUE(image->hasAlpha());
    EXPECT_TRUE(image->isPremultipliedAlpha());
    EXPECT_EQ(Bytes(image->getData(), image->getData() + 4), (Bytes{100, 50, 25, 128}));

    // The format argument is only a guess: these bytes are a PNG whatever the caller says.
    ASSERT_TRUE(image->initWithImageData(opaquePng.data(), long(opaquePng.size()), kite::kKTImageFormat_JPG,
                                         0, 0, 8));
    EXPECT_TRUE(image->hasAlpha());
    EXPECT_FALSE(image->isPremultipliedAlpha());
    EXPECT_EQ(Bytes(image->getData(), image->getData() + 4), (Bytes{200, 100, 50, 255}));

    ASSERT_TRUE(image->initWithImageData(jpeg.data(), long(jpeg.size()), kite::kKTImageFormat_JPG, 0, 0, 8));
    EXPECT_TRUE(image->hasAlpha());
    EXPECT_FALSE(image->isPremultipliedAlpha());
    EXPECT_EQ(image->getWidth(), 2);

    ASSERT_TRUE(image->initWithImageData(webp.data(), long(webp.size()), kite::kKTImageFormat_WEBP, 0, 0, 8));
    EXPECT_TRUE(image->hasAlpha());
    EXPECT_FALSE(image->isPremultipliedAlpha());
    EXPECT_EQ(image->getBitsPerComponent(), 8);
    EXPECT_EQ(Bytes(image->getData(), image->getData() + 4), (Bytes{200, 100, 50, 128}));

    plat::LogCapture log;
    EXPECT_FALSE(
        image->initWithImageData(png.data(), long(png.size() / 2), kite::kKTImageFormat_PNG, 0, 0, 8));
    EXPECT_FALSE(image->initWithImageData(png.data(), long(png.size()), kite::kKTImageFormat_WEBP, 0, 0, 8));
    EXPECT_FALSE(log.lines().empty());
    EXPECT_EQ(image->getWidth(), 2);

    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "a.png", std::string(png.begin(), png.end()));
    EXPECT_TRUE(image->initWithImageFile((dir.path() / "a.png").c_str(), kite::kKTImageFormat_PNG));
    EXPECT_TRUE(image->isPremultipliedAlpha());
    EXPECT_FALSE(image->initWithImageFile((dir.path() / "missing.png").c_str(), kite::kKTImageFormat_PNG));
    // Names resolve through the file utilities' search paths.
    kite::KTFileUtils* files = kite::KTFileUtils::sharedFileUtils();
    const std::vector<std::string> previous = files->getSearchPaths();
    files->addSearchPath(dir.path().c_str());
    EXPECT_TRUE(image->initWithImageFile("a.png", kite::kKTImageFormat_PNG));
    files->setSearchPaths(previous);
}

TEST(KTImageTest, TextBoxesFollowMeasureMarginAndAlignmentRules) {
    FixedMetricsScope fixed;
    ImagePtr image;
    {
        SCOPED_TRACE("two lines, no limits: the wider line by both line heights");
        ASSERT_TRUE(renderText(image.image, "ab\ncdef", 0, 0, 0x11));
        EXPECT_EQ(image->getWidth(), 40);
        EXPECT_EQ(image->getHeight(), 40);
        EXPECT_TRUE(image->hasAlpha());
        EXPECT_TRUE(image->isPremultipliedAlpha());
        EXPECT_EQ(image->getBitsPerComponent(), 8);
    }
    {
        SCOPED_TRACE("stroke 1.5 adds 2 each way; a shadow adds its whole offset; the larger wins");
        ASSERT_TRUE(renderText(image.image, "ab\ncdef", 0, 0, 0x11, 1.5f));
        EXPECT_EQ(image->getWidth(), 42);
        EXPECT_EQ(image->getHeight(), 42);
        ASSERT_TRUE(renderText(image.image, "ab\ncdef", 0, 0, 0x11, 0, -3.7f, 5.2f, true));
        EXPECT_EQ(image->getWidth(), 43);
        EXPECT_EQ(image->getHeight(), 45);
        ASSERT_TRUE(renderText(image.image, "ab\ncdef", 0, 0, 0x11, 1.5f, 1, -4, true));
        EXPECT_EQ(image->getWidth(), 42);
        EXPECT_EQ(image->getHeight(), 44);
        // Offsets count only with the shadow on.
        ASSERT_TRUE(renderText(image.image, "ab\ncdef", 0, 0, 0x11, 0, 9, 9, false));
        EXPECT_EQ(image->getWidth(), 40);
    }
    {
        SCOPED_TRACE("fixed dimensions larger than the text make the box; smaller ones wrap and cut");
        ASSERT_TRUE(renderText(image.image, "ab\ncd", 100, 100, 0x11));
        EXPECT_EQ(image->getWidth(), 100);
        EXPECT_EQ(image->getHeight(), 100);
        ASSERT_TRUE(renderText(image.image, "abcdef", 30, 0, 0x11));
        EXPECT_EQ(image->getWidth(), 30);
        EXPECT_EQ(image->getHeight(), 40);
        ASSERT_TRUE(renderText(image.image, "abcdefgh", 30, 30, 0x11));
        EXPECT_EQ(image->getHeight(), 30);
    }
    {
        SCOPED_TRACE("vertical codes in a 100-pixel box with 40 pixels of text: top, centre 30, bottom 60");
        ASSERT_TRUE(renderText(image.image, "ab\ncd", 100, 100, 0x11));
        const int top = inkTopLeft(image.image).first;
        ASSERT_GE(top, 0);
        ASSERT_TRUE(renderText(image.image, "ab\ncd", 100, 100, 0x31));
        EXPECT_EQ(inkTopLeft(image.image).first, top + 30);
        ASSERT_TRUE(renderText(image.image, "ab\ncd", 100, 100, 0x21));
        EXPECT_EQ(inkTopLeft(image.image).first, top + 60);
        // Any code other than top or centre is bottom.
        ASSERT_TRUE(renderText(image.image, "ab\ncd", 100, 100, 0x01));
        EXPECT_EQ(inkTopLeft(image.image).first, top + 60);
    }
    {
        SCOPED_TRACE(
            "horizontal codes: left, centre 40, right 80 across a 100-pixel box for a 20-pixel line");
        ASSERT_TRUE(renderText(image.image, "ll", 100, 0, 0x11));
        const int left = inkTopLeft(image.image).second;
        ASSERT_TRUE(renderText(image.image, "ll", 100, 0, 0x13));
        EXPECT_EQ(inkTopLeft(image.image).second, left + 40);
        ASSERT_TRUE(renderText(image.image, "ll", 100, 0, 0x12));
        EXPECT_EQ(inkTopLeft(image.image).second, left + 80);
        ASSERT_TRUE(renderText(image.image, "ll", 100, 0, 0x17));
        EXPECT_EQ(inkTopLeft(image.image).second, left);
    }
    {
        SCOPED_TRACE("without a height limit a centre or bottom code still draws the text in its box");
        ASSERT_TRUE(renderText(image.image, "ab", 0, 0, 0x33));
        EXPECT_EQ(image->getHeight(), 20);
        EXPECT_GE(inkTopLeft(image.image).first, 0);
    }
    {
        SCOPED_TRACE("a shadow to the left and up moves the text right and down by the margins");
        ASSERT_TRUE(renderText(image.image, "ll", 0, 0, 0x11));
        const auto plain = inkTopLeft(image.image);
        ASSERT_TRUE(renderText(image.image, "ll", 0, 0, 0x11, 0, -6, 6, true));
        // The shadow itself is up and left of the text, i.e. where the text was without margins.
        EXPECT_EQ(inkTopLeft(image.image), plain);
        const unsigned char* p = image->getData();
        int strongTop = -1;
        for (int y = 0; y < image->getHeight() && strongTop < 0; ++y)
            for (int x = 0; x < image->getWidth(); ++x)
                if (p[(size_t(y) * image->getWidth() + x) * 4 + 3] > 200) {
                    strongTop = y;
                    break;
                }
        EXPECT_GE(strongTop, plain.first + 6);
    }
    EXPECT_FALSE(image->initWithString(nullptr, 0, 0, 0x11, "Arial", 20, 1, 1, 1, false, 0, 0, 0, 0, false, 0,
                                       0, 0, 0));
    EXPECT_FALSE(renderText(image.image, "", 0, 0, 0x11));
    plat::LogCapture log;
    EXPECT_FALSE(renderText(image.image, "a", 0, 0, 0x11, 5000));
    EXPECT_TRUE(log.contains("too large"));
}

TEST(KTImageTest, RealFontsRenderLatinJapaneseAndUnknownNames) {
    ImagePtr image;
    ASSERT_TRUE(renderText(image.image, "Score 120", 0, 0, 0x11));
    EXPECT_GT(image->getWidth(), 40);
    EXPECT_GT(image->getHeight(), 15);
    EXPECT_GE(inkTopLeft(image.image).first, 0);

    // Every character of a Japanese label comes from a font that has it, so none is drawn as a box.
    const char* japanese = "ぽてまるの図鑑、レベル１０！";
    auto font = plat::Font::named("Arial", 20);
    ASSERT_TRUE(font);
    for (char32_t c : plat::TextRenderer::decodeUtf8(japanese)) EXPECT_TRUE(font->hasGlyph(c)) << uint32_t(c);
    ASSERT_TRUE(renderText(image.image, japanese, 0, 0, 0x11));
    EXPECT_NEAR(image->getWidth(), 14 * 20, 20);
    EXPECT_GE(inkTopLeft(image.image).first, 0);

    // A font the system lacks falls back to the system font, and a font file path works too.
    ASSERT_TRUE(renderText(image.image, "fallback", 0, 0, 0x11, 0, 0, 0, false, "Marker Felt Wide"));
    EXPECT_GE(inkTopLeft(image.image).first, 0);
    ASSERT_TRUE(renderText(image.image, "file", 0, 0, 0x11, 0, 0, 0, false, font->file().c_str()));
    EXPECT_GE(inkTopLeft(image.image).first, 0);
}

TEST(KTImageTest, SavesPngWithOrWithoutAlphaAndJpegAndReportsFailedWrites) {
    testsupport::TempDir dir;
    ImagePtr image;
    const Bytes premultiplied = {100, 50, 25, 128, 10, 20, 30, 255};
    ASSERT_TRUE(image->initWithRawData(premultiplied.data(), 8, 2, 1, 8));

    const auto png32 = dir.path() / "shot.png";
    ASSERT_TRUE(image->saveToFile(png32.c_str(), false));
    Bytes file = readBack(png32);
    auto decoded = ImageCodec::decode(file.data(), file.size(), plat::AlphaMode::Premultiplied);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->hasAlpha);
    EXPECT_NEAR(decoded->pixels[0], 100, 1);
    EXPECT_EQ(decoded->pixels[3], 128);

    const auto png24 = dir.path() / "shot.png.rgb";
    ASSERT_TRUE(image->saveToFile(png24.c_str(), true));
    file = readBack(png24);
    decoded = ImageCodec::decode(file.data(), file.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(ImageCodec::sniff(file.data(), file.size()), plat::ImageFileFormat::Png);
    EXPECT_FALSE(decoded->hasAlpha);
    EXPECT_EQ(Bytes(decoded->pixels.begin(), decoded->pixels.begin() + 4), (Bytes{100, 50, 25, 255}));

    // JPEG subsamples colour, so it is checked on an even colour.
    Bytes even(8 * 8 * 4);
    for (size_t i = 0; i < even.size(); i += 4)
        even[i] = 10, even[i + 1] = 200, even[i + 2] = 30, even[i + 3] = 255;
    ASSERT_TRUE(image->initWithRawData(even.data(), long(even.size()), 8, 8, 8));
    for (const char* name : {"screenshot0.jpg", "SHOT.PNG"}) {
        const auto path = dir.path() / name;
        ASSERT_TRUE(image->saveToFile(path.c_str(), false));
        file = readBack(path);
        EXPECT_EQ(ImageCodec::sniff(file.data(), file.size()), plat::ImageFileFormat::Jpeg) << name;
        decoded = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->width, 8u);
        EXPECT_NEAR(decoded->pixels[0], 10, 3);
        EXPECT_NEAR(decoded->pixels[1], 200, 3);
    }

    plat::LogCapture log;
    EXPECT_FALSE(image->saveToFile((dir.path() / "no" / "such" / "dir.png").c_str(), false));
    EXPECT_FALSE(image->saveToFile("/proc/version.jpg", true));
    ImagePtr empty;
    EXPECT_FALSE(empty->saveToFile((dir.path() / "empty.png").c_str(), false));
}
