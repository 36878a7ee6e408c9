// The switches that change or query the auto-update mode and the update
// state, through the process entry.

#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "service/entry.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;

constexpr auto& kPath = testing::kSettingsPath;
using testing::kStateKey;

int run(FakePlatform& fake, const wchar_t* argument) {
    const wchar_t* argv[] = {L"KorinPlayerUpdateService.exe", argument};
    return runProgram(fake.platform(), argument ? 2 : 1, argv);
}

TEST(ModeSwitches, RewriteTheSettingsFileAndExitWithZero) {
    struct Case {
        const wchar_t* argument;
        std::optional<std::string> before;
        std::string after;
    };
    const Case cases[] = {
        {L"-setSilentAutoUpdate", std::nullopt,
         "SilentAutoUpdateEnable=1\r\nAutoUpdateDisable=0\r\n"},
        {L"-setNotifyAutoUpdate", "AutoUpdateDisable=1\nOther=x\n",
         "AutoUpdateDisable=0\r\nOther=x\r\nSilentAutoUpdateEnable=0\r\n"},
        {L"-setDisableAutoUpdate", "SilentAutoUpdateEnable=1\n",
         "SilentAutoUpdateEnable=0\r\nAutoUpdateDisable=1\r\n"},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.files.addFolder(L"C:\\Windows\\SysWOW64\\Tervalon\\Korin");
        if (c.before) {
            fake.files.putFile(kPath, *c.before);
        }
        EXPECT_EQ(run(fake, c.argument), 0);
        EXPECT_EQ(fake.files.content(kPath), c.after);
        EXPECT_FALSE(logOptions().verbose);
    }
}

TEST(ModeSwitches, ExitWithZeroWhenTheFileCannotBeWritten) {
    FakePlatform fake;
    for (const wchar_t* argument :
         {L"-setSilentAutoUpdate", L"-setNotifyAutoUpdate", L"-setDisableAutoUpdate"}) {
        EXPECT_EQ(run(fake, argument), 0);
    }
    EXPECT_FALSE(fake.files.hasFile(kPath));
}

TEST(IsSAUEnabled, AnswersThroughTheExitCode) {
    struct Case {
        const char* content;  // null: no file
        int exitCode;
    };
    const Case cases[] = {
        {"SilentAutoUpdateEnable=1\n", 1001},
        {"SilentAutoUpdateEnable=yes\nAutoUpdateDisable=1\n", 1001},
        {"SilentAutoUpdateEnable=0\n", 0},
        {nullptr, 0},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        if (c.content != nullptr) {
            fake.files.putFile(kPath, c.content);
        }
        EXPECT_EQ(run(fake, L"-isSAUEnabled"), c.exitCode) << (c.content ? c.content : "(none)");
    }
}

TEST(IsSAUEnabled, FollowsTheModeSwitches) {
    struct Case {
        const wchar_t* mode;
        int exitCode;
    };
    const Case cases[] = {{L"-setSilentAutoUpdate", 1001},
                          {L"-setNotifyAutoUpdate", 0},
                          {L"-setDisableAutoUpdate", 0}};
    FakePlatform fake;
    fake.files.addFolder(L"C:\\Windows\\SysWOW64\\Tervalon\\Korin");
    for (const Case& c : cases) {
        run(fake, c.mode);
        EXPECT_EQ(run(fake, L"-isSAUEnabled"), c.exitCode);
    }
}

TEST(DeleteTask, ErasesTheUpdateState) {
    FakePlatform fake;
    for (const wchar_t* name : {L"UpdateAttempts", L"LastUpdateCheck", L"CheckFrequency"}) {
        fake.registry.putDword(kStateKey, name, 3);
    }
    EXPECT_EQ(run(fake, L"-deleteTask"), 0);
    EXPECT_FALSE(fake.registry.hasKey(kStateKey));
    EXPECT_EQ(run(fake, L"-deleteTask"), 0);  // nothing left to erase
}

TEST(ServiceMode, FillsTheRuntimeConfigFromTheSettingsFile) {
    FakePlatform fake;
    fake.files.putFile(kPath,
                       "SilentAutoUpdateEnable=1\nSilentAutoUpdateServerDomain=u.example.net\n");
    fake.system.version = {6, 1, 7601, 2};
    EXPECT_EQ(run(fake, nullptr), 0);
    const RuntimeConfig& config = runtimeConfig();
    EXPECT_TRUE(config.silentAutoUpdateEnable);
    EXPECT_FALSE(config.autoUpdateDisable);
    EXPECT_TRUE(config.isWow64);
    EXPECT_EQ(config.osClass, 2);
    EXPECT_EQ(config.serverDomain, L"u.example.net");
}

TEST(CommandRuns, NeverLoadTheRuntimeConfig) {
    FakePlatform fake;
    fake.files.putFile(kPath, "SilentAutoUpdateEnable=1\nSilentAutoUpdateVerboseLogging=1\n");
    for (const wchar_t* argument : {L"-isSAUEnabled", L"-setNotifyAutoUpdate", L"-deleteTask"}) {
        run(fake, argument);
        EXPECT_FALSE(logOptions().verbose);
        EXPECT_EQ(runtimeConfig().osClass, 0);
        EXPECT_TRUE(fake.logLines().empty());
    }
}

}  // namespace
}  // namespace korin
