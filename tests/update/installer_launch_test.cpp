// The installer launch against the fakes: the exact file and command line,
// the flags, handles closed at once, and the codes of each failure.

#include "update/installer_launch.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_crypto_libraries.h"
#include "fakes/fake_platform.h"
#include "platform/files.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakeCryptoLibraries;
using testing::FakePlatform;
using Entries = std::vector<std::wstring>;

constexpr wchar_t kInstaller[] = L"C:\\Windows\\System32\\KorinPlayerInstaller.exe";

struct Launch {
    Launch() {
        logOptions().verbose = true;
        platform = fake.platform();
        platform.cryptoLibraries = &libraries;
        libraries.trustDirectSigner();
        libraries.content = "MZ verified";
        record.type = PlayerType::Plugin;
        record.fullPackagePath = L"/full.z";
        record.patchPackagePath = L"/patch.z";
        fake.http.responses[L"/full.z"] = {"full package"};
        fake.http.responses[L"/patch.z"] = {"patch package"};
    }
    FakePlatform fake;
    FakeCryptoLibraries libraries;
    Platform platform;
    PlayerUpdateInfo record;
    std::optional<testing::AllocationFault> fault;
};

TEST(InstallerLaunch, StartsExactlyTheVerifiedFileWithTheFixedCommandLine) {
    for (const bool patch : {true, false}) {
        SCOPED_TRACE(patch);
        Launch l;
        l.record.patchMatchesInstalled = patch;
        EXPECT_TRUE(launchInstaller(l.platform, &l.record));
        ASSERT_EQ(l.fake.processes.created.size(), 1u);
        const auto& created = l.fake.processes.created[0];
        EXPECT_EQ(created.applicationName, kInstaller);
        EXPECT_EQ(created.commandLine, patch ? L"KorinPlayerInstaller.exe -install -iv 11"
                                             : L"KorinPlayerInstaller.exe -install -iv 9");
        EXPECT_EQ(created.flags, 0x04000008u);
        EXPECT_EQ(created.image, "MZ verified");
        EXPECT_EQ(l.fake.processes.openHandles, 0);
        EXPECT_EQ(l.fake.logEntries(),
                  (Entries{patch ? L"[info] 1637" : L"[info] 1601", L"[info] 1602"}));
    }
}

TEST(InstallerLaunch, FailuresStartNothingAndLogTheirCode) {
    const struct {
        const char* name;
        std::function<void(Launch&)> arrange;
        Entries log;
    } cases[] = {
        {"download",
         [](Launch& l) { l.fake.http.faults.failNext("open", 12004); },
         {L"[info] 1601", L"[error] 1214 12004"}},
        {"full path",
         [](Launch& l) { l.fake.files.faults.failNext("getFullPathName", 206); },
         {L"[info] 1601", L"[error] 1218 206"}},
        {"process",
         [](Launch& l) { l.fake.processes.faults.failNext("createProcess", 2); },
         {L"[info] 1601", L"[error] 1218 2"}},
        {"working objects",
         [](Launch& l) {
             // Armed once the installer is written, for the path buffer.
             l.fake.files.onOpen = [&l](const std::wstring& path) {
                 if (path == L"KorinPlayerInstaller.exe" && !l.fault) {
                     l.fault.emplace(sizeof(wchar_t) * (kMaxPath + 1));
                 }
             };
         },
         {L"[info] 1601", L"[error] 1236 8"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Launch l;
        c.arrange(l);
        EXPECT_FALSE(launchInstaller(l.platform, &l.record));
        EXPECT_TRUE(l.fake.processes.created.empty());
        EXPECT_EQ(l.fake.logEntries(), c.log);
        l.fault.reset();
    }
}

// Each allocation of a launch fails in turn: nothing is thrown, a created
// installer is always a success (else the next cycle counts and starts it
// again), and a failure always has its error entry.
TEST(InstallerLaunch, RunningOutOfMemoryNeverReportsAStartedInstallerAsFailed) {
    int n = 1;
    for (bool reached = true; reached && n < 20'000; ++n) {
        Launch l;
        bool launched = false;
        const auto run = testing::runWithNthAllocationFailing(
            n, [&] { launched = launchInstaller(l.platform, &l.record); });
        reached = run.reached;
        SCOPED_TRACE(n);
        ASSERT_FALSE(run.thrown);
        EXPECT_EQ(launched, !l.fake.processes.created.empty());
        EXPECT_EQ(l.fake.processes.openHandles, 0);
        const Entries log = l.fake.logEntries();
        if (!launched) {
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.back().rfind(L"[error] ", 0), 0u) << log.back();
        }
        EXPECT_TRUE(launched || reached);
    }
    EXPECT_GT(n, 20);
    EXPECT_LT(n, 20'000);
}

TEST(InstallerLaunch, MissingInstallerIsTheSystemsFileNotFound) {
    FakePlatform fake;
    logOptions().verbose = true;
    EXPECT_FALSE(
        runInstaller(fake.platform(), kInstaller, L"KorinPlayerInstaller.exe -install -iv 9"));
    EXPECT_EQ(fake.logEntries(), Entries{L"[error] 1218 2"});
}

TEST(InstallerLaunch, NoMemoryForTheCommandLineIsLogged) {
    FakePlatform fake;
    logOptions().verbose = true;
    fake.files.putFile(kInstaller, "MZ");
    const std::wstring commandLine = kFullInstallerCommandLine;
    testing::AllocationFault fault(sizeof(wchar_t) * (commandLine.size() + 1));
    EXPECT_FALSE(runInstaller(fake.platform(), kInstaller, commandLine));
    EXPECT_TRUE(fault.happened());
    EXPECT_TRUE(fake.processes.created.empty());
    EXPECT_EQ(fake.logEntries(), Entries{L"[error] 1235 8"});
}

}  // namespace
}  // namespace korin
