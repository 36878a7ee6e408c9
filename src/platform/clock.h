#pragma once

// The clock port: the system time and the tick count.

#include <cstdint>
#include <memory>

namespace korin {

// The platform's SYSTEMTIME: the calendar fields of a UTC time.
struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

// The system clock (GetSystemTime, GetSystemTimeAsFileTime) and the time
// since start (GetTickCount).
class Clock {
  public:
    virtual ~Clock() = default;
    // The current UTC time.
    virtual SystemTime systemTime() = 0;
    // The current UTC time as a FILETIME: 100-ns intervals since 1601-01-01.
    virtual std::uint64_t systemTimeAsFileTime() = 0;
    // Milliseconds since the system started, wrapping after 49.7 days; not
    // moved by changes of the system time. Durations are differences in
    // unsigned 32-bit arithmetic.
    virtual std::uint32_t tickCount() = 0;
};

}  // namespace korin
