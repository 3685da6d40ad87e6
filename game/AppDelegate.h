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
    // On the virtual clock, settles once per process how far the stored dates run ahead of it (behind it,
    // when negative): as far as `stored`, the date the progress was last stored with, lies from the clock's
    // now, so the dates go on from `stored` whether it lies before the virtual clock's start or after. The
    // dates at the clock's now are held between 1970 and the real date: one past the real date (a home
    // edited) would stay ahead of every later game's clock, which would then never count time away.
    static void settleStoredDates(int64_t stored);
    // Takes on how far the stored dates run ahead as a relaunched program's earlier self settled it, at the
    // virtual clock's start (VirtualClock::kDefaultStartMicros), held to the same bounds.
    static void carryStoredDates(int64_t ahead);
    // The date a first start records: on the virtual clock the real one, which later stores go on from.
    static int64_t firstStartSeconds();
};
