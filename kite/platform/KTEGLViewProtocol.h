#pragma once
// The engine's picture of the drawable surface: its size in pixels, the design resolution the game lays
// its scenes out in, and the policy that maps one onto the other. From these come the two scale factors
// and the viewport that every conversion between design points and pixels uses. The platform view
// (KTEGLView) supplies the surface, the buffer swap and the keyboard switch.
#include <cstdint>

#include "kite/base/KTGeometry.h"

namespace kite {

class EGLTouchDelegate;

enum ResolutionPolicy {
    // The whole design area fills the surface; it may be stretched.
    kResolutionExactFit = 0,
    // The design area fills the surface without distortion; two sides may be cut off.
    kResolutionNoBorder = 1,
    // The whole design area shows without distortion; two sides may get borders.
    kResolutionShowAll = 2,
    // The design height fills the surface; the design width follows the surface's aspect.
    kResolutionFixedHeight = 3,
    // The design width fills the surface; the design height follows the surface's aspect.
    kResolutionFixedWidth = 4,
    kResolutionUnKnown = 5,
};

class KTEGLViewProtocol {
  public:
    KTEGLViewProtocol();
    virtual ~KTEGLViewProtocol();

    virtual void end() = 0;
    virtual bool isOpenGLReady() = 0;
    virtual void swapBuffers() = 0;
    virtual void setIMEKeyboardState(bool open) = 0;

    virtual const KTSize& getFrameSize() const;
    // Frame size and design size both become the given size.
    virtual void setFrameSize(float width, float height);
    virtual KTSize getVisibleSize() const;
    virtual KTPoint getVisibleOrigin() const;
    // Width or height 0 is ignored. Tells the director its new window size.
    virtual void setDesignResolutionSize(float width, float height, ResolutionPolicy resolutionPolicy);
    virtual const KTSize& getDesignResolutionSize() const;
    virtual void setTouchDelegate(EGLTouchDelegate* delegate);
    // GL viewport and scissor box from design points.
    virtual void setViewPortInPoints(float x, float y, float w, float h);
    virtual void setScissorInPoints(float x, float y, float w, float h);
    virtual bool isScissorEnabled();
    virtual KTRect getScissorRect();
    virtual void setViewName(const char* viewName);
    const char* getViewName() const { return m_szName; }

    // Platform touches: n identities with positions in surface pixels, y downward. Each new touch takes
    // the lowest free of five slots; the sets go to the touch delegate (kite/touch/KTEGLViewTouches.cpp).
    virtual void handleTouchesBegin(int num, const intptr_t ids[], const float xs[], const float ys[]);
    // The touch slots are the device's, shared by every view: forgets every finger still down.
    static void forgetAllTouches();
    virtual void handleTouchesMove(int num, const intptr_t ids[], const float xs[], const float ys[]);
    virtual void handleTouchesEnd(int num, const intptr_t ids[], const float xs[], const float ys[]);
    virtual void handleTouchesCancel(int num, const intptr_t ids[], const float xs[], const float ys[]);

    const KTRect& getViewPortRect() const { return m_obViewPort; }
    float getScaleX() const { return m_fScaleX; }
    float getScaleY() const { return m_fScaleY; }
    ResolutionPolicy getResolutionPolicy() const { return m_eResolutionPolicy; }
    EGLTouchDelegate* getTouchDelegate() const { return m_pTouchDelegate; }

  protected:
    EGLTouchDelegate* m_pTouchDelegate = nullptr;
    KTSize m_obFrameSize;
    KTSize m_obDesignSize;
    KTRect m_obViewPort;
    char m_szName[50] = {};
    float m_fScaleX = 1.0f;
    float m_fScaleY = 1.0f;
    ResolutionPolicy m_eResolutionPolicy = kResolutionUnKnown;
};

}  // namespace kite
