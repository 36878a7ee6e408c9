#include "platform/clock_posix.h"

#include "platform/standin/machine_sources.h"

#include <ctime>

namespace korin {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifferenceSeconds = 11644473600LL;
constexpr std::uint64_t kTicksPerSecond = 10000000ULL;
}  // namespace

SystemTime StandInClock::systemTime() {
    const std::uint64_t now = systemTimeAsFileTime();
    const time_t seconds = static_cast<time_t>(static_cast<std::int64_t>(now / kTicksPerSecond) -
                                               kEpochDifferenceSeconds);
    tm parts{};
    gmtime_r(&seconds, &parts);
    SystemTime time;
    time.year = static_cast<std::uint16_t>(parts.tm_year + 1900);
    time.month = static_cast<std::uint16_t>(parts.tm_mon + 1);
    time.dayOfWeek = static_cast<std::uint16_t>(parts.tm_wday);
    time.day = static_cast<std::uint16_t>(parts.tm_mday);
    time.hour = static_cast<std::uint16_t>(parts.tm_hour);
    time.minute = static_cast<std::uint16_t>(parts.tm_min);
    time.second = static_cast<std::uint16_t>(parts.tm_sec);
    time.milliseconds = static_cast<std::uint16_t>(now % kTicksPerSecond / 10000);
    return time;
}

std::uint64_t StandInClock::systemTimeAsFileTime() {
    if (const auto set = standin::setClockTime(machine_)) {
        return *set;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec + kEpochDifferenceSeconds) * kTicksPerSecond +
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
