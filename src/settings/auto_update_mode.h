#pragma once

namespace korin {

struct Platform;

// The machine's auto-update modes.
enum AutoUpdateMode : int { SilentMode = 0, NotifyMode = 1, DisabledMode = 2 };

// Log codes of the mode commands.
inline constexpr int kLogSetModeNoFileManager = 1418;
inline constexpr int kLogSetModeNoSettingsFile = 1428;
inline constexpr int kLogQueryNoFileManager = 1419;
inline constexpr int kLogQueryNoSettingsFile = 1429;
inline constexpr int kLogSilentAutoUpdateEnabled = 1607;

// Writes the mode's SilentAutoUpdateEnable and AutoUpdateDisable into the
// settings file, keeping every other entry. True when the file was replaced;
// false at once for a mode number outside the table.
bool setAutoUpdateMode(const Platform& platform, int mode);

// Whether the settings file enables silent auto-update (SilentAutoUpdateEnable
// alone decides).
bool isSilentAutoUpdateEnabled(const Platform& platform);

}  // namespace korin
