#pragma once

// The stand-in machine's adapter of the clock port.

#include "platform/clock.h"

namespace korin {

class StandInClock final : public Clock {
  public:
    SystemTime systemTime() override;
    std::uint64_t systemTimeAsFileTime() override;
    std::uint32_t tickCount() override;
};

}  // namespace korin
