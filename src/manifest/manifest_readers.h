#pragma once

// Readers of the three manifests of the update server: the current-major
// manifest (creates the per-type records), the version manifest of a type
// and its patch manifest.

#include "manifest/player_inventory.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korin {

struct Platform;

// A manifest is a few hundred bytes a few elements deep. Longer text is
// refused before the XML parser sees it and deeper elements by the parser
// itself (BoundedXmlDocument), so a hostile server can neither exhaust
// memory nor overflow the parser's recursion.
inline constexpr std::size_t kManifestMaxBytes = 1024 * 1024;
inline constexpr std::size_t kManifestMaxDepth = 256;

// Creates the three records (ActiveX, Plugin, Pepper) and the check-frequency
// cell (1). On failure before the records are made, the out parameters are
// left as they were; when memory runs out while making them, all four end up
// empty.
bool parseCurrentMajor(const Platform& platform, const char* text,
                       std::unique_ptr<PlayerUpdateInfo>& activeX,
                       std::unique_ptr<PlayerUpdateInfo>& plugin,
                       std::unique_ptr<PlayerUpdateInfo>& pepper,
                       std::unique_ptr<std::uint32_t>& checkFrequency);

// Stores offeredVersion, minVer and the check frequency; nothing unless the
// whole manifest reads.
bool parseVersionManifest(const Platform& platform, const char* text, PlayerUpdateInfo* record,
                          std::uint32_t* checkFrequency);

// Stores the hashes and package path of the first patch that fits the
// installed player (or of the last one examined) and patchMatchesInstalled.
bool parsePatchManifest(const Platform& platform, const char* text, PlayerUpdateInfo* record,
                        const FileDigester& digester);

// "a.b.c.d" with at least three dots; text keeps the whole input, which must
// fit kVersionTextMax UTF-16 units.
bool parseDottedVersion(const char* text, PlayerVersion& version);

// UTF-8 to wide text; false (and empty text) for null text or no memory.
bool utf8ToWide(const char* text, std::wstring& wide);

}  // namespace korin
