// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace quorvel::bench {

// A tiny seeded generator whose output is fixed by its seed on every compiler
// and library. The standard distributions are not: their algorithms are left
// to the library, so a tree built from them could differ between machines.
class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // A value in [0, n); the slight modulo bias is irrelevant here.
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }

    // A value in [lo, hi].
    std::uint32_t Between(std::uint32_t lo, std::uint32_t hi) { return lo + Below(hi - lo + 1); }

    // True with a probability of perMille / 1000.
    bool Chance(std::uint32_t perMille) { return Below(1000) < perMille; }

  private:
    std::uint64_t state_;
};

}  // namespace quorvel::bench
