#pragma once
// Drives the director: a display link on the main run loop calls the director's main loop once every
// `interval` refreshes of the screen.
#include <memory>

#include "kite/platform/linux/KTDisplayLink.h"

namespace kite {

class KTDirectorCaller {
  public:
    static std::shared_ptr<KTDirectorCaller> sharedDirectorCaller();
    // Drops the shared instance (its display link stops); the next sharedDirectorCaller makes a new one.
    static void destroy();

    KTDirectorCaller() = default;
    ~KTDirectorCaller();
    KTDirectorCaller(const KTDirectorCaller&) = delete;
    KTDirectorCaller& operator=(const KTDirectorCaller&) = delete;

    // Replaces the display link by a new one with the current interval.
    void startMainLoop();
    // interval = seconds x 60, truncated; the display link is always restarted.
    void setAnimationInterval(double seconds);
    // One frame of the director.
    void doCaller(const void* sender);

    int interval() const { return interval_; }
    void setInterval(int interval) { interval_ = interval; }
    KTDisplayLink* displayLink() const { return displayLink_.get(); }

  private:
    void scheduleNewLink();

    std::shared_ptr<KTDisplayLink> displayLink_;
    int interval_ = 1;
};

}  // namespace kite
