#pragma once

#include <cstdint>
#include <string>

namespace korin {

// The update server host used unless the settings file names another.
inline constexpr wchar_t kDefaultServerDomain[] = L"update.korinplayer.example";

// The process-wide run-time configuration. Written once at service start,
// before a second thread exists; only read afterwards.
struct RuntimeConfig {
    bool autoUpdateDisable = false;
    bool silentAutoUpdateEnable = false;
    bool isWow64 = false;
    bool verboseLogging = false;
    std::int32_t osClass = 0;
    std::wstring serverDomain = kDefaultServerDomain;
};

RuntimeConfig& runtimeConfig();

}  // namespace korin
