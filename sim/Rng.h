// The board's dice: a small seeded generator whose sequence is the same on every
// platform and library, so a seed replays a run exactly (std distributions do not).
#pragma once

#include <cstdint>

namespace krv2sim {

class Rng {
public:
    explicit Rng(uint64_t seed) : state(seed) {}

    uint64_t next() {
        // splitmix64
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double real() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in [lo, hi], both included.
    int64_t between(int64_t lo, int64_t hi) {
        if (hi <= lo)
            return lo;
        const auto span = static_cast<uint64_t>(hi - lo) + 1;
        return lo + static_cast<int64_t>(next() % span);
    }
    bool chance(double p) { return p > 0.0 && real() < p; }
    uint8_t byte() { return static_cast<uint8_t>(next() >> 56); }

private:
    uint64_t state;
};

} // namespace krv2sim
