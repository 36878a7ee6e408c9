#include "manifest/player_inventory.h"

#include "manifest/decimal_text.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "settings/runtime_config.h"
#include "support/log.h"
#include "support/log_codes.h"
#include "ground/text.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace korin {

namespace {

constexpr std::int32_t kLogInstalledAtLeastMinVer = logCode(1632);
constexpr std::int32_t kLogInstalledBelowMinVer = logCode(1633);

constexpr std::uint32_t kKeyRead64 = kKeyRead | kKeyWow64_64Key;
// "Version" is read into this many bytes.
constexpr std::uint32_t kVersionBufferBytes = 2048;
// "PlayerPath" is read into this many UTF-16 units.
constexpr std::uint32_t kPlayerPathUnits = 260;

std::wstring playerKey(PlayerType type) {
    switch (type) {
        case PlayerType::ActiveX:
            return L"Software\\Tervalonix\\KorinPlayerActiveX";
        case PlayerType::Plugin:
            return L"Software\\Tervalonix\\KorinPlayerPlugin";
        default:
            return L"Software\\Tervalonix\\KorinPlayerPepper";
    }
}

std::wstring releaseTypeKey(PlayerType type) {
    return playerKey(type) + L"ReleaseType";
}

bool isKnownType(PlayerType type) {
    return type == PlayerType::ActiveX || type == PlayerType::Plugin || type == PlayerType::Pepper;
}

std::unique_ptr<RegistryKey> openKey(const Platform& platform, const std::wstring& path,
                                     std::uint32_t access) {
    std::unique_ptr<RegistryKey> key;
    if (platform.registry->openKey(RegistryRoot::LocalMachine, path, access, key) != 0) {
        key.reset();
    }
    return key;
}

// A 4-byte number; a shorter value fills the low bytes.
bool readNumber(RegistryKey& key, const wchar_t* name, std::uint32_t& number) {
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    if (key.queryValue(name, nullptr, &value, &size) != 0) {
        return false;
    }
    number = value;
    return true;
}

// The UTF-16 text of a value read into units (zero-filled), up to the first
// zero unit or the end of the buffer.
std::wstring textOfUnits(const std::vector<char16_t>& units) {
    std::size_t length = 0;
    while (length < units.size() && units[length] != 0) {
        ++length;
    }
    return wideFromUtf16(std::u16string(units.data(), length));
}

const wchar_t* packageTag(PlayerType type) {
    switch (type) {
        case PlayerType::ActiveX:
            return L"ax";
        case PlayerType::Plugin:
            return L"pl";
        default:
            return L"pep";
    }
}

bool digestsMatch(const std::string& expected, const std::string& computed) {
    return expected.size() == 64 && computed.size() == 64 &&
           std::memcmp(expected.data(), computed.data(), 64) == 0;
}

}  // namespace

const char* playerElementName(PlayerType type) {
    switch (type) {
        case PlayerType::ActiveX:
            return "ActiveX";
        case PlayerType::Plugin:
            return "Plugin";
        default:
            return "Pepper";
    }
}

int compareVersions(const PlayerVersion& a, const PlayerVersion& b) {
    const std::uint32_t left[] = {a.major, a.minor, a.buildMajor, a.buildMinor};
    const std::uint32_t right[] = {b.major, b.minor, b.buildMajor, b.buildMinor};
    for (int i = 0; i < 4; ++i) {
        if (left[i] != right[i]) {
            return left[i] > right[i] ? 1 : -1;
        }
    }
    return 0;
}

bool isZeroVersion(const PlayerVersion& version) {
    return version.major == 0 && version.minor == 0 && version.buildMajor == 0 &&
           version.buildMinor == 0 && version.text.empty();
}

PlayerVersion readInstalledVersion(const Platform& platform, PlayerType type) {
    if (!isKnownType(type)) {
        return {};
    }
    auto key = openKey(platform, playerKey(type), kKeyRead);
    if (!key) {
        return {};
    }
    // One unit more than the value may fill, so the text always ends.
    std::vector<char16_t> units(kVersionBufferBytes / 2 + 1, 0);
    std::uint32_t size = kVersionBufferBytes;
    const bool versionRead = key->queryValue(L"Version", nullptr, units.data(), &size) == 0;
    bool debuggerBuild = false;
    if (versionRead) {
        std::uint32_t debugger = 0;
        debuggerBuild = readNumber(*key, L"isScriptDebugger", debugger) && debugger > 0;
    }
    key.reset();
    if (!versionRead || debuggerBuild) {
        return {};
    }
    const std::wstring text = textOfUnits(units);
    std::uint32_t numbers[4] = {0, 0, 0, 0};
    std::size_t start = 0;
    for (int piece = 0;; ++piece) {
        if (piece == 4) {
            return {};  // a fifth piece
        }
        const std::size_t dot = text.find(L'.', start);
        const std::wstring_view view(text);
        numbers[piece] = unsignedDecimal(
            view.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start));
        if (dot == std::wstring::npos) {
            break;
        }
        start = dot + 1;
    }
    PlayerVersion version;
    version.major = numbers[0];
    version.minor = numbers[1];
    version.buildMajor = numbers[2];
    version.buildMinor = numbers[3];
    return version;
}

bool isBetaChannel(const Platform& platform, PlayerType type) {
    auto key = openKey(platform, releaseTypeKey(type), kKeyRead);
    std::uint32_t release = 1;
    return key && readNumber(*key, L"Release", release) && release == 0;
}

bool isPlayerInstalled(const Platform& platform, PlayerType type) {
    return readPlayerPath(platform, type, RegistryView::Bits32).opened;
}

PlayerPath readPlayerPath(const Platform& platform, PlayerType type, RegistryView view) {
    PlayerPath result;
    auto key =
        openKey(platform, playerKey(type), view == RegistryView::Bits64 ? kKeyRead64 : kKeyRead);
    if (!key) {
        return result;
    }
    result.opened = true;
    std::vector<char16_t> units(kPlayerPathUnits, 0);
    std::uint32_t size = kPlayerPathUnits * 2;
    if (key->queryValue(L"PlayerPath", nullptr, units.data(), &size) == 0) {
        result.path = textOfUnits(units);
    }
    return result;
}

bool isMsiInstall(const Platform& platform, PlayerType type) {
    auto key = openKey(platform, playerKey(type), kKeyRead);
    std::uint32_t msi = 0;
    return key && readNumber(*key, L"isMSI", msi) && msi > 0;
}

void buildUpdatePaths(const Platform& platform, PlayerUpdateInfo& record) {
    const PlayerVersion installed = readInstalledVersion(platform, record.type);
    const bool beta = isBetaChannel(platform, record.type);
    const std::int32_t channelMajor = beta ? record.majorBeta : record.major;
    const PlayerVersion& newest = beta ? record.loudVerBeta : record.loudVer;
    const auto installedMajor = static_cast<std::int32_t>(installed.major);

    std::wstring folder;
    // Wrapping subtraction, as the 32-bit arithmetic of the platform gives.
    const auto behind = static_cast<std::int32_t>(static_cast<std::uint32_t>(channelMajor) -
                                                  static_cast<std::uint32_t>(installedMajor));
    if (behind >= 2) {
        folder = numberToText(channelMajor);
    } else if (compareVersions(installed, newest) == 0 && installedMajor > 0) {
        folder = newest.text;
    } else {
        folder = numberToText(installedMajor);
    }
    record.basePath = kUpdateRootPath + folder + (beta ? L"/beta" : L"");
    record.fullPackagePath =
        record.basePath + L"/install/install_all_win_" + packageTag(record.type) + L"_sgn.z";
    record.versionXmlPath = record.basePath + L"/xml/version.xml";
    record.patchXmlPath = record.basePath + L"/xml/patch.xml";
}

bool needsUpdate(const Platform& platform, const PlayerUpdateInfo& record) {
    if (record.type == PlayerType::ActiveX && runtimeConfig().osClass == kOsClass8AndLater) {
        return false;
    }
    const PlayerVersion installed = readInstalledVersion(platform, record.type);
    if (isZeroVersion(installed)) {
        return false;
    }
    if (compareVersions(record.offeredVersion, installed) <= 0) {
        return false;
    }
    if (compareVersions(installed, record.minVer) >= 0) {
        writeLog(platform, Info, logCodeMessage(kLogInstalledAtLeastMinVer));
        return true;
    }
    writeLog(platform, Info, logCodeMessage(kLogInstalledBelowMinVer));
    return false;
}

void setPatchPackagePath(PlayerUpdateInfo& record, const std::wstring& folder) {
    record.patchPackagePath = record.basePath + L"/install/patch/" + folder + L"/patch_all_win_" +
                              packageTag(record.type) + L"_sgn.z";
}

void checkInstalledDigest(const Platform& platform, PlayerUpdateInfo& record,
                          const FileDigester& digester) {
    if (isMsiInstall(platform, record.type)) {
        record.patchMatchesInstalled = false;
        return;
    }
    const PlayerPath path32 = readPlayerPath(platform, record.type, RegistryView::Bits32);
    std::string hex32;
    if (!path32.path.empty()) {
        hex32 = installedFileDigest(platform, digester, path32.path, RegistryView::Bits32);
    }
    bool match = digestsMatch(record.hash32, hex32);
    if (runtimeConfig().isWow64 && match) {
        const PlayerPath path64 = readPlayerPath(platform, record.type, RegistryView::Bits64);
        std::string hex64;
        if (!path64.path.empty()) {
            hex64 = installedFileDigest(platform, digester, path64.path, RegistryView::Bits64);
        }
        match = digestsMatch(record.hash64, hex64);
    }
    record.patchMatchesInstalled = match;
}

FileDigester onceEachDigester(FileDigester digester) {
    struct Answer {
        bool ok = false;
        std::string digest;
        std::uint32_t errorCode = 0;
        std::uint32_t systemError = 0;
    };
    using Answers = std::map<std::pair<std::wstring, bool>, Answer>;
    auto answers = std::make_shared<Answers>();
    return [digester = std::move(digester), answers](
               const std::wstring& path, char* digest, std::uint32_t& errorCode,
               std::uint32_t& systemError, bool disableRedirection) {
        // Without memory to remember, the file is simply digested again.
        try {
            const auto known = answers->find(std::make_pair(path, disableRedirection));
            if (known != answers->end()) {
                std::copy(known->second.digest.begin(), known->second.digest.end(), digest);
                errorCode = known->second.errorCode;
                systemError = known->second.systemError;
                return known->second.ok;
            }
        } catch (const std::bad_alloc&) {
        }
        const bool ok = digester(path, digest, errorCode, systemError, disableRedirection);
        try {
            answers->emplace(
                std::make_pair(path, disableRedirection),
                Answer{ok, std::string(digest, kDigestBufferSize), errorCode, systemError});
        } catch (const std::bad_alloc&) {
        }
        return ok;
    };
}

std::string installedFileDigest(const Platform& platform, const FileDigester& digester,
                                const std::wstring& path, RegistryView view) {
    char digest[kDigestBufferSize] = {};
    std::uint32_t errorCode = 0;
    std::uint32_t systemError = 0;
    if (!digester(path, digest, errorCode, systemError, view == RegistryView::Bits64)) {
        writeLog(platform, Warning,
                 logCodeMessage(static_cast<std::int32_t>(errorCode), numberToText(systemError)));
        return {};
    }
    return std::string(digest, std::find(digest, digest + sizeof digest, '\0'));
}

}  // namespace korin
