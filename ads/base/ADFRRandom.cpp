#include "ads/base/ADFRRandom.h"

#include <mutex>
#include <optional>
#include <random>

#include "platform/base/Clock.h"
#include "platform/base/Lasting.h"
#include "platform/base/Random.h"

namespace {

struct State {
    std::mutex mutex;
    std::optional<std::mt19937> engine;
    std::function<uint32_t()> source;
};

State& state() {
    static plat::Lasting<State> s;
    return *s;
}

}  // namespace

uint32_t ADFRRandom::arc4random() {
    State& s = state();
    std::function<uint32_t()> source;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.source) {
            if (!s.engine) {
                auto fixed = plat::Random::fixedSeed();
                uint64_t seed = fixed ? *fixed : static_cast<uint64_t>(plat::Clock::shared().nowMicros());
                // A different stream from the game's even with the same seed.
                s.engine.emplace(static_cast<uint32_t>(seed ^ (seed >> 32) ^ 0xAD5EEDu));
            }
            return static_cast<uint32_t>((*s.engine)());
        }
        source = s.source;
    }
    return source();
}

uint32_t ADFRRandom::arc4randomUniform(uint32_t bound) {
    if (bound < 2) return 0;
    uint32_t floor = static_cast<uint32_t>(-bound) % bound;
    for (;;) {
        uint32_t r = arc4random();
        if (r >= floor) return r % bound;
    }
}

void ADFRRandom::seed(uint64_t seed) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.engine.emplace(static_cast<uint32_t>(seed ^ (seed >> 32) ^ 0xAD5EEDu));
}

void ADFRRandom::setDrawSource(std::function<uint32_t()> source) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.source = std::move(source);
    if (!s.source) s.engine.reset();
}
