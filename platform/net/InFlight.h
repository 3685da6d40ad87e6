#pragma once
// Counts work that a headless run waits for before it moves its virtual clock on: URL loads (any thread)
// and web page loads. Lock-free; read from the main thread.
#include <cstddef>

namespace plat {

enum class InFlightKind { URLRequest, WebLoad };

class InFlight {
  public:
    static void begin(InFlightKind kind);
    static void end(InFlightKind kind);
    static size_t count(InFlightKind kind);
    static size_t total() { return count(InFlightKind::URLRequest) + count(InFlightKind::WebLoad); }
};

}  // namespace plat
