#include "platform/media/ImageCodec.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "tests/support/TestSupport.h"

using plat::AlphaMode;
using plat::DecodedImage;
using plat::ImageCodec;
using plat::ImageFileFormat;

namespace {

using Bytes = std::vector<uint8_t>;

struct PngLayout {
    uint32_t width = 2;
    uint32_t height = 2;
    int colorType = PNG_COLOR_TYPE_RGBA;
    int depth = 8;
    int interlace = PNG_INTERLACE_NONE;
    Bytes rows;  // packed rows as libpng expects them for colorType/depth
    std::vector<png_color> palette;
    Bytes paletteAlpha;
};

void appendPng(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

bool writePngRows(png_structp png, png_infop info, const PngLayout& layout, png_bytep* rows, Bytes* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, appendPng, nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.depth, layout.colorType, layout.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
    if (!layout.paletteAlpha.empty())
        png_set_tRNS(png, info, layout.paletteAlpha.data(), static_cast<int>(layout.paletteAlpha.size()),
                     nullptr);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

// Writes a PNG with libpng itself, so every colour type and depth can be produced.
Bytes makePng(const PngLayout& layout) {
    Bytes out;
    const size_t stride = layout.rows.size() / layout.height;
    std::vector<png_bytep> rows(layout.height);
    for (uint32_t y = 0; y < layout.height; ++y)
        rows[y] = const_cast<png_bytep>(layout.rows.data()) + y * stride;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!writePngRows(png, info, layout, rows.data(), &out))
        ADD_FAILURE() << "libpng could not write the test file";
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes pixelAt(const DecodedImage& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.pixels.data() + (size_t(y) * image.width + x) * 4;
    return Bytes(p, p + 4);
}

Bytes makeTiff(uint32_t width, uint32_t height, int samples, const Bytes& pixels, uint16_t extra) {
    testsupport::TempDir dir;
    const auto path = dir.path() / "t.tif";
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1);
    if (extra) TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    for (uint32_t y = 0; y < height; ++y)
        TIFFWriteScanline(tiff, const_cast<uint8_t*>(pixels.data()) + y * width * samples, y, 0);
    TIFFClose(tiff);
    const std::string bytes = testsupport::readFile(path);
    return Bytes(bytes.begin(), bytes.end());
}

Bytes gradientRgb(uint32_t width, uint32_t height) {
    Bytes rgb(width * height * 3);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(y * width + x) * 3];
            p[0] = uint8_t(x * 255 / (width - 1));
            p[1] = uint8_t(y * 255 / (height - 1));
            p[2] = 128;
        }
    return rgb;
}

}  // namespace

TEST(ImageCodecTest, PngColourTypesDecodeToRgbaWithTheirAlphaFlags) {
    {
        SCOPED_TRACE("RGBA: straight alpha in the file, premultiplied on request");
        PngLayout layout;
        layout.rows = {200, 100, 50, 128, 255, 0, 0, 255, 0, 0, 0, 0, 10, 20, 30, 255};
        const Bytes file = makePng(layout);
        EXPECT_EQ(ImageCodec::sniff(file.data(), file.size()), ImageFileFormat::Png);
        auto image = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 2u);
        EXPECT_EQ(image->height, 2u);
        EXPECT_TRUE(image->hasAlpha);
        EXPECT_TRUE(image->premultiplied);
        EXPECT_EQ(pixelAt(*image, 0, 0), (Bytes{100, 50, 25, 128}));
        EXPECT_EQ(pixelAt(*image, 1, 0), (Bytes{255, 0, 0, 255}));
        EXPECT_EQ(pixelAt(*image, 0, 1), (Bytes{0, 0, 0, 0}));
        auto straight = ImageCodec::decodePng(file.data(), file.size(), AlphaMode::Straight);
        ASSERT_TRUE(straight);
        EXPECT_FALSE(straight->premultiplied);
        EXPECT_EQ(pixelAt(*straight, 0, 0), (Bytes{200, 100, 50, 128}));
    }
    {
        SCOPED_TRACE("RGB: opaque, alpha filled with 255");
        PngLayout layout;
        layout.colorType = PNG_COLOR_TYPE_RGB;
        layout.rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        const Bytes file = makePng(layout);
        auto image = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(image);
        EXPECT_FALSE(image->hasAlpha);
        EXPECT_FALSE(image->premultiplied);
        EXPECT_EQ(pixelAt(*image, 1, 1), (Bytes{10, 11, 12, 255}));
    }
    {
        SCOPED_TRACE("palette with a transparent entry, 4-bit indices");
        PngLayout layout;
        layout.colorType = PNG_COLOR_TYPE_PALETTE;
        layout.depth = 4;
        layout.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        layout.paletteAlpha = {255, 0, 128};
        layout.rows = {0x01, 0x20};  // row 0: 0, 1; row 1: 2, 0
        const Bytes file = makePng(layout);
        auto image = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(image);
        EXPECT_TRUE(image->hasAlpha);
        EXPECT_EQ(pixelAt(*image, 0, 0), (Bytes{255, 0, 0, 255}));
        EXPECT_EQ(pixelAt(*image, 1, 0), (Bytes{0, 0, 0, 0}));
        EXPECT_EQ(pixelAt(*image, 0, 1), (Bytes{0, 0, 128, 128}));
    }
    {
        SCOPED_TRACE("16-bit RGBA is scaled to 8 bits");
        PngLayout layout;
        layout.width = 1;
        layout.height = 1;
        layout.depth = 16;
        layout.rows = {0xC8, 0xC8, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
        const Bytes file = makePng(layout);
        auto image = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(image);
        EXPECT_EQ(pixelAt(*image, 0, 0), (Bytes{200, 0, 255, 255}));
    }
    {
        SCOPED_TRACE("grey, 2-bit, interlaced");
        PngLayout layout;
        layout.colorType = PNG_COLOR_TYPE_GRAY;
        layout.depth = 2;
        layout.interlace = PNG_INTERLACE_ADAM7;
        layout.rows = {0x40, 0xC0};  // 1, 0 / 3, 0
        const Bytes file = makePng(layout);
        auto image = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(image);
        EXPECT_FALSE(image->hasAlpha);
        EXPECT_EQ(pixelAt(*image, 0, 0), (Bytes{85, 85, 85, 255}));
        EXPECT_EQ(pixelAt(*image, 0, 1), (Bytes{255, 255, 255, 255}));
        EXPECT_EQ(pixelAt(*image, 1, 1), (Bytes{0, 0, 0, 255}));
    }
    {
        SCOPED_TRACE("grey with alpha");
        PngLayout layout;
        layout.width = 1;
        layout.height = 1;
        layout.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
        layout.rows = {200, 0};
        const Bytes file = makePng(layout);
        auto image = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(image);
        EXPECT_TRUE(image->hasAlpha);
        EXPECT_EQ(pixelAt(*image, 0, 0), (Bytes{0, 0, 0, 0}));
    }
}

TEST(ImageCodecTest, JpegRoundTripIsOpaqueAndClose) {
    const Bytes rgb = gradientRgb(32, 16);
    auto file = ImageCodec::encodeJpeg(rgb.data(), 32, 16, 3, 100);
    ASSERT_TRUE(file);
    EXPECT_EQ(ImageCodec::sniff(file->data(), file->size()), ImageFileFormat::Jpeg);
    auto image = ImageCodec::decode(file->data(), file->size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 32u);
    EXPECT_EQ(image->height, 16u);
    EXPECT_FALSE(image->hasAlpha);
    EXPECT_FALSE(image->premultiplied);
    int worst = 0;
    for (size_t i = 0; i < 32 * 16; ++i) {
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(image->pixels[i * 4 + c]) - rgb[i * 3 + c]));
        EXPECT_EQ(image->pixels[i * 4 + 3], 255);
    }
    EXPECT_LE(worst, 8);
}

TEST(ImageCodecTest, TiffDecodesRgbAndPremultipliesUnassociatedAlpha) {
    {
        const Bytes rgb = gradientRgb(4, 3);
        const Bytes file = makeTiff(4, 3, 3, rgb, 0);
        EXPECT_EQ(ImageCodec::sniff(file.data(), file.size()), ImageFileFormat::Tiff);
        auto image = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 4u);
        EXPECT_EQ(image->height, 3u);
        EXPECT_FALSE(image->hasAlpha);
        // Rows come top to bottom.
        EXPECT_EQ(pixelAt(*image, 3, 0), (Bytes{255, 0, 128, 255}));
        EXPECT_EQ(pixelAt(*image, 0, 2), (Bytes{0, 255, 128, 255}));
    }
    {
        const Bytes rgba = {200, 100, 50, 128, 1, 2, 3, 255};
        const Bytes file = makeTiff(2, 1, 4, rgba, EXTRASAMPLE_UNASSALPHA);
        auto image = ImageCodec::decode(file.data(), file.size());
        ASSERT_TRUE(image);
        EXPECT_TRUE(image->hasAlpha);
        EXPECT_TRUE(image->premultiplied);
        EXPECT_EQ(pixelAt(*image, 0, 0), (Bytes{100, 50, 25, 128}));
        EXPECT_EQ(pixelAt(*image, 1, 0), (Bytes{1, 2, 3, 255}));
    }
}

TEST(ImageCodecTest, WebPLosslessKeepsPixelsAndReportsAlpha) {
    const Bytes rgba = {200, 100, 50, 128, 255, 255, 255, 255, 0, 0, 0, 0, 9, 8, 7, 255};
    uint8_t* encoded = nullptr;
    const size_t size = WebPEncodeLosslessRGBA(rgba.data(), 2, 2, 8, &encoded);
    ASSERT_GT(size, 0u);
    const Bytes file(encoded, encoded + size);
    WebPFree(encoded);
    EXPECT_EQ(ImageCodec::sniff(file.data(), file.size()), ImageFileFormat::WebP);

    auto straight = ImageCodec::decodeWebP(file.data(), file.size(), AlphaMode::Straight);
    ASSERT_TRUE(straight);
    EXPECT_TRUE(straight->hasAlpha);
    EXPECT_FALSE(straight->premultiplied);
    EXPECT_EQ(pixelAt(*straight, 0, 0), (Bytes{200, 100, 50, 128}));
    EXPECT_EQ(pixelAt(*straight, 1, 1), (Bytes{9, 8, 7, 255}));

    auto premultiplied = ImageCodec::decode(file.data(), file.size());
    ASSERT_TRUE(premultiplied);
    EXPECT_TRUE(premultiplied->premultiplied);
    EXPECT_NEAR(pixelAt(*premultiplied, 0, 0)[0], 100, 1);
}

TEST(ImageCodecTest, TruncatedAndHostileFilesFailWithALogLine) {
    PngLayout layout;
    layout.width = 64;
    layout.height = 64;
    layout.colorType = PNG_COLOR_TYPE_RGB;
    layout.rows.resize(64 * 64 * 3);
    for (size_t i = 0; i < layout.rows.size(); ++i) layout.rows[i] = uint8_t(i * 7919 % 251);
    const Bytes png = makePng(layout);
    const Bytes rgb = gradientRgb(64, 64);
    const Bytes jpeg = *ImageCodec::encodeJpeg(rgb.data(), 64, 64, 3, 90);
    const Bytes tiff = makeTiff(64, 64, 3, rgb, 0);
    uint8_t* encoded = nullptr;
    const size_t webpSize = WebPEncodeRGB(rgb.data(), 64, 64, 64 * 3, 90, &encoded);
    const Bytes webp(encoded, encoded + webpSize);
    WebPFree(encoded);

    for (const Bytes* file : {&png, &jpeg, &tiff, &webp}) {
        ASSERT_TRUE(ImageCodec::decode(file->data(), file->size()));
        for (size_t cut : {file->size() / 2, file->size() - 1, size_t(12)}) {
            SCOPED_TRACE(std::to_string(int(ImageCodec::sniff(file->data(), file->size()))) + " cut at " +
                         std::to_string(cut));
            plat::LogCapture log;
            EXPECT_FALSE(ImageCodec::decode(file->data(), cut));
            EXPECT_FALSE(log.lines().empty());
        }
    }

    plat::LogCapture log;
    EXPECT_FALSE(ImageCodec::decode(nullptr, 10));
    const Bytes junk = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    EXPECT_FALSE(ImageCodec::decode(junk.data(), junk.size()));

    // Headers that promise huge images from a few bytes are refused before allocating.
    Bytes bigPng = png;
    const uint8_t side[4] = {0x00, 0x00, 0x40, 0x00};  // 16384
    std::memcpy(&bigPng[16], side, 4);
    std::memcpy(&bigPng[20], side, 4);
    EXPECT_FALSE(ImageCodec::decode(bigPng.data(), bigPng.size()));
    Bytes bigJpeg = jpeg;
    for (size_t i = 2; i + 9 < bigJpeg.size(); ++i)
        if (bigJpeg[i] == 0xFF && bigJpeg[i + 1] == 0xC0) {
            bigJpeg[i + 5] = bigJpeg[i + 6] = bigJpeg[i + 7] = bigJpeg[i + 8] = 0xFF;
            break;
        }
    EXPECT_FALSE(ImageCodec::decode(bigJpeg.data(), bigJpeg.size()));
    EXPECT_GE(log.lines().size(), 4u);
}

TEST(ImageCodecTest, PngEncodingStoresStraightAlphaAndRgb) {
    const Bytes premultiplied = {100, 50, 25, 128, 0, 0, 0, 0};
    auto rgba = ImageCodec::encodePng(premultiplied.data(), 2, 1, 4, true);
    ASSERT_TRUE(rgba);
    auto back = ImageCodec::decodePng(rgba->data(), rgba->size(), AlphaMode::Straight);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->hasAlpha);
    EXPECT_EQ(pixelAt(*back, 0, 0), (Bytes{199, 100, 50, 128}));

    const Bytes rgb = {1, 2, 3, 4, 5, 6};
    auto opaque = ImageCodec::encodePng(rgb.data(), 1, 2, 3);
    ASSERT_TRUE(opaque);
    back = ImageCodec::decode(opaque->data(), opaque->size());
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->hasAlpha);
    EXPECT_EQ(pixelAt(*back, 0, 1), (Bytes{4, 5, 6, 255}));

    plat::LogCapture log;
    EXPECT_FALSE(ImageCodec::encodePng(rgb.data(), 0, 2, 3));
    EXPECT_FALSE(ImageCodec::encodeJpeg(rgb.data(), 1, 2, 2, 90));
}
