#pragma once
// The script of a headless run: timed events, one per line, "<frame> <event> [arguments]".
//
//   # a comment; blank lines are ignored
//   10 touch down 320 568     finger down at x, y in window pixels (origin top left), before frame 10
//   12 touch move 330 580
//   14 touch up 330 580
//   60 capture shot.png       PNG of frame 60 once drawn (relative paths go to the capture folder)
//   90 background             the app leaves for the background
//   90 jump 3600              the wall clock jumps 3600 seconds (time spent away)
//   91 foreground             the app comes back
//   200 quit                  the run ends after frame 200
//
// Frames count from 1. Events of one frame happen in the order written; captures after the frame.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kite {

struct KTDriverEvent {
    enum Kind { TouchDown, TouchMove, TouchUp, Capture, Background, Foreground, Jump, Quit };
    int64_t frame = 0;
    Kind kind = Quit;
    double x = 0, y = 0;  // touches: window pixels; jump: seconds in x
    std::string path;     // capture
};

class KTDriverScript {
  public:
    static constexpr size_t kMaxLineLength = 4096;
    static constexpr size_t kMaxFileBytes = 64u << 20;
    static constexpr size_t kMaxEvents = 1000000;
    static constexpr int64_t kMaxFrame = 1LL << 40;

    // False with `error` set ("line N: ...") on the first bad line; nothing is kept then.
    bool parse(const std::string& text, std::string* error = nullptr);
    bool load(const std::string& path, std::string* error = nullptr);

    // Events sorted by frame, stable within a frame.
    const std::vector<KTDriverEvent>& events() const { return events_; }
    std::optional<int64_t> quitFrame() const;

  private:
    std::vector<KTDriverEvent> events_;
};

}  // namespace kite
