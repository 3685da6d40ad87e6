#pragma once
// The engine's in-memory bitmap: decoded image files, raw pixels and rendered text as 8-bit RGBA, and the
// writer of PNG and JPEG files. Textures are made from it. Main thread only.
#include <cstdint>

#include "kite/base/KTObject.h"

namespace kite {

// The caller's guess from a file name. Only WebP and raw data change the decoding path; every other value
// lets the decoder read the format from the data.
enum KTImageFormat {
    kKTImageFormat_JPG = 0,
    kKTImageFormat_PNG = 1,
    kKTImageFormat_TIFF = 2,
    kKTImageFormat_WEBP = 3,
    kKTImageFormat_RawData = 4,
    kKTImageFormat_Unknown = 5,
};

class KTImage : public KTObject {
  public:
    KTImage();
    ~KTImage() override;

    virtual unsigned short getWidth() { return m_nWidth; }
    virtual unsigned short getHeight() { return m_nHeight; }
    virtual int getBitsPerComponent() { return m_nBitsPerComponent; }

    // Every init reports failure with false and then leaves the image as it was.
    bool initWithImageFile(const char* path, KTImageFormat format);
    // width, height and bitsPerComponent are used for raw data only.
    bool initWithImageData(const void* data, long length, KTImageFormat format, int width, int height,
                           int bitsPerComponent);
    // data holds at least width × height × 4 bytes of RGBA.
    bool initWithRawData(const void* data, long length, int width, int height, int bitsPerComponent);
    // alignMask: low nibble horizontal (2 right, 3 centre, else left), high nibble vertical (1 top, 3 centre,
    // else bottom). width and height in pixels, 0 for no limit; colours 0..1. Shadow offsets have y up.
    bool initWithString(const char* text, int width, int height, unsigned int alignMask, const char* fontName,
                        int fontSize, float textRed, float textGreen, float textBlue, bool shadowEnabled,
                        float shadowOffsetX, float shadowOffsetY, float shadowOpacity, float shadowBlur,
                        bool strokeEnabled, float strokeRed, float strokeGreen, float strokeBlue,
                        float strokeSize);
    // PNG when the path contains ".png", else JPEG at full quality. True only when the file was written.
    bool saveToFile(const char* path, bool isToRGB);

    unsigned char* getData() { return m_pData; }
    unsigned long getDataLen() const { return static_cast<unsigned long>(m_nWidth) * m_nHeight * 4; }
    bool hasAlpha() const { return m_bHasAlpha; }
    bool isPremultipliedAlpha() const { return m_bPremultiplied; }

  private:
    void adopt(unsigned char* data, unsigned int width, unsigned int height, int bitsPerComponent,
               bool hasAlpha, bool premultiplied);

    unsigned short m_nWidth = 0;
    unsigned short m_nHeight = 0;
    int m_nBitsPerComponent = 0;
    unsigned char* m_pData = nullptr;
    bool m_bHasAlpha = false;
    bool m_bPremultiplied = false;
};

}  // namespace kite
