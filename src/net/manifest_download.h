#pragma once

// Downloading the manifests of the update server over HTTPS and handing
// them to their readers.

#include "manifest/player_inventory.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korin {

struct Platform;

inline constexpr wchar_t kManifestUserAgent[] = L"Get Korin Player version xml/1.0";
inline constexpr wchar_t kCurrentMajorPath[] =
    L"/pub/korinplayer/update/current/sau/currentmajor.xml";

// GETs path from the update server and appends the body to body; stops
// reading once more bytes came than any manifest holds, or when the download
// has taken kManifestDownloadLimitMs (logged as a read that timed out). True
// when a response was received, whether or not reading it failed.
bool httpsGetText(const Platform& platform, std::string& body, const std::wstring& path);

// Downloads and reads the current-major manifest: on success the three
// records and the check-frequency cell exist.
bool fetchCurrentMajor(const Platform& platform, std::unique_ptr<PlayerUpdateInfo>& activeX,
                       std::unique_ptr<PlayerUpdateInfo>& plugin,
                       std::unique_ptr<PlayerUpdateInfo>& pepper,
                       std::unique_ptr<std::uint32_t>& checkFrequency);

inline constexpr int kFetchVersionManifests = 0;
inline constexpr int kFetchPatchManifests = 1;

// Mode 0: the version manifest of each installed type; mode 1: the patch
// manifest of each type that needs an update. A manifest several types share
// is downloaded once per call, and an installed file is digested at most once
// per call. Always true.
bool fetchManifests(const Platform& platform, PlayerUpdateInfo* activeX, PlayerUpdateInfo* plugin,
                    PlayerUpdateInfo* pepper, std::uint32_t* checkFrequency, int mode,
                    const FileDigester& digester);

}  // namespace korin
