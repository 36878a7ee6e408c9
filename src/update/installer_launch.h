#pragma once

// Starting the verified installer of the chosen player type.

#include "manifest/player_inventory.h"
#include "platform/processes.h"

#include <cstdint>
#include <string>

namespace korin {

struct Platform;

inline constexpr wchar_t kPatchInstallerCommandLine[] = L"KorinPlayerInstaller.exe -install -iv 11";
inline constexpr wchar_t kFullInstallerCommandLine[] = L"KorinPlayerInstaller.exe -install -iv 9";
inline constexpr std::uint32_t kInstallerCreationFlags = kCreateDefaultErrorMode | kDetachedProcess;

// Downloads the record's package and starts its installer detached: true
// when the installer process was created.
bool launchInstaller(const Platform& platform, const PlayerUpdateInfo* record);

// Creates the installer process from exactly the file applicationName names
// with commandLine; its handles are closed at once and it is never waited
// for. True when the process was created.
bool runInstaller(const Platform& platform, const std::wstring& applicationName,
                  const std::wstring& commandLine);

}  // namespace korin
