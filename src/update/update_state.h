#pragma once

// The update state in the registry: last check, frequency, attempts.

#include <cstdint>

namespace korin {

struct Platform;

// The service's state between starts, under HKLM. Opened without a view
// flag: a 32-bit program uses the 32-bit view on 64-bit Windows.
inline constexpr wchar_t kUpdateStateKey[] = L"SOFTWARE\\Tervalonix\\KorinPlayerSAU";
inline constexpr wchar_t kUpdateStateParentKey[] = L"SOFTWARE\\Tervalonix";
inline constexpr wchar_t kUpdateStateSubKey[] = L"KorinPlayerSAU";
inline constexpr wchar_t kValueLastUpdateCheck[] = L"LastUpdateCheck";
inline constexpr wchar_t kValueCheckFrequency[] = L"CheckFrequency";
inline constexpr wchar_t kValueUpdateAttempts[] = L"UpdateAttempts";

// One day in FILETIME units (100 ns).
inline constexpr std::uint64_t kOneDay = 864000000000ull;

// Whether LastUpdateCheck plus CheckFrequency days (clamped to 1..3) lies
// strictly before now, or LastUpdateCheck lies more than that period after
// now (a clock set back). Missing values read as 0 and 1 day.
bool isCheckDue(const Platform& platform);
// Records now as the last check, or 0 when clear.
bool writeLastUpdateCheck(const Platform& platform, bool clear);
// Records the days between checks, clamped to 1..3; 1 for null.
bool writeCheckFrequency(const Platform& platform, const std::uint32_t* days);
// The installer launches recorded; false (out untouched) without the value.
bool readUpdateAttempts(const Platform& platform, std::uint32_t& out);
bool writeUpdateAttempts(const Platform& platform, std::uint32_t count);
// Counts one more launch; 1 when none was recorded.
bool incrementUpdateAttempts(const Platform& platform);
// Deletes UpdateAttempts, LastUpdateCheck, CheckFrequency and then the key,
// stopping at the first step that fails and leaving the rest in place.
bool resetUpdateState(const Platform& platform);

}  // namespace korin
