#include "settings/runtime_config.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "settings/settings_file.h"
#include "settings/windows_file_manager.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;

constexpr auto& kPath = testing::kSettingsPath;

TEST(InitRuntimeConfig, ClassifiesTheWindowsVersion) {
    struct Case {
        OsVersionInfo version;
        bool callFails;
        std::int32_t osClass;
    };
    const Case cases[] = {
        {{4, 10, 2222, 1}, false, 1},  // Windows 98: not NT
        {{5, 1, 2600, 2}, false, 1},   // XP
        {{6, 0, 6002, 2}, false, 2},   // Vista
        {{6, 1, 7601, 2}, false, 2},   // 7
        {{6, 2, 9200, 2}, false, 3},   // 8
        {{6, 3, 9600, 2}, false, 3},   // 8.1
        {{10, 0, 19045, 2}, false, 3}, {{7, 0, 0, 2}, false, 3}, {{10, 0, 19045, 1}, false, 1},
        {{10, 0, 19045, 2}, true, 1},  // a failed query reads as zeros
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.system.version = c.version;
        fake.system.versionCallFails = c.callFails;
        initRuntimeConfig(fake.platform());
        EXPECT_EQ(runtimeConfig().osClass, c.osClass)
            << c.version.majorVersion << "." << c.version.minorVersion;
    }
}

TEST(InitRuntimeConfig, IsWow64OnlyWhenTheQueryAnswersExactlyOne) {
    for (const auto& [answer, expected] :
         std::vector<std::pair<int, bool>>{{1, true}, {0, false}, {2, false}, {-1, false}}) {
        FakePlatform fake;
        fake.system.wow64 = answer;
        initRuntimeConfig(fake.platform());
        EXPECT_EQ(runtimeConfig().isWow64, expected) << answer;
    }
}

TEST(LoadRuntimeConfig, FillsTheSwitchesAndLogsThem) {
    struct Case {
        const char* name;
        const char* content;  // null: no file
        bool verbose;
        bool disable;
        bool silent;
        std::wstring domain;
        std::vector<std::wstring> entries;
    };
    const std::wstring fallback = kDefaultServerDomain;
    const Case cases[] = {
        {"no file", nullptr, false, false, false, fallback, {}},
        {"quiet without verbose logging",
         "SilentAutoUpdateEnable=1\nAutoUpdateDisable=1\n",
         false,
         true,
         true,
         fallback,
         {}},
        {"verbose",
         "SilentAutoUpdateVerboseLogging=yes\nSilentAutoUpdateEnable=1\n",
         true,
         false,
         true,
         fallback,
         {L"[info] 1614", L"[info] 1615"}},
        {"both flags",
         "SilentAutoUpdateVerboseLogging=1\nAutoUpdateDisable=1\nSilentAutoUpdateEnable=1",
         true,
         true,
         true,
         fallback,
         {L"[info] 1613", L"[info] 1615"}},
        {"domain",
         "SilentAutoUpdateVerboseLogging=1\nSilentAutoUpdateServerDomain=updates.example.org\n",
         true,
         false,
         false,
         L"updates.example.org",
         {L"[info] 1629 updates.example.org", L"[info] 1614", L"[info] 1616"}},
        {"domain with an equals sign",
         "SilentAutoUpdateVerboseLogging=1\nSilentAutoUpdateServerDomain=host=x\n",
         true,
         false,
         false,
         L"host=x",
         {L"[info] 1629 host=x", L"[info] 1614", L"[info] 1616"}},
        {"empty domain ignored",
         "SilentAutoUpdateVerboseLogging=1\nSilentAutoUpdateServerDomain=\n"
         "SilentAutoUpdateServerDomain=   \n",
         true,
         false,
         false,
         fallback,
         {L"[info] 1614", L"[info] 1616"}},
        {"UTF-8 domain",
         "SilentAutoUpdateVerboseLogging=1\nSilentAutoUpdateServerDomain=b\xC3\xBC"
         "cher.example\n",
         true,
         false,
         false,
         L"b\u00fccher.example",
         {L"[info] 1629 b\u00fccher.example", L"[info] 1614", L"[info] 1616"}},
        {"keys are case-sensitive",
         "silentautoupdateenable=1\nSilentAutoUpdateVerboseLogging=0\n",
         false,
         false,
         false,
         fallback,
         {}},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        if (c.content != nullptr) {
            fake.files.putFile(kPath, c.content);
        }
        EXPECT_TRUE(loadRuntimeConfig(fake.platform())) << c.name;
        const RuntimeConfig& config = runtimeConfig();
        EXPECT_EQ(logOptions().verbose, c.verbose) << c.name;
        EXPECT_EQ(config.autoUpdateDisable, c.disable) << c.name;
        EXPECT_EQ(config.silentAutoUpdateEnable, c.silent) << c.name;
        EXPECT_EQ(config.serverDomain, c.domain) << c.name;
        EXPECT_EQ(getServerDomain(), c.domain) << c.name;
        EXPECT_EQ(fake.logEntries(), c.entries) << c.name;
    }
}

TEST(LoadRuntimeConfig, NeverSwitchesVerboseLoggingOff) {
    FakePlatform fake;
    fake.files.putFile(kPath, "SilentAutoUpdateVerboseLogging=0\n");
    logOptions().verbose = true;
    EXPECT_TRUE(loadRuntimeConfig(fake.platform()));
    EXPECT_TRUE(logOptions().verbose);
}

TEST(InitRuntimeConfig, LogsWhenMemoryForTheSettingsRunsOut) {
    struct Case {
        const char* name;
        std::size_t size;
    };
    const Case cases[] = {
        {"file manager", sizeof(VOZA::WindowsFileManager)},
        {"settings file", sizeof(SettingsFile)},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.files.putFile(kPath, "SilentAutoUpdateEnable=1\n");
        {
            testing::AllocationFault fault(c.size);
            initRuntimeConfig(fake.platform());
            EXPECT_TRUE(fault.happened()) << c.name;
        }
        EXPECT_EQ(fake.logEntries(), std::vector<std::wstring>{L"[error] 1233 8"}) << c.name;
        EXPECT_FALSE(runtimeConfig().silentAutoUpdateEnable) << c.name;
        EXPECT_EQ(runtimeConfig().osClass, 3) << c.name;  // filled before
    }
}

}  // namespace
}  // namespace korin
