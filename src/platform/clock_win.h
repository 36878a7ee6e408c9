#pragma once

// The Win32 adapter of the clock port.

#include "platform/clock.h"

namespace korin {

class WinClock final : public Clock {
  public:
    SystemTime systemTime() override;
    std::uint64_t systemTimeAsFileTime() override;
    std::uint32_t tickCount() override;
};

}  // namespace korin
