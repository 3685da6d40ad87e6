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
    // The current time in whole seconds, as the stored times keep it: the clock's, moved on by as far as
    // the stored dates run ahead of it (GameGlobals::storedDatesAhead). On the real clock they never do.
    // The virtual clock of a headless run starts on a fixed day long past: a home last stored on the real
    // clock holds a later date, and a first start records the real one, so the dates such a run stores go
    // on from there by the virtual clock's own seconds, and the next game on the real clock counts the
    // real time away, not the time since the virtual clock's start.
    static int64_t nowSeconds();
    // On the virtual clock, settles once per process how far the stored dates run ahead of it: as far as
    // `stored`, the date the progress was last stored with, lies after the clock's now, or not at all.
    static void settleStoredDates(int64_t stored);
    // The date a first start records: on the virtual clock the real one, which later stores go on from.
    static int64_t firstStartSeconds();
};
