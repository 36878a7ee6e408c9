#pragma once

// A machine's random source when it is given a seed: the same draws on every
// run, so a stand-in machine and the fleet forecast's model of it agree.

#include <cstdint>

namespace korin::standin {

// SplitMix64: small, fast, and good enough for a start minute; never a
// secret. Each draw is the high half of the next 64-bit output.
class SeededRandom {
  public:
    explicit SeededRandom(std::uint64_t seed) : state_(seed) {}

    std::uint32_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
    }

    // The state after the draws so far, to be stored and resumed from.
    std::uint64_t state() const { return state_; }

  private:
    std::uint64_t state_;
};

}  // namespace korin::standin
