#pragma once

// A clock the test sets: the system time, the file time and a tick count.

#include "platform/clock.h"

#include <cstdint>
#include <utility>

namespace korin::testing {

class FakeClock final : public Clock {
  public:
    SystemTime now{2026, 1, 1, 5, 9, 7, 3, 4};
    std::uint64_t fileTime = 0;
    // The tick count; each call moves it on by tickStep.
    std::uint32_t ticks = 0;
    std::uint32_t tickStep = 0;
    SystemTime systemTime() override { return now; }
    std::uint64_t systemTimeAsFileTime() override { return fileTime; }
    std::uint32_t tickCount() override { return std::exchange(ticks, ticks + tickStep); }
};

}  // namespace korin::testing
