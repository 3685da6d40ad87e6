#pragma once
// Reader of PVR texture files (version 2 and 3 headers, optionally wrapped in KTZ or gzip): splits the file
// into mipmap levels and uploads them into one GL texture. Also the two unwrapping functions.
#include <GLES2/gl2.h>

#include <cstdint>

#include "kite/base/KTObject.h"
#include "kite/textures/KTTexture2D.h"

namespace kite {

// The most levels one reader keeps; a 32768-pixel texture has 16.
inline constexpr unsigned int kKTPVRMipmapMax = 16;

struct ktPVRMipmap {
    const unsigned char* address = nullptr;
    unsigned int len = 0;
};

struct ktPVRTexturePixelFormatInfo {
    GLenum internalFormat;
    GLenum format;
    GLenum type;
    uint32_t bpp;
    bool compressed;
    bool alpha;
    KTTexture2DPixelFormat ccPixelFormat;
};

class KTTexturePVR : public KTObject {
  public:
    KTTexturePVR();
    ~KTTexturePVR() override;

    // Autoreleased reader with its GL texture, or null.
    static KTTexturePVR* create(const char* path);
    // On failure the reader has released itself: the caller must not touch or release it again.
    bool initWithContentsOfFile(const char* path);

    // Splits a whole file's bytes into levels, without GL. The levels point into `data`, which must outlive
    // any later createGLTexture. Version 2 is tried first, then version 3.
    bool unpackPVRData(const unsigned char* data, unsigned long len);
    bool unpackPVRv2Data(const unsigned char* data, unsigned long len);
    bool unpackPVRv3Data(const unsigned char* data, unsigned long len);
    // Uploads the unpacked levels; true without creating anything when there are none.
    bool createGLTexture();

    GLuint getName() const { return m_uName; }
    unsigned int getWidth() const { return m_uWidth; }
    unsigned int getHeight() const { return m_uHeight; }
    unsigned int getNumberOfMipmaps() const { return m_uNumberOfMipmaps; }
    const ktPVRMipmap& getMipmap(unsigned int level) const { return m_asMipmaps[level]; }
    bool hasAlpha() const { return m_bHasAlpha; }
    bool hasPremultipliedAlpha() const { return m_bHasPremultipliedAlpha; }
    bool isForcePremultipliedAlpha() const { return m_bForcePremultipliedAlpha; }
    // When set, the GL texture outlives the reader (a KTTexture2D has taken it over).
    bool isRetainName() const { return m_bRetainName; }
    void setRetainName(bool retainName) { m_bRetainName = retainName; }
    KTTexture2DPixelFormat getFormat() const { return m_eFormat; }
    const ktPVRTexturePixelFormatInfo* getFormatInfo() const { return m_pPixelFormatInfo; }

  private:
    void reset();
    bool addLevel(const unsigned char* address, unsigned int len);
    // GL reads width x height pixels of an uncompressed level whatever length we pass.
    bool levelsHoldTheirPixels() const;

    ktPVRMipmap m_asMipmaps[kKTPVRMipmapMax];
    unsigned int m_uNumberOfMipmaps = 0;
    unsigned int m_uWidth = 0;
    unsigned int m_uHeight = 0;
    GLuint m_uName = 0;
    bool m_bHasAlpha = false;
    bool m_bHasPremultipliedAlpha = false;
    bool m_bForcePremultipliedAlpha = false;
    bool m_bRetainName = false;
    KTTexture2DPixelFormat m_eFormat = kKTTexture2DPixelFormat_Default;
    const ktPVRTexturePixelFormatInfo* m_pPixelFormatInfo = nullptr;
};

// Inflate a KTZ-wrapped file (16-byte header, then a zlib stream) into a new buffer. Returns the inflated
// length and sets *out (free it with free()), or -1 with *out null.
int inflateCCZFile(const char* path, unsigned char** out);
// Read a gzip file whole into a new buffer; same contract as inflateCCZFile.
int inflateGZipFile(const char* path, unsigned char** out);

}  // namespace kite
