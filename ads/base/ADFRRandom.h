#pragma once
// The ad SDK's own draws (the weighted choice of an ad network and the like). They come from a generator
// of their own, so the game's sequence is the same with or without ads; it is seeded from the program's
// fixed seed (--seed) when there is one, else from the clock, on first use. Tests inject the draws.
#include <cstdint>
#include <functional>

class ADFRRandom {
  public:
    // 0..2^32-1.
    static uint32_t arc4random();
    // 0..bound-1 without modulo bias; 0 for a bound of 0.
    static uint32_t arc4randomUniform(uint32_t bound);

    static void seed(uint64_t seed);
    // Every later draw comes from `source` (null: the generator again, reseeded on first use).
    static void setDrawSource(std::function<uint32_t()> source);
};
