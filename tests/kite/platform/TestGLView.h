#pragma once
// A GL view over the test program's shared headless context: counts swaps and ends.
#include "kite/platform/KTEGLViewProtocol.h"
#include "platform/media/GLContext.h"

namespace testsupport {

class TestGLView : public kite::KTEGLViewProtocol {
  public:
    TestGLView(plat::GLContext* context, float width, float height) : context_(context) {
        setFrameSize(width, height);
    }
    void end() override { ++ends; }
    bool isOpenGLReady() override { return context_ != nullptr; }
    void swapBuffers() override {
        ++swaps;
        if (context_) context_->present();
    }
    void setIMEKeyboardState(bool open) override { keyboardOpen = open; }

    int swaps = 0;
    int ends = 0;
    bool keyboardOpen = false;

  private:
    plat::GLContext* context_;
};

}  // namespace testsupport
