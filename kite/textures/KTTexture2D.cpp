#include "kite/textures/KTTexture2D.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kite/base/KTMacros.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/image/KTImage.h"
#include "kite/textures/KTTextureETC.h"
#include "kite/textures/KTTexturePVR.h"
#include "platform/base/Log.h"

namespace kite {
namespace {

KTTexture2DPixelFormat s_defaultAlphaPixelFormat = kKTTexture2DPixelFormat_Default;
bool s_PVRHaveAlphaPremultiplied = false;

struct FormatInfo {
    GLenum internalFormat;
    GLenum format;
    GLenum type;
};

// GL upload parameters of the uncompressed formats 0-7.
constexpr FormatInfo kFormats[] = {
    {GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE},
    {GL_RGB, GL_RGB, GL_UNSIGNED_BYTE},
    {GL_RGB, GL_RGB, GL_UNSIGNED_SHORT_5_6_5},
    {GL_ALPHA, GL_ALPHA, GL_UNSIGNED_BYTE},
    {GL_LUMINANCE, GL_LUMINANCE, GL_UNSIGNED_BYTE},
    {GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE},
    {GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4},
    {GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1},
};

bool isUncompressed(KTTexture2DPixelFormat format) {
    return format >= kKTTexture2DPixelFormat_RGBA8888 && format <= kKTTexture2DPixelFormat_RGB5A1;
}

GLint unpackAlignmentForRow(unsigned int bytesPerRow) {
    if (bytesPerRow % 8 == 0) return 8;
    if (bytesPerRow % 4 == 0) return 4;
    if (bytesPerRow % 2 == 0) return 2;
    return 1;
}

}  // namespace

KTTexture2D::KTTexture2D() = default;

KTTexture2D::~KTTexture2D() {
    KT_SAFE_RELEASE(m_pShaderProgram);
    if (m_uName) ktGLDeleteTexture(m_uName);
}

unsigned int KTTexture2D::bitsPerPixelForFormat(KTTexture2DPixelFormat format) {
    switch (format) {
        case kKTTexture2DPixelFormat_RGBA8888:
        case kKTTexture2DPixelFormat_RGB888:
            return 32;
        case kKTTexture2DPixelFormat_RGB565:
        case kKTTexture2DPixelFormat_AI88:
        case kKTTexture2DPixelFormat_RGBA4444:
        case kKTTexture2DPixelFormat_RGB5A1:
            return 16;
        case kKTTexture2DPixelFormat_A8:
        case kKTTexture2DPixelFormat_I8:
            return 8;
        case kKTTexture2DPixelFormat_PVRTC4:
            return 4;
        case kKTTexture2DPixelFormat_PVRTC2:
            return 2;
    }
    return 0;
}

KTSize KTTexture2D::getContentSize() {
    const float scale = KTDirector::sharedDirector()->getContentScaleFactor();
    return KTSize(m_tContentSize.width / scale, m_tContentSize.height / scale);
}

void KTTexture2D::setShaderProgram(KTGLProgram* program) {
    KT_SAFE_RETAIN(program);
    KT_SAFE_RELEASE(m_pShaderProgram);
    m_pShaderProgram = program;
}

bool KTTexture2D::initWithData(const void* data, KTTexture2DPixelFormat pixelFormat, unsigned int pixelsWide,
                               unsigned int pixelsHigh, const KTSize& contentSize) {
    // RGB888 rows are packed at 3 bytes per pixel, whatever the table says for memory use.
    const unsigned int bitsPerPixel =
        pixelFormat == kKTTexture2DPixelFormat_RGB888 ? 24 : bitsPerPixelForFormat(pixelFormat);
    const uint64_t bytesPerRow = static_cast<uint64_t>(pixelsWide) * bitsPerPixel / 8;
    glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignmentForRow(static_cast<unsigned int>(bytesPerRow)));

    // A second init replaces the texture instead of leaking the first one.
    if (m_uName) ktGLDeleteTexture(m_uName);
    glGenTextures(1, &m_uName);
    ktGLBindTexture2D(m_uName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    if (isUncompressed(pixelFormat)) {
        const FormatInfo& info = kFormats[pixelFormat];
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(info.internalFormat),
                     static_cast<GLsizei>(pixelsWide), static_cast<GLsizei>(pixelsHigh), 0, info.format,
                     info.type, data);
    }

    m_tContentSize = contentSize;
    m_uPixelsWide = pixelsWide;
    m_uPixelsHigh = pixelsHigh;
    m_ePixelFormat = pixelFormat;
    m_fMaxS = pixelsWide ? contentSize.width / static_cast<float>(pixelsWide) : 0.0f;
    m_fMaxT = pixelsHigh ? contentSize.height / static_cast<float>(pixelsHigh) : 0.0f;
    m_bHasPremultipliedAlpha = false;
    m_bHasMipmaps = false;

    setShaderProgram(KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionTexture));
    return true;
}

bool KTTexture2D::initWithImage(KTImage* image) {
    if (!image) return false;
    const unsigned int width = image->getWidth();
    const unsigned int height = image->getHeight();
    const auto maxTextureSize =
        static_cast<unsigned int>(KTConfiguration::sharedConfiguration()->getMaxTextureSize());
    if (width > maxTextureSize || height > maxTextureSize) return false;
    return initPremultipliedATextureWithImage(image, width, height);
}

bool KTTexture2D::initPremultipliedATextureWithImage(KTImage* image, unsigned int width,
                                                     unsigned int height) {
    const unsigned char* source = image->getData();
    const bool hasAlpha = image->hasAlpha();
    KTTexture2DPixelFormat format;
    if (hasAlpha)
        format = s_defaultAlphaPixelFormat;
    else
        format = image->getBitsPerComponent() >= 8 ? kKTTexture2DPixelFormat_RGB888
                                                   : kKTTexture2DPixelFormat_RGB565;

    // The image always holds 4 bytes per pixel (R first), with or without an alpha channel, so every
    // conversion reads RGBA; an image without alpha just ignores the fourth byte.
    const size_t pixels = static_cast<size_t>(width) * height;
    std::vector<uint8_t> converted;
    const void* upload = source;
    if (source) {
        switch (format) {
            case kKTTexture2DPixelFormat_RGB565: {
                converted.resize(pixels * 2);
                auto* out = reinterpret_cast<uint16_t*>(converted.data());
                for (size_t i = 0; i < pixels; ++i) {
                    const uint8_t* p = source + i * 4;
                    out[i] = static_cast<uint16_t>(((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3));
                }
                break;
            }
            case kKTTexture2DPixelFormat_RGBA4444: {
                converted.resize(pixels * 2);
                auto* out = reinterpret_cast<uint16_t*>(converted.data());
                for (size_t i = 0; i < pixels; ++i) {
                    const uint8_t* p = source + i * 4;
                    out[i] = static_cast<uint16_t>(((p[0] >> 4) << 12) | ((p[1] >> 4) << 8) |
                                                   ((p[2] >> 4) << 4) | (p[3] >> 4));
                }
                break;
            }
            case kKTTexture2DPixelFormat_RGB5A1: {
                converted.resize(pixels * 2);
                auto* out = reinterpret_cast<uint16_t*>(converted.data());
                for (size_t i = 0; i < pixels; ++i) {
                    const uint8_t* p = source + i * 4;
                    out[i] = static_cast<uint16_t>(((p[0] >> 3) << 11) | ((p[1] >> 3) << 6) |
                                                   ((p[2] >> 3) << 1) | (p[3] >> 7));
                }
                break;
            }
            case kKTTexture2DPixelFormat_A8: {
                converted.resize(pixels);
                for (size_t i = 0; i < pixels; ++i) converted[i] = source[i * 4 + 3];
                break;
            }
            case kKTTexture2DPixelFormat_RGB888: {
                converted.resize(pixels * 3);
                for (size_t i = 0; i < pixels; ++i) {
                    converted[i * 3] = source[i * 4];
                    converted[i * 3 + 1] = source[i * 4 + 1];
                    converted[i * 3 + 2] = source[i * 4 + 2];
                }
                break;
            }
            default:
                break;
        }
        if (!converted.empty()) upload = converted.data();
    }

    initWithData(upload, format, width, height,
                 KTSize(static_cast<float>(width), static_cast<float>(height)));
    m_bHasPremultipliedAlpha = image->isPremultipliedAlpha();
    return true;
}

bool KTTexture2D::initWithString(const char* text, const _ccFontDefinition* textDefinition) {
    if (!text || !textDefinition) return false;

    // High nibble vertical (1 top, 3 centre, 2 bottom), low nibble horizontal (1 left, 3 centre, 2 right).
    unsigned int vertical;
    switch (textDefinition->m_vertAlignment) {
        case kKTVerticalTextAlignmentTop:
            vertical = 0x10;
            break;
        case kKTVerticalTextAlignmentCenter:
            vertical = 0x30;
            break;
        case kKTVerticalTextAlignmentBottom:
            vertical = 0x20;
            break;
        default:
            return false;
    }
    unsigned int horizontal = 0x1;
    if (textDefinition->m_alignment == kKTTextAlignmentCenter)
        horizontal = 0x3;
    else if (textDefinition->m_alignment == kKTTextAlignmentRight)
        horizontal = 0x2;
    const unsigned int alignment = vertical | horizontal;

    const _ccColor3B& fill = textDefinition->m_fontFillColor;
    const float textRed = fill.r / 255.0f;
    const float textGreen = fill.g / 255.0f;
    const float textBlue = fill.b / 255.0f;

    const bool shadowEnabled = textDefinition->m_shadow.m_shadowEnabled;
    float shadowDX = 0, shadowDY = 0, shadowBlur = 0, shadowOpacity = 0;
    if (shadowEnabled) {
        shadowDX = textDefinition->m_shadow.m_shadowOffset.width;
        shadowDY = textDefinition->m_shadow.m_shadowOffset.height;
        shadowBlur = textDefinition->m_shadow.m_shadowBlur;
        shadowOpacity = textDefinition->m_shadow.m_shadowOpacity;
    }
    const bool strokeEnabled = textDefinition->m_stroke.m_strokeEnabled;
    float strokeRed = 0, strokeGreen = 0, strokeBlue = 0, strokeSize = 0;
    if (strokeEnabled) {
        strokeRed = textDefinition->m_stroke.m_strokeColor.r / 255.0f;
        strokeGreen = textDefinition->m_stroke.m_strokeColor.g / 255.0f;
        strokeBlue = textDefinition->m_stroke.m_strokeColor.b / 255.0f;
        strokeSize = textDefinition->m_stroke.m_strokeSize;
    }

    auto* image = new KTImage();
    bool ok = image->initWithString(
        text, static_cast<int>(textDefinition->m_dimensions.width),
        static_cast<int>(textDefinition->m_dimensions.height), alignment, textDefinition->m_fontName.c_str(),
        textDefinition->m_fontSize, textRed, textGreen, textBlue, shadowEnabled, shadowDX, shadowDY,
        shadowOpacity, shadowBlur, strokeEnabled, strokeRed, strokeGreen, strokeBlue, strokeSize);
    if (ok) ok = initWithImage(image);
    image->release();
    return ok;
}

bool KTTexture2D::initWithPVRFile(const char* file) {
    auto* pvr = new KTTexturePVR();
    // A reader that fails has already released itself.
    if (!pvr->initWithContentsOfFile(file)) return false;

    // The GL texture now belongs to this object, not to the reader.
    pvr->setRetainName(true);
    if (m_uName && m_uName != pvr->getName()) ktGLDeleteTexture(m_uName);
    m_uName = pvr->getName();
    m_fMaxS = 1.0f;
    m_fMaxT = 1.0f;
    m_uPixelsWide = pvr->getWidth();
    m_uPixelsHigh = pvr->getHeight();
    m_tContentSize = KTSize(static_cast<float>(m_uPixelsWide), static_cast<float>(m_uPixelsHigh));
    m_bHasPremultipliedAlpha = s_PVRHaveAlphaPremultiplied;
    m_ePixelFormat = pvr->getFormat();
    m_bHasMipmaps = pvr->getNumberOfMipmaps() > 1;
    pvr->release();
    return true;
}

bool KTTexture2D::initWithETCFile(const char* file) {
    auto* etc = new KTTextureETC();
    const bool ok = etc->initWithFile(file);
    if (ok) {
        if (m_uName && m_uName != etc->getName()) ktGLDeleteTexture(m_uName);
        m_uName = etc->getName();
        m_uPixelsWide = etc->getWidth();
        m_uPixelsHigh = etc->getHeight();
        m_tContentSize = KTSize(static_cast<float>(m_uPixelsWide), static_cast<float>(m_uPixelsHigh));
        m_fMaxS = 1.0f;
        m_fMaxT = 1.0f;
        m_bHasPremultipliedAlpha = true;
    }
    etc->release();
    return ok;
}

void KTTexture2D::setAliasTexParameters() {
    ktGLBindTexture2D(m_uName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    m_bHasMipmaps ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

void KTTexture2D::setDefaultAlphaPixelFormat(KTTexture2DPixelFormat format) {
    s_defaultAlphaPixelFormat = format;
}

KTTexture2DPixelFormat KTTexture2D::defaultAlphaPixelFormat() {
    return s_defaultAlphaPixelFormat;
}

void KTTexture2D::PVRImagesHavePremultipliedAlpha(bool haveAlphaPremultiplied) {
    s_PVRHaveAlphaPremultiplied = haveAlphaPremultiplied;
}

bool KTTexture2D::PVRImagesHavePremultipliedAlpha() {
    return s_PVRHaveAlphaPremultiplied;
}

}  // namespace kite
