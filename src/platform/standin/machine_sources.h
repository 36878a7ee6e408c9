#pragma once

// The machine's clock and random source, which a test may set: a clock
// standing at a chosen instant and a seeded random source whose state
// carries over from one program run to the next. Both are files under the
// machine root; without them the machine has real time and the kernel's
// random source. The clock and random adapters and `korin-machine
// clock|random` use it.

#include "platform/standin/machine.h"

#include <cstdint>
#include <optional>
#include <string>

namespace korin::standin {

// The instant a set clock shows, as a FILETIME; nullopt when the machine
// keeps real time (or its clock file cannot be read).
// A set clock stands still until it is set again. One that ran on from the
// instant set (an offset from real time) would be closer to a real machine,
// but the host's delays, milliseconds to seconds between setting the clock
// and the program reading it, would then decide what the program decides to
// the 100 ns: an hourly task run comes exactly a day after the check it
// recorded, and a check is due only once a day is passed by a tick. Standing
// still, a run sees exactly the instant its test or forecast names.
// Durations are measured with the tick count, which runs on.
std::optional<std::uint64_t> setClockTime(const Machine& machine);
bool setClock(const Machine& machine, std::uint64_t fileTime);
// Back to real time.
bool resetClock(const Machine& machine);

// "YYYY-MM-DDTHH:MM[:SS[.fffffff]]Z" (UTC) as a FILETIME; nullopt for any
// other text or a date that does not exist.
std::optional<std::uint64_t> parseClockTime(const std::string& text);
// A FILETIME as "YYYY-MM-DDTHH:MM:SS[.fffffff]Z" (the fraction only when
// there is one).
std::string formatClockTime(std::uint64_t fileTime);

// The seeded source from this seed on, for every program of the machine.
bool seedRandom(const Machine& machine, std::uint64_t seed);
// Back to the kernel's source.
bool resetRandom(const Machine& machine);
// The state a seeded source would draw from next; nullopt when unseeded.
std::optional<std::uint64_t> randomState(const Machine& machine);

enum class SeededDraw { Unseeded, Drawn, Failed };
// One draw of a seeded machine, its new state stored before the lock on the
// state is let go, so that programs running at once never draw the same
// value; Unseeded when the machine has no seed.
SeededDraw drawSeeded(const Machine& machine, std::uint32_t& value);

}  // namespace korin::standin
