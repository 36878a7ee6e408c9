#pragma once

// The auto-update mode switches.

#include "support/log_codes.h"

namespace korin {

struct Platform;

// The machine's auto-update modes.
enum AutoUpdateMode : int { SilentMode = 0, NotifyMode = 1, DisabledMode = 2 };

// Log codes of the mode commands.
inline constexpr int kLogSetModeNoFileManager = logCode(1418);
inline constexpr int kLogSetModeNoSettingsFile = logCode(1428);
inline constexpr int kLogQueryNoFileManager = logCode(1419);
inline constexpr int kLogQueryNoSettingsFile = logCode(1429);
inline constexpr int kLogSilentAutoUpdateEnabled = logCode(1607);

// Writes the mode's SilentAutoUpdateEnable and AutoUpdateDisable into the
// settings file, keeping every other entry. True when the file was replaced;
// false at once for a mode number outside the table.
bool setAutoUpdateMode(const Platform& platform, int mode);

// Whether the settings file enables silent auto-update (SilentAutoUpdateEnable
// alone decides).
bool isSilentAutoUpdateEnabled(const Platform& platform);

}  // namespace korin
