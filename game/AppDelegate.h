#pragma once
// The game's application object: the engine calls it when the app has launched, when it leaves for the
// background and when it comes back. It sets up the director and the design resolution, runs the play
// field, and carries the game's clocks across the time the app is away. Exactly one may exist (the
// program makes it before main runs). Main thread only.
#include "kite/base/KTGeometry.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLViewProtocol.h"

class AppDelegate : private kite::KTApplication {
  public:
    static constexpr float kDesignWidth = 320;
    static constexpr float kDesignHeight = 568;
    static constexpr float kContentScale = 2.0f;
    static constexpr double kAnimationInterval = 1.0 / 60;
    // A frame side of exactly this many pixels (the tall phone screen) shows the whole design.
    static constexpr float kTallScreenPixels = 1136;

    AppDelegate() = default;
    ~AppDelegate() override = default;

    bool applicationDidFinishLaunching() override;
    void applicationDidEnterBackground() override;
    void applicationWillEnterForeground() override;

    // Show-all when either side of the frame (pixels) is exactly 1136, else exact-fit.
    static kite::ResolutionPolicy resolutionPolicyForFrame(const kite::KTSize& frame);
    // The current time in whole seconds, as the stored times keep it.
    static int64_t nowSeconds();
};
