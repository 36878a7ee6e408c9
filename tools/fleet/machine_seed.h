#pragma once

// Each machine's own seed, drawn from the fleet's seed and its number: the
// forecast and the stand-in machines of the equivalence test agree on it.

#include "platform/standin/seeded_random.h"

#include <cstdint>

namespace korin::fleet {

inline std::uint64_t machineSeed(std::uint64_t fleetSeed, std::uint64_t machine) {
    standin::SeededRandom random(fleetSeed ^ (machine * 0xD1B54A32D192ED03ULL));
    const std::uint64_t high = random.next();
    return (high << 32) | random.next();
}

}  // namespace korin::fleet
