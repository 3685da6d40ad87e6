#pragma once
// The process-wide GL view over the GL surface view (EAGLView): frame size from the surface, buffer
// swaps and the keyboard switch go to the shared EAGLView.
#include "kite/platform/KTEGLViewProtocol.h"

namespace kite {

class KTEGLView : public KTEGLViewProtocol {
  public:
    // The shared EAGLView must exist before the first call.
    static KTEGLView* sharedOpenGLView();
    // Forgets the shared view (sizes, policy, touches, delegate); the next sharedOpenGLView() makes a new
    // one.
    static void purgeSharedOpenGLView();

    void end() override;
    bool isOpenGLReady() override;
    void swapBuffers() override;
    void setIMEKeyboardState(bool open) override;
    // Only before any design resolution was set: both scales become `scale`, the surface lays out again.
    virtual bool setContentScaleFactor(float scale);

  private:
    KTEGLView();
    ~KTEGLView() override;
};

}  // namespace kite
