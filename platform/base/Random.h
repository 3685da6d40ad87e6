#pragma once
// The process-wide random generator. Everything random in the program draws from it, so that one seed
// (the program's --seed) makes a whole run repeatable. Unseeded it starts from seed 1, like the C
// library's generator. Thread-safe; it never allocates. The thread that seeds it (or, unseeded, the
// first to draw) draws the program's sequence; every other thread draws a stream of its own from the
// same seed, so work on other threads cannot shift that sequence by drawing at varying moments.
#include <cstdint>
#include <optional>

namespace plat {

class Random {
  public:
    static constexpr int32_t kMax = 0x7fffffff;

    // Reseeds now and pins the seed: later seedFromTime() calls no longer change the sequence.
    static void setFixedSeed(uint64_t seed);
    static void clearFixedSeed();
    static std::optional<uint64_t> fixedSeed();

    // Reseeds unconditionally.
    static void seed(uint64_t seed);
    // The game's "seed with the current time": reseeds with `seconds` unless a fixed seed is pinned.
    static void seedFromTime(int64_t seconds);

    // 0..kMax, the stand-in for the C library's rand().
    static int32_t rand();
    // 0..kMax, the stand-in for the C library's random(); the same stream as rand().
    static int32_t random();
    // lo..hi inclusive, without modulo bias; lo when hi < lo.
    static int32_t uniformInt(int32_t lo, int32_t hi);
    // [0, 1).
    static double uniformReal();
    // 0..bound-1 without bias over the whole 64-bit range; 0 when bound is 0.
    static uint64_t uniformBelow(uint64_t bound);
};

}  // namespace plat
