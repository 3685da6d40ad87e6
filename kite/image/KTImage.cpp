#include "kite/image/KTImage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "kite/files/KTFileUtils.h"
#include "platform/base/Log.h"
#include "platform/media/ImageCodec.h"
#include "platform/media/TextRenderer.h"
#include "platform/storage/AtomicFile.h"

namespace kite {

namespace {

// The size fields are 16 bits wide.
constexpr unsigned int kMaxSide = 65535;
// Text bitmaps larger than any texture are refused before their buffers are made.
constexpr uint64_t kMaxTextPixels = uint64_t(4096) * 4096;
// "No limit" for text layout.
constexpr float kUnconstrained = 2147483647.0f;

unsigned char* copyPixels(const std::vector<uint8_t>& pixels) {
    auto* data = static_cast<unsigned char*>(std::malloc(pixels.size()));
    if (data) std::memcpy(data, pixels.data(), pixels.size());
    return data;
}

}  // namespace

KTImage::KTImage() = default;

KTImage::~KTImage() {
    std::free(m_pData);
}

void KTImage::adopt(unsigned char* data, unsigned int width, unsigned int height, int bitsPerComponent,
                    bool hasAlpha, bool premultiplied) {
    std::free(m_pData);
    m_pData = data;
    m_nWidth = static_cast<unsigned short>(width);
    m_nHeight = static_cast<unsigned short>(height);
    m_nBitsPerComponent = bitsPerComponent;
    m_bHasAlpha = hasAlpha;
    m_bPremultiplied = premultiplied;
}

bool KTImage::initWithImageFile(const char* path, KTImageFormat format) {
    if (!path) return false;
    KTFileUtils* files = KTFileUtils::sharedFileUtils();
    const std::string fullPath = files->fullPathForFilename(path);
    unsigned long size = 0;
    unsigned char* bytes = files->getFileData(fullPath.c_str(), "rb", &size);
    bool ok = false;
    if (bytes && size != 0) ok = initWithImageData(bytes, static_cast<long>(size), format, 0, 0, 8);
    delete[] bytes;
    return ok;
}

bool KTImage::initWithImageData(const void* data, long length, KTImageFormat format, int width, int height,
                                int bitsPerComponent) {
    if (!data || length < 1) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const auto size = static_cast<size_t>(length);

    if (format == kKTImageFormat_RawData)
        return initWithRawData(data, length, width, height, bitsPerComponent);

    std::optional<plat::DecodedImage> decoded;
    if (format == kKTImageFormat_WEBP) {
        decoded = plat::ImageCodec::decodeWebP(bytes, size, plat::AlphaMode::Straight);
    } else {
        decoded = plat::ImageCodec::decode(bytes, size, plat::AlphaMode::Premultiplied);
    }
    if (!decoded) return false;
    if (decoded->width > kMaxSide || decoded->height > kMaxSide) {
        plat::logError("Image of %u x %u pixels is too large", decoded->width, decoded->height);
        return false;
    }
    unsigned char* pixels = copyPixels(decoded->pixels);
    if (!pixels) return false;
    // WebP keeps straight alpha; the platform path premultiplies whenever the source has transparency.
    const bool premultiplied = format == kKTImageFormat_WEBP ? false : decoded->hasAlpha;
    adopt(pixels, decoded->width, decoded->height, 8, true, premultiplied);
    return true;
}

bool KTImage::initWithRawData(const void* data, long length, int width, int height, int bitsPerComponent) {
    if (!data || width <= 0 || height <= 0) return false;
    if (static_cast<unsigned int>(width) > kMaxSide || static_cast<unsigned int>(height) > kMaxSide) {
        plat::logError("Raw image of %d x %d pixels is too large", width, height);
        return false;
    }
    const size_t needed = size_t(width) * size_t(height) * 4;
    if (length < 0 || static_cast<size_t>(length) < needed) {
        plat::logError("Raw image of %d x %d pixels needs %zu bytes, got %ld", width, height, needed, length);
        return false;
    }
    auto* pixels = static_cast<unsigned char*>(std::malloc(needed));
    if (!pixels) return false;
    std::memcpy(pixels, data, needed);
    adopt(pixels, width, height, bitsPerComponent, true, m_bPremultiplied);
    return true;
}

bool KTImage::initWithString(const char* text, int width, int height, unsigned int alignMask,
                             const char* fontName, int fontSize, float textRed, float textGreen,
                             float textBlue, bool shadowEnabled, float shadowOffsetX, float shadowOffsetY,
                             float shadowOpacity, float shadowBlur, bool strokeEnabled, float strokeRed,
                             float strokeGreen, float strokeBlue, float strokeSize) {
    (void)shadowOpacity;  // shadows always use the platform's own colour
    if (!text) return false;

    // A font file path is opened as it is; any other name is looked up by its bare file name.
    const std::string name = fontName ? fontName : "";
    auto font = plat::Font::named(name, static_cast<float>(fontSize));
    if (!font) font = plat::Font::system(static_cast<float>(fontSize));
    if (!font) return false;
    const plat::TextMetrics& metrics = plat::TextRenderer::metricsFor(*font);

    const float constraintWidth = width > 0 ? static_cast<float>(width) : kUnconstrained;
    const float constraintHeight = height > 0 ? static_cast<float>(height) : kUnconstrained;
    const plat::TextSize measured =
        plat::TextRenderer::measure(text, metrics, constraintWidth, constraintHeight);

    // Vertical placement only means something inside a given height; without one the box is the text.
    const unsigned int vertical = (alignMask >> 4) & 0xF;
    float start = 0;
    if (height > 0 && height > measured.height) {
        const float room = static_cast<float>(height) - measured.height;
        if (vertical == 1)
            start = 0;
        else if (vertical == 3)
            start = std::trunc(room * 0.5f);
        else
            start = std::trunc(room);
    }

    float boxWidth = width > 0 && width > measured.width ? static_cast<float>(width) : measured.width;
    float boxHeight = height > 0 && height > measured.height ? static_cast<float>(height) : measured.height;

    float marginX = 0, marginY = 0;
    if (strokeEnabled) marginX = marginY = std::ceil(strokeSize);
    if (shadowEnabled) {
        marginX = std::max(marginX, std::fabs(std::trunc(shadowOffsetX)));
        marginY = std::max(marginY, std::fabs(std::trunc(shadowOffsetY)));
    }
    boxWidth += marginX;
    boxHeight += marginY;

    if (!(boxWidth >= 1) || !(boxHeight >= 1)) return false;
    if (boxWidth > kMaxSide || boxHeight > kMaxSide ||
        uint64_t(boxWidth) * uint64_t(boxHeight) > kMaxTextPixels) {
        plat::logError("Text bitmap of %.0f x %.0f pixels is too large", boxWidth, boxHeight);
        return false;
    }
    const auto pixelsWide = static_cast<unsigned int>(boxWidth);
    const auto pixelsHigh = static_cast<unsigned int>(boxHeight);
    auto* pixels = static_cast<unsigned char*>(std::calloc(size_t(pixelsWide) * pixelsHigh, 4));
    if (!pixels) return false;

    const unsigned int horizontal = alignMask & 0xF;
    const plat::TextAlignment alignment = horizontal == 2   ? plat::TextAlignment::Right
                                          : horizontal == 3 ? plat::TextAlignment::Center
                                                            : plat::TextAlignment::Left;

    plat::TextStyle style;
    style.red = textRed;
    style.green = textGreen;
    style.blue = textBlue;
    if (strokeEnabled) {
        style.stroke = true;
        style.strokeRed = strokeRed;
        style.strokeGreen = strokeGreen;
        style.strokeBlue = strokeBlue;
        style.strokeSize = strokeSize;
    }
    if (shadowEnabled) {
        style.shadow = true;
        style.shadowOffsetX = shadowOffsetX;
        style.shadowOffsetY = shadowOffsetY;
        style.shadowBlur = shadowBlur;
    }

    // The margin sits on the side the shadow does not fall on: text moves right for a shadow to the left,
    // and down for a shadow upwards. Rows count from the top, below the top margin.
    plat::TextRect rect;
    rect.x = shadowOffsetX < 0 ? marginX : 0;
    rect.y = marginY + (shadowOffsetY > 0 ? start : start - marginY);
    rect.width = boxWidth - marginX;
    rect.height = boxHeight - marginY;
    if (!plat::TextRenderer::draw(pixels, static_cast<int>(pixelsWide), static_cast<int>(pixelsHigh), text,
                                  *font, rect, alignment, style)) {
        std::free(pixels);
        return false;
    }
    adopt(pixels, pixelsWide, pixelsHigh, 8, true, true);
    return true;
}

bool KTImage::saveToFile(const char* path, bool isToRGB) {
    if (!path || !*path || !m_pData || m_nWidth == 0 || m_nHeight == 0) return false;
    const bool png = std::strstr(path, ".png") != nullptr;
    const bool keepAlpha = png && m_bHasAlpha && !isToRGB;
    const size_t pixelCount = size_t(m_nWidth) * m_nHeight;

    std::vector<uint8_t> rgb;
    if (!keepAlpha) {
        rgb.resize(pixelCount * 3);
        for (size_t i = 0; i < pixelCount; ++i) std::memcpy(&rgb[i * 3], m_pData + i * 4, 3);
    }

    std::optional<std::vector<uint8_t>> encoded;
    if (png && keepAlpha) {
        // A 32-bit picture is taken as premultiplied, as the engine's bitmaps and frame read-backs are.
        encoded = plat::ImageCodec::encodePng(m_pData, m_nWidth, m_nHeight, 4, true);
    } else if (png) {
        encoded = plat::ImageCodec::encodePng(rgb.data(), m_nWidth, m_nHeight, 3);
    } else {
        encoded = plat::ImageCodec::encodeJpeg(rgb.data(), m_nWidth, m_nHeight, 3, 100);
    }
    if (!encoded) return false;
    return plat::writeFileAtomically(path, *encoded);
}

}  // namespace kite
