#pragma once
// An off-screen drawing target: a framebuffer object whose colour attachment is a texture, with an optional
// depth-stencil buffer. Whatever is drawn between begin and end lands in the texture, which can be read
// back into an image and saved. As a node it shows the texture through an inner, vertically flipped sprite.
#include <GLES2/gl2.h>

#include "kite/base/KTTypes.h"
#include "kite/image/KTImage.h"
#include "kite/nodes/KTNode.h"
#include "kite/textures/KTTexture2D.h"

namespace kite {

class KTSprite;

class KTRenderTexture : public KTNode {
  public:
    KTRenderTexture();
    ~KTRenderTexture() override;

    // width and height in points; RGBA8888 without depth or stencil.
    static KTRenderTexture* create(int width, int height);
    // depthStencilFormat: 0 for none, or a render-buffer format such as GL_DEPTH24_STENCIL8_OES. False when
    // the pixels cannot be allocated or the framebuffer is not complete (its status is logged).
    bool initWithWidthAndHeight(int width, int height, KTTexture2DPixelFormat format,
                                GLuint depthStencilFormat);

    void draw() override;
    // Shows the inner sprite only; the other children are drawn into the texture by automatic drawing.
    void visit() override;

    virtual KTSprite* getSprite();
    virtual void setSprite(KTSprite* sprite);

    // Everything drawn until end goes into the texture. Must be paired with end on the same frame.
    void begin();
    // Restores the framebuffer, viewport and matrices that begin found.
    void end();

    // The texture's pixels (its requested size) as a new image the caller releases; rows top to bottom when
    // flipped, else as GL holds them (bottom row first). Null when there is nothing to read.
    KTImage* newCCImage(bool flipImage = true);
    // Into the writable directory: a PNG when the name contains ".png", else a JPEG, without alpha either
    // way. True only when the file was written.
    bool saveToFile(const char* fileName, KTImageFormat format = kKTImageFormat_JPG);

    KTTexture2D* getTexture() const { return m_pTexture; }
    GLuint getFramebuffer() const { return m_uFBO; }
    KTTexture2DPixelFormat getPixelFormat() const { return m_ePixelFormat; }

    // Automatic drawing: draw clears with these values and draws the other children into the texture.
    bool isAutoDraw() const { return m_bAutoDraw; }
    void setAutoDraw(bool autoDraw) { m_bAutoDraw = autoDraw; }
    unsigned int getClearFlags() const { return m_uClearFlags; }
    void setClearFlags(unsigned int clearFlags) { m_uClearFlags = clearFlags; }
    const _ccColor4F& getClearColor() const { return m_sClearColor; }
    void setClearColor(const _ccColor4F& clearColor) { m_sClearColor = clearColor; }
    void setClearDepth(float clearDepth) { m_fClearDepth = clearDepth; }
    void setClearStencil(int clearStencil) { m_nClearStencil = clearStencil; }

  protected:
    KTSprite* m_pSprite = nullptr;
    GLuint m_uFBO = 0;
    GLuint m_uDepthRenderBufffer = 0;
    GLint m_nOldFBO = 0;
    // Kept as well as the sprite's reference, so a replaced sprite cannot leave it dangling.
    KTTexture2D* m_pTexture = nullptr;
    KTTexture2D* m_pTextureCopy = nullptr;
    KTTexture2DPixelFormat m_ePixelFormat = kKTTexture2DPixelFormat_RGBA8888;
    unsigned int m_uClearFlags = 0;
    _ccColor4F m_sClearColor{0, 0, 0, 0};
    float m_fClearDepth = 0.0f;
    int m_nClearStencil = 0;
    bool m_bAutoDraw = false;
    GLint m_aOldViewport[4] = {0, 0, 0, 0};
};

}  // namespace kite
