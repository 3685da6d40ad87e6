#pragma once
// A tap's grant: the one way out that a touch on a loaded HTML ad gives its page (a click, or one move off
// the ad server). It holds from the touch's beginning until it is used or the touch is cancelled, and only
// within a second of the touch's latest news (its beginning, a move, its end): a finger held still lets it
// lapse, and lifting it gives the page its second to answer. Nothing else (not the web engine's mark of a
// gesture) stretches that second. Times are steady microseconds. Main thread only.
#include <cstdint>

class ZIZRadTapGrant {
  public:
    static constexpr int64_t kLapseMicros = 1000000;

    // A new touch grants anew, whatever became of the last one.
    void touchBegan(int64_t nowMicros);
    void touchMoved(int64_t nowMicros) { heardOfTouch(nowMicros); }
    void touchEnded(int64_t nowMicros) { heardOfTouch(nowMicros); }
    // A cancelled touch is no tap.
    void touchCancelled() { live_ = false; }
    void use() { live_ = false; }
    bool holds(int64_t nowMicros) const;

  private:
    // News of a touch whose grant has gone (used, cancelled) brings it back no more.
    void heardOfTouch(int64_t nowMicros);

    bool live_ = false;
    int64_t lastNewsMicros_ = 0;
};
