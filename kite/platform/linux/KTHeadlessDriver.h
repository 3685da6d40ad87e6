#pragma once
// Runs an engine program without a display: frames are drawn into a pbuffer-backed framebuffer on the
// virtual clock, which moves exactly one refresh (1/60 s) per frame, so every run is repeatable. A
// script (KTDriverScript) adds touches, captures, background/foreground and time jumps at given frames.
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "kite/platform/linux/KTDriverScript.h"

namespace plat {
class Clock;
class VirtualClock;
}  // namespace plat

namespace kite {

class EAGLView;
class KTApplication;

class KTHeadlessDriver {
  public:
    // Makes the main screen headless; installs a virtual clock unless one is already shared.
    KTHeadlessDriver();
    ~KTHeadlessDriver();
    KTHeadlessDriver(const KTHeadlessDriver&) = delete;
    KTHeadlessDriver& operator=(const KTHeadlessDriver&) = delete;

    void setScript(KTDriverScript script) { script_ = std::move(script); }
    // Relative capture paths and the periodic captures ("frame%06d.png") go here.
    void setCaptureDirectory(std::filesystem::path directory) { captureDir_ = std::move(directory); }
    // A capture after every Nth frame; 0 for none.
    void setCaptureEvery(int64_t frames) { captureEvery_ = frames; }

    // The GL surface view the app shell would make: screen-sized, 16-bit colour, by default 24-bit depth
    // with 8-bit stencil (0: no depth-stencil buffer), no multisampling. The first call makes the view;
    // later ones return it. Null when the view cannot be made.
    std::shared_ptr<EAGLView> createView(GLenum depthFormat = GL_DEPTH24_STENCIL8_OES);
    // createView() when there is no view yet, then the application object's run().
    bool launch(KTApplication& application);

    // Runs up to `count` frames (fewer when the script quits); returns how many ran.
    int64_t runFrames(int64_t count);
    int64_t frame() const { return frame_; }
    bool quitRequested() const { return quit_; }

    // Before each frame the virtual clock waits, in real time, for URL loads and web loads in flight (up
    // to the first frame after a load finished), so runs with network content stay repeatable. After
    // this many seconds it logs what is still pending and goes on. Default 20.
    void setPendingWaitLimit(double seconds) { pendingWaitLimit_ = seconds; }

    // Writes the last drawn frame as a PNG; false (logged) on failure.
    bool capture(const std::filesystem::path& path);

  private:
    void apply(const KTDriverEvent& event);
    void advanceOneRefresh();
    void waitForPendingWork();

    std::shared_ptr<plat::VirtualClock> clock_;
    std::shared_ptr<plat::Clock> previousClock_;
    std::shared_ptr<EAGLView> view_;
    KTApplication* application_ = nullptr;
    KTDriverScript script_;
    size_t nextEvent_ = 0;
    std::filesystem::path captureDir_ = ".";
    int64_t captureEvery_ = 0;
    int64_t frame_ = 0;
    int64_t gridStart_ = 0;
    int64_t gridFrames_ = 0;
    bool touching_ = false;
    bool quit_ = false;
    double pendingWaitLimit_ = 20;
    // Set when a wait ran out: no waiting again until everything pending then has ended.
    bool gaveUpWaiting_ = false;
};

}  // namespace kite
