#include "platform/base/Random.h"

#include <atomic>
#include <mutex>
#include <thread>

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

// The program's stream, and which thread draws from it.
struct State {
    Generator shared;
    uint64_t seed = 1;      // the last seed, from which the other threads' streams start too
    uint64_t epoch = 0;     // counts reseeds, so that the other threads restart their streams
    std::thread::id owner;  // the thread that seeded last (or drew first); none yet when empty
};

State& state() {
    static State st = [] {
        State fresh;
        fresh.shared.reseed(1);
        return fresh;
    }();
    return st;
}

// Every other thread's stream: its own generator, started from the program's seed and the thread's
// number, restarted after each reseed.
struct LocalStream {
    Generator generator;
    uint64_t epoch = UINT64_MAX;
    uint64_t number = 0;
};
thread_local LocalStream local;
std::atomic<uint64_t> threadNumbers{0};

void reseedLocked(uint64_t seed) {
    State& st = state();
    st.shared.reseed(seed);
    st.seed = seed;
    ++st.epoch;
    st.owner = std::this_thread::get_id();
}

// One 64-bit draw. The thread that seeded the generator draws from the program's stream; work on other
// threads (a worker building a request at a moment that differs from run to run) draws from a stream
// of its own, so it never shifts the sequence the seeding thread sees and one seed still repeats a run.
uint64_t draw() {
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex());
    State& st = state();
    if (st.owner == std::thread::id()) st.owner = self;
    if (st.owner == self) return st.shared.next();
    if (local.epoch != st.epoch) {
        if (local.number == 0) local.number = ++threadNumbers;
        uint64_t number = local.number;
        local.generator.reseed(st.seed ^ Generator::splitmix(number));
        local.epoch = st.epoch;
    }
    lock.unlock();
    return local.generator.next();
}

int32_t next31() {
    return static_cast<int32_t>(draw() >> 33);
}

}  // namespace

void Random::setFixedSeed(uint64_t seed) {
    std::lock_guard<std::mutex> lock(mutex());
    state().shared.fixed = seed;
    reseedLocked(seed);
}

void Random::clearFixedSeed() {
    std::lock_guard<std::mutex> lock(mutex());
    state().shared.fixed.reset();
    state().owner = std::thread::id();  // the next thread to seed or draw owns the stream
}

std::optional<uint64_t> Random::fixedSeed() {
    std::lock_guard<std::mutex> lock(mutex());
    return state().shared.fixed;
}

void Random::seed(uint64_t seed) {
    std::lock_guard<std::mutex> lock(mutex());
    reseedLocked(seed);
}

void Random::seedFromTime(int64_t seconds) {
    std::lock_guard<std::mutex> lock(mutex());
    if (!state().shared.fixed) reseedLocked(static_cast<uint64_t>(seconds));
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
    uint64_t value;
    do {
        value = draw();
    } while (value >= limit);
    return static_cast<int32_t>(static_cast<int64_t>(lo) + static_cast<int64_t>(value % span));
}

uint64_t Random::uniformBelow(uint64_t bound) {
    if (bound == 0) return 0;
    // 2^64 mod bound: the draws in that last partial block are redrawn (none when it divides evenly).
    const uint64_t remainder = (UINT64_MAX % bound + 1) % bound;
    const uint64_t limit = 0 - remainder;
    uint64_t value;
    do {
        value = draw();
    } while (remainder != 0 && value >= limit);
    return value % bound;
}

double Random::uniformReal() {
    return static_cast<double>(draw() >> 11) * 0x1.0p-53;
}

}  // namespace plat
