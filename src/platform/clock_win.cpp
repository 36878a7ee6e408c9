#include "platform/clock_win.h"

#include <windows.h>

namespace korin {

SystemTime WinClock::systemTime() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return {now.wYear, now.wMonth,  now.wDayOfWeek, now.wDay,
            now.wHour, now.wMinute, now.wSecond,    now.wMilliseconds};
}

std::uint64_t WinClock::systemTimeAsFileTime() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::uint32_t WinClock::tickCount() {
    return GetTickCount();
}

}  // namespace korin
