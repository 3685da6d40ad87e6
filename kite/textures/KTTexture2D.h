#pragma once
// One OpenGL ES 2D texture: uploads pixels in one of the uncompressed formats, converts decoded images on the
// way, takes over textures built by the PVR and ETC readers, and renders text through the image class.
#include <GLES2/gl2.h>

#include <string>

#include "kite/base/KTGeometry.h"
#include "kite/base/KTObject.h"
#include "kite/base/KTTypes.h"

namespace kite {

class KTGLProgram;
class KTImage;

enum KTTexture2DPixelFormat : int {
    kKTTexture2DPixelFormat_RGBA8888 = 0,
    kKTTexture2DPixelFormat_RGB888 = 1,
    kKTTexture2DPixelFormat_RGB565 = 2,
    kKTTexture2DPixelFormat_A8 = 3,
    kKTTexture2DPixelFormat_I8 = 4,
    kKTTexture2DPixelFormat_AI88 = 5,
    kKTTexture2DPixelFormat_RGBA4444 = 6,
    kKTTexture2DPixelFormat_RGB5A1 = 7,
    kKTTexture2DPixelFormat_PVRTC4 = 8,
    kKTTexture2DPixelFormat_PVRTC2 = 9,
    kKTTexture2DPixelFormat_Default = kKTTexture2DPixelFormat_RGBA8888,
};

enum KTTextAlignment : int {
    kKTTextAlignmentLeft = 0,
    kKTTextAlignmentCenter = 1,
    kKTTextAlignmentRight = 2,
};

enum KTVerticalTextAlignment : int {
    kKTVerticalTextAlignmentTop = 0,
    kKTVerticalTextAlignmentCenter = 1,
    kKTVerticalTextAlignmentBottom = 2,
};

struct _ccFontShadow {
    bool m_shadowEnabled = false;
    KTSize m_shadowOffset;
    float m_shadowBlur = 0;
    float m_shadowOpacity = 0;
};

struct _ccFontStroke {
    bool m_strokeEnabled = false;
    _ccColor3B m_strokeColor;
    float m_strokeSize = 0;
};

// What a text label hands to the texture: the font size is already in pixels.
struct _ccFontDefinition {
    std::string m_fontName;
    int m_fontSize = 0;
    KTTextAlignment m_alignment = kKTTextAlignmentCenter;
    KTVerticalTextAlignment m_vertAlignment = kKTVerticalTextAlignmentTop;
    KTSize m_dimensions;
    _ccColor3B m_fontFillColor = ccWHITE;
    _ccFontShadow m_shadow;
    _ccFontStroke m_stroke;
};
using ccFontDefinition = _ccFontDefinition;

class KTTexture2D : public KTObject {
  public:
    KTTexture2D();
    ~KTTexture2D() override;

    virtual KTTexture2DPixelFormat getPixelFormat() { return m_ePixelFormat; }
    virtual unsigned int getPixelsWide() { return m_uPixelsWide; }
    virtual unsigned int getPixelsHigh() { return m_uPixelsHigh; }
    virtual GLuint getName() { return m_uName; }
    virtual GLfloat getMaxS() { return m_fMaxS; }
    virtual void setMaxS(GLfloat maxS) { m_fMaxS = maxS; }
    virtual GLfloat getMaxT() { return m_fMaxT; }
    virtual void setMaxT(GLfloat maxT) { m_fMaxT = maxT; }
    // In points: the pixel content size divided by the director's content scale factor.
    virtual KTSize getContentSize();
    virtual KTGLProgram* getShaderProgram() { return m_pShaderProgram; }
    virtual void setShaderProgram(KTGLProgram* program);

    const KTSize& getContentSizeInPixels() const { return m_tContentSize; }
    bool hasPremultipliedAlpha() const { return m_bHasPremultipliedAlpha; }
    bool hasMipmaps() const { return m_bHasMipmaps; }

    // Uploads pixelsWide x pixelsHigh pixels of the format (data may be null for an empty texture). The
    // compressed formats upload nothing here.
    bool initWithData(const void* data, KTTexture2DPixelFormat pixelFormat, unsigned int pixelsWide,
                      unsigned int pixelsHigh, const KTSize& contentSize);
    // False for a null image or one larger than the GPU's maximum texture size.
    bool initWithImage(KTImage* image);
    bool initWithString(const char* text, const _ccFontDefinition* textDefinition);
    bool initWithPVRFile(const char* file);
    bool initWithETCFile(const char* file);

    // Nearest filtering (mipmapped when the texture has levels), for pixel-exact drawing.
    void setAliasTexParameters();

    static void setDefaultAlphaPixelFormat(KTTexture2DPixelFormat format);
    static KTTexture2DPixelFormat defaultAlphaPixelFormat();
    static void PVRImagesHavePremultipliedAlpha(bool haveAlphaPremultiplied);
    static bool PVRImagesHavePremultipliedAlpha();

    // Bits per pixel of a format as the format table lists them (RGB888 counts 32 here); 0 for unknown
    // values.
    static unsigned int bitsPerPixelForFormat(KTTexture2DPixelFormat format);

  private:
    bool initPremultipliedATextureWithImage(KTImage* image, unsigned int width, unsigned int height);

    KTTexture2DPixelFormat m_ePixelFormat = kKTTexture2DPixelFormat_RGBA8888;
    unsigned int m_uPixelsWide = 0;
    unsigned int m_uPixelsHigh = 0;
    GLuint m_uName = 0;
    GLfloat m_fMaxS = 0;
    GLfloat m_fMaxT = 0;
    KTSize m_tContentSize;
    bool m_bHasPremultipliedAlpha = false;
    bool m_bHasMipmaps = false;
    KTGLProgram* m_pShaderProgram = nullptr;
};

}  // namespace kite
