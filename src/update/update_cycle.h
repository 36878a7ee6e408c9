#pragma once

// One update cycle, from the due check to the installer's start.

#include "support/log_codes.h"

// The one update cycle a service start runs: the settings and schedule
// gates, the manifest passes, the attempts gate, at most one installer
// started, and the record of the check in the registry state.

namespace korin {

struct Platform;

// Log codes of the cycle.
inline constexpr int kLogCycleBegins = logCode(1608);
inline constexpr int kLogCycleEnds = logCode(1612);
inline constexpr int kLogNoCurrentMajor = logCode(1432);
inline constexpr int kLogAttemptsExhausted = logCode(1301);
inline constexpr int kLogActiveXInstallerStarted = logCode(1609);
inline constexpr int kLogPluginInstallerStarted = logCode(1610);
inline constexpr int kLogPepperInstallerStarted = logCode(1621);
inline constexpr int kLogActiveXLaunchFailed = logCode(1234);
inline constexpr int kLogPluginLaunchFailed = logCode(1300);
inline constexpr int kLogPepperLaunchFailed = logCode(1306);

// Launches after which the cycle gives silent updating up for notify mode.
inline constexpr unsigned kMaxUpdateAttempts = 7;

// Runs one cycle to its end on the calling thread; never throws. It neither
// waits on nor looks at the service's stop event.
void runUpdateCycle(const Platform& platform);

}  // namespace korin
