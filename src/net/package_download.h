#pragma once

// Downloading the chosen player's signed installer package over HTTPS,
// verifying it and writing its signed content as the installer.

#include "net/download_deadline.h"
#include "manifest/player_inventory.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korin {

struct Platform;

inline constexpr wchar_t kPackageUserAgent[] = L"Download Korin Player Installer/1.0";
// Relative: the installer is written to and started from the current folder.
inline constexpr wchar_t kInstallerFileName[] = L"KorinPlayerInstaller.exe";
inline constexpr wchar_t kDownloadFileName[] = L"kpi.tmp";
inline constexpr wchar_t kTempFilePrefix[] = L"KPI";

// A package body is read no further than this (every byte read counts),
// far above any real package: an endless body ends as a failed read.
inline constexpr std::uint64_t kPackageMaxBytes = 512ull << 20;

// The transfer's bounds: its size, its pace and its overall time (the
// constants in net/download_deadline.h), checked between reads.
struct PackageDownloadLimits {
    std::uint64_t maxBytes = kPackageMaxBytes;
    std::uint32_t timeLimitMs = kPackageDownloadLimitMs;
    std::uint32_t lowSpeedBytesPerSecond = kPackageLowSpeedBytesPerSecond;
    std::uint32_t lowSpeedWindowMs = kPackageLowSpeedWindowMs;
};

// True when KorinPlayerInstaller.exe holds the verified content of the
// record's patch package (patchMatchesInstalled) or full package. A null
// record is false without a log entry. Nothing of the download stays behind.
// Running out of memory is a failure like any other.
bool downloadPackage(const Platform& platform, const PlayerUpdateInfo* record,
                     const PackageDownloadLimits& limits = {}) noexcept;

// The whole file into a new buffer of size bytes; false (bytes null, size 0)
// when it cannot be opened, is empty, larger than 4 GiB or not read whole.
bool readWholeFile(const Platform& platform, const std::wstring& path,
                   std::unique_ptr<std::uint8_t[]>& bytes, std::uint32_t& size);

}  // namespace korin
