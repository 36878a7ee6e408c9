#include "platform/clock_posix.h"

#include <ctime>

namespace korin {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kEpochDifferenceSeconds = 11644473600ULL;
}  // namespace

SystemTime StandInClock::systemTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    SystemTime time;
    time.year = static_cast<std::uint16_t>(parts.tm_year + 1900);
    time.month = static_cast<std::uint16_t>(parts.tm_mon + 1);
    time.dayOfWeek = static_cast<std::uint16_t>(parts.tm_wday);
    time.day = static_cast<std::uint16_t>(parts.tm_mday);
    time.hour = static_cast<std::uint16_t>(parts.tm_hour);
    time.minute = static_cast<std::uint16_t>(parts.tm_min);
    time.second = static_cast<std::uint16_t>(parts.tm_sec);
    time.milliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
    return time;
}

std::uint64_t StandInClock::systemTimeAsFileTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<std::uint64_t>(now.tv_sec) + kEpochDifferenceSeconds) * 10000000ULL +
           static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

std::uint32_t StandInClock::tickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Kept to 32 bits, as the platform's count wraps.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000U +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000U);
}

}  // namespace korin
