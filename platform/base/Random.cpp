#include "platform/base/Random.h"

#include <mutex>

namespace plat {
namespace {

// xoshiro256** seeded through splitmix64: small, fast and the same sequence on every machine.
struct Generator {
    uint64_t s[4] = {};
    std::optional<uint64_t> fixed;

    static uint64_t splitmix(uint64_t& x) {
        uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    void reseed(uint64_t seed) {
        uint64_t x = seed;
        for (auto& word : s) word = splitmix(x);
    }
    uint64_t next() {
        const uint64_t result = rotl(s[1] * 5, 7) * 9;
        const uint64_t t = s[1] << 17;
        s[2] ^= s[0];
        s[3] ^= s[1];
        s[1] ^= s[2];
        s[0] ^= s[3];
        s[2] ^= t;
        s[3] = rotl(s[3], 45);
        return result;
    }
};

std::mutex& mutex() {
    static std::mutex m;
    return m;
}

Generator& generator() {
    static Generator g = [] {
        Generator fresh;
        fresh.reseed(1);
        return fresh;
    }();
    return g;
}

int32_t next31() {
    std::lock_guard<std::mutex> lock(mutex());
    return static_cast<int32_t>(generator().next() >> 33);
}

}  // namespace

void Random::setFixedSeed(uint64_t seed) {
    std::lock_guard<std::mutex> lock(mutex());
    generator().fixed = seed;
    generator().reseed(seed);
}

void Random::clearFixedSeed() {
    std::lock_guard<std::mutex> lock(mutex());
    generator().fixed.reset();
}

std::optional<uint64_t> Random::fixedSeed() {
    std::lock_guard<std::mutex> lock(mutex());
    return generator().fixed;
}

void Random::seed(uint64_t seed) {
    std::lock_guard<std::mutex> lock(mutex());
    generator().reseed(seed);
}

void Random::seedFromTime(int64_t seconds) {
    std::lock_guard<std::mutex> lock(mutex());
    if (!generator().fixed) generator().reseed(static_cast<uint64_t>(seconds));
}

int32_t Random::rand() {
    return next31();
}

int32_t Random::random() {
    return next31();
}

int32_t Random::uniformInt(int32_t lo, int32_t hi) {
    if (hi <= lo) return lo;
    const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
    // Reject the top partial block so every value is equally likely.
    const uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    std::lock_guard<std::mutex> lock(mutex());
    uint64_t draw;
    do {
        draw = generator().next();
    } while (draw >= limit);
    return static_cast<int32_t>(static_cast<int64_t>(lo) + static_cast<int64_t>(draw % span));
}

uint64_t Random::uniformBelow(uint64_t bound) {
    if (bound == 0) return 0;
    // 2^64 mod bound: the draws in that last partial block are redrawn (none when it divides evenly).
    const uint64_t remainder = (UINT64_MAX % bound + 1) % bound;
    const uint64_t limit = 0 - remainder;
    std::lock_guard<std::mutex> lock(mutex());
    uint64_t draw;
    do {
        draw = generator().next();
    } while (remainder != 0 && draw >= limit);
    return draw % bound;
}

double Random::uniformReal() {
    std::lock_guard<std::mutex> lock(mutex());
    return static_cast<double>(generator().next() >> 11) * 0x1.0p-53;
}

}  // namespace plat
