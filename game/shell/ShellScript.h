#pragma once
// A headless session's script. The app shell carries out the life-cycle events itself (background,
// foreground, wall-clock jumps and relaunches, which may end the process and start it again) and hands
// the rest (touches, captures, quit) to the engine's headless driver. The session counts frames from 1
// across relaunches; a relaunched program starts at a later frame and sees only what is still to come.
#include <cstdint>
#include <string>
#include <vector>

#include "kite/platform/linux/KTDriverScript.h"

struct ShellEvent {
    enum Kind { Background, Foreground, Jump, Relaunch };
    int64_t frame = 0;
    Kind kind = Background;
    double seconds = 0;  // jump
};

class ShellScript {
  public:
    // `firstFrame`: the session frame this program starts at; earlier events are dropped and the
    // driver's frames are counted from it. False with `error` ("line N: ...") on the first bad line.
    bool parse(const std::string& text, int64_t firstFrame, std::string* error);
    bool load(const std::string& path, int64_t firstFrame, std::string* error);

    // In the order written within a frame, frames ascending.
    const std::vector<ShellEvent>& events() const { return events_; }
    kite::KTDriverScript takeDriverScript() { return std::move(driver_); }
    const kite::KTDriverScript& driverScript() const { return driver_; }
    // The session frame of the script's quit, if any.
    bool hasQuit() const { return quitFrame_ > 0; }
    int64_t quitFrame() const { return quitFrame_; }

  private:
    std::vector<ShellEvent> events_;
    kite::KTDriverScript driver_;
    int64_t quitFrame_ = 0;
};
