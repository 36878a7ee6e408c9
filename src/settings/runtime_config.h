#pragma once

// The run-time configuration read from the settings file.

#include <cstdint>
#include "support/log_codes.h"
#include <string>

namespace korin {

struct Platform;

// The update server host used unless the settings file names another.
inline constexpr wchar_t kDefaultServerDomain[] = L"update.korinplayer.example";

// Log codes of the run-time configuration.
inline constexpr int kLogRuntimeConfigNotLoaded = logCode(1233);
inline constexpr int kLogServerDomainNotConverted = logCode(1238);
inline constexpr int kLogServerDomainInUse = logCode(1629);
inline constexpr int kLogAutoUpdateDisabled = logCode(1613);
inline constexpr int kLogAutoUpdateNotDisabled = logCode(1614);
inline constexpr int kLogSilentAutoUpdateOn = logCode(1615);
inline constexpr int kLogSilentAutoUpdateOff = logCode(1616);

// Windows version classes.
inline constexpr std::int32_t kOsClassBeforeVista = 1;
inline constexpr std::int32_t kOsClassVistaAnd7 = 2;
inline constexpr std::int32_t kOsClass8AndLater = 3;

// The process-wide run-time configuration. Written once at service start,
// before a second thread exists; only read afterwards.
struct RuntimeConfig {
    bool autoUpdateDisable = false;
    bool silentAutoUpdateEnable = false;
    bool isWow64 = false;
    std::int32_t osClass = 0;
    std::wstring serverDomain = kDefaultServerDomain;
};

RuntimeConfig& runtimeConfig();

// Fills the configuration at service start: the Windows version class, the
// Wow64 flag and the settings file's switches. Logs 1233 when the settings
// cannot be loaded.
void initRuntimeConfig(const Platform& platform);
// The settings file's part of the configuration. False only when memory for
// the file manager or the settings file cannot be obtained.
bool loadRuntimeConfig(const Platform& platform);
// The update server host in use.
std::wstring getServerDomain();

}  // namespace korin
