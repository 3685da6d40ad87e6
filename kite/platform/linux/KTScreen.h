#pragma once
// The main screen the binding runs on: its size in points, its pixels per point, and what frames are
// drawn into (a headless pbuffer unless a window was set). The drivers set it up before the app starts.
#include <memory>

#include "kite/base/KTGeometry.h"

namespace plat {
class X11Window;
}

namespace kite {

class KTGLLayer;

class KTScreen {
  public:
    static KTScreen& mainScreen();

    // The phone's screen: 320 x 568 points at 2 pixels per point.
    static constexpr float kDefaultWidth = 320, kDefaultHeight = 568, kDefaultScale = 2;

    KTRect bounds() const { return KTRect(0, 0, width_, height_); }
    float scale() const { return scale_; }
    plat::X11Window* window() const { return window_; }

    void setHeadless(float width = kDefaultWidth, float height = kDefaultHeight, float scale = kDefaultScale);
    // Frames go to `window` (which must outlive every view made while it is set).
    void setWindow(plat::X11Window* window, float width = kDefaultWidth, float height = kDefaultHeight,
                   float scale = kDefaultScale);

    // A new drawable of the current kind for a GL surface view.
    std::shared_ptr<KTGLLayer> makeLayer() const;

  private:
    float width_ = kDefaultWidth;
    float height_ = kDefaultHeight;
    float scale_ = kDefaultScale;
    plat::X11Window* window_ = nullptr;
};

}  // namespace kite
