#include "manifest/player_inventory.h"

#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "platform/error_codes.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;
using testing::installPlayer;
using testing::playerKeyPath;
using testing::putString;
using testing::setRelease;

constexpr PlayerType kTypes[] = {PlayerType::ActiveX, PlayerType::Plugin, PlayerType::Pepper};

PlayerVersion version(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                      std::wstring text = L"") {
    return PlayerVersion{a, b, c, d, std::move(text)};
}

void expectVersion(const PlayerVersion& actual, const PlayerVersion& expected,
                   const std::wstring& context) {
    EXPECT_EQ(actual.major, expected.major) << context;
    EXPECT_EQ(actual.minor, expected.minor) << context;
    EXPECT_EQ(actual.buildMajor, expected.buildMajor) << context;
    EXPECT_EQ(actual.buildMinor, expected.buildMinor) << context;
    EXPECT_EQ(actual.text, expected.text) << context;
}

using InventoryTest = testing::VerboseFakeTest;

// ---- versions ----------------------------------------------------------------

TEST(CompareVersions, FirstDifferingComponentDecidesAsUnsigned) {
    struct Case {
        PlayerVersion a, b;
        int expected;
    };
    const Case cases[] = {
        {version(32, 0, 0, 465), version(32, 0, 0, 465), 0},
        {version(32, 0, 0, 465, L"x"), version(32, 0, 0, 465, L"y"), 0},
        {version(33, 0, 0, 0), version(32, 9, 9, 9), 1},
        {version(32, 1, 0, 0), version(32, 0, 9, 9), 1},
        {version(32, 0, 1, 0), version(32, 0, 0, 9), 1},
        {version(32, 0, 0, 2), version(32, 0, 0, 10), -1},
        {version(0xFFFFFFFFu, 0, 0, 0), version(1, 0, 0, 0), 1},
        {version(0, 0, 0, 0), version(0, 0, 0, 1), -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compareVersions(c.a, c.b), c.expected);
        EXPECT_EQ(compareVersions(c.b, c.a), -c.expected);
    }
}

TEST_F(InventoryTest, InstalledVersionSplitsTheRegistryTextAtDots) {
    struct Case {
        const wchar_t* text;
        PlayerVersion expected;
    };
    const Case cases[] = {
        {L"32.0.0.465", version(32, 0, 0, 465)},
        {L"32.0", version(32, 0, 0, 0)},
        {L"32", version(32, 0, 0, 0)},
        {L"32.0.0.465.1", version(0, 0, 0, 0)},
        {L"32.0.0.465.", version(0, 0, 0, 0)},
        {L"", version(0, 0, 0, 0)},
        {L" 7.-1.+3.x", version(7, 0xFFFFFFFFu, 3, 0)},
        {L"99999999999.1..4", version(0xFFFFFFFFu, 1, 0, 4)},
        {L"31.0.0.100 beta", version(31, 0, 0, 100)},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        installPlayer(local.registry, PlayerType::Plugin, c.text);
        expectVersion(readInstalledVersion(local.platform(), PlayerType::Plugin), c.expected,
                      c.text);
    }
}

TEST_F(InventoryTest, InstalledVersionIsZeroForDebuggersMissingValuesAndOtherTypes) {
    installPlayer(fake.registry, PlayerType::ActiveX, L"32.0.0.465");
    fake.registry.putDword(playerKeyPath(PlayerType::ActiveX), L"isScriptDebugger", 1);
    installPlayer(fake.registry, PlayerType::Plugin, L"32.0.0.465");
    fake.registry.putDword(playerKeyPath(PlayerType::Plugin), L"isScriptDebugger", 0);
    fake.registry.putDword(playerKeyPath(PlayerType::Pepper), L"isMSI", 1);  // no "Version"

    EXPECT_TRUE(isZeroVersion(readInstalledVersion(platform(), PlayerType::ActiveX)));
    expectVersion(readInstalledVersion(platform(), PlayerType::Plugin), version(32, 0, 0, 465),
                  L"not a debugger");
    EXPECT_TRUE(isZeroVersion(readInstalledVersion(platform(), PlayerType::Pepper)));
    EXPECT_TRUE(isZeroVersion(readInstalledVersion(platform(), static_cast<PlayerType>(4))));
    EXPECT_TRUE(isZeroVersion(readInstalledVersion(platform(), static_cast<PlayerType>(0))));
}

TEST_F(InventoryTest, InstalledVersionTextMayFillTheBufferButNotExceedIt) {
    // 2048 bytes: 1023 units and the terminator fit; one unit more does not.
    std::wstring fits = L"5.1.2.3";
    fits.resize(1023, L' ');
    installPlayer(fake.registry, PlayerType::ActiveX, fits);
    expectVersion(readInstalledVersion(platform(), PlayerType::ActiveX), version(5, 1, 2, 3),
                  L"fits");
    std::wstring tooLong = fits + L" ";
    installPlayer(fake.registry, PlayerType::ActiveX, tooLong);
    EXPECT_TRUE(isZeroVersion(readInstalledVersion(platform(), PlayerType::ActiveX)));
}

TEST_F(InventoryTest, InstalledVersionIsZeroWhenTheKeyCannotBeOpened) {
    installPlayer(fake.registry, PlayerType::ActiveX, L"32.0.0.465");
    fake.registry.faults.failNext("openKey", kErrorAccessDenied);
    EXPECT_TRUE(isZeroVersion(readInstalledVersion(platform(), PlayerType::ActiveX)));
    fake.registry.faults.failNext("queryValue", kErrorMoreData);
    EXPECT_TRUE(isZeroVersion(readInstalledVersion(platform(), PlayerType::ActiveX)));
    // A failed read of "isScriptDebugger" counts as no debugger.
    fake.registry.putDword(playerKeyPath(PlayerType::ActiveX), L"isScriptDebugger", 1);
    fake.registry.faults.failNext("queryValue", kErrorAccessDenied, 1);
    expectVersion(readInstalledVersion(platform(), PlayerType::ActiveX), version(32, 0, 0, 465),
                  L"debugger unread");
    EXPECT_TRUE(fake.logEntries().empty());
}

// ---- channel, installation, path, MSI ------------------------------------------

TEST_F(InventoryTest, BetaChannelOnlyWhenReleaseReadsZero) {
    struct Case {
        const char* name;
        bool hasKey;
        bool hasValue;
        std::uint32_t release;
        bool beta;
    };
    const Case cases[] = {
        {"no key", false, false, 0, false},
        {"key without value", true, false, 0, false},
        {"Release 0", true, true, 0, true},
        {"Release 1", true, true, 1, false},
        {"Release 0xFFFFFFFF", true, true, 0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        for (PlayerType type : kTypes) {
            FakePlatform local;
            if (c.hasValue) {
                setRelease(local.registry, type, c.release);
            } else if (c.hasKey) {
                local.registry.putDword(playerKeyPath(type) + L"ReleaseType", L"Other", 0);
            }
            EXPECT_EQ(isBetaChannel(local.platform(), type), c.beta) << c.name;
        }
    }
}

TEST_F(InventoryTest, PlayerPathReadsEitherViewAndToleratesMissingValues) {
    putString(fake.registry, playerKeyPath(PlayerType::ActiveX), L"PlayerPath",
              L"C:\\Windows\\SysWOW64\\Korin\\korin_ax.ocx");
    fake.registry.putDword(playerKeyPath(PlayerType::Plugin), L"isMSI", 0);

    PlayerPath path = readPlayerPath(platform(), PlayerType::ActiveX, RegistryView::Bits32);
    EXPECT_TRUE(path.opened);
    EXPECT_EQ(path.path, L"C:\\Windows\\SysWOW64\\Korin\\korin_ax.ocx");
    path = readPlayerPath(platform(), PlayerType::ActiveX, RegistryView::Bits64);
    EXPECT_TRUE(path.opened);
    EXPECT_EQ(fake.registry.accesses, (std::vector<std::uint32_t>{0x20019, 0x20119}));

    path = readPlayerPath(platform(), PlayerType::Plugin, RegistryView::Bits32);
    EXPECT_TRUE(path.opened);
    EXPECT_EQ(path.path, L"");
    path = readPlayerPath(platform(), PlayerType::Pepper, RegistryView::Bits32);
    EXPECT_FALSE(path.opened);
    EXPECT_TRUE(isPlayerInstalled(platform(), PlayerType::ActiveX));
    EXPECT_TRUE(isPlayerInstalled(platform(), PlayerType::Plugin));
    EXPECT_FALSE(isPlayerInstalled(platform(), PlayerType::Pepper));
}

TEST_F(InventoryTest, PlayerPathOfUnknownTypeIsThePepperKeys) {
    putString(fake.registry, playerKeyPath(PlayerType::Pepper), L"PlayerPath", L"C:\\p.dll");
    const PlayerPath path =
        readPlayerPath(platform(), static_cast<PlayerType>(9), RegistryView::Bits32);
    EXPECT_TRUE(path.opened);
    EXPECT_EQ(path.path, L"C:\\p.dll");
}

TEST_F(InventoryTest, PlayerPathThatDoesNotFitReadsEmpty) {
    // 259 units and the terminator fit into 260 units; 260 and a terminator do not.
    const std::wstring fits = L"C:\\" + std::wstring(256, L'a');
    putString(fake.registry, playerKeyPath(PlayerType::Pepper), L"PlayerPath", fits);
    EXPECT_EQ(readPlayerPath(platform(), PlayerType::Pepper, RegistryView::Bits32).path, fits);
    putString(fake.registry, playerKeyPath(PlayerType::Pepper), L"PlayerPath", fits + L"b");
    const PlayerPath path = readPlayerPath(platform(), PlayerType::Pepper, RegistryView::Bits32);
    EXPECT_TRUE(path.opened);
    EXPECT_EQ(path.path, L"");
}

TEST_F(InventoryTest, MsiInstallWhenIsMsiIsPositive) {
    struct Case {
        bool present;
        std::uint32_t value;
        bool msi;
    };
    const Case cases[] = {{false, 0, false}, {true, 0, false}, {true, 1, true}, {true, 7, true}};
    for (const Case& c : cases) {
        FakePlatform local;
        installPlayer(local.registry, PlayerType::Pepper, L"32.0.0.1");
        if (c.present) {
            local.registry.putDword(playerKeyPath(PlayerType::Pepper), L"isMSI", c.value);
        }
        EXPECT_EQ(isMsiInstall(local.platform(), PlayerType::Pepper), c.msi) << c.value;
    }
    EXPECT_FALSE(isMsiInstall(platform(), PlayerType::ActiveX));
}

// ---- server paths ----------------------------------------------------------------

PlayerUpdateInfo newRecord(PlayerType type) {
    PlayerUpdateInfo record;
    record.type = type;
    record.major = 32;
    record.majorBeta = 33;
    record.loudVer = version(32, 0, 0, 465, L"32.0.0.465");
    record.loudVerBeta = version(33, 0, 0, 12, L"33.0.0.12");
    return record;
}

TEST_F(InventoryTest, FolderFollowsHowFarTheInstalledPlayerIsBehind) {
    struct Case {
        const wchar_t* installed;  // null: not installed
        bool debugger;
        std::int32_t release;  // -1: no release-type key
        const wchar_t* basePath;
    };
    const Case cases[] = {
        {nullptr, false, -1, L"/pub/korinplayer/update/current/sau/32"},
        {L"30.0.0.100", false, -1, L"/pub/korinplayer/update/current/sau/32"},
        {L"31.0.0.100", false, -1, L"/pub/korinplayer/update/current/sau/31"},
        {L"32.0.0.100", false, 1, L"/pub/korinplayer/update/current/sau/32"},
        {L"32.0.0.465", false, -1, L"/pub/korinplayer/update/current/sau/32.0.0.465"},
        {L"32.0.0.466", false, -1, L"/pub/korinplayer/update/current/sau/32"},
        {L"33.0.0.1", false, -1, L"/pub/korinplayer/update/current/sau/33"},
        {L"32.0.0.465", true, -1, L"/pub/korinplayer/update/current/sau/32"},
        {nullptr, false, 0, L"/pub/korinplayer/update/current/sau/33/beta"},
        {L"32.0.0.1", false, 0, L"/pub/korinplayer/update/current/sau/32/beta"},
        {L"31.0.0.1", false, 0, L"/pub/korinplayer/update/current/sau/33/beta"},
        {L"33.0.0.12", false, 0, L"/pub/korinplayer/update/current/sau/33.0.0.12/beta"},
        {L"32.0.0.465", false, 0, L"/pub/korinplayer/update/current/sau/32/beta"},
        {L"4294967295.0.0.0", false, -1, L"/pub/korinplayer/update/current/sau/32"},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        if (c.installed != nullptr) {
            installPlayer(local.registry, PlayerType::Plugin, c.installed);
        }
        if (c.debugger) {
            local.registry.putDword(playerKeyPath(PlayerType::Plugin), L"isScriptDebugger", 1);
        }
        if (c.release >= 0) {
            setRelease(local.registry, PlayerType::Plugin, static_cast<std::uint32_t>(c.release));
        }
        PlayerUpdateInfo record = newRecord(PlayerType::Plugin);
        buildUpdatePaths(local.platform(), record);
        const std::wstring context = c.installed ? c.installed : L"(none)";
        EXPECT_EQ(record.basePath, c.basePath) << context << " release " << c.release;
        EXPECT_EQ(record.versionXmlPath, std::wstring(c.basePath) + L"/xml/version.xml");
        EXPECT_EQ(record.patchXmlPath, std::wstring(c.basePath) + L"/xml/patch.xml");
    }
}

TEST_F(InventoryTest, FolderOfAnUninstalledPlayerWithCurrentMajorOneIsZero) {
    PlayerUpdateInfo record = newRecord(PlayerType::ActiveX);
    record.major = 1;
    buildUpdatePaths(platform(), record);
    EXPECT_EQ(record.basePath, L"/pub/korinplayer/update/current/sau/0");
}

TEST_F(InventoryTest, PackagePathsCarryTheTypesTag) {
    struct Case {
        PlayerType type;
        const wchar_t* full;
        const wchar_t* patch;
    };
    const Case cases[] = {
        {PlayerType::ActiveX,
         L"/pub/korinplayer/update/current/sau/32/install/install_all_win_ax_sgn.z",
         L"/pub/korinplayer/update/current/sau/32/install/patch/p1/patch_all_win_ax_sgn.z"},
        {PlayerType::Plugin,
         L"/pub/korinplayer/update/current/sau/32/install/install_all_win_pl_sgn.z",
         L"/pub/korinplayer/update/current/sau/32/install/patch/p1/patch_all_win_pl_sgn.z"},
        {PlayerType::Pepper,
         L"/pub/korinplayer/update/current/sau/32/install/install_all_win_pep_sgn.z",
         L"/pub/korinplayer/update/current/sau/32/install/patch/p1/patch_all_win_pep_sgn.z"},
    };
    for (const Case& c : cases) {
        PlayerUpdateInfo record = newRecord(c.type);
        buildUpdatePaths(platform(), record);
        EXPECT_EQ(record.fullPackagePath, c.full);
        setPatchPackagePath(record, L"old");
        setPatchPackagePath(record, L"p1");
        EXPECT_EQ(record.patchPackagePath, c.patch);
    }
}

// ---- needsUpdate -------------------------------------------------------------------

TEST_F(InventoryTest, NeedsUpdateWeighsOfferedInstalledAndMinimumVersions) {
    struct Case {
        const char* name;
        PlayerType type;
        std::int32_t osClass;
        const wchar_t* installed;  // null: not installed
        PlayerVersion offered;
        PlayerVersion minVer;
        bool needed;
        std::vector<std::wstring> log;
    };
    const Case cases[] = {
        {"newer offered, no minimum",
         PlayerType::Plugin,
         2,
         L"31.0.0.100",
         version(32, 0, 0, 465),
         version(0, 0, 0, 0),
         true,
         {L"[info] 1632"}},
        {"installed equals minimum",
         PlayerType::Pepper,
         3,
         L"31.0.0.100",
         version(32, 0, 0, 465),
         version(31, 0, 0, 100),
         true,
         {L"[info] 1632"}},
        {"installed below minimum",
         PlayerType::Plugin,
         2,
         L"31.0.0.100",
         version(32, 0, 0, 465),
         version(31, 0, 0, 101),
         false,
         {L"[info] 1633"}},
        {"same version offered",
         PlayerType::Plugin,
         2,
         L"32.0.0.465",
         version(32, 0, 0, 465),
         version(0, 0, 0, 0),
         false,
         {}},
        {"older version offered",
         PlayerType::Plugin,
         2,
         L"32.0.0.466",
         version(32, 0, 0, 465),
         version(0, 0, 0, 0),
         false,
         {}},
        {"manifest never read",
         PlayerType::Plugin,
         2,
         L"31.0.0.100",
         version(0, 0, 0, 0),
         version(0, 0, 0, 0),
         false,
         {}},
        {"not installed",
         PlayerType::Plugin,
         2,
         nullptr,
         version(32, 0, 0, 465),
         version(0, 0, 0, 0),
         false,
         {}},
        {"ActiveX on Windows 8",
         PlayerType::ActiveX,
         3,
         L"31.0.0.100",
         version(32, 0, 0, 465),
         version(0, 0, 0, 0),
         false,
         {}},
        {"ActiveX on Windows 7",
         PlayerType::ActiveX,
         2,
         L"31.0.0.100",
         version(32, 0, 0, 465),
         version(0, 0, 0, 0),
         true,
         {L"[info] 1632"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        runtimeConfig().osClass = c.osClass;
        if (c.installed != nullptr) {
            installPlayer(local.registry, c.type, c.installed);
        }
        PlayerUpdateInfo record = newRecord(c.type);
        record.offeredVersion = c.offered;
        record.minVer = c.minVer;
        EXPECT_EQ(needsUpdate(local.platform(), record), c.needed) << c.name;
        EXPECT_EQ(local.logEntries(), c.log) << c.name;
    }
}

TEST_F(InventoryTest, NeedsUpdateReadsTheRegistryAndLogsOnEveryCall) {
    installPlayer(fake.registry, PlayerType::Plugin, L"31.0.0.100");
    PlayerUpdateInfo record = newRecord(PlayerType::Plugin);
    record.offeredVersion = version(32, 0, 0, 465);
    EXPECT_TRUE(needsUpdate(platform(), record));
    installPlayer(fake.registry, PlayerType::Plugin, L"32.0.0.465");
    EXPECT_FALSE(needsUpdate(platform(), record));
    installPlayer(fake.registry, PlayerType::Plugin, L"31.0.0.100");
    EXPECT_TRUE(needsUpdate(platform(), record));
    EXPECT_EQ(fake.logEntries(), (std::vector<std::wstring>{L"[info] 1632", L"[info] 1632"}));
}

// ---- patch fit -----------------------------------------------------------------------

// SHA-256 of "abc" and of "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq".
constexpr char kDigestAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kDigestLong[] = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";

// Digests by (path, redirection off); a path it does not know fails like a
// missing file.
struct FakeDigester {
    std::map<std::pair<std::wstring, bool>, std::string> digests;
    std::vector<std::pair<std::wstring, bool>> calls;
    FileDigester bind() {
        return [this](const std::wstring& path, char* digest, std::uint32_t& errorCode,
                      std::uint32_t& systemError, bool disableRedirection) {
            calls.emplace_back(path, disableRedirection);
            for (std::size_t i = 0; i < kDigestBufferSize; ++i) {
                if (digest[i] != 0) {
                    ADD_FAILURE() << "digest buffer not zero-filled";
                }
            }
            auto found = digests.find({path, disableRedirection});
            if (found == digests.end()) {
                errorCode = 1151;
                systemError = kErrorFileNotFound;
                return false;
            }
            std::memcpy(digest, found->second.c_str(), found->second.size() + 1);
            return true;
        };
    }
};

constexpr wchar_t kPath32[] = L"C:\\Windows\\SysWOW64\\Korin\\korin_pl.dll";
constexpr wchar_t kPath64[] = L"C:\\Windows\\System32\\Korin\\korin_pl.dll";

TEST_F(InventoryTest, PatchFitsOnlyWhenEveryComparedFileMatches) {
    struct Case {
        const char* name;
        bool wow64;
        bool msi;
        std::string hash32, hash64;
        std::string file32, file64;  // empty: the digest fails
        bool match;
        std::vector<std::pair<std::wstring, bool>> calls;
        std::vector<std::wstring> log;
    };
    const std::pair<std::wstring, bool> call32{kPath32, false};
    const std::pair<std::wstring, bool> call64{kPath32, true};
    const std::string upper = [] {
        std::string text = kDigestAbc;
        for (char& c : text) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return text;
    }();
    const Case cases[] = {
        {"32-bit Windows, match",
         false,
         false,
         kDigestAbc,
         kDigestLong,
         kDigestAbc,
         "",
         true,
         {call32},
         {}},
        {"32-bit Windows, other file",
         false,
         false,
         kDigestAbc,
         kDigestLong,
         kDigestLong,
         "",
         false,
         {call32},
         {}},
        {"64-bit Windows, both match",
         true,
         false,
         kDigestAbc,
         kDigestLong,
         kDigestAbc,
         kDigestLong,
         true,
         {call32, call64},
         {}},
        {"64-bit Windows, 64-bit file differs",
         true,
         false,
         kDigestAbc,
         kDigestLong,
         kDigestAbc,
         kDigestAbc,
         false,
         {call32, call64},
         {}},
        {"64-bit Windows, 32-bit file differs",
         true,
         false,
         kDigestAbc,
         kDigestLong,
         kDigestLong,
         kDigestLong,
         false,
         {call32},
         {}},
        {"64-bit digest fails",
         true,
         false,
         kDigestAbc,
         kDigestLong,
         kDigestAbc,
         "",
         false,
         {call32, call64},
         {L"[warning] 1151 2"}},
        {"32-bit digest fails",
         false,
         false,
         kDigestAbc,
         kDigestLong,
         "",
         "",
         false,
         {call32},
         {L"[warning] 1151 2"}},
        {"MSI install",
         true,
         true,
         kDigestAbc,
         kDigestLong,
         kDigestAbc,
         kDigestLong,
         false,
         {},
         {}},
        {"hash of 63 characters",
         false,
         false,
         std::string(kDigestAbc).substr(0, 63),
         "",
         std::string(kDigestAbc).substr(0, 63),
         "",
         false,
         {call32},
         {}},
        {"hash of 65 characters",
         false,
         false,
         std::string(kDigestAbc) + "0",
         "",
         std::string(kDigestAbc) + "0",
         "",
         false,
         {call32},
         {}},
        {"uppercase hash", false, false, upper, "", kDigestAbc, "", false, {call32}, {}},
        {"empty hashes", false, false, "", "", kDigestAbc, "", false, {call32}, {}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        runtimeConfig().isWow64 = c.wow64;
        installPlayer(local.registry, PlayerType::Plugin, L"31.0.0.1", kPath32);
        if (c.msi) {
            local.registry.putDword(playerKeyPath(PlayerType::Plugin), L"isMSI", 1);
        }
        FakeDigester digester;
        if (!c.file32.empty()) {
            digester.digests[call32] = c.file32;
        }
        if (!c.file64.empty()) {
            digester.digests[call64] = c.file64;
        }
        PlayerUpdateInfo record = newRecord(PlayerType::Plugin);
        record.hash32 = c.hash32;
        record.hash64 = c.hash64;
        record.patchMatchesInstalled = !c.match;
        checkInstalledDigest(local.platform(), record, digester.bind());
        EXPECT_EQ(record.patchMatchesInstalled, c.match) << c.name;
        EXPECT_EQ(digester.calls, c.calls) << c.name;
        EXPECT_EQ(local.logEntries(), c.log) << c.name;
    }
}

TEST_F(InventoryTest, PatchDigestReadsThe64BitPathThroughThe64BitView) {
    runtimeConfig().isWow64 = true;
    installPlayer(fake.registry, PlayerType::Pepper, L"31.0.0.1", kPath64);
    FakeDigester digester;
    digester.digests[{kPath64, false}] = kDigestAbc;
    digester.digests[{kPath64, true}] = kDigestLong;
    PlayerUpdateInfo record = newRecord(PlayerType::Pepper);
    record.hash32 = kDigestAbc;
    record.hash64 = kDigestLong;
    fake.registry.accesses.clear();
    checkInstalledDigest(platform(), record, digester.bind());
    EXPECT_TRUE(record.patchMatchesInstalled);
    // isMSI, the 32-bit path, the 64-bit path.
    EXPECT_EQ(fake.registry.accesses, (std::vector<std::uint32_t>{0x20019, 0x20019, 0x20119}));
}

TEST_F(InventoryTest, NoPlayerPathMeansNoDigestAndNoMatch) {
    installPlayer(fake.registry, PlayerType::ActiveX, L"31.0.0.1");
    FakeDigester digester;
    PlayerUpdateInfo record = newRecord(PlayerType::ActiveX);
    record.hash32 = kDigestAbc;
    record.patchMatchesInstalled = true;
    checkInstalledDigest(platform(), record, digester.bind());
    EXPECT_FALSE(record.patchMatchesInstalled);
    EXPECT_TRUE(digester.calls.empty());
    EXPECT_TRUE(fake.logEntries().empty());
}

TEST_F(InventoryTest, FailedDigestLogsBothNumbersAndGivesEmptyText) {
    const FileDigester failing = [](const std::wstring&, char*, std::uint32_t& errorCode,
                                    std::uint32_t& systemError, bool) {
        errorCode = 1148;
        systemError = 0x80090016u;
        return false;
    };
    EXPECT_EQ(installedFileDigest(platform(), failing, kPath32, RegistryView::Bits32), "");
    EXPECT_EQ(fake.logEntries(), (std::vector<std::wstring>{L"[warning] 1148 -2146893802"}));
}

}  // namespace
}  // namespace korin
