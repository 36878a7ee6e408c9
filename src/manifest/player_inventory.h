#pragma once

// What the service knows about one player type during an update cycle: the
// per-type record, the installed player in the registry, the server paths of
// its manifests and packages, whether it needs an update and whether a patch
// fits the installed build.

#include <cstdint>
#include <functional>
#include <string>

namespace korin {

struct Platform;

// The player types, always handled in this order, which is also the
// priority of installation.
enum class PlayerType : std::int32_t { ActiveX = 1, Plugin = 2, Pepper = 3 };

// A four-number version. text is the version as a manifest spelled it
// (dotted versions of the manifests only), at most kVersionTextMax units.
struct PlayerVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t buildMajor = 0;
    std::uint32_t buildMinor = 0;
    std::wstring text;
};
// A longer dotted text is refused as not dotted, never cut: it names a
// server folder.
inline constexpr std::size_t kVersionTextMax = 31;

// The record of one player type for one update cycle.
struct PlayerUpdateInfo {
    PlayerVersion offeredVersion;
    PlayerType type = PlayerType::ActiveX;
    std::string hash32;
    std::string hash64;
    std::wstring patchPackagePath;
    std::wstring fullPackagePath;
    std::wstring versionXmlPath;
    std::wstring patchXmlPath;
    bool patchMatchesInstalled = false;
    PlayerVersion minVer;
    PlayerVersion loudVer;
    PlayerVersion loudVerBeta;
    std::wstring basePath;
    std::int32_t major = 0;
    std::int32_t majorBeta = 0;
};

// Which registry view a player path is read from.
enum class RegistryView { Bits32, Bits64 };

struct PlayerPath {
    bool opened = false;
    std::wstring path;
};

// PackageTrust::fileDigest's contract: the SHA-256 of the file at path as 64
// lowercase hex characters and a zero into digest (65 bytes, zero-filled by
// the caller); redirection of System32 off while the file is opened when
// disableRedirection is set. On false, errorCode and systemError say why.
// The readers take this, not PackageTrust, so that tests hand them a fake;
// the update run binds them to the trust subsystem.
using FileDigester =
    std::function<bool(const std::wstring& path, char* digest, std::uint32_t& errorCode,
                       std::uint32_t& systemError, bool disableRedirection)>;
inline constexpr std::size_t kDigestBufferSize = 65;

// A digester that digests each file (by path and redirection) at most once
// and answers every later call, a failure included, as the first call was
// answered. A patch manifest names the same installed files in every entry;
// each entry still logs what it would have logged alone.
FileDigester onceEachDigester(FileDigester digester);

// Folder of the server under which all paths of the update lie.
inline constexpr wchar_t kUpdateRootPath[] = L"/pub/korinplayer/update/current/sau/";

// Element name in the manifests: "ActiveX", "Plugin", "Pepper".
const char* playerElementName(PlayerType type);

// -1, 0 or 1, comparing the four numbers in order; text takes no part.
int compareVersions(const PlayerVersion& a, const PlayerVersion& b);
bool isZeroVersion(const PlayerVersion& version);

// The installed version from the player key, or the zero version (no key, no
// readable "Version", a debugger build, or more than four numbers).
PlayerVersion readInstalledVersion(const Platform& platform, PlayerType type);
// The release-type key says "Release" = 0.
bool isBetaChannel(const Platform& platform, PlayerType type);
// The player key opens in the 32-bit view.
bool isPlayerInstalled(const Platform& platform, PlayerType type);
PlayerPath readPlayerPath(const Platform& platform, PlayerType type, RegistryView view);
bool isMsiInstall(const Platform& platform, PlayerType type);

// Fills basePath and the three paths below it from type, the majors and the
// newest versions.
void buildUpdatePaths(const Platform& platform, PlayerUpdateInfo& record);
// A newer version is offered and may be installed silently; logs 1632 or
// 1633 when the answer rests on the minimum version.
bool needsUpdate(const Platform& platform, const PlayerUpdateInfo& record);
void setPatchPackagePath(PlayerUpdateInfo& record, const std::wstring& folder);
// Sets patchMatchesInstalled from hash32/hash64 and the installed files.
void checkInstalledDigest(const Platform& platform, PlayerUpdateInfo& record,
                          const FileDigester& digester);
// The installed file's digest as hex text, or empty text after a logged
// warning "errorCode systemError".
std::string installedFileDigest(const Platform& platform, const FileDigester& digester,
                                const std::wstring& path, RegistryView view);

}  // namespace korin
