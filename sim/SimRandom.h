#pragma once
#include <cstdint>

// A small generator with a fixed algorithm (splitmix64), so that a seed gives the same faults and
// noise on every compiler and library; std::uniform_*_distribution makes no such promise.
class SimRandom {
public:
    explicit SimRandom(uint64_t seed = 0) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [0, n); n > 0.
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(unit() * n); }
    bool chance(double p) { return unit() < p; }

private:
    uint64_t state_;
};
