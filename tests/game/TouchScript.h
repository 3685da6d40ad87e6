#pragma once
// Helpers for headless game runs. TouchScript: scripted touches for a run that is already going; taps
// and drags become lines of the driver's script at the frames after the current one. The script only
// grows (earlier lines stay, so the driver's place in it stays valid). Positions are design points with
// the origin at the bottom left; the script gets window pixels of the 640 x 1136 frame.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "kite/base/KTGeometry.h"
#include "kite/platform/linux/KTHeadlessDriver.h"

namespace gametest {

class TouchScript {
  public:
    explicit TouchScript(kite::KTHeadlessDriver& driver) : driver_(driver) {}

    // Finger down in the next frame and up in the one after; runs both frames.
    void tap(const kite::KTPoint& point);
    // Down, one move per point, up at the last one; one frame each; runs them all.
    void drag(const kite::KTPoint& from, std::initializer_list<kite::KTPoint> through);

  private:
    void add(int64_t frame, const char* what, const kite::KTPoint& point);
    void commit(int64_t lastFrame);

    kite::KTHeadlessDriver& driver_;
    std::string text_;
};

// Closes the audio engine (and with it the sound device) when it goes; an OpenAL device left open at
// process exit can trip OpenAL's own clean-up.
struct AudioShutdown {
    AudioShutdown() = default;
    AudioShutdown(const AudioShutdown&) = delete;
    AudioShutdown& operator=(const AudioShutdown&) = delete;
    ~AudioShutdown();
};

}  // namespace gametest
