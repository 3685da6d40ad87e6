#pragma once
// Decoding of PNG, JPEG, TIFF and WebP files to 8-bit RGBA, and encoding of RGB/RGBA pixels to PNG and JPEG.
// Every decoder takes outside data: a truncated or hostile file gives an empty result and one log line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace plat {

enum class ImageFileFormat { Unknown, Png, Jpeg, Tiff, WebP };

struct DecodedImage {
    uint32_t width = 0;
    uint32_t height = 0;
    // width × height × 4 bytes, rows top to bottom, R, G, B, A per pixel. Opaque sources get alpha 255.
    std::vector<uint8_t> pixels;
    // The source carries transparency (an alpha channel, or a transparent palette entry or colour key).
    bool hasAlpha = false;
    // Colour components are multiplied by alpha (only ever true when hasAlpha is).
    bool premultiplied = false;
};

enum class AlphaMode { Straight, Premultiplied };

class ImageCodec {
  public:
    // Larger sides, or more pixels in all, are refused before anything is allocated.
    static constexpr uint32_t kMaxSide = 16384;
    static constexpr uint64_t kMaxPixels = uint64_t(8192) * 8192;

    // The format named by the first bytes, whatever the file name says.
    static ImageFileFormat sniff(const uint8_t* data, size_t size);

    // Decodes whichever supported format the data holds. With AlphaMode::Premultiplied, images with
    // transparency come back premultiplied.
    static std::optional<DecodedImage> decode(const uint8_t* data, size_t size,
                                              AlphaMode alpha = AlphaMode::Premultiplied);
    static std::optional<DecodedImage> decodePng(const uint8_t* data, size_t size,
                                                 AlphaMode alpha = AlphaMode::Premultiplied);
    static std::optional<DecodedImage> decodeJpeg(const uint8_t* data, size_t size,
                                                  AlphaMode alpha = AlphaMode::Premultiplied);
    static std::optional<DecodedImage> decodeTiff(const uint8_t* data, size_t size,
                                                  AlphaMode alpha = AlphaMode::Premultiplied);
    static std::optional<DecodedImage> decodeWebP(const uint8_t* data, size_t size,
                                                  AlphaMode alpha = AlphaMode::Premultiplied);

    // pixels: width × height × channels bytes, channels 3 (RGB) or 4 (RGBA), rows top to bottom.
    // With channels 4 and premultipliedInput, colours are divided back by alpha, as PNG stores them straight.
    static std::optional<std::vector<uint8_t>> encodePng(const uint8_t* pixels, uint32_t width,
                                                         uint32_t height, int channels,
                                                         bool premultipliedInput = false);
    // quality 0..100; with channels 4 the alpha byte is ignored.
    static std::optional<std::vector<uint8_t>> encodeJpeg(const uint8_t* pixels, uint32_t width,
                                                          uint32_t height, int channels, int quality);

    // In place over RGBA pixels.
    static void premultiply(uint8_t* rgba, size_t pixelCount);
    static void unpremultiply(uint8_t* rgba, size_t pixelCount);
};

}  // namespace plat
