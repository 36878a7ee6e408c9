// The update cycle against the fakes: each of its outcomes with what it
// logs, records and starts, and the scheduling rules that follow from it.

#include "update/update_cycle.h"

#include "fakes/fake_crypto_libraries.h"
#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "net/manifest_download.h"
#include "platform/error_codes.h"
#include "settings/runtime_config.h"
#include "support/log.h"
#include "update/update_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakeCryptoLibraries;
using testing::FakePlatform;
using testing::installPlayer;
using Entries = std::vector<std::wstring>;

using testing::kStateKey;
using testing::kSettingsFolder;
using testing::kSettingsPath;
constexpr wchar_t kRoot31[] = L"/pub/korinplayer/update/current/sau/31";
// 2026-01-01 as a FILETIME.
constexpr std::uint64_t kNow = 134116992000000000ull;
constexpr char kOffered[] = "32.0.0.465";

// The version manifest of the folder 31, offering version to each type and
// asking for checks every frequency days.
std::string versionManifest(const char* version, int frequency) {
    std::string text = "<version>";
    std::string numbers[4];
    std::string rest = version;
    for (std::string& number : numbers) {
        const auto dot = rest.find('.');
        number = rest.substr(0, dot);
        rest = dot == std::string::npos ? "" : rest.substr(dot + 1);
    }
    for (const char* type : {"ActiveX", "Plugin", "Pepper"}) {
        text += std::string("<") + type + " major='" + numbers[0] + "' minor='" + numbers[1] +
                "' buildMajor='" + numbers[2] + "' buildMinor='" + numbers[3] + "'/>";
    }
    return text + "<SAUConfig checkFrequency='" + std::to_string(frequency) + "'/></version>";
}

std::wstring fullPackage(const wchar_t* tag) {
    return std::wstring(kRoot31) + L"/install/install_all_win_" + tag + L"_sgn.z";
}

// A machine that allows silent updates and is due for a check; the server
// offers kOffered for the folder 31, with every full package signed.
struct Cycle {
    Cycle() {
        logOptions().verbose = true;
        runtimeConfig().silentAutoUpdateEnable = true;
        platform = fake.platform();
        platform.cryptoLibraries = &libraries;
        libraries.trustDirectSigner();
        libraries.content = "MZ verified";
        fake.clock.fileTime = kNow;
        fake.files.addFolder(kSettingsFolder);
        fake.http.responses[kCurrentMajorPath] = {
            "<version><Player major='32' majorBeta='33' loudVer='32.0.0.465'/></version>"};
        offer(kOffered, 2);
        for (const wchar_t* tag : {L"ax", L"pl", L"pep"}) {
            fake.http.responses[fullPackage(tag)] = {"signed package"};
        }
    }
    void offer(const char* version, int frequency) {
        fake.http.responses[std::wstring(kRoot31) + L"/xml/version.xml"] = {
            versionManifest(version, frequency)};
    }
    void run() { runUpdateCycle(platform); }
    // The cycle's own entries, each "[level] code[ detail]".
    Entries cycleEntries() const {
        return fake.logEntriesWithCodes(
            {1608, 1612, 1432, 1301, 1609, 1610, 1621, 1234, 1300, 1306});
    }
    // The command lines of the installers started.
    std::vector<std::wstring> started() const {
        std::vector<std::wstring> lines;
        for (const auto& created : fake.processes.created) {
            lines.push_back(created.commandLine);
        }
        return lines;
    }
    std::optional<std::uint64_t> lastCheck() const {
        return fake.registry.qword(kStateKey, kValueLastUpdateCheck);
    }
    std::optional<std::uint32_t> frequency() const {
        return fake.registry.dword(kStateKey, kValueCheckFrequency);
    }
    std::optional<std::uint32_t> attempts() const {
        return fake.registry.dword(kStateKey, kValueUpdateAttempts);
    }
    FakePlatform fake;
    FakeCryptoLibraries libraries;
    Platform platform;
};

constexpr wchar_t kFullInstall[] = L"KorinPlayerInstaller.exe -install -iv 9";

TEST(UpdateCycle, EndsInOneOfItsOutcomes) {
    struct Case {
        const char* name;
        std::function<void(Cycle&)> arrange;
        Entries log;
        bool recorded;
        std::uint32_t frequency;  // as recorded
        std::optional<std::uint32_t> attempts;
        std::vector<std::wstring> started;
        bool requestsSent;
    };
    const auto pluginDue = [](Cycle& c) {
        installPlayer(c.fake.registry, PlayerType::Plugin, L"31.0.0.1");
    };
    const Case cases[] = {
        {"gated: auto-update disabled",
         [&](Cycle& c) {
             pluginDue(c);
             runtimeConfig().autoUpdateDisable = true;
         },
         {L"[info] 1608", L"[info] 1612"},
         false,
         0,
         std::nullopt,
         {},
         false},
        {"gated: silent auto-update off",
         [&](Cycle& c) {
             pluginDue(c);
             runtimeConfig().silentAutoUpdateEnable = false;
         },
         {L"[info] 1608", L"[info] 1612"},
         false,
         0,
         std::nullopt,
         {},
         false},
        {"not due",
         [&](Cycle& c) {
             pluginDue(c);
             c.fake.registry.putQword(kStateKey, kValueLastUpdateCheck, kNow - kOneDay / 2);
         },
         {L"[info] 1608", L"[info] 1612"},
         false,
         0,
         std::nullopt,
         {},
         false},
        {"no current-major manifest",
         [&](Cycle& c) {
             pluginDue(c);
             c.fake.http.responses.erase(kCurrentMajorPath);
             c.fake.registry.putDword(kStateKey, kValueCheckFrequency, 3);
         },
         {L"[info] 1608", L"[info] 1432", L"[info] 1612"},
         true,
         1,
         std::nullopt,
         {},
         true},
        {"attempts exhausted",
         [&](Cycle& c) {
             pluginDue(c);
             c.fake.registry.putDword(kStateKey, kValueUpdateAttempts, 7);
         },
         {L"[info] 1608", L"[error] 1301", L"[info] 1612"},
         true,
         2,
         7,
         {},
         true},
        {"nothing to update",
         [](Cycle& c) {
             installPlayer(c.fake.registry, PlayerType::Plugin, L"31.0.0.9");
             c.offer("31.0.0.9", 2);
         },
         {L"[info] 1608", L"[info] 1612"},
         true,
         2,
         std::nullopt,
         {},
         true},
        {"launch failed",
         [&](Cycle& c) {
             pluginDue(c);
             c.fake.processes.faults.failNext("createProcess", kErrorAccessDenied);
         },
         {L"[info] 1608", L"[error] 1300 5", L"[info] 1612"},
         true,
         2,
         1,
         {},
         true},
        {"installer started",
         pluginDue,
         {L"[info] 1608", L"[info] 1610", L"[info] 1612"},
         false,
         0,
         1,
         {kFullInstall},
         true},
        {"ActiveX and Plugin both due on Windows 7: ActiveX first",
         [&](Cycle& c) {
             pluginDue(c);
             installPlayer(c.fake.registry, PlayerType::ActiveX, L"31.0.0.1");
             runtimeConfig().osClass = kOsClassVistaAnd7;
         },
         {L"[info] 1608", L"[info] 1609", L"[info] 1612"},
         false,
         0,
         1,
         {kFullInstall},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cycle cycle;
        c.arrange(cycle);
        const std::optional<std::uint64_t> lastBefore = cycle.lastCheck();
        const std::optional<std::uint32_t> frequencyBefore = cycle.frequency();
        cycle.run();
        EXPECT_EQ(cycle.cycleEntries(), c.log);
        if (c.recorded) {
            EXPECT_EQ(cycle.lastCheck(), kNow);
            EXPECT_EQ(cycle.frequency(), c.frequency);
        } else {
            EXPECT_EQ(cycle.lastCheck(), lastBefore);
            EXPECT_EQ(cycle.frequency(), frequencyBefore);
        }
        EXPECT_EQ(cycle.attempts(), c.attempts);
        EXPECT_EQ(cycle.started(), c.started);
        EXPECT_EQ(!cycle.fake.http.events.empty(), c.requestsSent);
        // Only the attempts gate touches the settings.
        EXPECT_EQ(cycle.fake.files.hasFile(kSettingsPath), c.log[1] == L"[error] 1301");
    }
}

TEST(UpdateCycle, EachTypeHasItsOwnCodes) {
    struct Case {
        PlayerType type;
        bool fails;
        const wchar_t* entry;
    };
    const Case cases[] = {
        {PlayerType::ActiveX, false, L"[info] 1609"},
        {PlayerType::ActiveX, true, L"[error] 1234 2"},
        {PlayerType::Plugin, false, L"[info] 1610"},
        {PlayerType::Plugin, true, L"[error] 1300 2"},
        {PlayerType::Pepper, false, L"[info] 1621"},
        {PlayerType::Pepper, true, L"[error] 1306 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::playerKeyPath(c.type) + (c.fails ? L" fails" : L" starts"));
        Cycle cycle;
        installPlayer(cycle.fake.registry, c.type, L"31.0.0.1");
        if (c.fails) {
            cycle.fake.processes.faults.failNext("createProcess", kErrorFileNotFound);
        }
        cycle.run();
        EXPECT_EQ(cycle.cycleEntries(), (Entries{L"[info] 1608", c.entry, L"[info] 1612"}));
        EXPECT_EQ(cycle.started().size(), c.fails ? 0u : 1u);
    }
}

TEST(UpdateCycle, IsDueOnlyOnceTheFrequencyHasFullyPassed) {
    for (const std::uint64_t age : {2 * kOneDay, 2 * kOneDay + 1}) {
        Cycle cycle;
        cycle.fake.registry.putQword(kStateKey, kValueLastUpdateCheck, kNow - age);
        cycle.fake.registry.putDword(kStateKey, kValueCheckFrequency, 2);
        cycle.run();
        EXPECT_EQ(cycle.fake.http.requestsFor(kCurrentMajorPath), age > 2 * kOneDay ? 1 : 0);
        EXPECT_EQ(cycle.lastCheck(), age > 2 * kOneDay ? kNow : kNow - age);
    }
}

TEST(UpdateCycle, RecordsTheOfferedFrequencyWithinOneToThreeDays) {
    const struct {
        int offered;
        std::uint32_t recorded;
    } cases[] = {{0, 1}, {1, 1}, {3, 3}, {7, 3}};
    for (const auto& c : cases) {
        Cycle cycle;
        installPlayer(cycle.fake.registry, PlayerType::Pepper, L"31.0.0.9");
        cycle.offer("31.0.0.9", c.offered);
        cycle.run();
        EXPECT_EQ(cycle.frequency(), c.recorded) << c.offered;
        EXPECT_EQ(cycle.lastCheck(), kNow) << c.offered;
    }
}

TEST(UpdateCycle, StartsOneInstallerPerCycleInTheOrderOfTheTypes) {
    Cycle cycle;
    installPlayer(cycle.fake.registry, PlayerType::ActiveX, L"31.0.0.1");
    installPlayer(cycle.fake.registry, PlayerType::Pepper, L"31.0.0.2");
    cycle.run();
    EXPECT_EQ(cycle.cycleEntries(), (Entries{L"[info] 1608", L"[info] 1609", L"[info] 1612"}));
    EXPECT_EQ(cycle.fake.http.requestsFor(fullPackage(L"ax")), 1);
    EXPECT_EQ(cycle.fake.http.requestsFor(fullPackage(L"pep")), 0);
    EXPECT_EQ(cycle.lastCheck(), std::nullopt);
    EXPECT_EQ(cycle.attempts(), 1u);

    // Once ActiveX is current, the next start goes on with Pepper.
    installPlayer(cycle.fake.registry, PlayerType::ActiveX, L"32.0.0.465");
    cycle.run();
    EXPECT_EQ(cycle.fake.http.requestsFor(fullPackage(L"pep")), 1);
    EXPECT_EQ(cycle.started().size(), 2u);
    EXPECT_EQ(cycle.attempts(), 2u);
}

TEST(UpdateCycle, TheSeventhLaunchIsTheLastBeforeNotifyMode) {
    Cycle cycle;
    installPlayer(cycle.fake.registry, PlayerType::Plugin, L"31.0.0.1");
    cycle.fake.registry.putDword(kStateKey, kValueUpdateAttempts, 6);
    cycle.run();
    EXPECT_EQ(cycle.started().size(), 1u);
    EXPECT_EQ(cycle.attempts(), 7u);
    EXPECT_FALSE(cycle.fake.files.hasFile(kSettingsPath));

    // The installer did its work: nothing is left to update, and still the
    // gate switches the machine to notify mode.
    installPlayer(cycle.fake.registry, PlayerType::Plugin, L"32.0.0.465");
    cycle.run();
    const Entries log = cycle.cycleEntries();
    EXPECT_EQ(Entries(log.end() - 3, log.end()),
              (Entries{L"[info] 1608", L"[error] 1301", L"[info] 1612"}));
    EXPECT_EQ(cycle.started().size(), 1u);
    EXPECT_EQ(cycle.fake.files.content(kSettingsPath),
              "SilentAutoUpdateEnable=0\r\nAutoUpdateDisable=0\r\n");
}

}  // namespace
}  // namespace korin
