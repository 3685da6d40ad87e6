#pragma once
// What a program waiting for a home that another process holds learns of that holder, look by look. One
// reading of the system's lock table can miss the holder's line while other locks change, and a holder's
// ending mark goes a moment before its lock when it ends: no look takes back what an earlier one showed,
// until the table names another holder.
#include <chrono>
#include <functional>

namespace plat {

class HolderWatch {
  public:
    // One look: `named` is the process the lock table names as the holder (0 when it names none), `marked`
    // whether the holder's ending mark is there; `ending` tells whether a process is visibly ending.
    void look(long named, bool marked, const std::function<bool(long)>& ending);

    // The holder last named, or 0.
    long holder() const { return holder_; }
    // Whether the holder was seen ending (killed, or marked).
    bool holderEnding() const { return ending_; }
    // How long the home is waited for in all: a few seconds for a live holder (which may let go at any
    // moment), until it has ended (within half a minute) for an ending one.
    std::chrono::seconds bound() const;

  private:
    long holder_ = 0;
    bool ending_ = false;
};

}  // namespace plat
