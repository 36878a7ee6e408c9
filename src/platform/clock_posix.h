#pragma once

// The stand-in machine's adapter of the clock port.

#include "platform/clock.h"
#include "platform/standin/machine.h"

namespace korin {

// Real time, or the instant the machine's clock was set to
// (`korin-machine clock set`); the tick count always runs.
class StandInClock final : public Clock {
  public:
    explicit StandInClock(const standin::Machine& machine) : machine_(machine) {}

    SystemTime systemTime() override;
    std::uint64_t systemTimeAsFileTime() override;
    std::uint32_t tickCount() override;

  private:
    const standin::Machine& machine_;
};

}  // namespace korin
